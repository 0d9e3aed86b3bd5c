"""Faults around the file placement of an upgrade, seen as an administrator sees them: data
archives damaged on the way (cut short, one byte flipped), a drive without room before the run
and one that fills up in the middle of it, a program file held open by another program, and one
the file system will not let anyone write. Each run that fails says which file and why, ends
with a non-zero exit code, leaves the servers running and the customer's files as they were;
once the cause is gone, the next run completes.

The installation lies on a drive of its own, D:, a tmpfs (mounting needs root; without the
right the scenario is skipped), whose free room the test sets with a filler file. (Mounted
inside C:, Wine shows its folder as a link, which the destination check refuses.)"""
import hashlib
import os
import re
import struct
import subprocess
import threading
import time
import unittest

from install_scenario import INSTALL_WAIT, SERVICE_RUNNING, SERVICES, SUITE_KEY, InstallScenario
from test_failures import answer_until_finished, running_count, temp_folder
from test_unattended import run_from_shell

FOLDER = "D:\\Zarel\\"
DRIVE_SIZE = "256m"
DATA_FILE_ERROR = "Extracting files error: data file error\r\n\r\n"
NOTHING_CHANGED = ("\r\n\r\nNothing was changed on this computer. Copy the setup's files again from the original "
                   "distribution and run the setup again.")
REBOOT = "\r\nIt is suggested to reboot this computer and run the setup again."
COPY_ERROR = "^File copy error: [^\r]+\r\n"  # the system's words for the reason follow
CUSTOMER = ("config", "mail")  # what the servers keep of the customer's, below the installation
RUNNING = ["ZarelSMTP", "ZarelPOP3", "ZarelControl", "ZarelIM", "ZarelCalendar"]


def tree_hashes(root, only=None, skip=("logs", "temp")):
    """Relative path -> SHA-256 of every file below root (the servers' own logs left out)."""
    hashes = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root)
            top = relative.split(os.sep)[0].lower()
            if top in skip or (only is not None and top not in only):
                continue
            with open(path, "rb") as data:
                hashes[relative] = hashlib.sha256(data.read()).hexdigest()
    return hashes


def largest_compressed_entry(archive):
    """(name, offset of its data, size) of the largest entry of an ILDS archive."""
    data = archive.read_bytes()
    assert data[:4] == b"ILDS"
    header_length = struct.unpack_from("<I", data, 4)[0]
    record = data[8:8 + min(header_length, 5)].ljust(5, b"\0")
    version = struct.unpack_from("<I", record, 1)[0]
    offset, best = 8 + header_length, None
    while offset < len(data):
        if version < 2:
            length, name_size = data[offset], 256
        else:
            length, name_size = data[offset], 1 + data[offset]
        name = data[offset + 1:offset + 1 + length].decode("cp1252").strip()
        size = struct.unpack_from("<i", data, offset + name_size)[0]
        if not name:
            break
        start = offset + name_size + 4
        if best is None or size > best[2]:
            best = (name, start, size)
        offset = start + size
    return best


class SmallDrive:
    """A tmpfs as the prefix's drive D:; fill() leaves the given number of bytes free."""

    def __init__(self, s):
        self.point = s.work / "small-drive"
        self.point.mkdir()
        self.filler = None
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={DRIVE_SIZE},mode=0755", "zarel-e2e-drive",
                                 str(self.point)], capture_output=True)
        self.mounted = result.returncode == 0
        if self.mounted:
            (s.prefix / "dosdevices" / "d:").symlink_to(self.point)

    def free(self):
        stat = os.statvfs(self.point)
        return stat.f_bavail * stat.f_frsize

    def fill(self, leave=0):
        self.filler = self.point / "filler.bin"
        with open(self.filler, "ab") as filler:
            room = self.free() - leave
            if room > 0:
                os.posix_fallocate(filler.fileno(), filler.tell(), room)

    def empty(self):
        if self.filler is not None:
            self.filler.unlink()
            self.filler = None

    def unmount(self):
        if self.mounted:
            subprocess.run(["umount", "-l", str(self.point)], capture_output=True)


