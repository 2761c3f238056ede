"""Two-way distance-based ANOVA of haplotypes with three permutation tests.

The same C++ core as the tevrol command line, with the same numbers: read()
reads what the command line reads, run() analyses a pandas DataFrame (or a
file), run_codes() a numpy matrix of allele codes where it lies.
"""
import json
import numbers
import os
import warnings

import numpy as np
import pandas as pd

from . import _core
from ._core import Error

__all__ = ["Error", "Result", "read", "run", "run_codes", "__version__"]
__version__ = _core.version
Error.__module__ = "tevrol"
Error.__doc__ = "An input or an argument tevrol cannot use; the message is the command line's."

# Texts are the bytes of the data: those that are not UTF-8 come through as
# surrogates and go back as the same bytes.
_ENCODING = ("utf-8", "surrogateescape")


def _bytes(text):
    return text.encode(*_ENCODING)


def _text(data):
    return data.decode(*_ENCODING)


def read(path, samples=None, factors=None, missing=None, max_missing=1.0, haplotypes=False,
         region=None):
    """Reads a table, or an aligned FASTA file or a VCF or BCF file with its
    sample sheet, as the command line reads it: a DataFrame of the two factor
    columns, then one categorical column per locus; missing values are NaN,
    and loci with a larger share of them than max_missing are left out.
    haplotypes and region (a region or a list of them) are --haplotypes and
    --region of a VCF or BCF file."""
    if factors is not None:
        factors = _texts_argument(factors, "factors")
        if len(factors) != 2:
            raise Error("factors must name two columns of the sample sheet")
    table = _core.read(
        _path(path, "path"),
        "" if samples is None else _path(samples, "samples"),
        [] if factors is None else [_bytes(f) for f in factors],
        _missing_argument(missing),
        _fraction(max_missing),
        *_variant_arguments(haplotypes, region),
    )
    _notify(table["notes"], 3)
    columns = {}
    dtypes = {}  # loci of the same texts share one dtype
    for k, (codes, texts) in enumerate(table["columns"]):
        key = tuple(texts)
        if key not in dtypes:
            dtypes[key] = pd.CategoricalDtype(pd.Index([_text(t) for t in texts], dtype=object))
        columns[k] = pd.Categorical.from_codes(codes, dtype=dtypes[key])
    frame = pd.DataFrame(columns, copy=False)
    frame.columns = [_text(name) for name in table["names"]]
    return frame


def run(data, nperm=1000, seed=None, threads=None, keep_null=False, missing=None,
        max_missing=1.0, *, samples=None, factors=None, haplotypes=False, region=None,
        interaction=False, effects=False, pairwise=False):
    """The analysis of a DataFrame whose first two columns are the factors and
    the rest the loci (texts, categoricals or integers). A missing cell (None,
    NaN) is a missing value when `missing` is given (an empty list declares
    those alone), else an error. `data` may also be a file's path, read as
    the command line reads it (`samples`, `factors`, `haplotypes`, `region`
    as for read())."""
    request = _run_arguments(nperm, seed, threads, keep_null, max_missing, interaction, effects,
                             pairwise)
    if isinstance(data, (str, bytes, os.PathLike)):
        if factors is not None:
            factors = _texts_argument(factors, "factors")
        core = _core.run_file(
            _path(data, "data"),
            "" if samples is None else _path(samples, "samples"),
            [] if factors is None else [_bytes(f) for f in factors],
            request["nperm"], request["seed"], request["threads"], _missing_argument(missing),
            request["max_missing"], request["keep_null"], request["blocks"],
            *_variant_arguments(haplotypes, region))
        return Result(core)
    if not isinstance(data, pd.DataFrame):
        raise Error("data must be a pandas DataFrame or a file's path")
    if samples is not None or factors is not None or haplotypes or region is not None:
        raise Error("samples, factors, haplotypes and region are for a file, not a DataFrame")
    declared = missing is not None
    columns = []
    known = {}
    for k, (name, series) in enumerate(data.items()):
        columns.append(_column(series, str(name), k < 2, declared, known))
    core = _core.run_frame(columns, request["nperm"], request["seed"], request["threads"],
                           _missing_argument(missing), request["max_missing"],
                           request["keep_null"], request["blocks"])
    return Result(core)


