"""The cost of vantrel's Python calls against the same work looped in C++.

One view at radius 12 from the middle of a 25 x 25 and a 1024 x 1024 map a
tenth opaque, into an out= array, and fog of war of 10,000 viewers spread
over the 1024 x 1024 map; each timed from Python and by the module's own
C++ loop (vantrel._vantrel._time_view and _time_fog), rounds of each taken
in turn so that a busy machine slows both alike, the best of 15. Prints a
markdown table.

    PYTHONPATH=build/test/python /usr/bin/python3 bench/python_bench.py
"""

import time

import numpy as np

import vantrel
from vantrel import _vantrel

RADIUS = 12
ROUNDS = 15


def best(cpp_round, python_round):
    """The best seconds of each, their rounds taken in turn."""
    cpp, python = [], []
    for _ in range(ROUNDS):
        cpp.append(cpp_round())
        python.append(python_round())
    return min(cpp), min(python)


def python_view(view, grid, viewer, out, transparent, calls):
    # As a program calls it: a keyword argument for what differs from the
    # defaults alone.
    options = {"transparent": True} if transparent else {}

    def round_():
        compute = view.compute
        start = time.perf_counter()
        for _ in range(calls):
            compute(grid, viewer, RADIUS, out=out, **options)
        return (time.perf_counter() - start) / calls

    return round_


def main():
    rng = np.random.default_rng(12)
    view = vantrel.Sight(RADIUS)
    view.prepare(RADIUS)
    rows = []
    for side in (25, 1024):
        opaque = rng.random((side, side)) < 0.1
        viewer = (side // 2, side // 2)
        out = np.zeros_like(opaque)
        calls = 10000 if side == 25 else 1000
        for transparent, grid in ((False, opaque), (True, ~opaque)):
            cpp, py = best(
                lambda: _vantrel._time_view(view, grid, viewer, RADIUS, transparent, out, calls),
                python_view(view, grid, viewer, out, transparent, calls))
            kind = "clear cells (transparent=True)" if transparent else "opaque cells"
            rows.append((f"one view, {side}², {kind}", cpp, py))

    opaque = rng.random((1024, 1024)) < 0.1
    viewers = rng.integers(0, 1024, (10000, 2), dtype=np.int32)
    visible = np.zeros_like(opaque)
    for threads in (1, 2):
        fog = vantrel.FogOfWar(view, threads)
        def round_():
            start = time.perf_counter()
            fog.update(opaque, viewers, visible, radius=RADIUS)
            return time.perf_counter() - start

        cpp, py = best(lambda: _vantrel._time_fog(fog, opaque, viewers, RADIUS, visible, 1),
                       round_)
        rows.append((f"fog of war, 10,000 viewers, 1024², {threads} thread(s)", cpp, py))

    print("| work | C++ | Python | added by Python |")
    print("|---|---:|---:|---:|")
    for work, cpp, py in rows:
        added = py - cpp
        if work.startswith("fog"):
            print(f"| {work} | {cpp * 1e3:.2f} ms | {py * 1e3:.2f} ms | "
                  f"{added * 1e6:+.0f} µs ({added / cpp:+.1%}) |")
        else:
            print(f"| {work} | {cpp * 1e6:.2f} µs | {py * 1e6:.2f} µs | {added * 1e6:+.2f} µs |")


if __name__ == "__main__":
    main()
