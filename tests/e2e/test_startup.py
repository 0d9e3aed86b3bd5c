"""What the start-up reads from the registry shows on the pages: the default destination
and an earlier installation."""
import unittest

from setup_scenario import SetupScenario

SUITE_KEY = r"HKLM\Software\Quenfor\Zarel Mail Server"
WINDOWS_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion"


class StartupTest(unittest.TestCase):
    def test_without_program_files_dir_the_destination_is_the_classic_folder(self):
        with SetupScenario("startup-no-programfilesdir") as s:
            self.assertTrue(s.driver("reg-delete", WINDOWS_KEY, "ProgramFilesDir"))
            s.start_wizard()
            for page in ("LicensePanel", "SetupTypePanel", "SetupComponents", "InstallPanel"):
                s.next_page(page)
            self.assertEqual(s.text("PathEdit"), "C:\\Program Files\\Zarel\\")
            s.screenshot("destination-default")

    def test_an_earlier_installation_is_upgraded_in_its_folder(self):
        with SetupScenario("startup-upgrade") as s:
            s.driver("reg-set", SUITE_KEY, "InstallDir", "D:\\Mail\\")
            s.driver("reg-set", SUITE_KEY, "Version", "7.7.2")
            s.driver("reg-set-dword", SUITE_KEY, "NoInstallAV", 1)
            s.driver("reg-set-dword", SUITE_KEY, "NoInstallWebMail", 1)
            s.start_wizard()
            s.next_page("LicensePanel")
            s.next_page("SetupTypePanel")
            self.assertEqual(s.text("SetupTypeLabel"), "Upgrade Setup")
            s.screenshot("upgrade-setup-type")
            s.next_page("SetupComponents")
            self.assertEqual(s.checks(), "x-x-xx")
            s.next_page("InstallPanel")
            self.assertEqual(s.text("PathEdit"), "D:\\Mail\\")
            s.screenshot("upgrade-destination")


if __name__ == "__main__":
    unittest.main()
