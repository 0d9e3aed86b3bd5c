"""Components left out: on a first installation nothing of theirs arrives, and on an upgrade
of an installation that had them their files and servers go; the choice is remembered in
the suite's key either way."""
import unittest

from install_scenario import SERVICE_RUNNING, SUITE_KEY, InstallScenario

# The component list's items: web mail, anti-spam, antivirus, IM, groupware.
ALL_LEFT_OUT = {1: False, 2: False, 3: False, 4: False, 5: False}
FLAGS = ("NoInstallWebMail", "NoInstallIAS", "NoInstallAV", "NoInstallIM", "NoInstallCalendar")
# What each component puts into the installation folder.
COMPONENT_FILES = ("html\\mail", "spam", "avast", "im.exe", "cal.exe")
# The customer's files below spam\: an upgrade that leaves anti-spam out keeps them, as the
# uninstall does; the shipped rules and the filter's other files go.
CUSTOMER_SPAM_FILES = {"spam\\rules\\local.cf": b"# the customer's own rules\r\n",
                       "spam\\Challenge.mdb": b"the customer's challenge database\r\n"}
SHIPPED_SPAM_FILES = ("spam\\rules\\10_headers.cf", "spam\\rules\\60_whitelist.cf")
KEPT_SERVICES = ("ZarelSMTP", "ZarelPOP3", "ZarelControl")
LEFT_OUT_SERVICES = ("ZarelIM", "ZarelCalendar")
WEB_MAIL_MANUAL = "Quenfor WebMail Documentation.lnk"


class ComponentsTest(unittest.TestCase):
    def assert_left_out(self, s, kept=()):
        for name in COMPONENT_FILES:
            if name not in kept:
                self.assertFalse(s.installed(name).exists(), name)
        for name in LEFT_OUT_SERVICES:
            self.assertIsNone(s.service(name), name)
        for name in KEPT_SERVICES:
            s.wait_service_state(name, SERVICE_RUNNING)
        for flag in FLAGS:
            self.assertEqual(s.reg_query(SUITE_KEY, flag), "1", flag)
        self.assertNotIn(WEB_MAIL_MANUAL, s.start_menu_links())
        # The core stays whole.
        for name in ("smtp.exe", "pop3.exe", "control.exe", "html", "config\\webserver.cfg"):
            self.assertTrue(s.installed(name).exists(), name)

    def test_left_out_on_a_first_installation(self):
        with InstallScenario("components-first") as s:
            # IM left out counts as started: no warning about servers that do not run.
            self.assertEqual(s.install_with_defaults(ALL_LEFT_OUT), [])
            self.assert_left_out(s)
            self.assertIn("Web mail left out (component not chosen)", s.log_text())

    def test_left_out_on_an_upgrade_removes_them(self):
        with InstallScenario("components-upgrade") as s:
            s.install_with_defaults()
            for name in COMPONENT_FILES:
                self.assertTrue(s.installed(name).exists(), name)
            for name in LEFT_OUT_SERVICES:
                s.wait_service_state(name, SERVICE_RUNNING)
            self.assertIn(WEB_MAIL_MANUAL, s.start_menu_links())
            # The customer's web mail settings are data, not part of the component's programs.
            users = s.installed("webmail\\config\\users.dat")
            users.write_bytes(b"customer web mail users\r\n")
            for name, content in CUSTOMER_SPAM_FILES.items():
                s.installed(name).write_bytes(content)

            s.start_wizard()
            s.walk_to_destination(ALL_LEFT_OUT)
            self.assertEqual(s.install(), [])
            self.assertEqual(s.finish_without_actions(), 0)

            self.assert_left_out(s, kept=("spam",))
            self.assertEqual(users.read_bytes(), b"customer web mail users\r\n")
            for name, content in CUSTOMER_SPAM_FILES.items():
                self.assertEqual(s.installed(name).read_bytes(), content, name)
            for name in SHIPPED_SPAM_FILES:
                self.assertFalse(s.installed(name).exists(), name)
            # The antivirus engine was removed by its own uninstaller before its folder went.
            log = s.log_text()
            self.assertLess(log.index("Antivirus engine uninstall succeeded"), log.index("Folder removed: " + s.install_dir() + "avast\\"))
            # The servers of the components were stopped before their files went.
            for program in ("im", "cal"):
                self.assertIn("stopped", s.server_log(program, "events")[-1], program)

            # The next setup offers the components as they were left.
            s.start_wizard()
            s.next_page("LicensePanel")
            s.next_page("SetupTypePanel")
            s.next_page("SetupComponents")
            self.assertEqual(s.checks(), "x-----")


if __name__ == "__main__":
    unittest.main()
