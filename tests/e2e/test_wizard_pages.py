"""The wizard's pages driven like a person: what each page shows, the component choices,
the ways of closing, the folder chooser, and what happens when the installation fails."""
import unittest

from setup_scenario import LICENCE, SetupScenario
from zarel_e2e import CONFIG

SUITE_KEY = r"HKLM\Software\Quenfor\Zarel Mail Server"
WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME = 0x80000, 0x20000, 0x10000, 0x40000
COMPONENTS = ["Mail Services (SMTP, POP3, IMAP, LDAP, HTTP)", "WebMail", "Anti-Spam", "Anti-Virus",
              "Instant Messaging", "GroupWare"]


class WizardPagesTest(unittest.TestCase):
    def test_pages_in_order_and_component_choices_survive_going_back(self):
        with SetupScenario("pages-walk") as s:
            # The last installation left instant messaging out.
            s.driver("reg-set-dword", SUITE_KEY, "NoInstallIM", 1)
            question = s.start_wizard()
            self.assertEqual(question["text"], "This will install Zarel Mail Server 8.2.0. Do you wish to continue?")
            self.assertEqual([b["text"] for b in question["buttons"]], ["&Yes", "&No"])

            c = s.controls()
            window = s.driver("describe", s.top)
            self.assertEqual(window["text"], "Zarel Mail Server 8.2.0 Setup")
            # A fixed dialog in the middle of the 1024 x 768 screen: system menu and minimise
            # box, no maximise box, no sizing frame.
            self.assertEqual((window["client"]["width"], window["client"]["height"]), (455, 363))
            r = window["rect"]
            self.assertLessEqual(abs((r["left"] + r["right"]) / 2 - 512), 2)
            self.assertLessEqual(abs((r["top"] + r["bottom"]) / 2 - 384), 2)
            style = window["style"]
            self.assertEqual([bool(style & bit) for bit in (WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME)],
                             [True, True, False, False])
            self.assertEqual(c["PageCaption"]["text"], "Welcome to the Zarel Mail Server Setup Wizard")
            self.assertFalse(c["BackButton"]["visible"])
            self.assertEqual((c["NextButton"]["text"], c["CloseButton"]["text"]), ("&Next >", "&Cancel"))
            self.assertEqual(c["CheckLatest"]["checked"], 1)
            s.screenshot("page0-welcome", check_layout=True)

            # The products list is on a closed loopback port: no question, the page stays.
            s.next_page("LicensePanel")
            c = s.controls()
            self.assertEqual(c["PageCaption"]["text"], "Software License Agreement")
            self.assertEqual((c["NextButton"]["text"], c["CloseButton"]["text"]), ("&Yes", "&No"))
            self.assertTrue(c["BackButton"]["visible"] and c["BackButton"]["enabled"])
            self.assertEqual(c["LicenseMemo"]["text"].rstrip("\r\n"), LICENCE.rstrip("\r\n"))
            self.assertEqual(s.boxes(), [])
            s.screenshot("page1-licence", check_layout=True)

            s.next_page("SetupTypePanel")
            c = s.controls()
            # "&&" in the table shows a single "&".
            self.assertEqual(c["PageCaption"]["shown"], "Server Type & Console Mode")
            self.assertNotEqual(c["SetupTypeLabel"]["text"], "Upgrade Setup")
            self.assertEqual((c["AdvancedMode"]["checked"], c["BasicMode"]["checked"]), (1, 0))
            self.assertEqual(c["ConsoleMemo"]["text"], "All options will be visible. Expert's mode.")
            s.click("BasicMode")
            s.wait_until(lambda: s.text("ConsoleMemo") == "Some options will be invisible. Beginner's mode.",
                         "the basic-mode hint")
            s.screenshot("page2-setup-type", check_layout=True)

            s.next_page("SetupComponents")
            self.assertEqual(s.text("PageCaption"), "Components To Install")
            self.assertEqual([i["text"] for i in s.items("ComponentList")], COMPONENTS)
            self.assertEqual(s.checks(), "xxxx-x")
            for item in (2, 4):  # Anti-Spam off, Instant Messaging on
                s.driver("toggle-item", s.top, "ComponentList", item)
            s.driver("click-item", s.top, "ComponentList", 5)  # GroupWare off by its check box
            s.wait_until(lambda: s.checks() == "xx-xx-", "the changed choices")
            # The mail services stay checked whatever is done to them.
            s.driver("toggle-item", s.top, "ComponentList", 0)
            s.driver("click-item", s.top, "ComponentList", 0)
            s.driver("toggle-item", s.top, "ComponentList", 1)
            s.wait_until(lambda: s.checks() == "x--xx-", "the choices after trying item 0")
            s.screenshot("page3-components", check_layout=True)

            s.next_page("InstallPanel")
            c = s.controls()
            self.assertEqual(c["PageCaption"]["text"], "Start The Installation Process")
            self.assertEqual(c["NextButton"]["text"], "&Install >")
            # A 32-bit program on 64-bit Windows gets the 32-bit program folder.
            self.assertEqual(c["PathEdit"]["text"], "C:\\Program Files (x86)\\Zarel\\")
            s.screenshot("page4-destination", check_layout=True)

            s.back_page("SetupComponents")
            self.assertEqual(s.checks(), "x--xx-", "the choices made, not the registry's")
            s.back_page("SetupTypePanel")
            self.assertEqual(s.state("BasicMode")["checked"], 1)
            s.next_page("SetupComponents")
            self.assertEqual(s.checks(), "x--xx-")

    def test_every_way_of_closing_asks_and_no_keeps_the_inputs(self):
        with SetupScenario("pages-close") as s:
            s.start_wizard()
            s.click("CheckLatest")
            s.wait_until(lambda: s.state("CheckLatest")["checked"] == 0, "CheckLatest unchecked")
            # Escape asks on every page, and No stays there.
            for page, following in (("WelcomePanel", "LicensePanel"), ("LicensePanel", "SetupTypePanel"),
                                    ("SetupTypePanel", "SetupComponents"), ("SetupComponents", None)):
                s.key("escape")
                s.expect_exit_question("no")
                self.assertEqual(s.page(), page)
                if following:
                    s.next_page(following)
            s.driver("toggle-item", s.top, "ComponentList", 3)
            s.wait_until(lambda: s.checks() == "xxx-xx", "Anti-Virus unchecked")

            ways = [("Escape", lambda: s.key("escape")),
                    ("Escape in the list", lambda: s.key("escape", "ComponentList")),
                    ("Cancel", lambda: s.click("CloseButton")),
                    ("the close box", lambda: s.driver("sysclose", s.top)),
                    ("Alt+F4", lambda: s.key("alt+f4")),
                    ("WM_CLOSE", lambda: s.driver("close", s.top))]
            for label, close in ways:
                with self.subTest(label):
                    close()
                    box = s.expect_exit_question("no")
                    self.assertEqual([b["text"] for b in box["buttons"]], ["&Yes", "&No"])
                    self.assertTrue(s.running())
                    self.assertEqual(s.page(), "SetupComponents")
                    self.assertEqual(s.checks(), "xxx-xx")

            # Page 1's Cancel button reads "No" and still asks first.
            s.back_page("SetupTypePanel")
            s.back_page("LicensePanel")
            self.assertEqual(s.state("CheckLatest")["checked"], 0)
            s.click("CloseButton")
            box = s.wait_box("Exit Setup")
            s.screenshot("exit-question")
            s.answer(box, "yes")
            self.assertEqual(s.exit_code(), 0)

    def test_the_folder_chooser_accepts_only_full_paths(self):
        with SetupScenario("pages-browse") as s:
            s.start_wizard()
            for page in ("LicensePanel", "SetupTypePanel", "SetupComponents", "InstallPanel"):
                s.next_page(page)
            default = "C:\\Program Files (x86)\\Zarel\\"

            s.click("BrowseButton")
            chooser = s.wait_window("TBrowseFolder")
            # It opens on the current destination, all of it selected, ready to be typed over.
            path = s.text("PathEdit", chooser)
            self.assertEqual(path.rstrip("\\"), default.rstrip("\\"))
            self.assertEqual(s.driver("focus", chooser), "PathEdit")
            selection = int(s.driver("send", chooser, "PathEdit", 0xB0, 0, 0))  # EM_GETSEL
            self.assertEqual((selection & 0xFFFF, selection >> 16), (0, len(path)))
            s.screenshot("folder-chooser", check_layout=True)
            # Network drives: Wine has no network, the dialog returns at once.
            s.click("Netbutton", chooser)
            s.key("escape", "PathEdit", chooser)
            s.driver("wait-gone", chooser, 15000)
            self.assertEqual(s.text("PathEdit"), default)

            s.click("BrowseButton")
            chooser = s.wait_window("TBrowseFolder")
            for relative in ("Mail\\Relative", ""):
                s.clear("PathEdit", chooser)
                s.type("PathEdit", relative, chooser)
                s.click("OKButton", chooser)
                box = s.wait_box("Setup")
                self.assertIn("is not a full path", box["text"])
                self.assertIn(f"'{relative}'", box["text"])
                if relative:
                    s.screenshot("relative-folder-refused")
                s.answer(box, "ok")
                self.assertTrue(s.state("PathEdit", chooser)["visible"], "the chooser stays open")

            # Moving in the directory list replaces what was typed.
            s.type("PathEdit", "typed", chooser)
            s.driver("click-item", chooser, "DirectoryListBox", 0)
            s.wait_until(lambda: s.text("PathEdit", chooser) == "C:\\", "the clicked folder")
            s.driver("double-click-item", chooser, "DirectoryListBox", 0)
            s.wait_until(lambda: any(i["text"].strip() == "[+] windows" for i in s.items("DirectoryListBox", chooser)),
                         "the folders of C:\\")
            s.screenshot("folder-chooser-list", check_layout=True)

            s.clear("PathEdit", chooser)
            s.type("PathEdit", "C:\\Mail Server", chooser)
            s.click("OKButton", chooser)
            box = s.wait_box("Setup")
            self.assertIn("does not exist", box["text"])
            s.answer(box, "no")
            self.assertTrue(s.state("PathEdit", chooser)["visible"])
            s.click("OKButton", chooser)
            s.answer(s.wait_box("Setup"), "yes")
            s.driver("wait-gone", chooser, 15000)
            # Returned as typed (the install sequence normalises it) and not created yet.
            self.assertEqual(s.text("PathEdit"), "C:\\Mail Server")
            self.assertFalse((s.drive_c / "Mail Server").exists())
            s.screenshot("destination-chosen", check_layout=True)


if __name__ == "__main__":
    unittest.main()
