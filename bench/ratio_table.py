#!/usr/bin/env python3
"""Prints one table of the benchmarks' ratios to their baselines from Google Benchmark
JSON files (--benchmark_out_format=json). With repetitions the median aggregate is taken."""

import json
import sys


def rows(paths):
    for path in paths:
        try:
            with open(path, encoding="utf-8") as f:
                runs = json.load(f).get("benchmarks", [])
        except (OSError, ValueError) as e:
            print(f"bench: {path}: {e}", file=sys.stderr)
            continue
        medians = {r["run_name"]: r for r in runs if r.get("aggregate_name") == "median"}
        seen = set()
        for r in runs:
            name = r.get("run_name", r["name"])
            if name in seen or r.get("run_type") == "aggregate" and name not in medians:
                continue
            seen.add(name)
            yield name.removesuffix("/manual_time"), medians.get(name, r)


def number(value):
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


def main():
    table = [("benchmark", "ns", "baseline ns", "ratio", "goal", "ok?")]
    misses = 0
    for name, r in rows(sys.argv[1:]):
        if "ratio" not in r:
            continue
        goal = r.get("goal", 0)
        ok = "-" if goal <= 0 else ("yes" if r["ratio"] <= goal else "NO")
        misses += ok == "NO"
        table.append((name, number(r["job_ns"]), number(r["baseline_ns"]), f"{r['ratio']:.2f}",
                      number(goal) if goal > 0 else "-", ok))
    widths = [max(len(row[i]) for row in table) for i in range(len(table[0]))]
    for i, row in enumerate(table):
        cells = [row[0].ljust(widths[0])] + [c.rjust(w) for c, w in zip(row[1:], widths[1:])]
        print(" | ".join(cells))
        if i == 0:
            print("-|-".join("-" * w for w in widths))
    if misses:
        print(f"{misses} benchmark(s) above their goal")


if __name__ == "__main__":
    main()
