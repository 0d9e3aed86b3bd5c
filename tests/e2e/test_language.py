"""A language file beside the setup: what it changes on screen, what it must not break,
and that an export afterwards writes the texts as applied."""
import unittest
import xml.etree.ElementTree as ET

from setup_scenario import SetupScenario

LONG_EXIT_QUESTION = ("Do you really want to stop the installation now? " * 7).strip()
assert len(LONG_EXIT_QUESTION) > 255

LANGUAGE_FILE = f"""<APPLICATION>
<FORMS>
<FORM ID="TMainForm" CAPTION="ignored, the caption is made from cPSetup">
<ITEM ID="AboutLabel" CLASS="tlabel" CAPTION="Willkommen zu Version %s %d"/>
<ITEM ID="TextLabel" CLASS="tlabel" CAPTION="Ein Text in der Sprache des Benutzers."/>
<ITEM ID="TipBLabel" CLASS="tlabel" CAPTION=""/>
<ITEM ID="NoSuchControl" CLASS="tlabel" CAPTION="nowhere"/>
</FORM>
<FORM ID="TBrowseFolder" CAPTION="Translated chooser">
<ITEM ID="OKButton" CLASS="tbutton" CAPTION="Translated OK"/>
</FORM>
</FORMS>
<STRINGS>
<ITEM ID="CDOYOUEXIT">{LONG_EXIT_QUESTION}</ITEM>
<ITEM ID="cSLA" VALUE=""/>
<ITEM ID="cInstallQ" VALUE="%d %n %s %s"/>
<ITEM ID="cPSetup" VALUE="%d %n %s %s Setup %x%%"/>
</STRINGS>
</APPLICATION>
"""


PROBE_FOLDER = "C:\\Program Files (x86)\\..\\..\\Zarel\\"

HOSTILE_LANGUAGE_FILE = r"""<APPLICATION>
<FORMS>
<FORM ID="TMainForm" CAPTION="Setup">
<ITEM ID="PathEdit" CLASS="tlabel" CAPTION="..\..\Zarel\"/>
<ITEM ID="BrowseButton" CLASS="tbutton" CAPTION="&amp;Durchsuchen..."/>
</FORM>
</FORMS>
<STRINGS>
<ITEM ID="cWebMailManualFile" VALUE="..\..\evil.exe"/>
<ITEM ID="cInstallProgram" VALUE="Startup"/>
<ITEM ID="cZarelLogs" VALUE="..\Startup\Logs"/>
<ITEM ID="cZarelWebmail" VALUE="Web-Mail"/>
</STRINGS>
</APPLICATION>
"""


