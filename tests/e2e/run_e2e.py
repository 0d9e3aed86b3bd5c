#!/usr/bin/env python3
"""Runs end-to-end test modules of tests/e2e under one Xvfb.

  run_e2e.py --build BUILD_TREE [--artifacts DIR] [--work DIR] [--keep] [--screen WxHxD] MODULE...

MODULE is a test module of this folder (test_harness, test_wizard_pages, ...), optionally
with a class or test: test_startup.StartupTest.test_an_earlier_installation_is_upgraded_in_its_folder.
"""
import argparse
import shutil
import sys
import unittest
from pathlib import Path

# Nothing is written into the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import zarel_e2e  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--artifacts")
    parser.add_argument("--work")
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--screen", default="1024x768x24", help="the Xvfb screen (width x height x depth)")
    parser.add_argument("modules", nargs="+")
    options = parser.parse_args()

    build = Path(options.build).resolve()
    zarel_e2e.CONFIG.update({
        "build": build,
        "artifacts": Path(options.artifacts or build / "tests" / "artifacts").resolve(),
        "work": Path(options.work or build / "tests" / "e2e-work").resolve(),
        "keep": options.keep,
    })
    # Prefixes left by an interrupted run, and the data archive of an older build, go.
    shutil.rmtree(zarel_e2e.CONFIG["work"], ignore_errors=True)
    display = zarel_e2e.Xvfb(options.screen)
    zarel_e2e.CONFIG["display"] = display.display
    try:
        suite = unittest.defaultTestLoader.loadTestsFromNames(options.modules)
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    finally:
        display.stop()
    failed = len(result.failures) + len(result.errors)
    passed = result.testsRun - failed - len(result.skipped)
    print(f"{passed} passed, {failed} failed, {len(result.skipped)} skipped")
    return 0 if result.wasSuccessful() and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
