#!/usr/bin/python3
"""bench_charts.py OUT_DIR RESULTS.json...: draws OUT_DIR/<program>.png for each Google
Benchmark JSON result and prints the figures as Markdown tables.

Cases are named <Operation>_<Implementation>/<size name>:<size>. One column of the chart per
operation: above, the time per item of every implementation as the size grows; below,
korutil's time divided by each peer's (under 1: korutil is faster). Implementations whose
name is a class of the library (C and a capital letter) or one of its functions are korutil's;
the others are peers. With repetitions, the medians are drawn."""

import json
import os
import re
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import FuncFormatter, LogLocator, NullFormatter  # noqa: E402

KORUTIL = re.compile(r"^(C[A-Z]|LoadStringPtr$)")
NS_PER_UNIT = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def ns_per_item(case):
    """Real time per item: a case that processes several items per iteration (pieces
    appended, elements walked) is divided by their number."""
    real = case["real_time"] * NS_PER_UNIT[case["time_unit"]]
    rate = case.get("items_per_second")
    if not rate:
        return real
    cpu_seconds = case["cpu_time"] * NS_PER_UNIT[case["time_unit"]] / 1e9
    items = rate * cpu_seconds
    return real / items if items > 0 else real


def read(path):
    """{operation: {"size": name, "series": {implementation: {size: ns}}}}, in the order the
    program registered them."""
    with open(path) as f:
        cases = json.load(f)["benchmarks"]
    repeated = any(c.get("run_type") == "aggregate" for c in cases)
    groups = {}
    for case in cases:
        if repeated and case.get("aggregate_name") != "median":
            continue
        parts = case["run_name"].split("/")
        operation, _, implementation = parts[0].partition("_")
        if not implementation or len(parts) != 2 or ":" not in parts[1]:
            continue
        size_name, size = parts[1].split(":")
        group = groups.setdefault(operation, {"size": size_name, "series": {}})
        group["series"].setdefault(implementation, {})[int(size)] = ns_per_item(case)
    return groups


def pairs(series):
    ours = [name for name in series if KORUTIL.match(name)]
    peers = [name for name in series if not KORUTIL.match(name)]
    return [(k, p) for k in ours for p in peers]


def size_label(base):
    """1k, 4k, 1M on a binary axis (1k = 1024); 1k, 10k on a decimal one."""
    kilo = 1024 if base == 2 else 1000

    def label(value, _position):
        if value >= kilo * kilo:
            return f"{value / (kilo * kilo):g}M"
        if value >= kilo:
            return f"{value / kilo:g}k"
        return f"{value:g}"

    return label


def value_label(value, _position):
    return f"{value:,.0f}" if value >= 10 else f"{value:g}"


def draw(program, groups, out_dir):
    columns = len(groups)
    figure, axes = plt.subplots(2, columns, figsize=(5.2 * columns, 8.4), squeeze=False)
    for column, (operation, group) in enumerate(groups.items()):
        times, ratios = axes[0][column], axes[1][column]
        for name, points in group["series"].items():
            sizes = sorted(points)
            style = "-" if KORUTIL.match(name) else "--"
            times.plot(sizes, [points[s] for s in sizes], style, marker="o", label=name)
        for ours, peer in pairs(group["series"]):
            a, b = group["series"][ours], group["series"][peer]
            sizes = sorted(set(a) & set(b))
            ratios.plot(sizes, [a[s] / b[s] for s in sizes], marker="o", label=f"{ours} / {peer}")
        ratios.axhline(1.0, color="grey", linewidth=0.8)
        times.set_title(f"{program}: {operation}")
        times.set_ylabel("ns per item")
        ratios.set_ylabel("korutil time / peer time")
        sizes = {s for points in group["series"].values() for s in points}
        base = 2 if all(s & (s - 1) == 0 for s in sizes) else 10
        for ax in (times, ratios):
            ax.set_xscale("log", base=base)
            ax.set_yscale("log")
            ax.set_xlabel(group["size"])
            ax.xaxis.set_major_formatter(FuncFormatter(size_label(base)))
            low, high = ax.get_ylim()
            span = high / low
            subs = (1, 1.5, 2, 3, 4, 5, 7) if span < 10 else (1, 2, 5) if span < 1000 else (1,)
            ax.yaxis.set_major_locator(LogLocator(base=10, subs=subs))
            ax.yaxis.set_major_formatter(FuncFormatter(value_label))
            ax.yaxis.set_minor_formatter(NullFormatter())
            ax.grid(True, which="major", alpha=0.3)
            ax.legend(fontsize="small")
    figure.tight_layout()
    path = os.path.join(out_dir, f"{program}.png")
    figure.savefig(path, dpi=90)
    plt.close(figure)
    return path


def table(program, operation, group):
    names = list(group["series"])
    ratio_names = pairs(group["series"])
    head = [group["size"]] + [f"{n} ns" for n in names] + [f"{a} / {b}" for a, b in ratio_names]
    lines = [f"{program} {operation}", "| " + " | ".join(head) + " |",
             "|" + "---:|" * len(head)]
    sizes = sorted({s for points in group["series"].values() for s in points})
    for size in sizes:
        row = [str(size)]
        row += [f"{group['series'][n][size]:.4g}" if size in group["series"][n] else ""
                for n in names]
        for a, b in ratio_names:
            pa, pb = group["series"][a], group["series"][b]
            row.append(f"{pa[size] / pb[size]:.2f}" if size in pa and size in pb else "")
        lines.append("| " + " | ".join(row) + " |")
    return "\n".join(lines)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    out_dir = argv[1]
    for path in argv[2:]:
        program = os.path.basename(path).removesuffix(".json").removesuffix("_bench")
        groups = {op: g for op, g in read(path).items()
                  if any(len(points) > 1 for points in g["series"].values())}
        if not groups:
            continue
        print(f"wrote {draw(program, groups, out_dir)}")
        for operation, group in groups.items():
            print()
            print(table(program, operation, group))
        print()


if __name__ == "__main__":
    main(sys.argv)
