#!/usr/bin/python3
"""Turns the benchmark runs into the table of figures.

report.py OUT.md NATIVE.json [WINE64.json|-] [WINE32.json|-] [--skipped32 REASON]
          [--wine32-route native|emulated] [--callgrind DIR]
report.py --check-callgrind DIR

NATIVE.json is Google Benchmark's JSON output (every repetition; medians and spreads taken
here); the Wine files are the timing host's output. "-" leaves a build out. --wine32-route
emulated marks the 32-bit figures as measured under qemu-i386. --callgrind names the folder of
callgrind's dumps from the call-cost program (bench/call_cost.sh). The table goes to OUT.md and
standard output only. --check-callgrind prints figure 7 alone and fails when a ceiling is exceeded.
"""
import glob
import json
import os
import platform
import re
import statistics
import sys

# The read, write and folder ratios against their floors. Under Wine a system call costs about
# 0.2 ms and the plug-in's own work vanishes in it; natively a getxattr takes well under a
# microsecond, so the call through the export, the file name's conversion and the lock show.
RATIO_GOALS = {"Linux": {"read": 1.10, "write": 1.10, "folder": 1.10, "origin": 1.10},
               "Wine": {"read": 1.05, "write": 1.05, "folder": 1.05, "origin": 1.05}}
DEFERRED_GOAL = 0.01
# Figure 7's ceilings: the plug-in's own instructions per call, by case and call. Counted exactly,
# so a change that raises one shows on any machine (--check-callgrind checks them alone).
INSTRUCTION_CEILINGS = {("ascii", "read"): 300, ("ascii", "write"): 400,
                        ("nonascii", "read"): 700, ("nonascii", "write"): 900}
ALLOC_GOAL = 1
RSS_GOAL_KIB = 256  # growth over the whole run; a leak of one byte a call would show ~1 MB


def native_figures(path):
    """The Linux figures: medians over the repetitions of each benchmark, and for each pair the
    lowest and highest of its repetitions' ratios."""
    data = json.load(open(path))
    repetitions = {}
    for b in data["benchmarks"]:
        if b.get("run_type", "iteration") == "iteration":
            repetitions.setdefault(b["run_name"].split("/")[0], []).append(b)
    runs = {name: {key: statistics.median(r[key] for r in reps) if isinstance(reps[0][key], (int, float))
                   else reps[0][key] for key in reps[0]} for name, reps in repetitions.items()}

    def pair(name):
        ratios = [r["ratio"] for r in repetitions[name]]
        return (runs[name]["plugin_ns"], runs[name]["floor_ns"], runs[name]["ratio"], min(ratios), max(ratios))
    figures = {"folder_files": 10000, "allocs_per_read": runs["BM_Read"]["allocs_per_call"],
               "deferred_ns": runs["BM_ReadDeferred"]["real_time"], "control_ratio": runs["BM_Control"]["ratio"]}
    for key, name in (("read", "BM_Read"), ("folder", "BM_Folder"), ("origin", "BM_FolderOrigin"), ("write", "BM_Write"),
                      ("safety", "BM_WriteSafety"), ("keeptime", "BM_WriteKeepTime"), ("load", "BM_Load")):
        figures[key] = pair(name)
    memory = runs["BM_ResidentMemory"]
    figures.update(rss_calls=memory["iterations"], rss_before_kib=memory["rss_before_kib"],
                   rss_after_kib=memory["rss_after_kib"])
    return figures, data["context"]


def wine_figures(path):
    """The timing host's figures, in the same shape: (plug-in ns, floor ns, ratio) per pair. The
    read and write ratios are the medians of each round's own ratio where the host gives them."""
    f = json.load(open(path))
    pair = lambda plugin, floor, ratio=None: (plugin, floor, ratio if ratio is not None else plugin / floor)
    f["read"] = pair(f["read_plugin_ns"], f["read_floor_ns"], f.get("read_ratio"))
    f["folder"] = pair(f["folder_plugin_s"] * 1e9, f["folder_floor_s"] * 1e9)
    if "origin_plugin_s" in f:
        f["origin"] = pair(f["origin_plugin_s"] * 1e9, f["origin_floor_s"] * 1e9)
    f["write"] = pair(f["write_plugin_ns"], f["write_floor_ns"], f.get("write_ratio"))
    f["keeptime"] = pair(f["write_keeptime_ns"], f["write_plugin_ns"])
    if "write_floor_unsafe_ns" in f:
        f["safety"] = pair(f["write_floor_ns"], f["write_floor_unsafe_ns"])
    f["load"] = pair(f["load_100_ns"], f["load_1_ns"])
    return f


