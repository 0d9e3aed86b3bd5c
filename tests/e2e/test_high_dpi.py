"""The wizard on screens of 96, 120, 144 and 192 DPI (100 % to 200 %): the window, its layout
and its fonts grow with the DPI, and on every page every text the page shows has the room it
needs. The DPI is the prefix's LogPixels (docs/wine.md); pages 0 to 7 are photographed at
144 DPI."""
import unittest

from install_scenario import InstallScenario

LOG_PIXELS_KEY = r"HKCU\Control Panel\Desktop"
TEXT_SIZE_MESSAGE = 0x8003  # WM_APP + 3: what a control needs to show its text whole
CLIENT_WIDTH, CLIENT_HEIGHT = 455, 363  # the client area at 96 DPI
CHOOSER_WIDTH, CHOOSER_HEIGHT = 250, 266  # the folder chooser's


def scaled(value, dpi):
    """As MulDiv rounds: halves away from zero."""
    return (value * dpi + 48) // 96


class HighDpiTest(unittest.TestCase):
    def texts_cut_off(self, s):
        """Every visible control whose text needs more room than its window has. The wizard
        measures in its own fonts (another process cannot use them); every page has texts it
        measures."""
        problems, measured = [], 0
        for control in s.driver("controls", s.top):
            if not control["visible"]:
                continue
            needed = s.driver("send", s.top, TEXT_SIZE_MESSAGE, control["hwnd"], 0)
            width, height = needed & 0xFFFF, needed >> 16
            measured += 1 if width and height else 0
            rect = control["rect"]
            room = (rect["right"] - rect["left"], rect["bottom"] - rect["top"])
            if width > room[0] or height > room[1]:
                problems.append(f'{control["name"]} {control["text"]!r} needs {width}x{height}, has {room[0]}x{room[1]}')
        self.assertGreaterEqual(measured, 3, "texts measured on the page")
        return problems

    def check_page(self, s, dpi, label):
        problems = self.texts_cut_off(s) + s.layout_problems()
        if dpi == 144:
            s.screenshot(f"{dpi}dpi-{label}")
        self.assertEqual(problems, [], f"{dpi} DPI, {label}")

    def walk(self, dpi):
        with InstallScenario(f"dpi-{dpi}") as s:
            s.driver("reg-set-dword", LOG_PIXELS_KEY, "LogPixels", dpi)
            s.start_wizard()
            # The client area has the layout's size at this DPI.
            client = s.driver("describe", s.top)["client"]
            self.assertEqual((client["width"], client["height"]),
                             (scaled(CLIENT_WIDTH, dpi), scaled(CLIENT_HEIGHT, dpi)))
            self.check_page(s, dpi, "page0-welcome")
            for panel, label in (("LicensePanel", "page1-licence"), ("SetupTypePanel", "page2-interface-mode"),
                                 ("SetupComponents", "page3-components"), ("InstallPanel", "page4-destination")):
                s.next_page(panel)
                if panel == "SetupTypePanel":
                    s.click("BasicMode")  # the longer hint
                self.check_page(s, dpi, label)
            # The folder chooser of page 4 grows the same way.
            s.click("BrowseButton")
            chooser = s.wait_window("TBrowseFolder")
            client = s.driver("describe", chooser)["client"]
            self.assertEqual((client["width"], client["height"]),
                             (scaled(CHOOSER_WIDTH, dpi), scaled(CHOOSER_HEIGHT, dpi)))
            self.assertEqual(s.layout_problems(chooser), [])
            if dpi == 144:
                s.screenshot(f"{dpi}dpi-folder-chooser")
            s.key("escape", "PathEdit", chooser)
            s.driver("wait-gone", chooser, 15000)
            s.click("NextButton")
            s.wait_until(lambda: s.page() == "InstallingPanel" and s.text("InstallPanelText"), "the installation")
            self.check_page(s, dpi, "page5-installing")
            s.wait_page("FinishedPanel", 240)
            self.check_page(s, dpi, "page6-finished")
            s.click("NextButton")
            s.wait_page("TutorialPanel")
            s.type("UserEdit", "administrator")
            self.check_page(s, dpi, "page7-first-run")
            s.back_page("FinishedPanel")
            self.assertEqual(s.finish_without_actions(), 0)

    def test_96_dpi(self):
        self.walk(96)

    def test_120_dpi(self):
        self.walk(120)

    def test_144_dpi(self):
        self.walk(144)

    def test_192_dpi(self):
        self.walk(192)


if __name__ == "__main__":
    unittest.main()
