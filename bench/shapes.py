#!/usr/bin/env python3
"""Runs the ssmsg tool on site files of hostile shapes, each at two sizes four times apart, and
prints how much its time and peak memory grew: a cost that is linear in the input grows about 4x,
one that grows with the square of some part of it about 16x. The target is less than 5x.

    bench/shapes.py TOOL FOLDER [SCALE]

FOLDER receives the files (written again on every run). SCALE (default 1) multiplies every size.
Each run is repeated five times; the fastest time and the largest memory count.
"""

import os
import subprocess
import sys
import time

TIME = "2026-12-04T09:05:07"
RUNS = 5


def controller(fields):
    return '{"Controllers": [{"Interface": 1, "Node": 1, %s}]}\n' % fields


def long_name(kind):
    def make(n):
        name = "".join(chr(ord("A") + i % 26) for i in range(26)) * (n // 26 + 1)
        name = name[:n]
        if kind == "XTRA":
            return controller('"Name": "%s"' % name)
        return controller('"%s": [{"Name": "%s"}]' % (kind, name))
    return make


def zones(n):
    items = ",".join('{"ZoneNo": %d, "Monday": true}' % (1 + i % 32767) for i in range(n))
    return controller('"Resource": {"TimeZones": 32767}, "TimeGroups": [{"Zones": [%s]}]' % items)


def holidays(n):
    items = ",".join('{"Month": %d, "Day": %d}' % (1 + i % 12, 1 + i % 28) for i in range(n))
    return controller('"Holidays": [%s]' % items)


def tiny_controllers(n):
    items = ",".join('{"Interface": 1, "Node": %d}' % i for i in range(n))
    return '{"Controllers": [%s]}\n' % items


def errors(n):
    return '{"Controllers": [%s{}]}\n' % ('{"X": 1}, ' * n)


def long_key(n):
    return '{"Controllers": [], "%s": 1}\n' % ("K" * n)


def deep(n):
    return controller('"Inputs": %s%s' % ("[" * n, "]" * n))


# name, file maker, small size, the tool's arguments after the file
SHAPES = [
    ("input name", long_name("Inputs"), 2_000_000, ["settings", "--jobs", "1", "--time", TIME]),
    ("output name", long_name("Outputs"), 2_000_000, ["settings", "--jobs", "1", "--time", TIME]),
    ("reader name", long_name("Readers"), 2_000_000, ["settings", "--jobs", "1", "--time", TIME]),
    ("XTRA name", long_name("XTRA"), 2_000_000, ["settings", "--jobs", "1", "--time", TIME]),
    ("time group of many zones", zones, 100_000, ["settings", "--jobs", "1", "--time", TIME]),
    ("many holidays", holidays, 100_000, ["settings", "--jobs", "1", "--time", TIME]),
    ("many tiny controllers", tiny_controllers, 50_000,
     ["settings", "--jobs", "1", "--time", TIME]),
    ("many errors", errors, 5_000_000, ["validate", "--jobs", "1"]),
    ("long key", long_key, 8_000_000, ["validate", "--jobs", "1"]),
    ("deep nesting", deep, 1_000_000, ["validate", "--jobs", "1"]),
]


def run(tool, path, args):
    """Seconds and peak kilobytes of one run of the tool, its output thrown away. The memory comes
    from /usr/bin/time, whose own child starts small: a child of this script would count the
    script's memory too."""
    stats = path + ".time"
    command = ["/usr/bin/time", "-f", "%M", "-o", stats, tool, args[0], "--config", path]
    start = time.perf_counter()
    status = subprocess.run(command + args[1:], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL).returncode
    seconds = time.perf_counter() - start
    if status not in (0, 1, 2):
        sys.exit("shapes: %s failed on %s" % (tool, path))
    with open(stats) as lines:
        kilobytes = int(lines.read().split()[-1])
    os.remove(stats)
    return seconds, kilobytes


def main():
    tool, folder = sys.argv[1], sys.argv[2]
    scale = float(sys.argv[3]) if len(sys.argv) > 3 else 1.0
    os.makedirs(folder, exist_ok=True)
    print("hostile shapes, two sizes 4x apart (target: time and peak memory grow < 5x):")
    all_met = True
    for name, make, size, args in SHAPES:
        figures = []
        for n in (int(size * scale), int(size * scale) * 4):
            path = os.path.join(folder, name.replace(" ", "_") + "-%d.json" % n)
            with open(path, "w") as out:
                out.write(make(n))  # the text is dropped before the runs
            runs = [run(tool, path, args) for _ in range(RUNS)]
            figures.append((os.path.getsize(path), min(r[0] for r in runs),
                            max(r[1] for r in runs)))
            os.remove(path)
        (small_bytes, small_s, small_kb), (large_bytes, large_s, large_kb) = figures
        time_growth = large_s / small_s
        memory_growth = large_kb / small_kb
        met = time_growth < 5 and memory_growth < 5
        all_met &= met
        print("  %-25s %5.1f MB -> %5.1f MB: time %.3f s -> %.3f s (%.1fx), memory %.0f MB -> "
              "%.0f MB (%.1fx): %s" % (name, small_bytes / 1e6, large_bytes / 1e6, small_s,
                                       large_s, time_growth, small_kb / 1024, large_kb / 1024,
                                       memory_growth, "met" if met else "not met"))
    print("hostile shapes: %s" % ("met" if all_met else "not met"))


if __name__ == "__main__":
    main()
