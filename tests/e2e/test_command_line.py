"""The command words of setup.exe, as a shortcut or a script starts them: what opens, what
asks, what ends without a window, and with which exit code."""
import shutil
import time
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

from setup_scenario import EXIT_QUESTION, OPENING_CAPTION, SetupScenario
from zarel_e2e import CONFIG

SUITE_KEY = r"HKLM\Software\Quenfor\Zarel Mail Server"


def run_quietly(test, s, *args, timeout=20):
    """Runs a one-shot command: no window and no box may show while it runs."""
    s.start(*args)
    deadline = time.monotonic() + s.first_wait(timeout)
    while s.running():
        shown = [w["class"] for w in s.windows() if w["class"] in ("TMainForm", "#32770", "TBrowseFolder")]
        test.assertEqual(shown, [], f"{args} showed a window")
        test.assertLess(time.monotonic(), deadline, f"{args} did not end")
        time.sleep(0.05)
    return s.exit_code()


class CommandLineTest(unittest.TestCase):
    def test_one_shot_words_open_through_the_shell_and_end_without_a_window(self):
        with SetupScenario("cmdline-one-shots") as s:
            self.assertEqual(run_quietly(self, s, "/WEBADMINLOGON"), 0)
            s.wait_until(lambda: s.browser_opened(), "the browser")
            self.assertEqual(s.browser_opened(), ["http://localhost:32000/accounts/"])

            self.assertEqual(run_quietly(self, s, "/webmaillogon"), 0)
            s.wait_until(lambda: len(s.browser_opened()) == 2, "the browser")
            self.assertEqual(s.browser_opened()[1], "http://localhost:32000/mail/")

            # A command word treats the setup's own folder as the installation; its logs
            # folder exists as in an installed suite.
            (s.demo / "logs").mkdir()
            self.assertEqual(run_quietly(self, s, "/LOGS"), 0)
            s.wait_until(lambda: s.shell_opened(), "the logs folder")
            opened = s.shell_opened()
            self.assertEqual([line.strip('"').rstrip("\\").upper() for line in opened], ["C:\\DEMO\\LOGS"])

            # Any other first word ends quietly, even with /SILENT after it.
            self.assertEqual(run_quietly(self, s, "C:\\Demo\\", "/SILENT"), 0)
            self.assertEqual(run_quietly(self, s, "hello"), 0)
            self.assertEqual(len(s.browser_opened()), 2)
            self.assertEqual(len(s.shell_opened()), 1)

    def test_silent_in_any_letter_case_skips_the_opening_question(self):
        with SetupScenario("cmdline-silent") as s:
            s.start("/SiLeNt")
            s.wait_window()
            s.wait_page("WelcomePanel")
            self.assertEqual([b["caption"] for b in s.boxes()], [])
            s.screenshot("silent-welcome")
            s.key("escape")
            s.expect_exit_question("yes")
            self.assertEqual(s.exit_code(), 0)

    def test_no_to_the_opening_question_ends_without_a_window(self):
        with SetupScenario("cmdline-opening-no") as s:
            s.start()
            box = s.wait_box(OPENING_CAPTION)
            s.screenshot("opening-question")
            self.assertEqual(s.windows("TMainForm"), [])
            s.answer(box, "no")
            self.assertEqual(s.exit_code(), 0)

    def test_uninstall_asks_and_no_changes_nothing(self):
        with SetupScenario("cmdline-uninstall-no") as s:
            s.driver("reg-set", SUITE_KEY, "InstallDir", "C:\\Zarel\\")
            s.driver("reg-set", SUITE_KEY, "Version", "8.1.0")
            before = sorted(p.name for p in s.demo.iterdir())
            s.start("/Uninstall")
            box = s.wait_box(OPENING_CAPTION)
            self.assertEqual(box["text"],
                             "Are you sure to completely remove all files and components of this program?")
            self.assertEqual([b["text"] for b in box["buttons"]], ["&Yes", "&No"])
            s.screenshot("uninstall-question")
            s.answer(box, "no")
            self.assertEqual(s.exit_code(), 0)
            self.assertEqual(s.reg_query(SUITE_KEY, "InstallDir"), "C:\\Zarel\\")
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.1.0")
            self.assertEqual(sorted(p.name for p in s.demo.iterdir()), before)

    def test_exportlanguage_with_restart_only_exports(self):
        with SetupScenario("cmdline-export-restart") as s:
            self.assertEqual(run_quietly(self, s, "/exportlanguage", "/restart", "0"), 0)
            exported = ET.fromstring((s.demo / "Setup.lng").read_text(encoding="cp1252"))
            form = exported.find("FORMS/FORM[@ID='TMainForm']")
            self.assertIsNotNone(form)
            next_button = form.find("ITEM[@ID='NextButton']")
            self.assertEqual((next_button.get("CLASS"), next_button.get("CAPTION")), ("tbutton", "&Next >"))
            self.assertEqual(exported.find("STRINGS/ITEM[@ID='cdoyouexit']").get("VALUE"), EXIT_QUESTION)
            # The switch works with "-" too, anywhere on the line.
            (s.demo / "Setup.lng").unlink()
            self.assertEqual(run_quietly(self, s, "-EXPORTLANGUAGE"), 0)
            self.assertTrue((s.demo / "Setup.lng").exists())

    def start_tray_server(self, s, switches=None):
        """The SMTP server's stand-in running as a tray program from the setup's folder (the
        server folder of a command word), as on a machine without its service."""
        shutil.copy(Path(CONFIG["build"]) / "suite" / "servers" / "bin" / "smtp.exe", s.demo / "smtp.exe")
        if switches:
            s.put("smtp.test", switches)
        s.driver("start", "C:\\Demo\\smtp.exe", "/systray")
        s.wait_until(lambda: self.server_events(s) == ["tray program running"], "the tray program",
                     s.first_wait())

    @staticmethod
    def server_events(s):
        """The stand-in's start and stop events; its mail receiver logs to the same file."""
        log = s.demo / "logs" / "smtp-events.log"
        lines = log.read_text().splitlines() if log.exists() else []
        return [line for line in lines if line.startswith(("tray program ", "service "))]

    def test_restart_stops_and_starts_the_server_and_exportlanguage_beats_it(self):
        with SetupScenario("cmdline-restart") as s:
            self.start_tray_server(s)
            # The export switch wins: nothing is restarted.
            self.assertEqual(run_quietly(self, s, "/exportlanguage", "/restart", "0"), 0)
            self.assertTrue((s.demo / "Setup.lng").exists())
            self.assertEqual(self.server_events(s), ["tray program running"])
            (s.demo / "Setup.lng").unlink()

            self.assertEqual(run_quietly(self, s, "-RESTART", "0"), 0)
            s.wait_until(lambda: len(self.server_events(s)) == 3, "the restarted server")
            self.assertEqual(self.server_events(s),
                             ["tray program running", "tray program stopped", "tray program running"])
            self.assertFalse((s.demo / "Setup.lng").exists())

    def test_restart_restarts_the_service_of_the_server(self):
        with SetupScenario("cmdline-restart-service") as s:
            shutil.copy(Path(CONFIG["build"]) / "suite" / "servers" / "bin" / "smtp.exe", s.demo / "smtp.exe")
            for command in (["create", "ZarelSMTP", "binPath=", "C:\\Demo\\smtp.exe"], ["start", "ZarelSMTP"]):
                s.driver("start", "C:\\windows\\system32\\sc.exe", *command)
                self.assertEqual(s.exit_code(), 0, command)
            s.wait_until(lambda: self.server_events(s) == ["service ZarelSMTP running"], "the service")

            self.assertEqual(run_quietly(self, s, "/restart", "0"), 0)
            s.wait_until(lambda: len(self.server_events(s)) == 3, "the restarted service")
            self.assertEqual(self.server_events(s), ["service ZarelSMTP running", "service ZarelSMTP stopped",
                                                     "service ZarelSMTP running"])

    # A tray program that ignores the close is not taken for stopped: after 30 s the restart
    # gives up with its own exit code and nothing else is started.
    def test_restart_gives_up_on_a_server_that_does_not_stop(self):
        with SetupScenario("cmdline-restart-stuck") as s:
            self.start_tray_server(s, "ignore-stop")
            self.assertEqual(run_quietly(self, s, "/restart", "0", timeout=60), 5)
            self.assertEqual(self.server_events(s)[0], "tray program running")
            self.assertNotIn("tray program stopped", self.server_events(s))
            self.assertEqual(self.server_events(s).count("tray program running"), 1, "nothing was started")

    def test_a_missing_data_archive_is_a_fatal_error_with_its_exit_code(self):
        with SetupScenario("cmdline-no-archive", archive=False) as s:
            s.start()
            box = s.wait_box("Error")
            self.assertEqual(box["text"], "Setup could not find the required files.")
            self.assertEqual(s.windows("TMainForm"), [])
            s.screenshot("missing-archive")
            s.answer(box, "ok")
            self.assertEqual(s.exit_code(), 1)


if __name__ == "__main__":
    unittest.main()
