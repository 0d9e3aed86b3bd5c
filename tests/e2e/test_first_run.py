"""The first-run page after a first installation: the primary domain, its administrator with
the welcome message, the reload notices to the running servers and, with directory
synchronisation turned on, the administrator's entry in a real slapd on 127.0.0.1."""
import re
import secrets
import subprocess
import unittest

from distribution import DEMO_DOMAIN
from install_scenario import InstallScenario
from zarel_e2e import ROOT, E2EError

DOMAIN = "firstrun.example"
HOST = "mail.firstrun.example"
USER = "chief"
# Leading blanks belong to the password.
PASSWORD = "  open sesame"
SLAPD = ROOT / "tests" / "peers" / "slapd.sh"

# settings.cfg is scrambled with this key, phase = file offset.
SCRAMBLE_KEY = bytes.fromhex("3C9A5107D26E18B4A72F905DC30B76E8")
LDAP_SYNC, DIRECTORY_SYNC_OPTION, WELCOME_MESSAGE, WEB_HOST_FROM_LIST = 207, 3382, 1473, 1474
LDAP_PORT, SERVER_LIST, SERVER_LIST_MAX = 250, 1176, 127
TEMP_FOLDER, MAIL_FOLDER, LOGS_FOLDER = 256, 512, 768
# The servers told to reload, in their order; the control server is not among them.
RELOAD_ORDER = ["ZarelSMTP", "ZarelPOP3", "ZarelIM", "ZarelCalendar"]
RELOAD_COMMAND = "pipe 1280 0 0"


def scrambled(data):
    return bytes(b ^ SCRAMBLE_KEY[i % 16] for i, b in enumerate(data))


def settings_text(path, offset):
    record = scrambled(path.read_bytes())
    return record[offset + 1:offset + 1 + record[offset]].decode("cp1252")


def patch_settings(path, byte_values=(), u16_values=(), texts=()):
    """Sets fields of an installed settings.cfg as the administration console would."""
    record = bytearray(scrambled(path.read_bytes()))
    for offset, value in byte_values:
        record[offset] = value
    for offset, value in u16_values:
        record[offset:offset + 2] = value.to_bytes(2, "little")
    for offset, limit, text in texts:
        data = text.encode("cp1252")[:limit]
        record[offset] = len(data)
        record[offset + 1:offset + 1 + len(data)] = data
    path.write_bytes(scrambled(bytes(record)))


class Slapd:
    """A throwaway slapd of tests/peers/slapd.sh whose one suffix is o=DOMAIN."""

    def __init__(self, folder):
        self.folder = folder

    def __enter__(self):
        seed = self.folder.parent / "first-run-seed.ldif"
        seed.write_text(f"dn: o={DOMAIN}\nobjectClass: organization\no: {DOMAIN}\n")
        subprocess.run(["bash", str(SLAPD), "start", str(self.folder), str(seed)], check=True,
                       stdout=subprocess.DEVNULL, timeout=60)
        self.env = dict(line.split("=", 1) for line in (self.folder / "slapd.env").read_text().splitlines())
        return self

    def __exit__(self, *error):
        subprocess.run(["bash", str(SLAPD), "stop", str(self.folder)], timeout=60)
        return False

    def search(self, base):
        result = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", self.env["LDAP_URI"],
                                 "-D", self.env["ROOT_DN"], "-w", self.env["ROOT_PW"], "-b", base, "-s", "base"],
                                capture_output=True, text=True, timeout=30)
        return result.stdout if result.returncode == 0 else ""


def attribute_values(ldif, name):
    return sorted(m.group(1) for m in re.finditer(rf"^{name}: (.*)$", ldif, re.MULTILINE))


