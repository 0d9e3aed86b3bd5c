"""What goes wrong around an installation, seen as a person sees it: a port the SMTP server
cannot have, a temporary folder somebody prepared beforehand, answers that cannot be saved, a
damaged data archive found before an upgrade changes anything (more in test_placement_faults),
a server that will not stop, a newer version already installed.
(A missing Setup.Dat is a start-up failure: test_command_line.)"""
import socket
import unittest

from distribution import DEMO_DOMAIN
from install_scenario import (DISABLED, INSTALL_WAIT, SERVICE_RUNNING, SERVICE_STOPPED, SERVICES, SUITE_KEY,
                              InstallScenario, step_durations)

NOT_RUNNING = ("The following service(s) could not be started:\r\n{}\r\nThere must be already running some other "
               "service(s) on the same TCP/IP port(s). Please, make sure no other SMTP or POP3 servers are running "
               "(including MS SMTP and Norton POP3).")
DISPLAY_NAMES = {"ZarelSMTP": "Zarel Mail Server SMTP", "ZarelPOP3": "Zarel Mail Server POP3 / IMAP",
                 "ZarelControl": "Zarel Mail Server Web / Control", "ZarelIM": "Zarel Instant Messaging Server",
                 "ZarelCalendar": "Zarel GroupWare Server"}
PROGRAMS = {"ZarelSMTP": "smtp", "ZarelPOP3": "pop3", "ZarelControl": "control", "ZarelIM": "im",
            "ZarelCalendar": "cal"}
STOP_WAIT_S = 10
ANSWERS = "C:\\deploy\\answers.txt"


def running_count(s, service):
    return sum(1 for event in s.server_log(PROGRAMS[service], "events") if event.endswith(" running"))


def temp_folder(s):
    """The setup's %TEMP% in the prefix (the template's profile layout decides which)."""
    for pattern in ("users/*/Temp", "users/*/AppData/Local/Temp"):
        found = sorted(s.drive_c.glob(pattern))
        if found:
            return found[0]
    raise AssertionError("no temporary folder in the prefix")


class FirstInstallationFailuresTest(unittest.TestCase):
    def test_taken_smtp_port_and_a_prepared_extraction_folder(self):
        with InstallScenario("failures-first") as s:
            # Somebody else's files where the extraction folder would be: a library for the
            # modules tree and a page for the web tree.
            planted = temp_folder(s) / "zarelinstall"
            for name in ("modules/planted.dll", "html/planted.html"):
                (planted / name).parent.mkdir(parents=True, exist_ok=True)
                (planted / name).write_bytes(b"planted")
            # Another program holds the SMTP port of the demonstration settings.
            holder = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            holder.bind(("127.0.0.1", s.smtp_port))
            (s.drive_c / "deploy").mkdir()
            try:
                s.start_wizard("/saveanswers=" + ANSWERS)
                s.walk_to_destination()
                boxes = s.install(expect_boxes=[("Warning", "ok")])
            finally:
                holder.close()
            # The answers file was checked at the start; since then somebody made a folder of
            # its name. The answers cannot be saved, and the person is told so.
            s.path(ANSWERS).mkdir()
            for name in ("RunConfig", "ViewReadme", "ShowTutorial", "ViewReleaseNotes", "RunTutorial", "RunAntivirus"):
                if s.state(name)["checked"]:
                    s.click(name)
            s.click("NextButton")
            box = s.wait_box("Warning")
            s.screenshot("answers-not-saved")
            self.assertEqual(box["text"], "The answers could not be saved in " + ANSWERS)
            s.answer(box, "ok")
            self.assertEqual(s.exit_code(), 0)
            self.assertNotIn("Answers saved", s.log_text())

            self.assertEqual(boxes[0]["text"], NOT_RUNNING.format(DISPLAY_NAMES["ZarelSMTP"] + "\r\n"))
            # On a loaded machine the box can come while the server is still starting: its own
            # line about the port follows.
            s.wait_until(lambda: any("its port is taken" in e for e in s.server_log("smtp", "events")),
                         "the SMTP server's line about its port", 30)
            for name in SERVICES[1:]:
                s.wait_service_state(name, SERVICE_RUNNING)

            # Nothing of the prepared folder was installed; it is left to whoever made it, and
            # the folder of this run is gone.
            for name in ("modules\\planted.dll", "html\\planted.html"):
                self.assertFalse(s.installed(name).exists(), name)
            self.assertTrue(s.installed("modules").is_dir())
            self.assertEqual((planted / "modules/planted.dll").read_bytes(), b"planted")
            log = s.log_text()
            self.assertRegex(log, r"zarelinstall-[0-9a-f]{16}\\")
            self.assertEqual(sorted(p.name for p in temp_folder(s).glob("zarelinstall*")), ["zarelinstall"])
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")