class PlacementFaultsTest(unittest.TestCase):
    def failed_upgrade(self, s, label, while_running=None):
        """The wizard through an upgrade that fails: gives the box's text, the exit code and the
        installing page's status line. while_running is started in a thread as Install is pressed."""
        s.start_wizard()
        self.assertEqual(s.text("SetupTypeLabel"), "Upgrade Setup")
        s.walk_to_destination()
        helper = threading.Thread(target=while_running, daemon=True) if while_running else None
        if helper:
            helper.start()
        s.click("NextButton")
        box = s.wait_box("Error", timeout=INSTALL_WAIT)
        status = s.text("InstallPanelText")
        s.screenshot(label)
        s.answer(box, "ok")
        if helper:
            helper.join(10)
        return box["text"], s.exit_code(), status

    def completes(self, s, what):
        """The next run, unattended, as a deployment tool would start it."""
        code, console = run_from_shell(s, "C:\\Demo\\setup.exe", "/unattended")
        self.assertEqual(code, 0, f"after {what}: " + "\n".join(console))
        for name in RUNNING:
            s.wait_service_state(name, SERVICE_RUNNING)
        self.assertEqual(s.reg_query(SUITE_KEY, "Version"), "8.2.0")

    def starts(self, s):
        return {name: running_count(s, name) for name in RUNNING}

    def assert_untouched(self, s, before, starts, what):
        """A run refused before its first change: the same files, the servers never stopped."""
        self.assertEqual(tree_hashes(s.installed()), before, what)
        self.assertEqual(self.starts(s), starts, what)
        for name in RUNNING:
            self.assertEqual(s.service(name)["state"], SERVICE_RUNNING, f"{what}: {name}")

    def assert_servers_back(self, s, text, customer, starts, what):
        """A run stopped in the middle of placement: the box says so, the servers started again
        (on a full drive they cannot log it), the customer's files as they were."""
        self.assertIn("\r\n\r\nThe installation is not complete.\r\n\r\nThese servers run again:", text)
        self.assertNotIn("could not be started again", text)
        for name in RUNNING:
            s.wait_service_state(name, SERVICE_RUNNING)
            if starts is not None:
                self.assertEqual(running_count(s, name), starts[name] + 1, f"{what}: {name}")
        self.assertEqual(tree_hashes(s.installed(), only=CUSTOMER), customer, what)

    def record(self, s, label, text, code):
        """The boxes of the run, for the report."""
        with open(s.artifacts / "boxes.txt", "a", encoding="utf-8") as boxes:
            boxes.write(f"--- {label}: exit code {code}\n{text}\n")

    def test_faults_before_and_during_placement(self):
        drive = None
        try:
            with InstallScenario("placement-faults") as s:
                drive = SmallDrive(s)
                if not drive.mounted:
                    self.skipTest("mounting a tmpfs needs root")
                self.run_cases(s, drive)
        finally:
            if drive is not None:
                drive.unmount()  # the scenario's end has stopped every program that used it

    def run_cases(self, s, drive):
        code, console = run_from_shell(s, "C:\\Demo\\setup.exe", "/unattended", "/dir=" + FOLDER)
        self.assertEqual(code, 0, "\n".join(console))
        for name in RUNNING:
            s.wait_service_state(name, SERVICE_RUNNING)
        self.assertEqual(s.install_dir(), FOLDER)
        shipped = tree_hashes(s.installed(), only=("help", "html", "tool.exe", "dnsquery.exe"))

        # --- Damaged archives: found before anything is changed ---
        web, setup = s.demo / "SetupWeb.Dat", s.demo / "Setup.Dat"
        intact_web, intact_setup = web.read_bytes(), setup.read_bytes()
        web.write_bytes(intact_web[:len(intact_web) * 2 // 3])
        name, offset, size = largest_compressed_entry(setup)
        flipped = bytearray(intact_setup)
        flipped[offset + size // 2] ^= 0x01
        cases = [
            ("cut", web, bytes(web.read_bytes()), "C:\\Demo\\SetupWeb.Dat: the file ends too early, in "),
            ("flipped", setup, bytes(flipped), f"C:\\Demo\\Setup.Dat: the data of {name} do not match their checksum"),
        ]
        web.write_bytes(intact_web)
        for label, archive, damaged, says in cases:
            intact = archive.read_bytes()
            archive.write_bytes(damaged)
            before, starts = tree_hashes(s.installed()), self.starts(s)
            text, code, status = self.failed_upgrade(s, "archive-" + label)
            self.record(s, label, text, code)
            self.assertTrue(text.startswith(DATA_FILE_ERROR + says), text)
            self.assertTrue(text.endswith(NOTHING_CHANGED), text)
            self.assertEqual(code, 1)
            self.assertEqual(status, "Failed: Checking C:\\Demo\\" + archive.name)
            self.assert_untouched(s, before, starts, label)
            archive.write_bytes(intact)
        self.assertIn("Data file refused: C:\\Demo\\Setup.Dat", s.log_text())

        # --- No room on the installation's drive: refused before anything is changed ---
        drive.fill(leave=512 * 1024)
        before, starts = tree_hashes(s.installed()), self.starts(s)
        text, code, status = self.failed_upgrade(s, "no-room")
        self.record(s, "no room", text, code)
        self.assertRegex(text, r"^There is not enough room on the drive of D:\\Zarel\\: the installation "
                               r"needs \d+ MB there and 0 MB are free\.\r\n\r\nNothing was changed")
        self.assertEqual(code, 1)
        self.assert_untouched(s, before, starts, "no room")
        drive.empty()
        self.completes(s, "the damaged archives and the full drive")

        # --- The drive fills up while the files are placed ---
        # An earlier version's help and pages were smaller: the upgrade needs room for them.
        for folder in ("help", "html"):
            for path in s.installed(folder).rglob("*"):
                if path.is_file():
                    path.write_bytes(b"")
        extraction = temp_folder(s)

        def fill_once_extracting():
            deadline = time.monotonic() + INSTALL_WAIT
            while not any(extraction.glob("zarelinstall*")) and time.monotonic() < deadline:
                time.sleep(0.005)
            drive.fill()

        customer, starts = tree_hashes(s.installed(), only=CUSTOMER), self.starts(s)
        text, code, _ = self.failed_upgrade(s, "disk-full", fill_once_extracting)
        self.record(s, "disk full", text, code)
        self.assertRegex(text, COPY_ERROR + re.escape(FOLDER) + r"(help|html)\\[^\r]+" + re.escape(REBOOT))
        self.assertIn("(system error 112)", s.log_text())  # ERROR_DISK_FULL
        self.assertEqual(code, 1)
        self.assert_servers_back(s, text, customer, None, "disk full")
        drive.empty()
        self.completes(s, "the full drive")

        # --- A program file held open by another program ---
        held = FOLDER + "dnsquery.exe"
        s.driver("hold", held)
        customer, starts = tree_hashes(s.installed(), only=CUSTOMER), self.starts(s)
        text, code, _ = self.failed_upgrade(s, "held-open")
        self.record(s, "held open", text, code)
        self.assertRegex(text, COPY_ERROR + re.escape(held + REBOOT))
        self.assertIn("(system error 32)", s.log_text())  # ERROR_SHARING_VIOLATION
        self.assertEqual(code, 1)
        self.assert_servers_back(s, text, customer, starts, "held open")
        s.driver("release", held)
        self.completes(s, "the held file")

        # --- A read-only program file that the file system will not let anyone write (on Windows:
        # a list that denies the setup): the folder's own repair meets it first and names it ---
        locked = s.installed("tool.exe")
        locked.chmod(0o444)  # what Wine shows as the read-only attribute
        subprocess.run(["chattr", "+i", str(locked)], check=True)
        customer, starts = tree_hashes(s.installed(), only=CUSTOMER), self.starts(s)
        try:
            text, code, _ = self.failed_upgrade(s, "read-only")
        finally:
            subprocess.run(["chattr", "-i", str(locked)], check=True)
        self.record(s, "read-only", text, code)
        self.assertRegex(text, r"^The Folder:\r\n\r\n'" + re.escape(FOLDER) + r"'\r\n\r\ncannot be the installation "
                               r"folder: [^\r]*" + re.escape(FOLDER + "tool.exe"))
        self.assertEqual(code, 1)
        self.assert_servers_back(s, text, customer, starts, "read-only")
        # Only read-only now, as an administrator's attrib +r leaves it: it is replaced.
        self.completes(s, "the read-only file")
        self.assertTrue(locked.stat().st_mode & 0o200, oct(locked.stat().st_mode))
        # What the faulty runs left half done is whole again.
        self.assertEqual(tree_hashes(s.installed(), only=("help", "html", "tool.exe", "dnsquery.exe")), shipped)


if __name__ == "__main__":
    unittest.main()
