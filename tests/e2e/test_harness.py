"""The harness itself, on the driver's test window under Xvfb: a fresh prefix, driving,
message boxes, screenshots, shell interception and exit codes all work before any test of
the wizard relies on them."""
import unittest
from pathlib import Path

from zarel_e2e import CONFIG, Scenario


class FormScenario(Scenario):
    wizard_class = "TDriverTestForm"
    page_panels = ["FirstPanel", "SecondPanel"]

    def __init__(self, name):
        super().__init__(name, Path(CONFIG["build"]) / "tests" / "uidriver" / "DriverTestForm.exe",
                         "DriverTestForm.exe")


class HarnessTest(unittest.TestCase):
    def test_drives_a_window_and_sees_what_the_shell_opened(self):
        with FormScenario("harness-drive") as s:
            s.start()
            s.wait_window()
            self.assertEqual(s.page(), "FirstPanel")
            s.type("NameEdit", "Grüße")
            self.assertEqual(s.text("EchoLabel"), "Grüße")
            self.assertEqual([i["checked"] for i in s.items("ItemList")], [True, False, True])
            self.assertEqual([p.split()[0] for p in s.layout_problems()], ["OverhangLabel"])
            first = s.screenshot("first-page")
            # A drawn screen, not an empty one: the PNG of a blank screen is tiny.
            self.assertGreater(first.stat().st_size, 3000)

            s.click("AskButton")
            box = s.wait_box("Question Box")
            self.assertEqual(box["text"], "Proceed with the test?")
            self.assertEqual([b["text"] for b in box["buttons"]], ["&Yes", "&No", "Cancel"])
            s.screenshot("question")
            s.answer(box, "yes")
            s.wait_until(lambda: s.text("AnswerLabel") == "yes", "the answer")

            s.click("NextButton")
            s.wait_page("SecondPanel")
            self.assertEqual(s.layout_problems(), [])
            s.click("ShellButton")
            s.wait_until(lambda: len(s.browser_opened()) == 1 and len(s.shell_opened()) == 2, "the shell")
            self.assertEqual(s.browser_opened(), ["http://localhost:32000/accounts/"])
            opened = sorted(line.strip('"') for line in s.shell_opened())
            self.assertEqual(opened, ["C:\\Demo\\logs\\", "C:\\Demo\\readme.txt"])

            s.key("escape")
            box = s.wait_box("Exit Test")
            s.answer(box, "no")
            self.assertTrue(s.running())
            s.click("ExitButton")
            self.assertEqual(s.exit_code(), 42)

    def test_registry_and_exit_code_without_a_window(self):
        with FormScenario("harness-quiet") as s:
            s.driver("reg-set", r"HKLM\Software\Quenfor\Zarel Mail Server", "InstallDir", "D:\\Mail\\")
            self.assertEqual(s.reg_query(r"HKLM\Software\Quenfor\Zarel Mail Server", "InstallDir"), "D:\\Mail\\")
            s.start("exit=9")
            self.assertEqual(s.exit_code(), 9)
            self.assertEqual(s.windows("TDriverTestForm"), [])


if __name__ == "__main__":
    unittest.main()
