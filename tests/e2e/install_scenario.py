"""Scenarios that install for real: the demonstration distribution in C:\\Demo, the wizard
driven through its pages like a person does it, and what a person can check afterwards (files,
services, registry, links, the configuration store, the demonstration message, the logs)."""
import re
import subprocess
from pathlib import Path

from distribution import DEMO_DOMAIN, build_distribution, free_port
from setup_scenario import SetupScenario
from zarel_e2e import CONFIG, DEFAULT_WAIT, E2EError

SUITE_KEY = r"HKLM\Software\Quenfor\Zarel Mail Server"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zarel"
SERVICES = ["ZarelSMTP", "ZarelPOP3", "ZarelControl", "ZarelIM", "ZarelCalendar"]
SERVICE_RUNNING, SERVICE_STOPPED = 4, 1
AUTO_START, DISABLED = 2, 4
CORE_FILES = ["smtp.exe", "pop3.exe", "control.exe", "config.exe", "dnsquery.exe", "tool.exe", "api.dll",
              "libeay32.dll", "libssl32.dll", "db.dll", "ldap32.dll", "regex.dll"]
# The install sequence waits for the servers (1.5 s twice), starts five services, settles for 2 s
# and sends a message: generous on a loaded machine.
INSTALL_WAIT = 240.0


class InstallScenario(SetupScenario):
    """A scenario whose C:\\Demo holds a complete demonstration distribution."""

    def __init__(self, name, smtp_port=None, **distribution_options):
        super().__init__(name, archive=False, licence=False, info=False)
        self.smtp_port = smtp_port or free_port()
        self.distribution_options = distribution_options

    def _prepare(self):
        super()._prepare()
        self.distribution = build_distribution(self.work / "distribution", smtp_port=self.smtp_port,
                                               **self.distribution_options)
        self.distribution.copy_into(self.demo)

    # ----- driving -----

    def walk_to_destination(self, components=None, basic=False):
        """Pages 0 to 4; components maps a list item (1..5) to its wanted check state."""
        self.next_page("LicensePanel")
        self.next_page("SetupTypePanel")
        if basic:
            self.click("BasicMode")
        self.next_page("SetupComponents")
        for item, wanted in (components or {}).items():
            if self.items("ComponentList")[item]["checked"] != wanted:
                self.driver("toggle-item", self.top, "ComponentList", item)
        self.next_page("InstallPanel")

    def install(self, expect_boxes=()):
        """Install on page 4; answers the boxes expected on the way (caption, answer) and
        waits for the finish page. Gives the boxes seen."""
        self.screenshot("page4-destination")
        self.click("NextButton")
        self.screenshot("page5-installing")
        seen = []
        pending = list(expect_boxes)
        while True:
            if self.page() == "FinishedPanel":
                break
            boxes = self.boxes()
            if boxes:
                box = boxes[0]
                seen.append(box)
                if not pending:
                    raise E2EError(f"unexpected box during the installation: {box}")
                caption, answer = pending.pop(0)
                if box["caption"] != caption:
                    raise E2EError(f"expected a box {caption!r}, got {box}")
                self.screenshot("install-box")
                self.answer(box, answer)
                continue
            self.wait_until(lambda: self.page() == "FinishedPanel" or self.boxes(), "the finish page or a box",
                            INSTALL_WAIT)
        if pending:
            raise E2EError(f"boxes that never came: {pending}")
        self.screenshot("page6-finished", check_layout=True)
        return seen

    def finish_without_actions(self):
        for name in ("RunConfig", "ViewReadme", "ShowTutorial", "ViewReleaseNotes", "RunTutorial", "RunAntivirus"):
            if self.state(name)["checked"]:
                self.click(name)
        self.click("NextButton")
        return self.exit_code()

    def fill_first_run_page(self, host, domain, user, password):
        """Page 7, from the finish page whose actions are already chosen."""
        self.click("NextButton")
        self.wait_page("TutorialPanel")
        self.type("HostNameEdit", host)
        self.type("DomainEdit", domain)
        self.type("UserEdit", user)
        self.type("PassEdit", password)

    def install_with_defaults(self, components=None, expect_boxes=()):
        """A whole run of the wizard: opening question, pages, installation, the finish page
        without actions. Gives the boxes seen during the installation."""
        self.start_wizard()
        self.walk_to_destination(components)
        boxes = self.install(expect_boxes)
        code = self.finish_without_actions()
        if code != 0:
            raise E2EError(f"the installation ended with {code}")
        return boxes

    def start_installed(self, *args):
        """The installation's own copy of setup.exe, as its shortcuts and uninstall entry do."""
        self.pid = self.driver("start", self.install_dir() + "setup.exe", *args)
        return self.pid

    def change_service(self, name, action):
        """start, stop, disabled, auto or demand, as the services list does it."""
        if not self.driver("service-change", name, action):
            raise E2EError(f"{name}: {action} refused")

    # ----- what a person checks -----

    def install_dir(self):
        return self.reg_query(SUITE_KEY, "InstallDir")

    def installed(self, relative=""):
        return self.path(self.install_dir() + relative)

    def service(self, name):
        return self.driver("service", name)

    def wait_service_state(self, name, state, timeout=DEFAULT_WAIT):
        return self.wait_until(lambda: (self.service(name) or {}).get("state") == state,
                               f"{name} in state {state}", timeout)

    def store_report(self):
        """The installed configuration store as zcfg shows it."""
        zcfg = Path(CONFIG["build"]).parent / "host" / "tools" / "zcfg" / "zcfg"
        config = self.installed("config")
        result = subprocess.run([str(zcfg), "show", str(config).replace("/", "\\")], capture_output=True,
                                text=True, encoding="cp1252")
        if result.returncode != 0:
            raise E2EError(f"zcfg: {result.stdout} {result.stderr}")
        return result.stdout

    def server_log(self, program, kind):
        path = self.installed("logs") / f"{program}-{kind}.log"
        return path.read_text(encoding="cp1252").splitlines() if path.exists() else []

    def mailbox_messages(self, alias, domain=DEMO_DOMAIN):
        folder = self.installed("mail") / domain / alias
        return sorted(folder.glob("*.tmp")) + sorted((folder / "inbox").glob("*.imap"))

    def start_menu_links(self):
        folders = list(self.drive_c.glob("users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zarel Mail Server"))
        folders += list(self.drive_c.glob("users/*/Start Menu/Programs/Zarel Mail Server"))
        return sorted(p.name for folder in folders for p in folder.glob("*.lnk"))

    def processes(self, program):
        """Unix ids of this prefix's processes that run the program (e.g. "smtp.exe"):
        what runs, also where the driver cannot see a window."""
        found = []
        for proc in Path("/proc").iterdir():
            if not proc.name.isdigit():
                continue
            try:
                command = (proc / "cmdline").read_bytes().decode("utf-8", "replace")
                environment = (proc / "environ").read_bytes().split(b"\0")
            except OSError:
                continue
            if ("\\" + program).lower() in command.lower() and f"WINEPREFIX={self.prefix}".encode() in environment:
                found.append(int(proc.name))
        return found

    def log_text(self):
        logs = self.setup_logs()
        if not logs:
            raise E2EError("no setup log")
        return logs[-1]


def step_durations(log):
    """The install sequence's steps with their durations in ms, from a setup log."""
    return [(m.group(1), int(m.group(2))) for m in re.finditer(r"Step done: (.*) \((\d+) ms\)", log)]


def skipped_steps(log):
    return re.findall(r"Step skipped: (.*)", log)