def fmt_ns(v):
    if v >= 1e9:
        return f"{v / 1e9:,.2f} s"
    if v >= 1e6:
        return f"{v / 1e6:,.2f} ms"
    if v >= 1e3:
        return f"{v / 1e3:,.2f} µs"
    return f"{v:,.1f} ns"


def rows_for(build, f, goals, floor_read, floor_write, floor_unsafe, floor_folder):
    """(figure, build, plug-in, floor, against, ratio, goal, verdict) for one build; goals holds
    the read, write and folder ratios' goals."""
    rows = []

    def ratio_row(figure, pair, against, goal):
        plugin, floor, ratio = pair[:3]
        spread = f" ({pair[3]:.3f} to {pair[4]:.3f})" if len(pair) == 5 else ""
        verdict = "-" if goal is None else ("pass" if ratio <= goal else "FAIL")
        rows.append((figure, build, fmt_ns(plugin), fmt_ns(floor), against, f"{ratio:.3f}{spread}",
                     "-" if goal is None else f"<= {goal:.2f}", verdict))

    if "control_ratio" in f:
        rows.append(("0. the measurement itself: the floor against itself", build, "-", "-", floor_read,
                     f"{f['control_ratio']:.3f}", "-", "-"))
    ratio_row("1. read, flags 0, 40-byte stream", f["read"], floor_read, goals["read"])
    deferred = f["deferred_ns"]
    ratio_row("2. deferred answer (flags 1)", (deferred, f["read"][0], deferred / f["read"][0]),
              "a real read", DEFERRED_GOAL)
    files = f["folder_files"]
    plugin_rate, floor_rate = files / (f["folder"][0] / 1e9), files / (f["folder"][1] / 1e9)
    ratio_row(f"3. folder of {files:,} files, 2 fields, both passes ({plugin_rate:,.0f} files/s; "
              f"floor {floor_rate:,.0f})", f["folder"], floor_folder, goals["folder"])
    if "origin" in f:
        ratio_row(f"3. where files came from: Zone, HostUrl and ReferrerUrl on {files:,} files, half marked, "
                  "both passes", f["origin"], f"3 reads of Zone.Identifier ({floor_folder.replace(' per field', '')})", goals["origin"])
    ratio_row("4. write, KeepTime off", f["write"], floor_write, goals["write"])
    if "safety" in f:
        ratio_row("4. what keeping the old value costs: the safe floor against a plain overwrite", f["safety"],
                  floor_unsafe, None)
    ratio_row("4. write, KeepTime on (its extra cost)", f["keeptime"], "write, KeepTime off", None)
    ratio_row("5. load with 100 fields", f["load"], "load with 1 field", None)
    allocs = f.get("allocs_per_read")
    if allocs is not None:
        rows.append(("6. heap allocations per read", build, f"{allocs:.5f}", "-", "-", "-", f"<= {ALLOC_GOAL}",
                     "pass" if allocs <= ALLOC_GOAL else "FAIL"))
    growth = f["rss_after_kib"] - f["rss_before_kib"]
    rows.append((f"6. resident memory over {int(f['rss_calls']):,} reads", build,
                 f"{f['rss_before_kib']:,.0f} -> {f['rss_after_kib']:,.0f} KiB", "-", "-",
                 f"{growth:+,.0f} KiB", f"<= {RSS_GOAL_KIB} KiB", "pass" if growth <= RSS_GOAL_KIB else "FAIL"))
    return rows


