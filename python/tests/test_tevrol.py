"""The package against the command line: the same numbers, bit for bit."""
import contextlib
import importlib.metadata
import json
import os
import re
import signal
import subprocess
import threading

import numpy as np
import pandas as pd
import pytest

import tevrol

REPOSITORY = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
EXAMPLES = os.path.join(REPOSITORY, "examples")
CLI = os.environ.get("TEVROL_CLI", os.path.join(REPOSITORY, "build", "tevrol"))
# Skipped without the program, unless TEVROL_CLI names it (as in CI).
needs_cli = pytest.mark.skipif(not os.access(CLI, os.X_OK) and "TEVROL_CLI" not in os.environ,
                               reason="no command line at " + CLI)


def example(name):
    return os.path.join(EXAMPLES, name)


def cli_json(tmp_path, *arguments):
    out = tmp_path / "cli.json"
    subprocess.run([CLI, "--json", str(out), *map(str, arguments)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return json.loads(out.read_text())


def without_file(doc):
    return {k: v for k, v in doc.items() if k != "file"}


def random_codes(rows, loci, seed, dtype=np.int8):
    rng = np.random.default_rng(seed)
    codes = rng.integers(0, 3, size=(rows, loci)).astype(dtype)
    codes[rng.random((rows, loci)) < 0.05] = -1
    codes[0, 1] = -9
    xa = [("a", "b", "c")[k % 3] for k in range(rows)]
    xb = [("x", "y")[(k // 3) % 2] for k in range(rows)]
    return xa, xb, codes


@needs_cli
@pytest.mark.parametrize("name, nperm, seed, options", [
    ("demo.txt", 100, -1, {}),
    ("regions.txt", 1000, -7, {}),
    ("alignment.fasta", 1000, -3, {"samples": example("samples.tsv")}),
    ("variants.vcf", 999, -2, {"samples": example("variant_samples.tsv")}),
])
def test_results_are_the_command_lines_json(tmp_path, name, nperm, seed, options):
    arguments = ["--samples", options["samples"]] if options else []
    expected = cli_json(tmp_path, *arguments, example(name), nperm, seed)
    with pytest.warns(UserWarning) if options else contextlib.nullcontext():
        from_file = tevrol.run(example(name), nperm=nperm, seed=seed, keep_null=True, **options)
    assert json.loads(json.dumps(from_file.to_dict())) == expected
    # Through a DataFrame: the same analysis, only what was read differs (an
    # alignment's loci are its sites, a frame's its variable sites).
    with pytest.warns(UserWarning) if options else contextlib.nullcontext():
        frame = tevrol.read(example(name), **options)
    from_frame = tevrol.run(frame, nperm=nperm, seed=seed, threads=1, missing=[])
    for key in ("individuals", "factors", "sample_sizes", "anova", "tests"):
        assert from_frame.to_dict()[key] == expected[key]
    assert from_frame.loci == (frame.shape[1] - 2 if options else expected["loci"])
    assert from_frame.report == from_file.report
    assert from_frame.levels["XA"] == expected["factors"]["XA"]["levels"]
    assert from_frame.anova.loc["XA", "F"] == expected["anova"]["XA"]["F"]
    assert list(from_frame.tests["p"]) == [t[f]["p"] for t in expected["tests"] for f in ("XA", "XB")]
    null = tmp_path / "null.tsv"
    subprocess.run([CLI, "--null", str(null), *arguments, example(name), str(nperm), str(seed)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pd.testing.assert_frame_equal(from_file.null, pd.read_csv(null, sep="\t"), check_dtype=False)


@needs_cli
def test_run_codes_is_the_table_of_its_codes(tmp_path):
    xa, xb, codes = random_codes(60, 40, 1)
    table = tmp_path / "codes.txt"
    frame = pd.DataFrame(codes, columns=["L%d" % (k + 1) for k in range(codes.shape[1])])
    frame.insert(0, "XB", xb)
    frame.insert(0, "XA", xa)
    frame.to_csv(table, sep="\t", index=False)
    expected = without_file(cli_json(tmp_path, "--missing", "-1,-9", table, 200, -5))

    def same(result):
        assert without_file(result.to_dict()) == expected

    same(tevrol.run_codes(xa, xb, codes, nperm=200, seed=-5))
    same(tevrol.run_codes(xa, xb, np.ascontiguousarray(codes.T), sites_first=True, nperm=200, seed=-5))
    # Non-contiguous views of wider types.
    wide = np.zeros((codes.shape[0], 2 * codes.shape[1]), dtype=np.int64)
    wide[:, ::2] = codes
    same(tevrol.run_codes(xa, xb, wide[:, ::2], nperm=200, seed=-5))
    same(tevrol.run_codes(pd.Series(xa, name="XA"), np.array(xb), codes.astype(np.int16).T,
                          sites_first=True, nperm=200, seed=-5))
    # Integer columns of a DataFrame are the texts of their numbers.
    same(tevrol.run(frame, nperm=200, seed=-5, missing=["-1", "-9"]))


def test_missing_values():
    xa, xb, codes = random_codes(30, 12, 2)
    texts = pd.DataFrame(codes.astype(str)).replace({"-1": None, "-9": None})
    texts.insert(0, "XB", xb)
    texts.insert(0, "XA", xa)
    with pytest.raises(tevrol.Error, match="Column '0' has a missing value"):
        tevrol.run(texts, nperm=100, seed=-1)
    from_none = tevrol.run(texts, nperm=100, seed=-1, missing=[])
    from_codes = tevrol.run_codes(xa, xb, codes, nperm=100, seed=-1)
    assert from_none.to_dict()["anova"] == from_codes.to_dict()["anova"]
    assert from_none.to_dict()["tests"] == from_codes.to_dict()["tests"]
    # Loci over the limit are left out, as by the command line.
    codes[:20, 3] = -1
    limited = tevrol.run_codes(xa, xb, codes, nperm=100, seed=-1, max_missing=0.5)
    assert limited.to_dict()["input"]["left_out"]["too_many_missing"] == 1


def test_errors_carry_the_command_lines_messages(tmp_path):
    frame = tevrol.read(example("demo.txt"))
    cases = [
        (lambda: tevrol.run(frame, nperm=99), "Must have at least 100 permutations"),
        (lambda: tevrol.run(frame, seed=3), "Random must be seeded with a negative integer"),
        (lambda: tevrol.read(str(tmp_path / "absent.txt")), "absent.txt"),
        (lambda: tevrol.run(frame.assign(L1=[1.0] * 6)), "Column 'L1' holds floating-point"),
        (lambda: tevrol.run(frame.assign(pop=[None] + ["p"] * 5)), "Column 'pop' has a missing value \\(row 1\\)"),
        (lambda: tevrol.run(frame.iloc[:, :2]), "at least three columns"),
        (lambda: tevrol.run_codes(["a"] * 6, ["x"] * 6, np.zeros((6, 2), np.float64)), "int8, int16"),
        (lambda: tevrol.run_codes(["a"] * 5, ["x"] * 5, np.zeros((6, 2), np.int8)), "one row per individual"),
        (lambda: tevrol.run(frame, threads=0), "threads must be"),
    ]
    for call, message in cases:
        with pytest.raises(tevrol.Error, match=message):
            call()
    assert issubclass(tevrol.Error, ValueError)


def test_ctrl_c_stops_a_run():
    xa, xb, codes = random_codes(3000, 3000, 3)
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            tevrol.run_codes(xa, xb, codes, nperm=100000, seed=-1)
    finally:
        timer.cancel()


def test_version_is_the_programs():
    with open(os.path.join(REPOSITORY, "CMakeLists.txt"), encoding="utf-8") as f:
        version = re.search(r"project\(tevrol VERSION ([0-9.]+)", f.read()).group(1)
    assert tevrol.__version__ == version
    assert importlib.metadata.version("tevrol") == version
    assert importlib.metadata.metadata("tevrol")["License"] == "MIT"
    assert tevrol.run(example("demo.txt"), nperm=100).to_dict()["version"] == version


def test_every_kind_of_column_gives_the_same_table(tmp_path):
    xa, xb, codes = random_codes(40, 6, 4)
    texts = pd.DataFrame(np.where(codes < 0, "?", codes.astype(str)))
    texts.insert(0, "XB", xb)
    texts.insert(0, "XA", xa)
    expected = tevrol.run(texts, nperm=100, seed=-2, missing=["?"]).to_dict()
    # Categories in another order, one unused: levels still come in order of
    # first appearance.
    kinds = texts.astype("category")
    kinds["XA"] = kinds["XA"].cat.set_categories(["c", "unused", "b", "a"])
    # 1 and "1" are one text.
    kinds[1] = kinds[1].astype(object).where((kinds[1] != "1") | (np.arange(40) % 2 == 0), 1)
    assert {1, "1"} <= set(kinds[1])
    assert tevrol.run(kinds, nperm=100, seed=-2, missing=["?"]).to_dict() == expected
    # Codes far from zero and below -128 take the slower path.
    far = codes.astype(np.int64) * 1000 + 7
    far[codes < 0] = -1000
    far_result = tevrol.run_codes(xa, xb, far, nperm=100, seed=-2).to_dict()
    assert far_result["anova"] == expected["anova"]
    assert far_result["input"]["missing"]["texts"] == ["-1000"]
    # Texts that are not UTF-8 come back as the same bytes.
    path = tmp_path / "latin1.txt"
    path.write_bytes(b"pop\tperiod\tL1\nZ\xfcrich\tx\t1\nBern\tx\t2\nZ\xfcrich\ty\t1\nBern\ty\t2\n")
    result = tevrol.run(tevrol.read(str(path)), nperm=100, seed=-1)
    assert result.levels["XA"][0].encode("utf-8", "surrogateescape") == b"Z\xfcrich"


@needs_cli
def test_blocks_after_the_p_values_are_the_command_lines(tmp_path):
    expected = cli_json(tmp_path, "--interaction", "--effects", "--pairwise", example("regions.txt"),
                        999, -1)
    x = tevrol.run(example("regions.txt"), nperm=999, seed=-1, interaction=True, effects=True,
                   pairwise=True)
    assert json.loads(json.dumps(x.to_dict())) == expected
    assert x.interaction.loc["XA:XB", "F"] == expected["interaction"]["XA:XB"]["F"]
    assert x.interaction.loc["XB", "p"] == expected["interaction"]["tests"]["XB"]["p"]
    assert x.effects.loc["XA", "phi"] == expected["effects"]["XA"]["phi"]
    assert list(x.pairwise["p_holm"]) == [pair["p_holm"] for pair in expected["pairwise"]]
    assert list(x.pairwise["F_int"]) == [pair["interaction"]["F"] for pair in expected["pairwise"]]
    assert "Pairwise comparisons" in str(x)
    plain = tevrol.run(example("regions.txt"), nperm=999, seed=-1)
    assert plain.interaction is None and plain.pairwise is None
    assert str(x).startswith(str(plain))
