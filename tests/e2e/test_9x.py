"""The first installation on the 9x platform (Wine's per-program version win98 for
setup.exe): the servers run as tray programs instead of services, and each has its start
link; an upgrade that leaves components out leaves no link to their programs."""
import unittest

from install_scenario import SERVICES, SUITE_KEY, InstallScenario

PROGRAMS = ("smtp", "pop3", "control", "im", "cal")
START_LINKS = ["Start Zarel SMTP Service.lnk", "Start Zarel POP3-IMAP4 Service.lnk", "Start Zarel Control Service.lnk",
               "Start Zarel Instant Messaging Service.lnk", "Start Zarel GroupWare Service.lnk"]


class NineXTest(unittest.TestCase):
    def test_first_installation_runs_tray_programs(self):
        with InstallScenario("ninex-first") as s:
            s.driver("reg-set", r"HKCU\Software\Wine\AppDefaults\setup.exe", "Version", "win98")
            self.assertEqual(s.install_with_defaults(), [])
            log = s.log_text()
            self.assertIn("Platform: Windows 9x", log)

            for name in SERVICES:
                self.assertIsNone(s.service(name), name)
            # One process each, started by the setup as a tray program; the setup's own check
            # found the windows, or a warning would have come.
            for program in PROGRAMS:
                s.wait_until(lambda: "tray program running" in s.server_log(program, "events"), f"{program} running")
                self.assertEqual(len(s.processes(program + ".exe")), 1, program)
            links = s.start_menu_links()
            for link in START_LINKS:
                self.assertIn(link, links)
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")
            # The tray SMTP server took the demonstration message.
            s.wait_until(lambda: s.mailbox_messages("admin"), "the demonstration message", 30)

            # An upgrade that leaves instant messaging and groupware out: their programs go, and
            # no start link points at them.
            self.assertEqual(s.install_with_defaults(components={4: False, 5: False}), [])
            links = s.start_menu_links()
            for link in START_LINKS[:3]:
                self.assertIn(link, links)
            for link in START_LINKS[3:]:
                self.assertNotIn(link, links)
            for program in ("im.exe", "cal.exe"):
                self.assertFalse(s.installed(program).exists(), program)


if __name__ == "__main__":
    unittest.main()
