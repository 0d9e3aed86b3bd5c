"""The installing page as a person watches it: painted at every moment of the installation
(the status line and the progress bar, during the waits for the services too), a Cancel that
is seen to be heard, and a failure named on the page before its box."""
import time
import unittest

from install_scenario import INSTALL_WAIT, SERVICE_RUNNING, SERVICE_STOPPED, InstallScenario, step_durations
from screen_image import ScreenImage

STOPPING = "Setup is stopping: it ends the current step and starts again the servers that were running..."
# Moments of one installation to look at, a little apart (seconds after Install).
FIRST_SHOT = 1.5
SHOTS = 4
SHOT_INTERVAL = 1.0
SLOW_SERVERS = (("smtp", "ZarelSMTP"), ("pop3", "ZarelPOP3"), ("control", "ZarelControl"))


def is_text(pixel):
    """Dark enough to be a letter on the page's face."""
    return sum(pixel) < 3 * 100


def differs(first, second):
    return sum(abs(a - b) for a, b in zip(first, second)) > 60


class InstallingPageTest(unittest.TestCase):
    def assert_painted(self, image_path, rects, label):
        """The screenshot shows a status text and the bar with its done part: letters in the
        status line, and the left end of the bar (done from the first step on) painted unlike
        the page's face just below the bar."""
        image = ScreenImage(image_path)
        letters = sum(1 for p in image.pixels(rects["InstallPanelText"]) if is_text(p))
        bar = rects["ProgressBar"]
        middle = (bar["top"] + bar["bottom"]) // 2
        done = image.pixel(bar["left"] + 6, middle)
        face = image.pixel(bar["left"] + 6, bar["bottom"] + 3)
        self.assertGreater(letters, 20, f"{label}: no status text painted")
        self.assertTrue(differs(done, face), f"{label}: no progress painted ({done} / face {face})")

    def start_slow_upgrade(self, s):
        """An installation whose servers take their time to stop, as servers finishing their
        connections do, and the wizard of its upgrade on the destination page: the upgrade
        waits seconds for them."""
        s.install_with_defaults()
        for program, service in SLOW_SERVERS:
            s.installed(f"{program}.test").write_bytes(b"slow-stop")
            s.change_service(service, "stop")
            s.wait_service_state(service, SERVICE_STOPPED)
            s.change_service(service, "start")
            s.wait_service_state(service, SERVICE_RUNNING)
        s.start_wizard()
        s.walk_to_destination()

    def test_the_page_is_painted_during_the_whole_installation(self):
        with InstallScenario("progress-painted") as s:
            self.start_slow_upgrade(s)
            # Where the status line and the bar are (the page's controls exist from the start).
            rects = {name: c["rect"] for name, c in s.controls().items() if name in ("InstallPanelText", "ProgressBar")}
            s.click("NextButton")
            # Moments of the waits for the servers, looked at without asking the window anything.
            started = time.monotonic()
            shots = []
            for shot in range(SHOTS):
                time.sleep(max(0.0, started + FIRST_SHOT + shot * SHOT_INTERVAL - time.monotonic()))
                shots.append((time.monotonic() - started, s.screenshot(f"installing-{shot + 1}")))
            s.wait_page("FinishedPanel", INSTALL_WAIT)
            log = s.log_text()
            # All of them fell into the waits for the servers to stop.
            stop_ms = dict(step_durations(log))["Stop the running servers"]
            self.assertGreater(stop_ms / 1000, FIRST_SHOT + SHOTS * SHOT_INTERVAL, log)
            for taken, path in shots:
                self.assertLess(taken, stop_ms / 1000)
                self.assertTrue(path.exists())
                self.assert_painted(path, rects, path.name)
            self.assertEqual(s.finish_without_actions(), 0)

    def test_a_confirmed_cancel_shows_that_setup_stops(self):
        with InstallScenario("progress-cancel") as s:
            self.start_slow_upgrade(s)
            s.click("NextButton")
            # Cancel while the setup waits for the servers to stop.
            s.wait_until(lambda: s.text("InstallPanelText") == "Checking For Running Services...",
                         "the servers being stopped", INSTALL_WAIT)
            s.click("CloseButton")
            question = s.wait_box("Exit Setup")
            s.answer(question, "yes")
            # Heard: while the setup finishes its step and puts the servers back, the page says
            # so and Cancel is no longer offered; Escape asks nothing more.
            self.assertEqual(s.text("InstallPanelText"), STOPPING)
            self.assertFalse(s.state("CloseButton")["enabled"])
            s.screenshot("cancel-heard")
            s.key("escape")
            box = s.wait_box("Information", timeout=INSTALL_WAIT)
            controls = s.controls()
            s.screenshot("cancel-box")
            self.assertEqual(controls["InstallPanelText"]["text"], STOPPING)
            self.assertFalse(controls["CloseButton"]["enabled"])
            self.assertTrue(box["text"].startswith("The installation is not complete.\r\n\r\nThese servers run again:"),
                            box["text"])
            s.answer(box, "ok")
            self.assertEqual(s.exit_code(), 2)
            log = s.log_text()
            self.assertEqual(log.count("Cancel confirmed during the installation"), 1)
            self.assertEqual(log.count('Message box "Exit Setup"'), 1)


if __name__ == "__main__":
    unittest.main()
