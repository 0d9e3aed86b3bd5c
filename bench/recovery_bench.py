#!/usr/bin/env python3
"""What the run after a stopped one finds and does: the recovery scenario of tests/e2e (the
setup killed by TerminateProcess at each progress point of a first installation and of an
upgrade from 7.4.6 with POP3 disabled, and once in the middle of the file placement, then run
again unattended), printed as a table: each case, where the kill landed, what the next run
said it found and did, and whether the machine then equals a clean run of its kind. With
--faults it also runs the placement faults of tests/e2e/test_placement_faults.py (damaged
archives, a full drive, a file held open, a read-only file) and lists them with their boxes.

  bench/recovery_bench.py [--build BUILD_TREE] [--kinds first,upgrade] [--points 1,4,...,middle] [--faults]

A table, not a verdict: exits 0 whatever the cases show, non-zero when a run could not be made.
Needs both build trees (scripts/build.sh) and the booted template prefix (scripts/wine-prefix.sh).
"""
import argparse
import sys
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.dont_write_bytecode = True
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import zarel_e2e  # noqa: E402
from recovery_scenario import POINTS, prepare_kinds, remove_prepared, run_cases, table  # noqa: E402


def chosen_points(text):
    if not text:
        return POINTS
    wanted = set(text.split(","))
    return [p for p in POINTS if p.label.split(" ")[0] in wanted or ("middle" in wanted and "middle" in p.label)]


def placement_faults():
    """The placement faults' scenario as its test runs it; its boxes and whether every next run
    completed (the test asserts that after each fault)."""
    import test_placement_faults
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(test_placement_faults.PlacementFaultsTest)
    result = unittest.TextTestRunner(stream=open("/dev/null", "w")).run(suite)
    boxes = Path(zarel_e2e.CONFIG["artifacts"]) / "placement-faults" / "boxes.txt"
    print("\nplacement faults (tests/e2e/test_placement_faults.py):")
    if result.skipped:
        print("  skipped:", result.skipped[0][1])
        return
    recovered = "yes" if result.wasSuccessful() else "no"
    print("| fault | the faulty run | the next run completed |")
    print("| --- | --- | --- |")
    if boxes.exists():
        for block in boxes.read_text(encoding="utf-8").split("--- ")[1:]:
            head, _, text = block.partition("\n")
            said = " ".join(line.strip() for line in text.splitlines() if line.strip())
            said = said if len(said) <= 140 else said[:137] + "..."
            print(f"| {head.split(':')[0]} | {head.split(': ', 1)[-1]}: {said.replace('|', '/')} | {recovered} |")
    for _, trace in result.failures + result.errors:
        print("  failed:", trace.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(ROOT / "build" / "win32"))
    parser.add_argument("--kinds", default="first,upgrade", help="'' for none (with --faults: only the faults)")
    parser.add_argument("--points", help="point numbers, and 'middle' for the placement (all when left out)")
    parser.add_argument("--faults", action="store_true")
    options = parser.parse_args()
    out = ROOT / "build" / "bench-recovery"
    zarel_e2e.CONFIG.update({"build": Path(options.build).resolve(), "artifacts": out / "artifacts",
                             "work": out / "work", "keep": False})
    display = zarel_e2e.Xvfb()
    zarel_e2e.CONFIG["display"] = display.display
    started = time.monotonic()
    try:
        kinds = [kind for kind in options.kinds.split(",") if kind]
        if kinds:
            prepared = prepare_kinds()
            prepared_s = time.monotonic() - started
            try:
                results = run_cases(prepared, kinds, chosen_points(options.points))
            finally:
                remove_prepared(prepared)
            print(table(results))
            equal = sum(1 for r in results if r.equal)
            print(f"\n{equal} of {len(results)} equal to a clean run; prepared in {prepared_s:.0f} s, "
                  f"cases {min(r.seconds for r in results):.0f}-{max(r.seconds for r in results):.0f} s each, "
                  f"{time.monotonic() - started:.0f} s in all")
        if options.faults:
            placement_faults()
    finally:
        display.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