def run_codes(xa, xb, codes, sites_first=False, nperm=1000, seed=None, threads=None,
              keep_null=False, max_missing=1.0, *, interaction=False, effects=False,
              pairwise=False):
    """The analysis of a matrix of integer allele codes (int8 ... int64),
    individuals x loci, or sites x individuals with sites_first=True; negative
    codes are missing values. xa and xb give each individual's levels. The
    matrix is read where it lies; the result is that of the same data written
    as a table, the codes as texts, with --missing naming the negative ones."""
    request = _run_arguments(nperm, seed, threads, keep_null, max_missing, interaction, effects,
                             pairwise)
    if not isinstance(codes, np.ndarray):
        raise Error("codes must be a numpy array of integers")
    factors = []
    for values, default in ((xa, "XA"), (xb, "XB")):
        series = values if isinstance(values, pd.Series) else pd.Series(list(values), dtype=object)
        name = default if series.name is None else str(series.name)
        factors.append(_column(series, name, True, False, {}))
    if len(factors[0][1]) != len(factors[1][1]):
        raise Error("xa and xb must give one level per individual: %d and %d" % (
            len(factors[0][1]), len(factors[1][1])))
    core = _core.run_codes(factors, codes, bool(sites_first), request["nperm"], request["seed"],
                           request["threads"], request["max_missing"], request["keep_null"],
                           request["blocks"])
    return Result(core)


class Result:
    """One run: anova, tests, sample_sizes, effects (DataFrames), levels,
    factors, individuals, loci, nperm, seed, null (when kept), interaction and
    pairwise (DataFrames when asked for) and the report; str() is the report,
    to_dict() the command line's JSON document."""

    def __init__(self, core):
        _notify(core["notes"], 4)
        self._json = core["json"]
        doc = json.loads(self._json)
        self.factors = {"XA": _text(core["factors"][0]), "XB": _text(core["factors"][1])}
        self.levels = {"XA": [_text(t) for t in core["levels"][0]],
                       "XB": [_text(t) for t in core["levels"][1]]}
        self.individuals = doc["individuals"]
        self.loci = doc["loci"]
        self.nperm = doc["nperm"]
        self.seed = doc["seed"]
        self.report = _text(core["report"])
        self.sample_sizes = pd.DataFrame(
            doc["sample_sizes"], index=pd.Index(self.levels["XA"], name=self.factors["XA"]),
            columns=pd.Index(self.levels["XB"], name=self.factors["XB"]))
        rows = ["XA", "XB", "Error", "Total"]
        keys = ["df", "seq_ss", "adj_ss", "ms", "F", "n", "var"]
        anova = doc["anova"]
        for row in ("Error", "Total"):
            anova[row]["seq_ss"] = anova[row]["ss"]
        self.anova = pd.DataFrame(
            [[_number(anova[row].get(key)) for key in keys] for row in rows],
            index=rows, columns=keys)
        self.tests = pd.DataFrame(
            [[t["type"], t["permuted"], f, _number(t[f]["p"]), _number(t[f]["se"]),
              t[f]["bound"], t[f]["extreme"]]
             for t in doc["tests"] for f in ("XA", "XB")],
            columns=["type", "permuted", "factor", "p", "se", "bound", "extreme"])
        # The blocks after the P values: the table with interaction and its
        # tests, the effect sizes (always computed), the pairwise comparisons.
        self.interaction = None
        if "interaction" in doc:
            table = doc["interaction"]
            tests = table["tests"]
            rows = ["XA", "XB", "XA:XB", "Residual", "Total"]
            self.interaction = pd.DataFrame(
                [[_number(table[row].get(key, table[row].get("ss") if key == "seq_ss" else None))
                  for key in ("df", "seq_ss", "adj_ss", "ms", "F", "r2")]
                 + [_number(tests[row]["p"]) if row in tests else float("nan"),
                    _number(tests[row]["se"]) if row in tests else float("nan")]
                 for row in rows],
                index=rows, columns=["df", "seq_ss", "adj_ss", "ms", "F", "r2", "p", "se"])
        effects = doc["effects"]
        self.effects = pd.DataFrame(
            [[_number(effects[row].get(key)) for key in ("r2_seq", "r2_adj", "var_percent", "phi")]
             for row in ("XA", "XB", "Error")],
            index=["XA", "XB", "Error"], columns=["r2_seq", "r2_adj", "var_percent", "phi"])
        self.pairwise = None
        if "pairwise" in doc:
            # With the table with interaction, each pair's numbers of it follow.
            keys = ["F", "r2", "p", "se", "p_holm", "p_bh"]
            parts = [("", lambda pair: pair)]
            if "interaction" in doc:
                parts.append(("_int", lambda pair: pair["interaction"]))
            self.pairwise = pd.DataFrame(
                [[pair["factor"], pair["levels"][0], pair["levels"][1], pair["type"],
                  pair["individuals"]]
                 + [_number(part(pair)[key]) for _, part in parts for key in keys]
                 for pair in doc["pairwise"]],
                columns=["factor", "first", "second", "type", "individuals"]
                + [key + suffix for suffix, _ in parts for key in keys])
        self.null = None
        if core["null"] is not None:
            f = core["null"]
            passes = np.arange(f.shape[0])
            self.null = pd.DataFrame({"type": passes % 3, "permutation": passes // 3 + 1,
                                      "F_XA": f[:, 0], "F_XB": f[:, 1]})

    def to_dict(self):
        """The command line's JSON document of this run, as Python objects."""
        return json.loads(self._json)

    def __str__(self):
        return self.report

    def __repr__(self):
        return "<tevrol.Result: %d individuals, %d loci, %d permutations>" % (
            self.individuals, self.loci, self.nperm)


