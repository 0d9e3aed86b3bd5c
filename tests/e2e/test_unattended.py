"""Unattended runs as a deployment tool makes them: setup.exe started from a shell with
"/unattended" and /name=value settings, its standard output read through a pipe, no person and
no window. A wizard run saves its answers; a fresh prefix replays them unattended (the first
installation with first-run values), is upgraded unattended with other components, and removed
unattended. Refused settings change nothing."""
import os
import select
import socket
import subprocess
import threading
import time
import unittest

from distribution import DEMO_DOMAIN, free_port
from install_scenario import (INSTALL_WAIT, SERVICE_RUNNING, SERVICES, SUITE_KEY, UNINSTALL_KEY, InstallScenario,
                              skipped_steps, step_durations)
from setup_scenario import SetupScenario
from test_upgrade import OLD_WEBSERVER_CFG, PROTECTED, assert_removed, commands
from zarel_e2e import E2EError

DOMAIN = "deploy.example"
HOST = "mail.deploy.example"
USER = "chief"
PASSWORD = "  deploy sesame"  # leading blanks belong to it
ANSWERS = "C:\\deploy\\answers.txt"
PASSWORD_FILE = "C:\\deploy\\password.txt"


def run_from_shell(s, program, *args, timeout=INSTALL_WAIT):
    """Runs program under wine as a remote shell would: output through a pipe, read to the end.
    While it runs, no window of any setup.exe may exist, shown or hidden. Gives the exit code and
    the output lines."""
    process = subprocess.Popen(["wine", program, *args], env=s.env, cwd=s.work, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    output = []
    reader = threading.Thread(target=lambda: output.append(process.stdout.read()), daemon=True)
    reader.start()
    deadline = time.monotonic() + s.first_wait(timeout)
    windows = []
    while process.poll() is None:
        windows += s.driver("all-windows", "setup.exe")
        if time.monotonic() > deadline:
            process.kill()
            raise E2EError(f"{args} did not end")
        time.sleep(0.1)
    s.fresh = False
    # A child the setup started may hold the pipe; the setup's own lines are in by now.
    reader.join(10)
    if windows:
        raise E2EError(f"{args} created windows: {windows}")
    text = output[0].decode("cp1252") if output else ""
    s.console_count = getattr(s, "console_count", 0) + 1
    (s.artifacts / f"console-{s.console_count:02d}.txt").write_text(" ".join(args) + "\n" + text)
    return process.returncode, text.splitlines()


def run_without_window(s, *args):
    """The installation's own setup.exe started by the driver, watched as above."""
    s.start_installed(*args)
    deadline = time.monotonic() + INSTALL_WAIT
    while s.running():
        windows = s.driver("all-windows", "setup.exe")
        if windows:
            raise E2EError(f"{args} created windows: {windows}")
        if time.monotonic() > deadline:
            raise E2EError(f"{args} did not end")
        time.sleep(0.1)
    return s.exit_code()


def installation_facts(s):
    """What two installations made from the same answers must share."""
    root = s.installed()
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), root).replace("/", "\\")
            top = relative.split("\\")[0].lower()
            if top in ("logs", "temp", "mail"):
                continue  # this run's logs, and messages named by their arrival
            size = os.path.getsize(os.path.join(folder, name))
            files[relative] = None if top == "config" else size
    registry = {value: s.reg_query(SUITE_KEY, value)
                for value in ("InstallDir", "Version", "NoInstallWebMail", "NoInstallIAS", "NoInstallAV",
                              "NoInstallIM", "NoInstallCalendar")}
    registry["UninstallString"] = s.reg_query(UNINSTALL_KEY, "UninstallString")
    services = {}
    for name in SERVICES:
        service = s.service(name)
        if service is not None:
            s.wait_service_state(name, SERVICE_RUNNING)
            services[name] = (service["startType"], service["path"])
    mailboxes = sorted(str(p.relative_to(s.installed("mail"))) for p in s.installed("mail").glob("*/*") if p.is_dir())
    # zcfg reads the store through the prefix's Unix path, which names the scenario.
    store = [line.replace(s.name, "<scenario>") for line in s.store_report().splitlines() if "expires:" not in line]
    return {"files": files, "registry": registry, "services": services, "mailboxes": mailboxes, "store": store}


