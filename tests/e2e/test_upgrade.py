"""Upgrades in place and removal: an installation made by the wizard is made to look like an
older version (registry Version, files of that time), then the setup of the distribution is
run over it; and the installed copy's /UNINSTALL."""
import unittest

from install_scenario import (DISABLED, SERVICE_RUNNING, SERVICE_STOPPED, SERVICES, SUITE_KEY, UNINSTALL_KEY,
                              InstallScenario, skipped_steps)

OLD_WEBSERVER_CFG = ("[Server]\r\nRoot=C:\\old\\html\\\r\n\r\n[Filter]\r\n.php=webmail\\web.dll|[php]\r\n\r\n"
                     "[Virtual-Host]\r\n/mail/=C:\\old\\html\\mail\\\r\n")
# What the customer made or changed, and the upgrade must keep byte for byte.
PROTECTED = {
    "config\\cert.pem": "customer certificate\r\n",
    "spam\\rules\\local.cf": "score CUSTOMER 5.0\r\n",
    "spam\\Challenge.mdb": "customer challenges",
    "calendar\\Calendar.mdb": "customer calendar",
    "webmail\\config\\users.dat": "customer web mail users\r\n",
    "webmail\\config\\settings.dat": "customer web mail settings\r\n",
    "ldap\\slapd.conf": "suffix \"o=customer\"\r\n",
    "mail\\demo.zarel.example\\admin\\kept.tmp": "Subject: an old message\r\n\r\nkept\r\n",
}


def commands(scenario, program):
    return [line for line in scenario.server_log(program, "commands") if line.startswith("pipe 1280")]


def assert_removed(test, s, install):
    """What a removal takes (services, links, uninstall entry, programs) and what it keeps
    (configuration and logs)."""
    for name in SERVICES:
        test.assertIsNone(s.service(name), name)
    test.assertEqual(s.start_menu_links(), [])
    test.assertIsNone(s.reg_query(UNINSTALL_KEY, "DisplayName"))
    for program in ("smtp.exe", "pop3.exe", "db.dll", "api.dll"):
        test.assertFalse(s.path(install + program).exists(), program)
    for kept in ("config\\settings.cfg", "config\\domains.cfg", "logs"):
        test.assertTrue(s.path(install + kept).exists(), kept)


def make_older(s, version):
    """The installation as the given version left it: registry and the customer's files."""
    s.driver("reg-set", SUITE_KEY, "Version", version)
    s.installed("config\\webserver.cfg").write_bytes(OLD_WEBSERVER_CFG.encode("cp1252"))
    for name, content in PROTECTED.items():
        path = s.installed(name)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode("cp1252"))


