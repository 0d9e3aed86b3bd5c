#!/usr/bin/env python3
"""The run command's walk: a first installation of the demonstration distribution with the
real setup.exe, then what a person can check afterwards, printed as a short summary.

  show_installation.py --build BUILD_TREE --out DIR [--by-hand]

Without --by-hand the wizard is driven under its own Xvfb like a person does it (a screenshot
of every page goes to DIR/screens/); with --by-hand it shows on $DISPLAY and the person walks
it. DIR/work/ keeps the Wine prefix afterwards. Exit status 0 when every check held.
"""
import argparse
import os
import secrets
import sys
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import zarel_e2e  # noqa: E402
from distribution import DEMO_DOMAIN  # noqa: E402
from install_scenario import SERVICE_RUNNING, SERVICES, SUITE_KEY, UNINSTALL_KEY, InstallScenario  # noqa: E402

HOST, DOMAIN, USER = "mail.zarel-run.example", "zarel-run.example", "postmaster"
BY_HAND_WAIT = 3600.0


def drive_first_installation(s, password):
    s.start_wizard()
    s.screenshot("page0-welcome")
    for panel in ("LicensePanel", "SetupTypePanel", "SetupComponents", "InstallPanel"):
        s.next_page(panel)
        if panel != "InstallPanel":
            s.screenshot(f"page-{panel}")
    s.install()  # screenshots of the destination, installing and finish pages
    for name in ("RunConfig", "ViewReadme", "ShowTutorial", "ViewReleaseNotes", "RunAntivirus"):
        if s.state(name)["checked"]:
            s.click(name)
    s.fill_first_run_page(HOST, DOMAIN, USER, password)
    s.screenshot("page7-first-run")
    s.click("NextButton")
    return s.exit_code(60)


def checks(s, exit_code, first_run):
    """(what, held, detail) of everything a person would look at."""
    found = []

    def check(what, held, detail=""):
        found.append((what, bool(held), detail))

    check("setup.exe ended with exit code 0", exit_code == 0, f"exit code {exit_code}")
    folder = s.install_dir()
    check("installation folder in the registry", folder, folder or "no InstallDir")
    if not folder:
        return found
    check("version 8.2.0 in the registry", s.reg_query(SUITE_KEY, "Version") == "8.2.0")
    check("uninstall entry", s.reg_query(UNINSTALL_KEY, "UninstallString"))
    programs = [p for p in s.installed().iterdir() if p.suffix.lower() in (".exe", ".dll")]
    check("programs placed", len(programs) >= 10, f"{len(programs)} programs in {folder}")
    states = {name: (s.service(name) or {}).get("state") for name in SERVICES}
    running = [name for name, state in states.items() if state == SERVICE_RUNNING]
    check("five services running", len(running) == len(SERVICES), ", ".join(running) or "none")
    links = s.start_menu_links()
    check("Start-menu links", len(links) >= 4, f"{len(links)} links")
    try:
        messages = s.wait_until(lambda: s.mailbox_messages("admin"), "the demonstration message", 30)
    except zarel_e2e.E2EError:
        messages = []
    check("demonstration message in its mailbox", messages,
          str(messages[0].relative_to(s.drive_c)) if messages else f"nothing in admin@{DEMO_DOMAIN}")
    if first_run:
        report = s.store_report()
        check("primary domain created", f": {DOMAIN}\n" in report and
              s.installed(f"config\\{DOMAIN}\\domain.cfg").is_file(), DOMAIN)
        check("its administrator", f"aliases:   {USER}\n" in report and "rights:    1" in report, f"{USER}@{DOMAIN}")
    log = s.log_text()
    check("setup log complete", "Setup ends with exit code 0" in log)
    check("setup log copied to logs\\", list(s.installed("logs").glob("Setup Log *.txt")))
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--by-hand", action="store_true")
    options = parser.parse_args()
    out = Path(options.out).resolve()
    zarel_e2e.CONFIG.update({"build": Path(options.build).resolve(), "artifacts": out / "screens",
                             "work": out / "work", "keep": True})
    display = None
    if options.by_hand:
        if not os.environ.get("DISPLAY"):
            print("--by-hand needs a display (DISPLAY is not set)", file=sys.stderr)
            return 2
        zarel_e2e.CONFIG["display"] = os.environ["DISPLAY"]
    else:
        display = zarel_e2e.Xvfb()
        zarel_e2e.CONFIG["display"] = display.display
    password = secrets.token_urlsafe(12)
    try:
        with InstallScenario("first-installation") as s:
            print(f"== the demonstration distribution is in {s.demo}")
            if options.by_hand:
                print("== setup.exe shows on your display: walk the wizard; this waits for it to end")
                s.start()
                code = s.exit_code(BY_HAND_WAIT)
            else:
                print("== driving the wizard through a first installation")
                code = drive_first_installation(s, password)
            results = checks(s, code, first_run=not options.by_hand)
            shots = sorted(s.artifacts.glob("*.png"))
    finally:
        if display:
            display.stop()

    print("== what the run shows")
    for what, held, detail in results:
        print(f"  {'ok  ' if held else 'FAIL'}  {what}" + (f": {detail}" if detail else ""))
    if not options.by_hand:
        print(f"== first run: {USER}@{DOMAIN}, password {password}")
    print("== screenshots")
    for shot in shots:
        print(f"  {shot}")
    print(f"== the Wine prefix stays in {out / 'work'}; the setup log is among the screenshots")
    return 0 if all(held for _, held, _ in results) else 1


if __name__ == "__main__":
    sys.exit(main())