class UnattendedTest(unittest.TestCase):
    def interactive_run_saving_answers(self, port):
        """A person's first installation: antivirus left out, basic console, the readme opened at
        the end, the first-run page filled. Gives its facts and the answers it saved."""
        with InstallScenario("unattended-wizard", smtp_port=port) as s:
            (s.drive_c / "deploy").mkdir()
            s.start_wizard("/saveanswers=" + ANSWERS)
            # The window check of the unattended runs sees a setup's windows, hidden ones too.
            self.assertIn("TMainForm", [w["class"] for w in s.driver("all-windows", "setup.exe")])
            s.walk_to_destination(components={3: False}, basic=True)
            s.install()
            for name in ("RunConfig", "ShowTutorial", "ViewReleaseNotes", "RunAntivirus"):
                if s.state(name)["checked"]:
                    s.click(name)
            if not s.state("ViewReadme")["checked"]:
                s.click("ViewReadme")
            s.fill_first_run_page(HOST, DOMAIN, USER, PASSWORD)
            s.click("NextButton")
            self.assertEqual(s.exit_code(timeout=60), 0)
            answers = s.path(ANSWERS).read_bytes().decode("cp1252")
            self.assertNotIn(PASSWORD.strip(), answers)
            return installation_facts(s), answers

    def test_saved_answers_replayed_upgraded_and_removed_unattended(self):
        port = free_port()
        wizard, answers = self.interactive_run_saving_answers(port)
        for line in ("components=webmail,antispam,im,groupware", "mode=basic", f"domain={DOMAIN}",
                     f"admin={USER}", "finish=readme"):
            self.assertIn(line + "\r\n", answers)

        with InstallScenario("unattended-replay", smtp_port=port) as s:
            deploy = s.drive_c / "deploy"
            deploy.mkdir()
            (deploy / "answers.txt").write_text(answers, encoding="cp1252", newline="")
            # As Windows PowerShell 5.1 writes it with ">": UTF-16 with its byte-order mark.
            (deploy / "password.txt").write_bytes((PASSWORD + "\r\n").encode("utf-16"))
            # Readable by nobody else (Wine shows Everyone's rights from the Unix mode).
            os.chmod(deploy / "password.txt", 0o600)

            # The first installation: the answers replayed, first-run values and all.
            code, console = run_from_shell(s, "C:\\Demo\\setup.exe", "/unattended", "-answers=" + ANSWERS,
                                           "/password-file=" + PASSWORD_FILE)
            log = s.log_text()
            self.assertEqual(code, 0, "\n".join(console) + log)
            replayed = installation_facts(s)
            self.maxDiff = None
            for part, facts in wizard.items():
                self.assertEqual(replayed[part], facts, part)
            for name in SERVICES:
                s.wait_service_state(name, SERVICE_RUNNING)
            report = s.store_report()
            self.assertIn(f"host name:    {HOST}\n", report)
            self.assertIn(f"domain 0: {DOMAIN}\n", report)
            self.assertIn(f"domain 1: {DEMO_DOMAIN}\n", report)
            self.assertIn("console:      basic.xml", report)
            administrator = report[report.index(f"domain 0: {DOMAIN}"):report.index(f"domain 1: {DEMO_DOMAIN}")]
            self.assertIn(f"aliases:   {USER}\n", administrator)
            self.assertIn("rights:    1", administrator)
            self.assertEqual(stored_passwords(s, DOMAIN), [PASSWORD])
            self.assertTrue(s.wait_until(lambda: s.mailbox_messages("admin"), "the demonstration message", 30))
            self.assertEqual([line.strip('"').upper() for line in s.shell_opened()],
                             [(s.install_dir() + "readme.txt").upper()])
            # The log: every step, the opening question answered, no page ever shown.
            self.assertEqual(len(step_durations(log)) + len(skipped_steps(log)), 27)
            self.assertIn("Message box \"Zarel Mail Server Setup\" (Yes/No):", log)
            self.assertIn("Answer: Yes", log)
            self.assertIn(f"Primary domain {DOMAIN}", log)
            self.assertIn(f"Administrator {USER}@{DOMAIN} saved", log)
            self.assertNotIn("Page 0", log)
            self.assertNotIn(PASSWORD.strip(), log)
            # Nobody can answer the new-version question: not asked for, not made.
            self.assertNotIn("New-version check", log)
            self.assertIn("Setup ends with exit code 0", log)
            install = s.install_dir()
            self.assertEqual(console[0].split(";")[0], "Zarel Mail Server 8.2.0 unattended setup")
            # One line per phase, in order.
            phases = ["Arguments accepted", f"Installing into {install}", "Checking For Running Services...",
                      "Extracting Files...", "Starting Services...", "Installation Complete",
                      f"First-run configuration: domain {DOMAIN}, administrator {USER}", "Finish actions: 1",
                      "Result: done (exit code 0)"]
            self.assertEqual([line for line in console if line in phases], phases)
            self.assertEqual(console[-1], "Result: done (exit code 0)")

            # An upgrade from an older version with other components, the same command as before
            # plus what changes, and the log where the deployment wants it.
            s.driver("reg-set", SUITE_KEY, "Version", "7.7.2")
            s.installed("config\\webserver.cfg").write_bytes(OLD_WEBSERVER_CFG.encode("cp1252"))
            for name, content in PROTECTED.items():
                s.installed(name).parent.mkdir(parents=True, exist_ok=True)
                s.installed(name).write_bytes(content.encode("cp1252"))
            smtp_commands = commands(s, "smtp")
            logs_before = len(s.setup_logs())
            code, console = run_from_shell(s, "C:\\Demo\\setup.exe", "/unattended", "/answers=" + ANSWERS,
                                           "/password-file=" + PASSWORD_FILE, "/components=webmail,antispam",
                                           "/mode=advanced", "/log=C:\\deploy\\upgrade.log", "/deletepasswordfile=yes",
                                           "/checkversion=yes")
            log = (deploy / "upgrade.log").read_text(encoding="cp1252")
            self.assertEqual(code, 0, "\n".join(console) + log)
            self.assertIn("Password file deleted: " + PASSWORD_FILE, console)
            self.assertIn("New-version check: nothing found", log)  # the closed port of the scenario
            self.assertFalse((deploy / "password.txt").exists())
            self.assertEqual(len(s.setup_logs()), logs_before)
            self.assertIn(f"Upgrading {install}", console)
            self.assertIn("First-run values left unused: this was an upgrade", console)
            self.assertIn(f"Installation folder {install}: upgrade", log)
            self.assertIn("Setup ends with exit code 0", log)
            for name, content in PROTECTED.items():
                self.assertEqual(s.installed(name).read_bytes(), content.encode("cp1252"), name)
            webserver = s.installed("config\\webserver.cfg").read_text(encoding="cp1252")
            self.assertIn("=modules\\wcs.dll|[wcs]", webserver)
            self.assertNotIn("web.dll", webserver)
            # 7.7.2 is not older than any row of the upgrade commands: none is sent.
            self.assertEqual(commands(s, "smtp"), smtp_commands)
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")
            for flag, value in (("NoInstallWebMail", "0"), ("NoInstallIAS", "0"), ("NoInstallAV", "1"),
                                ("NoInstallIM", "1"), ("NoInstallCalendar", "1")):
                self.assertEqual(s.reg_query(SUITE_KEY, flag), value, flag)
            self.assertFalse(s.installed("im.exe").exists())
            self.assertFalse(s.installed("cal.exe").exists())
            self.assertTrue(s.installed("html\\mail").is_dir())
            for name in ("ZarelSMTP", "ZarelPOP3", "ZarelControl"):
                s.wait_service_state(name, SERVICE_RUNNING)
            self.assertIsNone(s.service("ZarelIM"))
            self.assertIn("console:      advanced.xml", s.store_report())
            self.assertEqual(s.store_report().count(f"domain 0: {DOMAIN}"), 1)

            # A newer version installed: not replaced without allowdowngrade=yes, nothing changed.
            s.driver("reg-set", SUITE_KEY, "Version", "9.0.0")
            code, console = run_from_shell(s, "C:\\Demo\\setup.exe", "/unattended")
            self.assertEqual(code, 0, console)
            self.assertIn("Version 9.0.0 is installed: nothing was changed", s.log_text())
            self.assertIn("Nothing was changed: version 9.0.0 is installed (allowdowngrade=yes installs over it)",
                          console)
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "9.0.0")
            s.driver("reg-set", SUITE_KEY, "Version", "8.2.0")

            # Removal: the installed copy, no question, no window.
            kept = s.installed("mail\\demo.zarel.example\\admin\\kept.tmp")
            self.assertEqual(run_without_window(s, "/UNINSTALL", "/unattended"), 0)
            assert_removed(self, s, install)
            self.assertEqual(kept.read_bytes(), PROTECTED["mail\\demo.zarel.example\\admin\\kept.tmp"].encode("cp1252"))
            log = s.log_text()
            self.assertIn("Unattended removal: the question is not asked", log)
            self.assertIn("Message box \"Information\"", log)
            self.assertIn("Setup ends with exit code 0", log)