class LanguageFileTest(unittest.TestCase):
    def test_a_language_file_changes_what_is_shown_and_is_exported_as_applied(self):
        with SetupScenario("language-applied") as s:
            s.put("Setup.lng", LANGUAGE_FILE)
            s.start()
            # Stray printf directives are shown as they stand; a missing argument is empty.
            question = s.wait_box("Zarel Mail Server Setup")
            self.assertEqual(question["text"], "%d %n Zarel Mail Server 8.2.0 ")
            s.screenshot("opening-question-translated")
            s.answer(question, "yes")
            s.wait_window()
            s.wait_page("WelcomePanel")
            self.assertEqual(s.driver("describe", s.top)["text"], "%d %n Zarel Mail Server 8.2.0 Setup %x%")
            c = s.controls()
            self.assertEqual(c["TextLabel"]["text"], "Ein Text in der Sprache des Benutzers.")
            self.assertEqual(c["TipBLabel"]["text"], "")
            # A "%s" in the welcome heading takes the version; the page caption follows it.
            self.assertEqual(c["AboutLabel"]["text"], "Willkommen zu Version 8.2.0 %d")
            self.assertEqual(c["PageCaption"]["text"], "Willkommen zu Version 8.2.0 %d")
            s.screenshot("welcome-translated")

            s.next_page("LicensePanel")
            self.assertEqual(s.text("PageCaption"), "")

            # The entry named in capitals replaced the exit question, past 255 characters.
            s.key("escape")
            box = s.wait_box("Exit Setup")
            self.assertEqual(box["text"], LONG_EXIT_QUESTION)
            s.screenshot("exit-question-translated")
            s.answer(box, "no")

            # The chooser did not exist when the file was applied: it keeps its texts.
            for page in ("SetupTypePanel", "SetupComponents", "InstallPanel"):
                s.next_page(page)
            s.click("BrowseButton")
            chooser = s.wait_window("TBrowseFolder")
            self.assertEqual(s.driver("describe", chooser)["text"], "Choose Folder")
            self.assertEqual(s.text("OKButton", chooser), "&OK")
            s.click("CancelButton", chooser)
            s.driver("wait-gone", chooser, 15000)
            s.click("CloseButton")
            s.answer(s.wait_box("Exit Setup"), "yes")
            self.assertEqual(s.exit_code(), 0)

            s.start("/exportlanguage")
            self.assertEqual(s.exit_code(), 0)
            exported = ET.fromstring((s.demo / "Setup.lng").read_text(encoding="cp1252"))
            form = exported.find("FORMS/FORM[@ID='TMainForm']")
            self.assertEqual(form.find("ITEM[@ID='TextLabel']").get("CAPTION"), "Ein Text in der Sprache des Benutzers.")
            self.assertIsNone(form.find("ITEM[@ID='TipBLabel']"), "an empty caption is not written")
            self.assertIsNone(exported.find("FORMS/FORM[@ID='TBrowseFolder']"))
            strings = exported.find("STRINGS")
            exit_question = strings.find("ITEM[@ID='cdoyouexit']")
            self.assertIsNone(exit_question.get("VALUE"))
            self.assertEqual(exit_question.text, LONG_EXIT_QUESTION)
            self.assertEqual(strings.find("ITEM[@ID='cinstallq']").get("VALUE"), "%d %n %s %s")
            self.assertIsNone(strings.find("ITEM[@ID='csla']").get("VALUE"))

    def test_a_language_file_cannot_move_the_destination_or_the_shortcuts(self):
        """The probe that made the default folder "C:\\Program Files (x86)\\..\\..\\Zarel\\"."""
        with SetupScenario("language-hostile") as s:
            s.put("Setup.lng", HOSTILE_LANGUAGE_FILE)
            s.start_wizard()
            for page in ("LicensePanel", "SetupTypePanel", "SetupComponents", "InstallPanel"):
                s.next_page(page)
            self.assertEqual(s.text("PathEdit"), "C:\\Program Files (x86)\\Zarel\\")
            self.assertEqual(s.text("BrowseButton"), "&Durchsuchen...")

            # Typed into the chooser, the same folder is refused too.
            s.click("BrowseButton")
            chooser = s.wait_window("TBrowseFolder")
            s.clear("PathEdit", chooser)
            s.type("PathEdit", PROBE_FOLDER, chooser)
            s.click("OKButton", chooser)
            box = s.wait_box("Setup")
            self.assertIn(f"'{PROBE_FOLDER}'", box["text"])
            self.assertIn('with no ".." in it', box["text"])
            s.screenshot("dot-segments-refused")
            s.answer(box, "ok")
            s.key("escape", "PathEdit", chooser)
            s.driver("wait-gone", chooser, 15000)
            self.assertEqual(s.text("PathEdit"), "C:\\Program Files (x86)\\Zarel\\")

            # The path and the registry name were left as they are, and the log says so.
            s.click("CloseButton")
            s.answer(s.wait_box("Exit Setup"), "yes")
            self.assertEqual(s.exit_code(), 0)
            log = s.setup_logs()[-1]
            self.assertIn("Language file: cwebmailmanualfile ignored", log)
            self.assertIn("Language file: cinstallprogram ignored", log)
            # The export does not offer the destination; it lists every registered text in its
            # place, the path and the registry name with their built-in values.
            s.start("/exportlanguage")
            self.assertEqual(s.exit_code(), 0)
            exported = ET.fromstring((s.demo / "Setup.lng").read_text(encoding="cp1252"))
            self.assertIsNone(exported.find("FORMS/FORM[@ID='TMainForm']/ITEM[@ID='PathEdit']"))
            strings = exported.find("STRINGS")
            ids = [item.get("ID") for item in strings]
            for before, entry, after in (("czarellogs", "cwebmailmanualfile", "cwebmailmanual"),
                                         ("cnewerversion", "cinstallprogram", "cextractingfiles")):
                self.assertEqual(ids[ids.index(entry) - 1:ids.index(entry) + 2], [before, entry, after])
            self.assertEqual(strings.find("ITEM[@ID='cwebmailmanualfile']").get("VALUE"), "html\\mail\\help\\index.htm")
            self.assertEqual(strings.find("ITEM[@ID='cinstallprogram']").get("VALUE"), "Programs")
            self.assertEqual(strings.find("ITEM[@ID='czarellogs']").get("VALUE"), "Zarel Mail Server Logs")
            self.assertEqual(strings.find("ITEM[@ID='czarelwebmail']").get("VALUE"), "Web-Mail")

    def test_a_broken_language_file_leaves_the_built_in_texts(self):
        with SetupScenario("language-broken") as s:
            s.put("Setup.lng", '<APPLICATION><FORMS><FORM ID="TMainForm"><ITEM ID="NextButton" CLASS="tbutton" '
                               'CAPTION="half written')
            s.start_wizard()
            c = s.controls()
            self.assertEqual(c["NextButton"]["text"], "&Next >")
            self.assertEqual(c["PageCaption"]["text"], "Welcome to the Zarel Mail Server Setup Wizard")
            s.key("escape")
            s.expect_exit_question("yes")
            self.assertEqual(s.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
