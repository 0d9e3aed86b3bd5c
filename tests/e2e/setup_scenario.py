"""A scenario around the real setup.exe: a demonstration folder with a data archive, a
licence and an info.xml whose products list lies on loopback (so the new-version check of
page 1 never leaves the machine), and the steps a person takes through the wizard."""
import http.server
import shutil
import threading
from pathlib import Path

from zarel_e2e import CONFIG, E2EError, Scenario, pack_archive

PRODUCT = "Zarel Mail Server"
OPENING_CAPTION = "Zarel Mail Server Setup"
EXIT_CAPTION = "Exit Setup"
EXIT_QUESTION = "Do you wish to cancel this installation?"

# A port nobody listens on: the new-version check fails at once and shows nothing.
CLOSED_PORT = 9
LICENCE = "Licence of the demonstration build.\r\nSecond line of the licence.\r\n"


def info_xml(products_url=None, demo_message="Welcome to the demonstration.", subject="Demonstration"):
    parts = ["<INFO>"]
    if demo_message is not None:
        parts.append(f"<DEMOMESSAGE>{demo_message}</DEMOMESSAGE>")
    if subject is not None:
        parts.append(f"<DEMOMESSAGESUBJECT>{subject}</DEMOMESSAGESUBJECT>")
    if products_url is not None:
        parts.append(f"<PRODUCTSXML>{products_url}</PRODUCTSXML>")
    parts.append("</INFO>")
    return "\r\n".join(parts) + "\r\n"


def setup_archive():
    """Setup.Dat, packed once per run with the project's packer."""
    archive = Path(CONFIG["work"]) / "Setup.Dat"
    if not archive.exists():
        source = Path(CONFIG["work"]) / "setup-dat-source"
        shutil.rmtree(source, ignore_errors=True)
        (source / "config").mkdir(parents=True)
        (source / "readme.txt").write_text("Readme of the demonstration build.\r\n")
        (source / "config" / "note.txt").write_text("configuration placeholder\r\n")
        pack_archive(source, archive)
    return archive


class SetupScenario(Scenario):
    def __init__(self, name, archive=True, licence=True, info=True):
        super().__init__(name, Path(CONFIG["build"]) / "app" / "setup.exe")
        self.with_archive = archive
        self.with_licence = licence
        self.with_info = info

    def _prepare(self):
        super()._prepare()
        if self.with_archive:
            self.put_file("Setup.Dat", setup_archive())
        if self.with_licence:
            self.put("License.txt", LICENCE)
        if self.with_info:
            self.put("info.xml", info_xml(f"http://127.0.0.1:{CLOSED_PORT}/products.xml"))

    def start_wizard(self, *args):
        """Starts the setup, says Yes to the opening question and waits for page 0."""
        self.start(*args)
        box = self.wait_box(OPENING_CAPTION)
        self.answer(box, "yes")
        self.wait_window()
        self.wait_page("WelcomePanel")
        return box

    def next_page(self, expected_panel):
        self.click("NextButton")
        self.wait_page(expected_panel)

    def back_page(self, expected_panel):
        self.click("BackButton")
        self.wait_page(expected_panel)

    def setup_logs(self):
        """The setup's logs in the temporary folder, oldest first."""
        logs = sorted(self.drive_c.glob("users/*/Temp/Setup Log *.txt")) + \
            sorted(self.drive_c.glob("users/*/AppData/Local/Temp/Setup Log *.txt"))
        return [log.read_text(encoding="cp1252") for log in logs]

    def checks(self, name="ComponentList"):
        return "".join("x" if item["checked"] else "-" for item in self.items(name))

    def expect_exit_question(self, answer):
        box = self.wait_box(EXIT_CAPTION)
        if box["text"] != EXIT_QUESTION:
            raise E2EError(f"unexpected exit question: {box}")
        self.answer(box, answer)
        return box


class ProductsServer:
    """A products list on loopback; records the paths asked for."""

    def __init__(self, latest_version, download_url="http://127.0.0.1:1/zarel-setup.exe"):
        body = (f'<?xml version="1.0"?>\r\n<PRODUCTS>\r\n<ZX url="http://127.0.0.1:1/other" date="2026-01-01">9.9.9</ZX>\r\n'
                f'<ZM url="{download_url}" date="2026-11-30">{latest_version}</ZM>\r\n</PRODUCTS>\r\n').encode()
        requests = self.requests = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                requests.append(self.path)
                self.send_response(200, "OK")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/products/list.xml"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *error):
        self.server.shutdown()
        self.server.server_close()
        return False