def instruction_rows(folder):
    """Figure 7 from callgrind's dumps: each case's calls less the stand-in's own calls, against
    its ceiling."""
    counts = {}
    for dump in glob.glob(os.path.join(folder, "callgrind.out.*")):
        text = open(dump).read()
        name = re.search(r"^desc: Trigger: Client Request: (\S+)", text, re.M)
        if name:
            counts[name.group(1)] = int(re.search(r"^totals: (\d+)", text, re.M).group(1))
    calls = int(open(os.path.join(folder, "calls")).read())
    rows = []
    for case, label in (("ascii", "40-character ASCII path, 40-byte value"),
                        ("nonascii", "40-character non-ASCII path, 40-byte UTF-8 value")):
        for call, stub in (("read", "getxattr"), ("write", "statfs+setxattr")):
            own = (counts[f"{call}-{case}"] - counts[f"{stub}-{case}"]) / calls
            ceiling = INSTRUCTION_CEILINGS[(case, call)]
            rows.append((f"7. the plug-in's own instructions per {call}, {label} (callgrind, {stub} stubbed)",
                         "Linux .so", f"{own:,.0f}", "-", "-", "-", f"<= {ceiling:,}",
                         "pass" if own <= ceiling else "FAIL"))
    return rows


def main():
    args = sys.argv[1:]
    if args[:1] == ["--check-callgrind"]:
        # Figure 7 alone, as the test suite checks it: fails when a call exceeds its ceiling.
        rows = instruction_rows(args[1])
        for r in rows:
            print(f"{r[0]}: {r[2]} ({r[6]}) {r[7]}")
        return 1 if any(r[-1] == "FAIL" for r in rows) else 0
    options = {}
    for name in ("--skipped32", "--wine32-route", "--callgrind"):
        if name in args:
            i = args.index(name)
            options[name] = args[i + 1]
            del args[i:i + 2]
    skipped32 = options.get("--skipped32")
    emulated32 = options.get("--wine32-route") == "emulated"
    out, native = args[0], args[1]
    wine = {64: args[2] if len(args) > 2 else "-", 32: args[3] if len(args) > 3 else "-"}

    figures, ctx = native_figures(native)
    rows = rows_for("Linux .so", figures, RATIO_GOALS["Linux"], "getxattr", "statfs+setxattr", "setxattr",
                    "getxattr per field")
    if "--callgrind" in options:
        rows += instruction_rows(options["--callgrind"])
    for bits, build in ((64, "Wine .w64"), (32, "Wine .wdx (emulated i386)" if emulated32 else "Wine .wdx")):
        if wine[bits] != "-":
            rows += rows_for(build, wine_figures(wine[bits]), RATIO_GOALS["Wine"],
                             "CreateFileW+ReadFile+CloseHandle",
                             "CreateFileW (open always)+GetFileSizeEx+ReadFile+WriteFile+CloseHandle",
                             "CreateFileW (create always)+WriteFile+CloseHandle", "open+read+close per field")

    lines = [
        "# Benchmark results",
        "",
        f"Machine: {platform.platform()}, {ctx.get('num_cpus')} x {ctx.get('mhz_per_cpu')} MHz; "
        f"run {ctx.get('date')}.",
        "Each ratio compares figures measured side by side in one run on the same files (Linux: the "
        "median of five repetitions, each timing plug-in and floor in alternating blocks of calls, with "
        "the lowest and highest repetition in brackets; Wine: the median of short rounds, each running "
        "the calls compared in a shuffled order, the ratio taken round by round, and the folder's reading pass "
        "interleaved with the floor block by block). Figure 7 counts instructions under callgrind: the "
        "plug-in's calls less the same number of calls to the stand-in for the system call, against "
        "a ceiling for each call.",
        "",
        "| figure | build | plug-in | floor | against | ratio | goal | result |",
        "|---|---|---|---|---|---|---|---|",
    ]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    lines.append("")
    if wine[64] != "-" or wine[32] != "-":
        lines.append("Under Wine, opening a stream that does not exist costs time that grows with the "
                     "folder's size; the folder figure's floor makes the same opens in the same folder, "
                     "so the ratio compares like with like.")
    if emulated32 and wine[32] != "-":
        lines.append("The 32-bit build ran under qemu-i386: its times include the emulation, and only its ratios (plug-in and floor under the same "
                     "emulation) compare with the other builds'.")
    if skipped32:
        lines.append(f"The 32-bit build was not measured: {skipped32}")
    text = "\n".join(lines) + "\n"
    open(out, "w").write(text)
    print(text)
    missed = sum(r[-1] == "FAIL" for r in rows)
    if missed:
        print(f"{missed} goal(s) missed", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