class UpgradeFailuresTest(unittest.TestCase):
    def start_upgrade(self, s):
        """The wizard up to the Install button of an upgrade."""
        s.start_wizard()
        self.assertEqual(s.text("SetupTypeLabel"), "Upgrade Setup")
        s.walk_to_destination()
        s.click("NextButton")

    def test_damaged_archive_newer_version_and_a_server_that_will_not_stop(self):
        with InstallScenario("failures-upgrade") as s:
            s.install_with_defaults()
            smtp_exe = s.installed("smtp.exe")

            # --- SetupWeb.Dat cut short, during an upgrade from 7.7.2 with POP3 disabled ---
            s.driver("reg-set", SUITE_KEY, "Version", "7.7.2")
            s.change_service("ZarelPOP3", "stop")
            s.wait_service_state("ZarelPOP3", SERVICE_STOPPED)
            s.change_service("ZarelPOP3", "disabled")
            web = s.demo / "SetupWeb.Dat"
            intact = web.read_bytes()
            web.write_bytes(intact[:len(intact) // 2])
            running = ["ZarelSMTP", "ZarelControl", "ZarelIM", "ZarelCalendar"]
            starts = {name: running_count(s, name) for name in running}

            self.start_upgrade(s)
            box = s.wait_box("Error", timeout=INSTALL_WAIT)
            s.screenshot("damaged-archive")
            # Found by the read-through before the first change: the page names the check.
            self.assertEqual(s.text("InstallPanelText"), "Failed: Checking C:\\Demo\\SetupWeb.Dat")
            self.assertRegex(box["text"], r"^Extracting files error: data file error\r\n\r\nC:\\Demo\\SetupWeb\.Dat: "
                                          r"the file ends too early, in [^\r]+\.\r\n\r\nNothing was changed on this "
                                          r"computer\.")
            s.answer(box, "ok")
            self.assertEqual(s.exit_code(), 1)
            # No server was stopped, the disabled one stays as it was, and nothing claims the
            # new version.
            for name in running:
                self.assertEqual(s.service(name)["state"], SERVICE_RUNNING, name)
                self.assertEqual(running_count(s, name), starts[name], name)
            pop3 = s.service("ZarelPOP3")
            self.assertEqual((pop3["startType"], pop3["state"]), (DISABLED, SERVICE_STOPPED))
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "7.7.2")
            log = s.log_text()
            self.assertNotIn("Step: Stop the running servers", log)
            self.assertIn("Setup ends with exit code 1", log)
            web.write_bytes(intact)
            s.change_service("ZarelPOP3", "auto")
            s.change_service("ZarelPOP3", "start")
            s.wait_service_state("ZarelPOP3", SERVICE_RUNNING)

            # --- A newer version installed: asked first, No (the default) changes nothing ---
            s.driver("reg-set", SUITE_KEY, "Version", "9.0.0")
            program_before = (smtp_exe.stat().st_mtime_ns, smtp_exe.read_bytes())
            present = list(SERVICES)
            starts = {name: running_count(s, name) for name in present}
            self.start_upgrade(s)
            box = s.wait_box("Zarel Mail Server Setup")
            self.assertIn("Version 9.0.0 of Zarel Mail Server is installed", box["text"])
            self.assertEqual([b["text"] for b in box["buttons"]], ["&Yes", "&No"])
            s.screenshot("newer-version")
            s.key("enter", top=box["hwnd"])
            self.assertEqual(s.exit_code(), 0)
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "9.0.0")
            self.assertEqual((smtp_exe.stat().st_mtime_ns, smtp_exe.read_bytes()), program_before)
            for name in present:
                self.assertEqual(s.service(name)["state"], SERVICE_RUNNING, name)
                self.assertEqual(running_count(s, name), starts[name], name)
            self.assertIn("Version 9.0.0 is installed: nothing was changed", s.log_text())

            # --- The control server ignores the stop: ended by force, the upgrade completes ---
            s.driver("reg-set", SUITE_KEY, "Version", "8.2.0")
            s.change_service("ZarelControl", "stop")
            s.wait_service_state("ZarelControl", SERVICE_STOPPED)
            s.installed("control.test").write_bytes(b"ignore-stop")
            s.change_service("ZarelControl", "start")
            s.wait_service_state("ZarelControl", SERVICE_RUNNING)
            stuck = s.processes("control.exe")
            self.assertEqual(len(stuck), 1)
            starts = {name: running_count(s, name) for name in ("ZarelSMTP", "ZarelPOP3", "ZarelControl", "ZarelIM")}
            self.start_upgrade(s)
            boxes = answer_until_finished(s)
            self.assertEqual(s.finish_without_actions(), 0)

            self.assertIn("stop ignored", s.server_log("control", "events"))
            # Ended, and a new one started by the upgrade.
            s.wait_until(lambda: len(s.processes("control.exe")) == 1, "one control.exe")
            self.assertNotEqual(s.processes("control.exe"), stuck)
            log = s.log_text()
            self.assertGreaterEqual(dict(step_durations(log))["Stop the running servers"], STOP_WAIT_S * 1000)
            self.assertIn("Setup ends with exit code 0", log)
            # Wine keeps a service whose process was ended RUNNING without a process, so the
            # setup's later stop and create calls on it fail (docs/wine.md); Windows marks it
            # stopped. Those warnings are the only ones.
            for box in boxes:
                self.assertEqual(box["caption"], "Warning")
                self.assertRegex(box["text"], r"^Service error: (Service cannot accept control message|Service exists)")
            for name, count in starts.items():
                s.wait_service_state(name, SERVICE_RUNNING)
                self.assertEqual(running_count(s, name), count + 1, name)
            s.wait_service_state("ZarelCalendar", SERVICE_RUNNING)
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")


def answer_until_finished(s):
    """Presses OK on every box until the finish page shows; gives the boxes."""
    seen = []
    while s.page() != "FinishedPanel":
        boxes = s.boxes()
        if boxes:
            seen.append(boxes[0])
            s.answer(boxes[0], "ok")
            continue
        s.wait_until(lambda: s.page() == "FinishedPanel" or s.boxes(), "the finish page or a box", INSTALL_WAIT)
    return seen

if __name__ == "__main__":
    unittest.main()
