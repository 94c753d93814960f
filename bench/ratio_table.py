#!/usr/bin/env python3
"""Prints one table of the benchmarks' ratios to their baselines from Google Benchmark
JSON files (--benchmark_out_format=json), each against its goal, then one line per goal
missed. With repetitions the median aggregate is taken. Besides the ratio's goal, a counter
<name> with a counter <name>_goal beside it is an absolute figure with its own goal (at
most that much). A file that cannot be read (its benchmark failed), a benchmark that
stopped with an error and one without a ratio count as misses too."""

import json
import sys


def rows(paths, misses):
    for path in paths:
        try:
            with open(path, encoding="utf-8") as f:
                runs = json.load(f).get("benchmarks", [])
        except (OSError, ValueError) as e:
            misses.append(f"no results: {path}: {e}")
            continue
        medians = {r["run_name"]: r for r in runs if r.get("aggregate_name") == "median"}
        seen = set()
        for r in runs:
            name = r.get("run_name", r["name"])
            if name in seen or r.get("run_type") == "aggregate" and name not in medians:
                continue
            seen.add(name)
            shown = name.removesuffix("/manual_time")
            if r.get("error_occurred"):
                misses.append(f"failed: {shown}: {r.get('error_message', '')}")
                continue
            yield shown, medians.get(name, r)


def number(value):
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


def figure(value):
    return f"{value:.2f}"


def main():
    table = [("benchmark", "ns", "baseline ns", "ratio/figure", "goal", "ok?")]
    misses = []
    for name, r in rows(sys.argv[1:], misses):
        if "ratio" not in r:
            misses.append(f"no ratio: {name}")
            continue
        figures = [(name, "ratio", r["ratio"], r.get("goal", 0), r)]
        figures += [(f"{name} {key}", key, r[key], r[f"{key}_goal"], None) for key in sorted(r)
                    if f"{key}_goal" in r]
        for row_name, what, value, goal, times in figures:
            ok = "-" if goal <= 0 else ("yes" if value <= goal else "NO")
            if ok == "NO":
                misses.append(f"goal missed: {name}: {what} {figure(value)} > {number(goal)}")
            table.append((row_name, number(times["job_ns"]) if times else "-",
                          number(times["baseline_ns"]) if times else "-", figure(value),
                          number(goal) if goal > 0 else "-", ok))
    widths = [max(len(row[i]) for row in table) for i in range(len(table[0]))]
    for i, row in enumerate(table):
        cells = [row[0].ljust(widths[0])] + [c.rjust(w) for c, w in zip(row[1:], widths[1:])]
        print(" | ".join(cells))
        if i == 0:
            print("-|-".join("-" * w for w in widths))
    for line in misses:
        print(line)
    if not misses:
        print("every goal met")


if __name__ == "__main__":
    main()