# users.cfg: records of 2848 bytes, scrambled with this key (phase = file offset); the
# password is a str[127] at offset 772.
SCRAMBLE_KEY = bytes.fromhex("3C9A5107D26E18B4A72F905DC30B76E8")
ACCOUNT_SIZE, PASSWORD_FIELD = 2848, 772


def stored_passwords(s, domain):
    """The passwords of the domain's accounts as the store keeps them."""
    data = s.installed(f"config\\{domain}\\users.cfg").read_bytes()
    plain = bytes(b ^ SCRAMBLE_KEY[i % 16] for i, b in enumerate(data))
    records = [plain[i:i + ACCOUNT_SIZE] for i in range(0, len(plain), ACCOUNT_SIZE)]
    return [r[PASSWORD_FIELD + 1:PASSWORD_FIELD + 1 + r[PASSWORD_FIELD]].decode("cp1252") for r in records]


def prefix_listing(s):
    """Every file of drive C: with its size and time, but the setup's own logs."""
    listing = {}
    for folder, _, names in os.walk(s.drive_c):
        for name in names:
            if name.startswith("Setup Log "):
                continue
            path = os.path.join(folder, name)
            info = os.stat(path)
            listing[os.path.relpath(path, s.drive_c)] = (info.st_size, info.st_mtime_ns)
    return listing


