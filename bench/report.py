#!/usr/bin/python3
"""Turns the benchmark's JSON into the table of figures: report.py RESULTS.json OUT.md"""
import json
import platform
import sys


def main():
    data = json.load(open(sys.argv[1]))
    runs = {b["name"]: b for b in data["benchmarks"]}
    ns = lambda name: runs[name]["real_time"]
    rows = [
        ("1. read, flags 0, 40-byte stream", ns("BM_ReadPlugin"), ns("BM_ReadFloor"), "getxattr", 1.10),
        ("2. deferred answer (flags 1)", ns("BM_ReadDeferred"), ns("BM_ReadPlugin"), "a real read", 0.01),
        ("4. write, KeepTime off", ns("BM_WritePlugin"), ns("BM_WriteFloor"), "setxattr", 1.10),
        ("4. write, KeepTime on (extra cost reported)", ns("BM_WriteKeepTime"), ns("BM_WritePlugin"), "write, KeepTime off", None),
        ("5. load with 100 fields", ns("BM_Load/100"), ns("BM_Load/1"), "load with 1 field", None),
    ]
    allocs = runs["BM_ReadPlugin"].get("allocs_per_call")
    ctx = data["context"]
    lines = [
        "# Benchmark results (Linux build)",
        "",
        f"Machine: {platform.platform()}, {ctx.get('num_cpus')} x {ctx.get('mhz_per_cpu')} MHz; "
        f"run {ctx.get('date')}. Each ratio compares figures measured side by side in one run.",
        "",
        "| figure | plug-in | floor | against | ratio | goal | pass |",
        "|---|---|---|---|---|---|---|",
    ]
    failed = 0
    for name, plugin, floor, against, goal in rows:
        ratio = plugin / floor
        verdict = "-" if goal is None else ("pass" if ratio <= goal else "FAIL")
        failed += verdict == "FAIL"
        goal_text = "-" if goal is None else f"<= {goal:g}"
        lines.append(f"| {name} | {plugin:,.1f} ns | {floor:,.1f} ns | {against} | {ratio:.3f} | {goal_text} | {verdict} |")
    if allocs is not None:
        verdict = "pass" if allocs <= 1 else "FAIL"
        lines.append(f"| 6. heap allocations per read | {allocs:g} | - | - | - | <= 1 | {verdict} |")
    text = "\n".join(lines) + "\n"
    open(sys.argv[2], "w").write(text)
    print(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
