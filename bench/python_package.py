"""The Python package beside the command line on the same data, in one run:

    PYTHON bench/python_package.py TEVROL [N L NPERM [REPEATS]]

PYTHON is an interpreter with the package installed (a virtual environment
made from Debian's /usr/bin/python3). Writes an int8 matrix of N individuals
x L biallelic loci (default 10,000 x 2,000) with two factors of 4 and 3
levels, and the same data as a table file; then times, each in a process of
its own so that peak memory is its own: run_codes() on the matrix and on
its transpose (sites first), read() then run() on the file, and the command
line's whole run on the file (medians of REPEATS, interleaved). Checks that
all give the same numbers.
"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np


def peak_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def resident_mib():
    with open("/proc/self/status", encoding="ascii") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def factors(n):
    rng = np.random.default_rng(7)
    xa = ["a%d" % v for v in rng.integers(0, 4, n)]
    xb = ["b%d" % v for v in rng.integers(0, 3, n)]
    return xa, xb


def write_data(folder, n, loci):
    codes = np.random.default_rng(20261211).integers(0, 2, size=(n, loci), dtype=np.int8)
    np.save(os.path.join(folder, "codes.npy"), codes)
    np.save(os.path.join(folder, "sites.npy"), np.ascontiguousarray(codes.T))
    xa, xb = factors(n)
    line = np.empty((n, 2 * loci + 1), dtype=np.uint8)
    line[:, 0:2 * loci:2] = ord("\t")
    line[:, 1:2 * loci:2] = codes + ord("0")
    line[:, -1] = ord("\n")
    path = os.path.join(folder, "codes.txt")
    with open(path, "wb") as f:
        f.write(("XA\tXB" + "".join("\tL%d" % (k + 1) for k in range(loci)) + "\n").encode())
        for i in range(n):
            f.write(("%s\t%s" % (xa[i], xb[i])).encode())
            f.write(line[i].tobytes())
    return path


def child(mode, path, nperm, out):
    import tevrol

    before = resident_mib()
    if mode in ("codes", "sites"):
        codes = np.load(path)
        sites_first = mode == "sites"
        xa, xb = factors(codes.shape[1 if sites_first else 0])
        start = time.perf_counter()
        with_array = resident_mib()
        result = tevrol.run_codes(xa, xb, codes, sites_first=sites_first, nperm=nperm, seed=-1)
        seconds = {"run_codes": time.perf_counter() - start}
        extra = {"array_mib": codes.nbytes / 2**20, "with_array_mib": with_array}
    else:
        start = time.perf_counter()
        frame = tevrol.read(path)
        middle = time.perf_counter()
        result = tevrol.run(frame, nperm=nperm, seed=-1)
        seconds = {"read": middle - start, "run": time.perf_counter() - middle}
        extra = {"frame_mib": frame.memory_usage(deep=False).sum() / 2**20}
    doc = result.to_dict()
    with open(out, "w", encoding="utf-8") as f:
        json.dump({"seconds": seconds, "start_mib": before, "peak_mib": peak_mib(),
                   "anova": doc["anova"], "tests": doc["tests"], **extra}, f)


def measure(mode, path, nperm, folder):
    out = os.path.join(folder, mode + ".json")
    subprocess.run([sys.executable, __file__, "child", mode, path, str(nperm), out], check=True)
    with open(out, encoding="utf-8") as f:
        return json.load(f)


def median(values):
    return sorted(values)[len(values) // 2]


def median_run(runs, seconds):
    return sorted(runs, key=seconds)[len(runs) // 2]


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "child":
        child(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
        return
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = sys.argv[1]
    n, loci, nperm = (int(v) for v in (sys.argv[2:5] if len(sys.argv) >= 5 else (10000, 2000, 999)))
    repeats = int(sys.argv[5]) if len(sys.argv) >= 6 else 1
    with tempfile.TemporaryDirectory() as folder:
        table = write_data(folder, n, loci)
        cli_json = os.path.join(folder, "cli.json")
        # Interleaved, so that a change in the machine's load touches all three.
        times, codes_runs, sites_runs, frame_runs = [], [], [], []
        for _ in range(repeats):
            start = time.perf_counter()
            subprocess.run([program, "--json", cli_json, table, str(nperm), "-1"], check=True,
                           stdout=subprocess.DEVNULL)
            times.append(time.perf_counter() - start)
            codes_runs.append(measure("codes", os.path.join(folder, "codes.npy"), nperm, folder))
            sites_runs.append(measure("sites", os.path.join(folder, "sites.npy"), nperm, folder))
            frame_runs.append(measure("frame", table, nperm, folder))
        program_s = median(times)
        codes = median_run(codes_runs, lambda r: r["seconds"]["run_codes"])
        sites = median_run(sites_runs, lambda r: r["seconds"]["run_codes"])
        frame = median_run(frame_runs, lambda r: r["seconds"]["read"] + r["seconds"]["run"])
        memory = os.path.join(folder, "time.txt")
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", memory, program, table, str(nperm), "-1"],
                       check=True, stdout=subprocess.DEVNULL)
        with open(memory, encoding="ascii") as f:
            program_mib = int(f.read().split()[-1]) / 1024
        with open(cli_json, encoding="utf-8") as f:
            cli = json.load(f)

    def same(r):
        return "yes" if r["anova"] == cli["anova"] and r["tests"] == cli["tests"] else "NO"

    together = frame["seconds"]["read"] + frame["seconds"]["run"]
    print("N = %d, L = %d, nperm %d" % (n, loci, nperm))
    print("  program: %.3f s, peak %.0f MiB" % (program_s, program_mib))
    for label, r in (("run_codes", codes), ("run_codes, sites first", sites)):
        print("  %s: %.3f s (%.2f x the program); peak %.0f MiB, %.0f MiB before the array "
              "(%.0f MiB), %.0f MiB above it and the array; same numbers: %s" % (
                  label, r["seconds"]["run_codes"], r["seconds"]["run_codes"] / program_s,
                  r["peak_mib"], r["start_mib"], r["array_mib"],
                  r["peak_mib"] - r["start_mib"] - r["array_mib"], same(r)))
    print("  read %.3f s + run %.3f s = %.3f s (%.2f x the program); peak %.0f MiB "
          "(%.0f MiB at start, the frame %.0f MiB); same numbers: %s" % (
              frame["seconds"]["read"], frame["seconds"]["run"], together, together / program_s,
              frame["peak_mib"], frame["start_mib"], frame["frame_mib"], same(frame)))


if __name__ == "__main__":
    main()
