#!/usr/bin/env python3
"""Where the time of an installation goes: a first installation and an upgrade of the
demonstration distribution with the real setup.exe under Wine, step by step from the setup
log, beside the floor of the same work done by other programs in the same prefix (the data
archives extracted with ilds.exe, the five services created and started with sc) and the fixed
waits the sequence makes on purpose.

  bench/install_bench.py [--rounds N] [--build BUILD_TREE]

Figures only: exits 0 whatever they are, non-zero when a run could not be made. Needs both
build trees (scripts/build.sh) and the booted template prefix (scripts/wine-prefix.sh).
"""
import argparse
import re
import statistics
import subprocess
import sys
import time
from datetime import datetime
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.dont_write_bytecode = True
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import zarel_e2e  # noqa: E402
from install_scenario import SERVICES, SERVICE_RUNNING, InstallScenario  # noqa: E402

# The pauses the sequence makes whatever the machine: the servers' check runs twice with a
# 1.5 s pause each, and a first installation lets the started servers settle 2 s before it
# sends the demonstration message.
FIXED_WAITS_MS = {"Stop the running servers": 2 * 1500, "Let the servers settle": 2000}
PROGRAMS = {"ZarelSMTP": "smtp.exe", "ZarelPOP3": "pop3.exe", "ZarelControl": "control.exe",
            "ZarelIM": "im.exe", "ZarelCalendar": "cal.exe"}
STAMP = r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})"


def sequence_of(log):
    """(wall ms of the whole sequence, [(step, ms)]) of the last install sequence in a log."""
    start = log.rindex("Page 5: InstallingPanel")
    part = log[start:]
    stamps = [datetime.strptime(m, "%Y-%m-%d %H:%M:%S.%f") for m in re.findall(STAMP + r"  Step", part)]
    steps = [(m.group(1), int(m.group(2))) for m in re.finditer(r"Step done: (.*) \((\d+) ms\)", part)]
    return (stamps[-1] - stamps[0]).total_seconds() * 1000, steps


def wine_ms(s, command, check=True):
    """Wall ms of one Windows command line run through cmd in the scenario's prefix (as a
    batch file, so its quotes reach the programs as written)."""
    batch = s.drive_c / "bench" / "command.bat"
    batch.parent.mkdir(exist_ok=True)
    batch.write_bytes(("@echo off\r\n" + command + "\r\n").encode("cp1252"))
    started = time.monotonic()
    result = subprocess.run(["wine", "cmd", "/c", r"C:\bench\command.bat"], env=s.env, capture_output=True,
                            timeout=300)
    if check and result.returncode != 0:
        raise zarel_e2e.E2EError(f"{command}: exit {result.returncode} {result.stdout[-300:]!r}")
    return (time.monotonic() - started) * 1000


def floor_ms(s):
    """The same work done by other programs in the same prefix: the five services stopped,
    deleted, created and started again with sc, and every data archive extracted with
    ilds.exe. Wine's start of each program is measured on its own (the same program doing
    nothing, as many times) and taken off, so the floor is the work, not the process starts."""
    bench = s.drive_c / "bench"
    bench.mkdir(exist_ok=True)
    (bench / "ilds.exe").write_bytes((Path(zarel_e2e.CONFIG["build"]) / "tools" / "ilds" / "ilds.exe").read_bytes())
    archives = sorted(p.name for p in s.demo.iterdir() if p.suffix.lower() == ".dat")
    folder = s.install_dir()

    def each(template, names):
        return " & ".join(template.format(name) for name in names)

    sc_starts = wine_ms(s, each("sc query {} >nul", SERVICES))
    ilds_starts = wine_ms(s, each("C:\\bench\\ilds.exe list C:\\Demo\\{} >nul", archives[:1] * len(archives)))
    # sc stop only asks; the stop counts until every service reports stopped.
    asked = time.monotonic()
    wine_ms(s, each("sc stop {} >nul", SERVICES), check=False)
    s.wait_until(lambda: all((s.service(n) or {}).get("state") == 1 for n in SERVICES), "the services stopped", 60)
    stopping = (time.monotonic() - asked) * 1000
    wine_ms(s, each("sc delete {} >nul", SERVICES))
    created = wine_ms(s, " & ".join(f'sc create {name} binPath= "\\"{folder}{PROGRAMS[name]}\\"" start= auto >nul'
                                    for name in SERVICES))
    # Wine's sc start answers 1 while a service is still starting; the states below decide.
    started = wine_ms(s, each("sc start {} >nul", SERVICES), check=False)
    try:
        s.wait_until(lambda: all((s.service(n) or {}).get("state") == SERVICE_RUNNING for n in SERVICES),
                     "the services running", 60)
    except zarel_e2e.E2EError:
        raise zarel_e2e.E2EError(f"not all running: { {n: s.service(n) for n in SERVICES} }")
    extracted = wine_ms(s, each("C:\\bench\\ilds.exe extract C:\\Demo\\{0} C:\\bench\\out\\{0}\\ >nul", archives))
    return {"extract": extracted - ilds_starts, "create and start": created + started - 2 * sc_starts,
            "stop": stopping - sc_starts}


def one_round(number):
    with InstallScenario(f"bench-{number}") as s:
        s.install_with_defaults()
        first = sequence_of(s.log_text())
        s.start_wizard()
        s.walk_to_destination()
        s.install()
        if s.finish_without_actions() != 0:
            raise zarel_e2e.E2EError("the upgrade did not end with 0")
        upgrade = sequence_of(s.log_text())
        floor = floor_ms(s)
    return first, upgrade, floor


def table(name, runs, floor):
    walls = [wall for wall, _ in runs]
    steps = {}
    for _, run in runs:
        for step, ms in run:
            steps.setdefault(step, []).append(ms)
    waits = sum(ms for step, ms in FIXED_WAITS_MS.items() if step in steps)
    wall = statistics.median(walls)
    print(f"\n{name}: the sequence took {wall:.0f} ms (median of {len(runs)})")
    print(f"  {'step':58} {'median ms':>9}")
    for step, values in sorted(steps.items(), key=lambda item: -statistics.median(item[1])):
        median = statistics.median(values)
        if median >= 5:
            print(f"  {step[:58]:58} {median:9.0f}")
    beyond = wall - floor - waits
    print(f"  floor {floor:.0f} ms, fixed waits {waits} ms")
    print(f"  beyond the floor and the fixed waits: {beyond:.0f} ms (target under 1000 ms)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--build", default=str(ROOT / "build" / "win32"))
    options = parser.parse_args()
    out = ROOT / "build" / "bench-install"
    zarel_e2e.CONFIG.update({"build": Path(options.build).resolve(), "artifacts": out / "artifacts",
                             "work": out / "work", "keep": False, "pending": set()})
    display = zarel_e2e.Xvfb()
    zarel_e2e.CONFIG["display"] = display.display
    try:
        rounds = [one_round(n) for n in range(options.rounds)]
    finally:
        display.stop()
    floor = {part: statistics.median(r[2][part] for r in rounds) for part in rounds[0][2]}
    print("floor, by other programs in the same prefix (medians of %d, without Wine's process starts):" % len(rounds))
    for part, ms in floor.items():
        print(f"  {part:20} {ms:6.0f} ms")
    table("first installation", [r[0] for r in rounds], floor["extract"] + floor["create and start"])
    table("upgrade", [r[1] for r in rounds], sum(floor.values()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