class UpgradeTest(unittest.TestCase):

    def upgrade(self, s, expect_boxes=()):
        s.start_wizard()
        self.assertEqual(s.text("SetupTypeLabel"), "Upgrade Setup")
        s.walk_to_destination()
        boxes = s.install(expect_boxes)
        # The first run was configured when the suite was first installed.
        self.assertFalse(s.state("RunTutorial")["checked"])
        self.assertFalse(s.state("RunTutorial")["enabled"])
        self.assertFalse(s.state("ShowTutorial")["checked"])
        return boxes

    def test_upgrade_from_7_7_2_keeps_the_customers_files(self):
        with InstallScenario("upgrade-772") as s:
            s.install_with_defaults()
            make_older(s, "7.7.2")
            before = {program: commands(s, program) for program in ("smtp", "cal")}
            self.upgrade(s)
            self.assertEqual(s.finish_without_actions(), 0)

            for name, content in PROTECTED.items():
                self.assertEqual(s.installed(name).read_bytes(), content.encode("cp1252"), name)
            webserver = s.installed("config\\webserver.cfg").read_text(encoding="cp1252")
            self.assertIn("=modules\\wcs.dll|[wcs]", webserver)
            self.assertIn("/wcs/=[wcs]", webserver)
            self.assertIn("php\\php.dll", webserver)
            self.assertNotIn("web.dll", webserver)
            # 7.7.2 is not older than any row of the table: no command.
            for program, lines in before.items():
                self.assertEqual(commands(s, program), lines, program)
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")
            for name in SERVICES:
                s.wait_service_state(name, SERVICE_RUNNING)
            log = s.log_text()
            self.assertIn("upgrade", log)
            self.assertIn("Step skipped: Seed the configuration (first installation)", log)

    def test_upgrade_from_7_4_6_with_a_disabled_server(self):
        with InstallScenario("upgrade-746") as s:
            s.install_with_defaults()
            make_older(s, "7.4.6")
            s.change_service("ZarelPOP3", "stop")
            s.wait_service_state("ZarelPOP3", SERVICE_STOPPED)
            s.change_service("ZarelPOP3", "disabled")
            before = {program: commands(s, program) for program in ("smtp", "cal")}
            pop3_starts = len([e for e in s.server_log("pop3", "events") if "running" in e])
            # No warning: a disabled server does not count as one that failed to start.
            self.upgrade(s)
            self.assertEqual(s.finish_without_actions(), 0)

            # Exactly the rows newer than 7.4.6, in the table's order.
            self.assertEqual(commands(s, "smtp")[len(before["smtp"]):], ["pipe 1280 4 3", "pipe 1280 4 4"])
            self.assertEqual(commands(s, "cal")[len(before["cal"]):],
                             ["pipe 1280 3845 5", "pipe 1280 3845 6", "pipe 1280 3845 8"])
            # Automatic while the setup ran, not started, disabled again afterwards.
            pop3 = s.service("ZarelPOP3")
            self.assertEqual(pop3["startType"], DISABLED)
            self.assertEqual(pop3["state"], SERVICE_STOPPED)
            self.assertEqual(len([e for e in s.server_log("pop3", "events") if "running" in e]), pop3_starts)
            log = s.log_text()
            self.assertIn("Start type of ZarelPOP3: 4", log)
            self.assertIn("Start type of ZarelPOP3 restored: 4", log)
            self.assertIn("Step done: Send the version-upgrade commands", log)

    def test_a_configuration_that_cannot_be_read_is_left_as_it_is(self):
        with InstallScenario("upgrade-unreadable") as s:
            s.install_with_defaults()
            config = s.installed("config")
            settings = (config / "settings.cfg").read_bytes()
            # A domain table the setup cannot open (here a folder in its place; on Windows as
            # often a file the setup's account may not read).
            (config / "domains.cfg").rename(config / "domains.cfg.saved")
            (config / "domains.cfg").mkdir()
            boxes = self.upgrade(s, expect_boxes=[("Warning", "ok")])
            self.assertEqual(s.finish_without_actions(), 0)

            self.assertIn(s.install_dir() + "config\\domains.cfg could not be read", boxes[0]["text"])
            # The box says what the setup then does: the servers run with the configuration.
            self.assertIn("The servers run with it as it is", boxes[0]["text"])
            self.assertEqual((config / "settings.cfg").read_bytes(), settings)
            self.assertTrue((config / "domains.cfg").is_dir())
            log = s.log_text()
            self.assertIn("could not be read: it is left as it is", log)
            self.assertIn("Setup ends with exit code 0", log)
            for name in SERVICES:
                s.wait_service_state(name, SERVICE_RUNNING)

    def test_uninstall_keeps_data_and_a_new_setup_upgrades(self):
        with InstallScenario("uninstall") as s:
            s.install_with_defaults()
            install = s.install_dir()
            message = s.installed("mail\\demo.zarel.example\\admin\\kept.tmp")
            message.write_bytes(b"kept")
            links_before = s.start_menu_links()
            self.assertTrue(links_before)

            s.start_installed("/UNINSTALL")
            question = s.wait_box("Zarel Mail Server Setup")
            self.assertIn("completely remove", question["text"])
            s.answer(question, "yes")
            done = s.wait_box("Information", timeout=120)
            s.answer(done, "ok")
            self.assertEqual(s.exit_code(), 0)

            assert_removed(self, s, install)
            self.assertFalse(s.path(install + "html").exists())
            self.assertEqual(message.read_bytes(), b"kept")

            # What stays is an installation: the next setup upgrades it.
            self.upgrade(s)
            self.assertEqual(s.finish_without_actions(), 0)
            for name in SERVICES:
                s.wait_service_state(name, SERVICE_RUNNING)
            self.assertEqual(message.read_bytes(), b"kept")
            self.assertIn("Step skipped: Seed the configuration (first installation)", s.log_text())


if __name__ == "__main__":
    unittest.main()
