"""The new-version question on entering page 1, against a products list served on
loopback: asked only for a higher version, Yes opens the download and ends, and with the
box unchecked the list is never fetched."""
import time
import unittest

from setup_scenario import ProductsServer, SetupScenario, info_xml

DOWNLOAD = "http://127.0.0.1:1/downloads/zarel-setup.exe"


def question_text(version):
    return (f"There is new Zarel Mail Server {version} version on the Internet. It is suggested to "
            "download and use the latest version instead. Do you want to download it now?")


class NewVersionTest(unittest.TestCase):
    def enter_licence_page(self, s, server, asks):
        """Page 0 -> 1; the question box when one is expected, else None once the check
        is over (the setup log records its end) and no box came."""
        s.start_wizard()
        checks_before = self.checks_logged(s)
        s.click("NextButton")
        s.wait_until(lambda: self.checks_logged(s) > checks_before, "the end of the new-version check")
        if asks:
            return s.wait_box("Question")
        time.sleep(0.5)
        self.assertEqual(s.boxes(), [])
        return None

    @staticmethod
    def checks_logged(s):
        return sum(log.count("New-version check:") for log in s.setup_logs())

    def test_only_a_higher_version_asks(self):
        for version, asks in (("8.2.1", True), ("8.3", True), ("8.1.9", False), ("8.2.0", False)):
            with self.subTest(version), ProductsServer(version, DOWNLOAD) as server, \
                    SetupScenario(f"new-version-{version}", info=False) as s:
                s.put("info.xml", info_xml(server.url))
                box = self.enter_licence_page(s, server, asks)
                self.assertEqual(server.requests, ["/products/list.xml"])
                if not asks:
                    s.wait_page("LicensePanel")
                    continue
                self.assertEqual(box["text"], question_text(version))
                self.assertEqual([b["text"] for b in box["buttons"]], ["&Yes", "&No", "Cancel"])
                s.screenshot("question")
                s.answer(box, "no")
                s.wait_page("LicensePanel")
                # Coming back to page 1 checks again; Cancel stays too.
                s.back_page("WelcomePanel")
                s.click("NextButton")
                box = s.wait_box("Question")
                self.assertEqual(len(server.requests), 2)
                s.answer(box, "cancel")
                s.wait_page("LicensePanel")
                self.assertEqual(s.browser_opened(), [])
                self.assertTrue(s.running())

    def test_yes_opens_the_download_and_ends(self):
        with ProductsServer("9.0.0", DOWNLOAD) as server, SetupScenario("new-version-download", info=False) as s:
            s.put("info.xml", info_xml(server.url))
            box = self.enter_licence_page(s, server, asks=True)
            s.answer(box, "yes")
            self.assertEqual(s.exit_code(), 0)
            s.wait_until(lambda: s.browser_opened(), "the download address")
            self.assertEqual(s.browser_opened(), [DOWNLOAD])

    def test_unchecked_box_fetches_nothing(self):
        with ProductsServer("9.0.0", DOWNLOAD) as server, SetupScenario("new-version-unchecked", info=False) as s:
            s.put("info.xml", info_xml(server.url))
            s.start_wizard()
            s.click("CheckLatest")
            s.wait_until(lambda: s.state("CheckLatest")["checked"] == 0, "CheckLatest unchecked")
            s.next_page("LicensePanel")
            s.back_page("WelcomePanel")
            s.next_page("LicensePanel")
            time.sleep(1)
            self.assertEqual(server.requests, [])
            self.assertEqual(s.boxes(), [])


if __name__ == "__main__":
    unittest.main()