class FirstRunTest(unittest.TestCase):
    def fill_first_run_page(self, s):
        """Page 7 as a person fills it, past a domain that would name a folder outside the store."""
        s.type("HostNameEdit", HOST)
        s.type("DomainEdit", "..\\..\\Windows")
        s.type("UserEdit", USER + "@")  # an "@" typed cuts the user name there
        s.type("PassEdit", PASSWORD)
        c = s.controls()
        self.assertEqual(c["UserEdit"]["text"], USER)
        self.assertFalse(c["NextButton"]["enabled"])
        self.assertIn("domain name", c["NameProblemLabel"]["text"])
        s.screenshot("page7-refused-domain", check_layout=True)
        # Names the store would not keep whole or inside itself: each keeps Finish disabled and
        # the page says why, the limit named.
        good = {"DomainEdit": DOMAIN, "UserEdit": USER, "PassEdit": PASSWORD}
        s.clear("DomainEdit")
        s.type("DomainEdit", DOMAIN)
        for field, typed, reason in (("DomainEdit", "admin@new.test", "letters, digits and hyphens between dots"),
                                     ("UserEdit", ";" + USER, "; characters"),
                                     ("UserEdit", ". .", "dots and blanks alone"),
                                     ("UserEdit", "u" * 128, "longer than 127 characters"),
                                     ("PassEdit", "p" * 128, "The password must not be longer than 127 characters.")):
            s.clear(field)
            s.type(field, typed)
            c = s.controls()
            self.assertFalse(c["NextButton"]["enabled"], typed)
            self.assertIn(reason, c["NameProblemLabel"]["text"])
            s.screenshot(f"page7-refused-{field}-{len(typed)}", check_layout=True)
            s.clear(field)
            s.type(field, good[field])
            self.assertTrue(s.state("NextButton")["enabled"], field)
        s.clear("DomainEdit")
        s.type("DomainEdit", " " + DOMAIN)
        c = s.controls()
        self.assertTrue(c["NextButton"]["enabled"])
        self.assertEqual(c["NameProblemLabel"]["text"], "")

    def test_first_run_creates_the_primary_domain_and_its_administrator(self):
        with InstallScenario("first-run") as s, Slapd(s.work / "slapd") as slapd:
            s.start_wizard()
            s.walk_to_destination()
            s.install()
            for name in ("RunConfig", "ViewReadme", "ShowTutorial", "ViewReleaseNotes", "RunAntivirus"):
                if s.state(name)["checked"]:
                    s.click(name)
            s.click("NextButton")
            s.wait_page("TutorialPanel")
            self.fill_first_run_page(s)

            # What the administration console would have set: the welcome message and directory
            # synchronisation to the slapd on 127.0.0.1, and a welcome text with variables.
            patch_settings(s.installed("config\\settings.cfg"),
                           byte_values=[(WELCOME_MESSAGE, 1), (LDAP_SYNC, 1), (DIRECTORY_SYNC_OPTION, 1),
                                        (WEB_HOST_FROM_LIST, 1)],
                           u16_values=[(LDAP_PORT, int(slapd.env["LDAP_PORT"]))],
                           texts=[(SERVER_LIST, SERVER_LIST_MAX, "127.0.0.1")])
            welcome = s.installed("config\\welcome.txt")
            shipped = welcome.read_text(encoding="cp1252")
            welcome.write_text(shipped + "Your address: %%recipient%%, $$unknown$$\r\n", encoding="cp1252",
                               newline="")
            conf = s.installed("ldap\\slapd.conf")
            text = re.sub(r"^usersuffix.*$", "usersuffix  \"o=%s\"", conf.read_text(encoding="cp1252"),
                          flags=re.MULTILINE)
            text = re.sub(r"^rootdn.*$", f"rootdn \"{slapd.env['ROOT_DN']}\"\nrootpw {slapd.env['ROOT_PW']}", text,
                          flags=re.MULTILINE)
            conf.write_text(text, encoding="cp1252")

            s.click("NextButton")
            self.assertEqual(s.exit_code(timeout=60), 0)

            # The store: the new primary domain first, the demonstration domain after it.
            report = s.store_report()
            self.assertIn(f"host name:    {HOST}\n", report)
            # The servers' folders are left to their defaults under the installation.
            for field in (TEMP_FOLDER, MAIL_FOLDER, LOGS_FOLDER):
                self.assertEqual(settings_text(s.installed("config\\settings.cfg"), field), "", field)
            self.assertIn(f"domain 0: {DOMAIN}\n", report)
            self.assertIn(f"domain 1: {DEMO_DOMAIN}\n", report)
            self.assertIn("domains:      2\n", report)
            administrator = report[report.index(f"domain 0: {DOMAIN}"):report.index(f"domain 1: {DEMO_DOMAIN}")]
            self.assertIn(f"aliases:   {USER}\n", administrator)
            self.assertIn("full name: Chief\n", administrator)
            self.assertIn("rights:    1", administrator)
            self.assertIn(f"\\mail\\{DOMAIN}\\{USER}\\\n", administrator)
            self.assertTrue(s.installed(f"config\\{DOMAIN}\\domain.cfg").is_file())

            # The welcome message, its variables filled in for the administrator.
            message = s.installed(f"mail\\{DOMAIN}\\{USER}\\welcome.tmp").read_text(encoding="cp1252")
            self.assertIn("Welcome to your new mailbox on Zarel Mail Server.", message)
            self.assertIn(f"Your address: {USER}@{DOMAIN}, $$unknown$$", message)
            self.assertEqual(list(s.installed("temp").glob("*.tmp")), [])

            # The running servers were told to reload, in order, the control server not at all.
            for program in ("smtp", "pop3", "im", "cal"):
                self.assertEqual(s.server_log(program, "commands").count(RELOAD_COMMAND), 1, program)
            self.assertNotIn(RELOAD_COMMAND, s.server_log("control", "commands"))
            log = s.log_text()
            notices = re.findall(r"Reload notice to (\w+): (\w+)", log)
            self.assertEqual(notices, [(name, "delivered") for name in RELOAD_ORDER])
            self.assertNotIn(PASSWORD.strip(), log)

            # The administrator's entry in the directory.
            entry = slapd.search(f"cn={USER}@{DOMAIN},o={DOMAIN}")
            if not entry:
                raise E2EError(f"no directory entry; setup log:\n{log}")
            self.assertEqual(attribute_values(entry, "mail"), [f"{USER}@{DOMAIN}"])
            self.assertEqual(attribute_values(entry, "sn"), ["Chief"])
            self.assertEqual(attribute_values(entry, "givenName"), [])
            self.assertIn("Chief", attribute_values(entry, "cn"))

    def test_a_store_that_cannot_be_read_is_not_written(self):
        """settings.cfg held by another program (a backup, a virus scanner) when Finish is
        pressed: the domains cannot be known, so nothing is written and the person is warned,
        as the upgrade warns; the demonstration domain keeps its own files."""
        with InstallScenario("first-run-held-store") as s:
            s.start_wizard()
            s.walk_to_destination()
            s.install()
            for name in ("RunConfig", "ViewReadme", "ShowTutorial", "ViewReleaseNotes", "RunAntivirus"):
                if s.state(name)["checked"]:
                    s.click(name)
            config = s.installed("config")
            before = {p.relative_to(config): p.read_bytes() for p in sorted(config.rglob("*")) if p.is_file()}
            # The demonstration domain typed as if it were new: the case that replaced its files.
            s.fill_first_run_page(HOST, DEMO_DOMAIN, USER, PASSWORD)
            settings = s.install_dir() + "config\\settings.cfg"
            s.driver("hold", settings)
            s.click("NextButton")
            box = s.wait_box("Warning")
            s.screenshot("store-held-warning")
            self.assertIn(f"The configuration file {settings} could not be read, so the setup changed nothing in the configuration.", box["text"])
            s.answer(box, "ok")
            self.assertEqual(s.exit_code(timeout=60), 0)
            s.driver("release", settings)
            after = {p.relative_to(config): p.read_bytes() for p in sorted(config.rglob("*")) if p.is_file()}
            self.assertEqual(after, before)
            log = s.log_text()
            self.assertIn(f"First-run configuration: {settings} could not be read: nothing written", log)
            self.assertNotIn("Reload notice", log)
            self.assertNotIn(f"Administrator {USER}@", log)


if __name__ == "__main__":
    unittest.main()
