"""The installing page as a person watches it: painted at every moment of the installation
(the status line and the progress bar, during the waits for the services too), a Cancel that
is seen to be heard, and a failure named on the page before its box."""
import time
import unittest

from install_scenario import INSTALL_WAIT, InstallScenario
from screen_image import ScreenImage
from zarel_e2e import E2EError

PBM_GETPOS = 0x408
STOPPING = "Setup is stopping: it ends the current step and starts again the servers that were running..."
# Moments of one installation to look at, a little apart.
SHOTS = 6
SHOT_INTERVAL = 0.6


def is_text(pixel):
    """Dark enough to be a letter on the page's face."""
    return sum(pixel) < 3 * 100


def differs(first, second):
    return sum(abs(a - b) for a, b in zip(first, second)) > 60


class InstallingPageTest(unittest.TestCase):
    def assert_painted(self, s, label):
        """A screenshot of the moment shows a status text and the bar with its done part:
        letters in the status line, and the left end of the bar (done from the first step on)
        painted unlike the page's face just below the bar. Gives the status of the moment."""
        controls = s.controls()
        status = controls["InstallPanelText"]
        position = s.driver("send", s.top, "ProgressBar", PBM_GETPOS, 0, 0)
        image = ScreenImage(s.screenshot(label))
        letters = sum(1 for p in image.pixels(status["rect"]) if is_text(p))
        bar = controls["ProgressBar"]["rect"]
        middle = (bar["top"] + bar["bottom"]) // 2
        done = image.pixel(bar["left"] + 6, middle)
        face = image.pixel(bar["left"] + 6, bar["bottom"] + 3)
        self.assertGreater(letters, 20, f"{label}: no status text painted ({status['text']!r})")
        self.assertTrue(position >= 1 and differs(done, face),
                        f"{label}: no progress painted at step {position} ({done} / face {face})")
        return status["text"]

    def test_the_page_is_painted_during_the_whole_installation(self):
        with InstallScenario("progress-painted") as s:
            s.start_wizard()
            s.walk_to_destination()
            s.click("NextButton")
            # From the first step on: a status, and the bar moved.
            s.wait_until(lambda: s.page() == "InstallingPanel" and s.text("InstallPanelText") and
                         s.driver("send", s.top, "ProgressBar", PBM_GETPOS, 0, 0) >= 1,
                         "the first step of the installation", INSTALL_WAIT)
            statuses = []
            for shot in range(SHOTS):
                statuses.append(self.assert_painted(s, f"installing-{shot + 1}"))
                time.sleep(SHOT_INTERVAL)
                if s.page() != "InstallingPanel" or s.boxes():
                    break
            # Several moments, the waits for the servers among them.
            self.assertGreaterEqual(len(statuses), 3, statuses)
            self.assertTrue(any(t in ("Checking For Running Services...", "Installing Services...",
                                      "Starting Services...") for t in statuses), statuses)
            s.wait_page("FinishedPanel", INSTALL_WAIT)
            self.assertEqual(s.finish_without_actions(), 0)

    def test_a_confirmed_cancel_shows_that_setup_stops(self):
        with InstallScenario("progress-cancel") as s:
            s.start_wizard()
            s.walk_to_destination()
            s.click("NextButton")
            s.wait_until(lambda: s.page() == "InstallingPanel" and s.text("InstallPanelText"),
                         "the installation", INSTALL_WAIT)
            s.click("CloseButton")
            question = s.wait_box("Exit Setup")
            s.answer(question, "yes")
            # While the setup finishes its step and puts the servers back, and when it says so.
            box = s.wait_box("Information", timeout=INSTALL_WAIT)
            controls = s.controls()
            s.screenshot("cancel-heard")
            self.assertEqual(controls["InstallPanelText"]["text"], STOPPING)
            self.assertFalse(controls["CloseButton"]["enabled"])
            self.assertIn("The installation is not complete.", box["text"])
            s.answer(box, "ok")
            self.assertEqual(s.exit_code(), 2)
            log = s.log_text()
            self.assertEqual(log.count("Cancel confirmed during the installation"), 1)


if __name__ == "__main__":
    unittest.main()