def registry_export(s, name):
    """The whole registry as the running wineserver holds it (the .reg files are written late)."""
    target = s.work / name
    subprocess.run(["wine", "regedit", "/E", "Z:" + str(target).replace("/", "\\")], env=s.env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    return target.read_bytes().decode("utf-16")


FIRST_RUN = ["/hostname=" + HOST, "/domain=" + DOMAIN, "/admin=" + USER]
# The words after "/unattended", the argument named and a part of the reason.
BAD_ARGUMENTS = [
    (["/colour=blue"], "colour=blue", "unknown setting"),
    (["/password=secret"], "password= (command line)", "password-file="),
    (["/dir=Zarel\\"], "dir=Zarel\\", "absolute"),
    (["/dir=C:\\Demo\\setup.exe\\Zarel\\"], "dir=C:\\Demo\\setup.exe\\Zarel\\", "is a file"),
    (["/dir=Q:\\Zarel\\"], "dir=Q:\\Zarel\\", "drive or share does not exist"),
    (["/components=webmail,fax"], "components=webmail,fax", "\"fax\""),
    (FIRST_RUN + ["/password-file=C:\\deploy\\missing.txt"], "password-file=C:\\deploy\\missing.txt", "cannot be read"),
    (FIRST_RUN[:2] + ["/admin=a:b", "/password-file=" + PASSWORD_FILE], "admin=a:b", "first-run page"),
    (FIRST_RUN[:1] + ["/domain=..\\..\\Windows", FIRST_RUN[2], "/password-file=" + PASSWORD_FILE], "domain=..\\..\\Windows",
     "first-run page"),
    (FIRST_RUN, "password-file=", "come together"),
    (["/answers=C:\\deploy\\missing.txt"], "answers=C:\\deploy\\missing.txt", "cannot be read"),
    (["/answers=C:\\deploy\\bad-answers.txt"], "dir C:\\Zarel\\ (answers file C:\\deploy\\bad-answers.txt, line 2)",
     "name=value"),
    (["/log=C:\\deploy\\no\\such\\setup.log"], "log=C:\\deploy\\no\\such\\setup.log", "cannot be written"),
    # Checked before the first change, not found when the folder is made after the servers stopped.
    (["/dir=C:\\deploy\\no\\Zarel\\"], "dir=C:\\deploy\\no\\Zarel\\", "parent folder C:\\deploy\\no\\ does not exist"),
    # There, but held by another program: never taken for an empty file that installs defaults.
    (["/answers=C:\\deploy\\held.txt"], "answers=C:\\deploy\\held.txt", "cannot be read: the file exists"),
    # Names that would not stay whole or inside the store, in the first-run page's words.
    (FIRST_RUN[:1] + ["/domain=admin@new.test", FIRST_RUN[2], "/password-file=" + PASSWORD_FILE],
     "domain=admin@new.test", "letters, digits and hyphens between dots"),
    (FIRST_RUN[:2] + ["/admin=;chief", "/password-file=" + PASSWORD_FILE], "admin=;chief", "; characters"),
    (["/hostname=" + "h" * 300] + FIRST_RUN[1:] + ["/password-file=" + PASSWORD_FILE], "hostname=hhh",
     "longer than 127 characters"),
    (FIRST_RUN + ["/password-file=C:\\deploy\\long.txt"], "password-file=C:\\deploy\\long.txt",
     "longer than 127 characters"),
    (FIRST_RUN + ["/password-file=C:\\deploy\\cyrillic.txt"], "password-file=C:\\deploy\\cyrillic.txt",
     "code page"),
    (["/LOGS"], "/LOGS", "not an action"),
    (["/pasword=secret"], "pasword=******** (command line)", "unknown setting"),
    (FIRST_RUN + ["/password-file=C:\\deploy\\password.txt"], "password-file=C:\\deploy\\password.txt",
     "others could read or replace it"),
    (["/dir=C:\\"], "dir=C:\\", "root folder of a drive"),
    (["/dir=C:\\deploy\\"], "dir=C:\\deploy\\", "no installation of the mail server"),
    (["/dir=C:\\deploy\\x:y\\"], "dir=C:\\deploy\\x:y\\", "alternate data stream"),
]


class BadArgumentsTest(unittest.TestCase):
    def test_refused_settings_change_nothing(self):
        with SetupScenario("unattended-bad") as s:
            deploy = s.drive_c / "deploy"
            deploy.mkdir()
            (deploy / "password.txt").write_bytes(b"secret\r\n")
            (deploy / "bad-answers.txt").write_bytes(b"# saved\r\ndir C:\\Zarel\\\r\n")
            (deploy / "held.txt").write_bytes(b"dir=C:\\Zarel\\\r\n")
            (deploy / "long.txt").write_bytes(b"p" * 128 + b"\r\n")
            (deploy / "cyrillic.txt").write_bytes("\u043f\u0430\u0440\u043e\u043b\u044c\r\n".encode("utf-16"))
            # Private, as a password file must be: what is refused is their content.
            for private in ("long.txt", "cyrillic.txt"):
                os.chmod(deploy / private, 0o600)
            s.driver("hold", "C:\\deploy\\held.txt")
            registry = registry_export(s, "before.reg")
            rows = [(["/unattended"] + words, argument, reason) for words, argument, reason in BAD_ARGUMENTS]
            # Without the switch, a setting that needs it is refused too, before any window.
            rows.append((["/dir=C:\\Zarel\\"], "dir=C:\\Zarel\\", "unattended switch"))
            for args, argument, reason in rows:
                with self.subTest(args=args):
                    before = prefix_listing(s)
                    code, console = run_from_shell(s, "C:\\Demo\\setup.exe", *args, timeout=60)
                    self.assertEqual(code, 6, console)
                    refusal = [line for line in console if line.startswith("Bad argument: ")]
                    self.assertEqual(len(refusal), 1, console)
                    self.assertTrue(refusal[0].startswith("Bad argument: " + argument), refusal)
                    self.assertIn(reason, refusal[0])
                    log = s.setup_logs()[-1]
                    self.assertIn(refusal[0], log)
                    self.assertIn("Setup ends with exit code 6", log)
                    self.assertNotIn("secret", log)
                    self.assertNotIn("secret", "\n".join(console))
                    self.assertEqual(prefix_listing(s), before)
            self.assertEqual(registry_export(s, "after.reg"), registry)

            # A registry that offers a folder whose parent does not exist (no setting to refuse):
            # the run ends before the first step, with the error box's code.
            s.driver("reg-set", SUITE_KEY, "InstallDir", "C:\\gone\\Zarel\\")
            before = prefix_listing(s)
            code, console = run_from_shell(s, "C:\\Demo\\setup.exe", "/unattended", timeout=60)
            s.driver("reg-delete", SUITE_KEY, "InstallDir")
            self.assertEqual(code, 1, console)
            self.assertIn("Error: Directory could not be created: C:\\gone\\Zarel\\ -> OK", console)
            self.assertNotIn("Checking For Running Services...", console)
            self.assertIn("its parent folder C:\\gone\\ does not exist", s.setup_logs()[-1])
            self.assertEqual(prefix_listing(s), before)


class ServersNotRunningTest(unittest.TestCase):
    def test_an_installation_whose_server_does_not_start_has_its_own_exit_code(self):
        """Another program holds the SMTP port: the installation is complete, but a deployment
        must not count it a success. The warning is answered and logged; the exit code and the
        result line say which servers are not running."""
        with InstallScenario("unattended-not-running") as s:
            holder = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            holder.bind(("127.0.0.1", s.smtp_port))
            try:
                code, console = run_from_shell(s, "C:\\Demo\\setup.exe", "/unattended")
            finally:
                holder.close()
            log = s.log_text()
            self.assertEqual(code, 7, "\n".join(console) + log)
            warning = console.index("Warning: The following service(s) could not be started: -> OK")
            # The box's further lines follow it: the servers it names and its advice.
            self.assertEqual(console[warning + 1], "  Zarel Mail Server SMTP")
            self.assertTrue(console[warning + 2].startswith("  There must be already running"), console)
            self.assertEqual(console[-1], "Result: installed, but these servers are not running: "
                                          "Zarel Mail Server SMTP (exit code 7)")
            self.assertIn("Servers not running after the installation: 1", log)
            self.assertIn("Setup ends with exit code 7", log)
            # Installed all the same: the programs, the registry, the other servers.
            self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")
            for name in SERVICES[1:]:
                s.wait_service_state(name, SERVICE_RUNNING)


class ConsoleCancelTest(unittest.TestCase):
    def test_ctrl_c_in_the_console_cancels_between_steps(self):
        """From a terminal (a pseudo-terminal of script(1)), Ctrl+C while the servers are being
        stopped: the run stops before the next step, puts the servers back and ends with 2."""
        with SetupScenario("unattended-ctrl-c") as s:
            # The web mail chosen by default is read before the first change: an empty archive
            # is a sound one.
            s.put("SetupWeb.Dat", b"")
            terminal = subprocess.Popen(["script", "-qfc", "wine 'C:\\Demo\\setup.exe' /unattended", "/dev/null"],
                                        env=s.env, cwd=s.work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)
            shown = b""
            deadline = time.monotonic() + s.first_wait(60)
            sent = False
            while terminal.poll() is None and time.monotonic() < deadline:
                if not sent and b"Checking For Running Services" in shown:
                    terminal.stdin.write(b"\x03")
                    terminal.stdin.flush()
                    sent = True
                if select.select([terminal.stdout], [], [], 0.2)[0]:
                    shown += os.read(terminal.stdout.fileno(), 4096)
            terminal.wait(30)
            text = shown.decode("utf-8", "replace")
            (s.artifacts / "terminal.txt").write_text(text)
            self.assertTrue(sent, text)
            self.assertIn("Result: cancelled during the installation (exit code 2)", text)
            log = s.setup_logs()[-1]
            self.assertIn("Cancelled: ", log)
            self.assertIn("Setup ends with exit code 2", log)


if __name__ == "__main__":
    unittest.main()