def _number(value):
    # JSON has no NaN: the command line writes null.
    return float("nan") if value is None else value


def _notify(notes, stacklevel):
    # Notes beside the results (records left out): warnings at the caller's line.
    for note in notes:
        warnings.warn(_text(note), stacklevel=stacklevel)


def _path(path, name):
    if isinstance(path, bytes):
        return path
    if isinstance(path, (str, os.PathLike)):
        return os.fsencode(os.path.expanduser(os.fspath(path)))
    raise Error("%s must be a file's path" % name)


def _texts_argument(texts, name):
    if isinstance(texts, str):
        texts = [texts]
    texts = list(texts)
    if not all(isinstance(t, str) for t in texts):
        raise Error("%s must be texts" % name)
    return texts


def _missing_argument(missing):
    if missing is None:
        return None
    return [_bytes(t) for t in _texts_argument(missing, "missing")]


def _whole(value, name):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise Error("%s must be a whole number" % name)
    return int(value)


def _fraction(value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise Error("max_missing must be a number from 0 to 1")
    return float(value)


def _variant_arguments(haplotypes, region):
    if not isinstance(haplotypes, bool):
        raise Error("haplotypes must be True or False")
    regions = [] if region is None else [region] if isinstance(region, str) else list(region)
    if not all(isinstance(r, str) and r for r in regions):
        raise Error("region must be None, a region such as '2:10000-20000', or a list of them")
    return haplotypes, [_bytes(r) for r in regions]


def _run_arguments(nperm, seed, threads, keep_null, max_missing, interaction=False,
                   effects=False, pairwise=False):
    blocks = (interaction, effects, pairwise)
    if not all(isinstance(b, bool) for b in blocks):
        raise Error("interaction, effects and pairwise must be True or False")
    nperm = min(max(_whole(nperm, "nperm"), -2**62), 2**62)
    _core.check_nperm(nperm)
    if seed is not None:
        # Clamped to 32 bits as the command line clamps it; positive seeds
        # reach the core, which says why they are refused.
        seed = min(max(_whole(seed, "seed"), -2**31), 2**31 - 1)
    if threads is None:
        threads = 0
    elif isinstance(threads, bool) or not isinstance(threads, numbers.Integral) \
            or not 1 <= threads <= 256:
        raise Error("threads must be a whole number from 1 to 256")
    if not isinstance(keep_null, (bool, np.bool_)):
        raise Error("keep_null must be True or False")
    return {"nperm": nperm, "seed": seed, "threads": int(threads), "keep_null": bool(keep_null),
            "max_missing": _fraction(max_missing), "blocks": blocks}


def _column(series, name, factor, declared, known):
    """A column as the core takes it: codes (-1 where missing) and the text
    of each code. Categories and integers are taken as their texts; floats
    are refused, as 1.0 and 1 would be different alleles. `known` keeps the
    texts of categorical dtypes already seen."""
    if isinstance(series.dtype, pd.CategoricalDtype):
        codes = series.cat.codes.to_numpy()
        seen = known.get(id(series.dtype))
        if seen is None:
            seen = (series.dtype, _texts_of(series.cat.categories, name))
            known[id(series.dtype)] = seen
        codes, texts = _merged(codes, seen[1])
    else:
        codes, uniques = pd.factorize(series, sort=False)
        codes, texts = _merged(codes, _texts_of(uniques, name))
    absent = np.flatnonzero(codes < 0)
    if absent.size > 0 and (factor or not declared):
        hint = "" if factor else ": name missing values with missing=[...] (an empty list for these alone)"
        raise Error("Column '%s' has a missing value (row %d)%s" % (name, absent[0] + 1, hint))
    return (_bytes(name), codes, texts)


def _texts_of(uniques, name):
    """The texts, as bytes, of a column's distinct values."""
    if getattr(uniques.dtype, "kind", "O") == "f":
        raise Error("Column '%s' holds floating-point numbers: give texts or integers" % name)
    texts = []
    for value in uniques:
        if isinstance(value, str):
            texts.append(value)
        elif isinstance(value, (numbers.Integral, np.integer)) and not isinstance(value, (bool, np.bool_)):
            texts.append(str(int(value)))
        else:
            raise Error("Column '%s' must hold texts or integers, not %s" % (name, type(value).__name__))
    return [_bytes(t) for t in texts]


def _merged(codes, texts):
    """1 and "1" are one text: codes of equal texts become one."""
    if len(set(texts)) == len(texts):
        return codes, texts
    first = {}
    remap = np.array([first.setdefault(t, len(first)) for t in texts], dtype=np.int64)
    return np.where(codes >= 0, remap[np.maximum(codes, 0)], -1), list(first)
