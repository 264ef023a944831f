#!/usr/bin/env python3
"""Turns bench/run.sh's measurements into Markdown tables and gnuplot data."""
import json
import os
import sys


def means(out, name):
    with open(os.path.join(out, name + ".json")) as f:
        return [(r["median"], r["mean"], r["stddev"] or 0.0) for r in json.load(f)["results"]]


def ms(value):
    """The median, which a few slow runs on a busy machine do not move, then mean ± sd."""
    return f"{value[0] * 1000:.2f} ms ({value[1] * 1000:.2f} ± {value[2] * 1000:.2f})"


def main():
    out, sizes = sys.argv[1], [int(size) for size in sys.argv[2].split(",")]
    faults_4k, faults_big, memory_4k, memory_big, memory_rmw, memory_tool = sys.argv[3:9]
    counts = [int(c) for c in sys.argv[9:]]

    true_, tool = means(out, "startup")
    print("### Start-up: a 4-record dump against /bin/true (goal: at most 1.2 x)\n")
    print("| Command | Median (mean ± sd) | Ratio of medians |\n|---|---|---|")
    print(f"| /bin/true | {ms(true_)} | 1.00 |")
    print(f"| corvinade, 4 records | {ms(tool)} | {tool[0] / true_[0]:.2f} |\n")

    by_size = means(out, "size")
    small, big = by_size[0], by_size[-1]
    print(f"### Dump size: {sizes[-1] / 2**30:g} GiB sparse against 4 KB "
          "(goal: at most 1.1 x, the same minor page faults)\n")
    print("| Dump | Median (mean ± sd) | Ratio of medians | Minor page faults | Peak memory |")
    print("|---|---|---|---|---|")
    with open(os.path.join(out, "sizes.dat"), "w") as f:
        for size, result in zip(sizes, by_size):
            first, last = size == sizes[0], size == sizes[-1]
            faults = faults_4k if first else faults_big if last else ""
            memory = memory_4k + " kB" if first else memory_big + " kB" if last else ""
            label = (f"{size / 2**30:g} GiB" if size >= 2**30 else
                     f"{size / 2**20:g} MiB" if size >= 2**20 else f"{size / 2**10:g} KB")
            print(f"| {label} | {ms(result)} | {result[0] / small[0]:.2f} | {faults} | {memory} |")
            f.write(f"{size} {result[0] * 1000}\n")
    print()

    print("### Module count: the tool against cat and a bare mapped walk "
          "(goal at 1 000 000: at most 1.3 x the bare walk)\n")
    print("| Records | cat | Bare mapped walk | corvinade | corvinade / bare walk |")
    print("|---|---|---|---|---|")
    with open(os.path.join(out, "counts.dat"), "w") as f:
        for count in counts:
            cat, bare, tool = means(out, f"count-{count}")
            print(f"| {count:,} | {ms(cat)} | {ms(bare)} | {ms(tool)} | {tool[0] / bare[0]:.2f} |")
            f.write(f"{count} {cat[0] * 1000} {bare[0] * 1000} {tool[0] * 1000}\n")
    print()

    rmw, tool = means(out, "rmw")
    print(f"### The alternative: a read-modify-write script, {counts[-1]:,} records\n")
    print("| Command | Median (mean ± sd) | Peak memory |\n|---|---|---|")
    print(f"| python3 bench/read_modify_write.py | {ms(rmw)} | {memory_rmw} kB |")
    print(f"| corvinade | {ms(tool)} | {memory_tool} kB |\n")

    walk = os.path.join(out, "walk.json")
    if os.path.exists(walk):
        print("### In-process walk (Google Benchmark)\n")
        print("| Benchmark | Time per call |\n|---|---|")
        with open(walk) as f:
            for b in json.load(f)["benchmarks"]:
                print(f"| {b['name']} | {b['real_time']:.3f} {b['time_unit']} |")
        print()


if __name__ == "__main__":
    main()
