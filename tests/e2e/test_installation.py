"""A first installation of the demonstration distribution, driven through the wizard, and
everything a person can check afterwards."""
import unittest

from distribution import DEMO_DOMAIN
from install_scenario import (AUTO_START, CORE_FILES, SERVICE_RUNNING, SERVICES, SUITE_KEY, UNINSTALL_KEY,
                              InstallScenario, skipped_steps, step_durations)

DEMO_SUBJECT = "Welcome to Zarel Mail Server"


class FirstInstallationTest(unittest.TestCase):
    def test_first_installation_with_defaults(self):
        with InstallScenario("install-first") as s:
            # An Access driver in the prefix, so the ODBC data sources can be made.
            s.driver("reg-set", r"HKLM\Software\ODBC\ODBCINST.INI\ODBC Drivers", "Microsoft Access Driver (*.mdb)",
                     "Installed")
            s.driver("reg-set", r"HKLM\Software\ODBC\ODBCINST.INI\Microsoft Access Driver (*.mdb)", "Driver",
                     r"C:\windows\system32\odbcjt32.dll")
            s.start_wizard()
            s.walk_to_destination()
            destination = s.text("PathEdit")
            self.assertTrue(destination.endswith("\\Zarel\\"), destination)
            s.install()
            controls = s.controls()
            self.assertEqual(controls["PageCaption"]["text"], "Setup Complete")
            self.assertEqual(controls["InstallPanelText"]["text"], "Installation Complete")
            self.assertEqual(s.driver("send", s.top, "ProgressBar", 0x408, 0, 0), 12)  # PBM_GETPOS

            self.assertEqual(s.install_dir(), destination)
            # Files and trees.
            for name in CORE_FILES + ["quenforcom.dll", "im.exe", "cal.exe", "setup.exe", "readme.txt",
                                      "releasenotes.txt", "config\\cert.pem", "config\\webserver.cfg",
                                      "spam\\Challenge.mdb", "calendar\\Calendar.mdb", "xml\\info.xml"]:
                self.assertTrue(s.installed(name).is_file(), name)
            for tree in ("html", "help", "spam\\rules", "calendar\\holidays", "tutorial", "ldap", "php", "html\\mail"):
                self.assertTrue(s.installed(tree).is_dir(), tree)
            webserver = s.installed("config\\webserver.cfg").read_text(encoding="cp1252")
            self.assertNotIn("%%installpath%%", webserver)
            self.assertIn(destination, webserver)
            # Nothing of the extraction folder stays behind.
            self.assertEqual(list(s.drive_c.glob("users/*/Temp/zarelinstall*")), [])
            self.assertEqual(list(s.drive_c.glob("users/*/AppData/Local/Temp/zarelinstall*")), [])

            # The five services: quoted paths, their texts, automatic, running.
            for name in SERVICES:
                service = s.service(name)
                self.assertIsNotNone(service, name)
                program = {"ZarelSMTP": "smtp.exe", "ZarelPOP3": "pop3.exe", "ZarelControl": "control.exe",
                           "ZarelIM": "im.exe", "ZarelCalendar": "cal.exe"}[name]
                self.assertEqual(service["path"], f'"{destination}{program}"')
                self.assertEqual(service["startType"], AUTO_START)
                s.wait_service_state(name, SERVICE_RUNNING)
                self.assertTrue(s.reg_query(rf"HKLM\System\CurrentControlSet\Services\{name}", "Description"))

            # Registry: the suite's key, the component flags, the uninstall entry.
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")
            # The run ended well: it leaves no journal for a next run to finish.
            self.assertIsNone(s.reg_query(SUITE_KEY, "RunJournal"))
            for flag in ("NoInstallIM", "NoInstallCalendar", "NoInstallWebMail", "NoInstallAV", "NoInstallIAS"):
                self.assertEqual(s.reg_query(SUITE_KEY, flag), "0", flag)
            self.assertEqual(s.reg_query(UNINSTALL_KEY, "DisplayName"), "Zarel Mail Server")
            self.assertEqual(s.reg_query(UNINSTALL_KEY, "UninstallString"), f'"{destination}setup.exe" /UNINSTALL')
            # COM libraries registered (the stand-ins record it), ODBC data sources made.
            self.assertIsNotNone(s.reg_query(r"HKCU\Software\Quenfor\StandIn\api", "Module"))
            self.assertIsNotNone(s.reg_query(r"HKCU\Software\Quenfor\StandIn\quenforcom", "Module"))
            for source, database in (("QuenforSpamChallenge", "spam\\Challenge.mdb"),
                                     ("QuenforCalendar", "calendar\\Calendar.mdb")):
                self.assertEqual(s.reg_query(rf"HKLM\Software\ODBC\ODBC.INI\{source}", "DBQ"), destination + database)

            # Start-menu links.
            links = s.start_menu_links()
            for link in ("Uninstall Zarel Mail Server.lnk", "Zarel Mail Server Web Mail.lnk",
                         "Zarel Mail Server Web Administration.lnk", "Zarel Mail Server Logs.lnk"):
                self.assertIn(link, links)

            # The seeded store: folders, console layout, the demonstration accounts' expiry.
            report = s.store_report()
            self.assertIn(f"mail folder:  {destination}mail\\", report)
            self.assertIn("console:      advanced.xml", report)
            self.assertIn(f"domain 0: {DEMO_DOMAIN}", report)
            self.assertEqual(report.count("expires:   never"), 0, report)
            self.assertEqual(report.count("expires:   20"), 2, report)

            # The demonstration message, stored by the SMTP service in the administrator's mailbox.
            messages = s.wait_until(lambda: s.mailbox_messages("admin"), "the demonstration message", 30)
            message = messages[0].read_text(encoding="cp1252")
            self.assertIn(f"Subject: {DEMO_SUBJECT}", message)
            self.assertIn("This message was sent by the setup program", message)

            # Pages 6 and 7 are there to drive: "Run Installation Wizard" leads to the first run.
            self.assertTrue(s.state("RunTutorial")["checked"])
            s.click("NextButton")
            s.wait_page("TutorialPanel")
            s.screenshot("page7-first-run", check_layout=True)
            s.back_page("FinishedPanel")
            self.assertEqual(s.finish_without_actions(), 0)

            # The log: every step with its duration, how the run ended; its copy in logs\.
            log = s.log_text()
            done = [name for name, _ in step_durations(log)]
            skipped = skipped_steps(log)
            self.assertEqual(len(done) + len(skipped), 27, (done, skipped))
            self.assertIn("Send the demonstration message (first installation)", done)
            self.assertEqual(skipped, ["Patch webserver.cfg (upgrade from before 7.7.3)",
                                       "Restore the start types (upgrade on NT)", "Send the version-upgrade commands",
                                       "Warn about the old web mail product"])
            self.assertIn("Setup ends with exit code 0", log)
            copies = list(s.installed("logs").glob("Setup Log *.txt"))
            self.assertEqual(len(copies), 1)
            self.assertIn("Setup ends with exit code 0", copies[0].read_text(encoding="cp1252"))


if __name__ == "__main__":
    unittest.main()
