"""Runs that are stopped dead and the run after them: setup.exe, unattended, is ended by
TerminateProcess at a chosen moment of its install sequence, the same command is run once
more, and the machine is compared with what a run that was never stopped leaves.

Two kinds of run are looked at: a first installation, and an upgrade from 7.4.6 with the POP3
server disabled. Each kind starts from a prepared prefix (a copy of a scenario's prefix taken
while its wineserver was down), so every stopped run and the clean run of its kind start from
the same machine, and a case costs a copy and a boot instead of an installation.

The moments are the install sequence's progress points. A point has no log line of its own:
it lies between the step before it ("Step done: ..." or "Step skipped: ...", flushed to disk
line by line) and the next step, so the setup is killed as soon as that line is on disk; the
kill lands at the point or a few milliseconds into the next step (the case records where, from
the killed run's last log line). The driver's "kill" is TerminateProcess on the handle it
started the setup with, which is what the run meets on Windows when an administrator ends it
in the task manager or a deployment tool times it out: no handler of the program runs, open
files are closed by the system, nothing is flushed by the program.

    prepared = prepare_kinds()              # the two prepared prefixes and their clean runs
    result = run_case(prepared["first"], POINTS[3])
    result.equal, result.differences, result.found
"""
import hashlib
import os
import re
import shutil
import subprocess
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path

from install_scenario import (DISABLED, INSTALL_WAIT, SERVICE_RUNNING, SERVICE_STOPPED, SERVICES, SUITE_KEY, UNINSTALL_KEY,
                              InstallScenario)
from test_failures import temp_folder
from test_upgrade import PROTECTED, make_older
from zarel_e2e import CONFIG, Driver, E2EError

# Every run brings first-run values, as a deployment does: the first installation's first run
# (domain, administrator) belongs to whichever run finishes it; an upgrade leaves them unused.
PASSWORD_FILE = "C:\\deploy\\password.txt"
UNATTENDED = ("/unattended", "/hostname=mail.recovery.example", "/domain=recovery.example", "/admin=chief",
              "/password-file=" + PASSWORD_FILE)
PROGRAMS = ("smtp", "pop3", "control", "im", "cal")
# The servers' own logs and scratch space, and the mail folders (messages are named by their
# arrival) are compared by what they mean, not byte for byte.
NOT_HASHED = ("logs", "temp", "mail")
# The configuration store's records (settings, domains, each domain's record and accounts),
# compared through zcfg: they carry times of their own.
STORE_FILE = re.compile(r"^config\\(settings\.cfg|domains\.cfg|[^\\]+\\(domain|users)\.cfg)$", re.IGNORECASE)
# Every copy of a prepared prefix keeps the distribution's SMTP port, so that copies can run side
# by side each gets a loopback of its own: its first Wine program (the driver), and with it the
# prefix's wineserver and every program started in the prefix, runs in a network namespace of
# its own (needs root, as the placement faults' drive does; without it the cases run one by one).
OWN_LOOPBACK = ("unshare", "--net", "sh", "-c", 'ip link set lo up && exec "$0" "$@"')
# Cases at once with loopbacks of their own: most of a run is the sequence's fixed pauses.
WORKERS = 3
# Wine's own programs and libraries (1.2 of a prefix's 1.3 GB, 1595 of its 1644 files), which
# Wine does not write once the prefix is booted: a case's copy shares them with the prepared
# prefix by hard links (copying them took up to 12 s a case on a busy disk).
SHARED_FOLDERS = ("drive_c/windows/system32", "drive_c/windows/syswow64", "drive_c/windows/winsxs")
# What the setup itself writes into the system folder (rewritten in place by CopyFile, so a
# shared link would carry one case's writes into the prepared prefix and every other case).
OWN_SYSTEM_FILES = {"zarel.cpl"}
# What the kill run may take before it counts as hung.
KILL_WAIT = 120.0
POLL = 0.005


@dataclass
class Point:
    """A moment to stop the run at: the log line that reaches it, or a condition on the
    machine (reached(scenario, log_text) -> bool)."""
    label: str
    line: str = None
    reached: object = None

    def is_reached(self, s, log):
        if self.reached is not None:
            return self.reached(s, log)
        return re.search(self.line, log, re.MULTILINE) is not None


def after_step(name):
    """The step before a progress point has ended (done, or skipped for this kind of run)."""
    return r"  Step (done: " + re.escape(name) + r" \(\d+ ms\)|skipped: " + re.escape(name) + r")\r?$"


def placing_files(s, log):
    """Some of the program files are in place, not all: a third of what the clean run copied
    into the installation (the placement logs each copy) has been copied."""
    return files_copied(log) >= s.placement_threshold


def files_copied(log):
    placing = log.find("  Step: Place the files")
    return 0 if placing < 0 else log.count("  File copied: ", placing)


# The twelve progress points of the install sequence, by the step each follows, and one kill in
# the middle of the file placement. Points 8 and 9 follow each other with no step between: the
# second is taken as the next step starts, a moment later.
POINTS = [
    Point("1 after remembering the start types", after_step("Remember the services' start types (upgrade on NT)")),
    Point("2 after stopping the servers", after_step("Stop the running servers")),
    Point("3 after extracting Setup.Dat", after_step("Extract Setup.Dat")),
    Point("4 after placing the files", after_step("Place the files")),
    Point("5 after unpacking zarel.mcb", after_step("Unpack zarel.mcb (first installation)")),
    Point("6 after seeding the configuration", after_step("Seed the configuration (first installation)")),
    Point("7 after storing the console layout", after_step("Store the console layout")),
    Point("8 after patching webserver.cfg", after_step("Patch webserver.cfg (upgrade from before 7.7.3)")),
    Point("9 as the shortcuts begin", r"  Step: Shortcuts and uninstall entry\r?$"),
    Point("10 after shortcuts and uninstall entry", after_step("Shortcuts and uninstall entry")),
    Point("11 after creating and starting the services", after_step("Create and start the services")),
    Point("12 after the demonstration message", after_step("Send the demonstration message (first installation)")),
    Point("in the middle of placing the files", reached=placing_files),
]


# The run's own extraction folder is named in what the antivirus installer records of its
# command line: "zarelinstall\" or, when that was taken, a name with a number.
EXTRACTION_NAME = re.compile(rb"zarelinstall(-[0-9a-f]+)?", re.IGNORECASE)


def hashes_below(root, skip=NOT_HASHED):
    """Relative Windows path -> SHA-256 of every file below root, the folders of skip left out
    and the extraction folder's name made the same in every run."""
    hashes = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root).replace("/", "\\")
            if relative.split("\\")[0].lower() in skip or STORE_FILE.match(relative):
                continue
            with open(path, "rb") as data:
                hashes[relative] = hashlib.sha256(EXTRACTION_NAME.sub(b"zarelinstall", data.read())).hexdigest()
    return hashes


class CopiedScenario(InstallScenario):
    """A scenario whose prefix is a copy of a prepared one (distribution and earlier
    installation included) instead of the template."""

    def __init__(self, name, prepared):
        super().__init__(name, smtp_port=prepared.smtp_port)
        self.prepared = prepared
        self.placement_threshold = prepared.placement_threshold
        self.installed_root = None

    def _prepare(self):
        copy_prefix(self.prepared.prefix, self.prefix)
        self.drive_c = self.prefix / "drive_c"
        self.demo = self.drive_c / "Demo"
        self.driver = Driver(self.env, self.artifacts / "driver.log", wrapper=own_loopback())
        self._wait_until_booted()
        if self.prepared.install_dir:
            self.installed_root = self.path(self.prepared.install_dir)

    def server_log(self, program, kind):
        path = self.installed_root / "logs" / f"{program}-{kind}.log"
        return path.read_text(encoding="cp1252").splitlines() if path.exists() else []

    def store_report(self):
        """The store as zcfg shows it, read where the installation was made (the registry may
        not name it after a stopped run)."""
        zcfg = Path(CONFIG["build"]).parent / "host" / "tools" / "zcfg" / "zcfg"
        config = str(self.installed_root / "config").replace("/", "\\")
        result = subprocess.run([str(zcfg), "show", config], capture_output=True, text=True, encoding="cp1252")
        return result.stdout if result.returncode == 0 else f"zcfg failed: {result.stdout} {result.stderr}"


@dataclass
class Prepared:
    """A prepared prefix of one kind and the clean run made from it."""
    kind: str
    prefix: Path
    smtp_port: int
    install_dir: str = None
    placement_threshold: int = 0
    clean: dict = None
    clean_log: str = ""


def copy_prefix(source, destination):
    """A copy of a prepared prefix: every file linked, then every file outside the shared
    folders, and the setup's own files inside them, copied in its own right, so nothing a run
    writes reaches the prepared prefix."""
    subprocess.run(["cp", "-al", str(source), str(destination)], check=True)
    shared = tuple(str(destination / folder) for folder in SHARED_FOLDERS)
    for folder, folders, names in os.walk(destination):
        if folder.startswith(shared):
            names = [name for name in names if name.lower() in OWN_SYSTEM_FILES]
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                continue
            unlinked = path + ".copying"
            shutil.copy2(path, unlinked)
            os.replace(unlinked, path)


def snapshot_prefix(s, destination):
    """A copy of the scenario's prefix with its wineserver down (so the registry is on disk);
    the scenario goes on with a new driver afterwards."""
    s.driver.close()
    for option in ("-k", "-w"):
        subprocess.run(["wineserver", option], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
    if destination.exists():
        shutil.rmtree(destination)
    subprocess.run(["cp", "-a", str(s.prefix), str(destination)], check=True)
    s.driver = Driver(s.env, s.artifacts / "driver.log",
                      wrapper=own_loopback() if isinstance(s, CopiedScenario) else ())
    s._wait_until_booted()


def own_loopback():
    """The wrapper that gives a prefix a loopback of its own, when this machine allows it."""
    if "own_loopback" not in CONFIG:
        CONFIG["own_loopback"] = subprocess.run([*OWN_LOOPBACK, "true"], capture_output=True).returncode == 0
    return OWN_LOOPBACK if CONFIG["own_loopback"] else ()


def setup_logs(s):
    logs = list(s.drive_c.glob("users/*/Temp/Setup Log *.txt")) + \
        list(s.drive_c.glob("users/*/AppData/Local/Temp/Setup Log *.txt"))
    return set(logs)


def read_log(path):
    try:
        return path.read_bytes().decode("cp1252")
    except OSError:
        return ""


def run_unattended(s):
    """One unattended run to its end: (exit code, its log)."""
    before = setup_logs(s)
    s.start(*UNATTENDED)
    code = s.exit_code(timeout=INSTALL_WAIT)
    new = sorted(setup_logs(s) - before)
    return code, read_log(new[-1]) if new else ""


def run_until(s, point):
    """Starts the unattended run and ends it by TerminateProcess once the point is reached.
    Gives (the killed run's log, the step it was in or had just ended)."""
    before = setup_logs(s)
    s.start(*UNATTENDED)
    deadline = time.monotonic() + KILL_WAIT
    polls = 0
    log, path = "", None
    while True:
        if path is None:
            new = sorted(setup_logs(s) - before)
            path = new[-1] if new else None
        if path is not None:
            log = read_log(path)
            if point.is_reached(s, log):
                s.driver("kill")
                break
        polls += 1
        if polls % 50 == 0 and not s.running():
            raise E2EError(f"the run ended before '{point.label}': {log[-600:]}")
        if time.monotonic() > deadline:
            raise E2EError(f"'{point.label}' was not reached in {KILL_WAIT} s")
        time.sleep(POLL)
    code = s.exit_code()
    log = read_log(path)
    steps = re.findall(r"  (Step(?: done| skipped)?: [^\r\n]*)", log)
    if code != 1:
        raise E2EError(f"the killed run ended with {code}, not by TerminateProcess")
    return log, steps[-1] if steps else "(no step)"


def reg_values(s, key):
    """Every value below the key in the 32-bit view, as 'subkey\\name = type data' lines."""
    result = subprocess.run(["wine", "reg", "query", key, "/s", "/reg:32"], env=s.env, capture_output=True,
                            timeout=60)
    if result.returncode != 0:
        return [key.split("\\", 1)[-1] + " : (no such key)"]
    lines, current = [], key
    for raw in result.stdout.decode("cp1252", "replace").splitlines():
        line = raw.rstrip()
        if line.upper().startswith("HKEY_"):
            current = line
        elif line.strip():
            entry = " ".join(line.split())
            # The size the uninstall entry shows counts the servers' logs too.
            entry = re.sub(r"^(EstimatedSize REG_DWORD) 0x[0-9a-f]+$", r"\1 (a size)", entry)
            lines.append(current.split("\\", 1)[-1] + " : " + entry)
    return sorted(lines)


def command_rows(s):
    """Every version-upgrade command row the stand-in servers received so far, by program."""
    return {p: [line for line in s.server_log(p, "commands") if line.startswith("pipe 1280")] for p in PROGRAMS}


def services(s, clean=None):
    """Name -> (start type, running, program path); a server the clean run left running is
    given a moment to finish starting."""
    found = {}
    for name in SERVICES:
        service = s.service(name)
        if service is None:
            found[name] = None
            continue
        if clean and clean.get(name) and clean[name][1]:
            try:
                s.wait_service_state(name, SERVICE_RUNNING, timeout=20)
            except E2EError:
                pass
            service = s.service(name)
        found[name] = (service["startType"], service["state"] == SERVICE_RUNNING, service["path"].lower())
    return found


def mailboxes(s):
    """Mailbox folder -> number of messages in it."""
    root = s.installed_root / "mail"
    counts = {}
    for folder, _, names in os.walk(root):
        relative = os.path.relpath(folder, root).replace("/", "\\")
        box = relative[:-len("\\inbox")] if relative.endswith("\\inbox") else relative
        messages = [n for n in names if n.endswith((".tmp", ".imap"))]
        if messages or box not in counts:
            counts[box] = counts.get(box, 0) + len(messages)
    return counts


def facts(s, commands_before, clean=None):
    """What a clean run and a stopped one followed by a rerun must leave alike."""
    root = s.installed_root
    prefix = (str(s.prefix), str(s.prefix).replace("/", "\\"))
    store = [line.replace(prefix[0], "<prefix>").replace(prefix[1], "<prefix>")
             for line in s.store_report().splitlines() if "expires:" not in line]
    rows = command_rows(s)
    return {
        "program files": hashes_below(root),
        "registry": reg_values(s, SUITE_KEY) + reg_values(s, UNINSTALL_KEY),
        "services": services(s, clean and clean["services"]),
        "store": store,
        "upgrade commands": {p: rows[p][len(commands_before[p]):] for p in PROGRAMS},
        "customer's files": {name: (root / name.replace("\\", "/")).read_bytes()
                             if (root / name.replace("\\", "/")).is_file() else None for name in PROTECTED}
        if s.prepared.kind == "upgrade" else {},
        "mailboxes": mailboxes(s),
        "start menu links": s.start_menu_links(),
        "extraction folders left": sorted(p.name for p in temp_folder(s).glob("zarelinstall*")),
    }


def differences(clean, found):
    """What differs, named: a list of short texts (empty when equal)."""
    said = []
    for part, wanted in clean.items():
        got = found[part]
        if got == wanted:
            continue
        if isinstance(wanted, dict):
            keys = sorted(set(wanted) | set(got))
            missing = [k for k in keys if k not in got]
            extra = [k for k in keys if k not in wanted]
            changed = [k for k in keys if k in got and k in wanted and got[k] != wanted[k]]
            detail = []
            if missing:
                detail.append("missing " + ", ".join(missing[:4]) + (" ..." if len(missing) > 4 else ""))
            if extra:
                detail.append("extra " + ", ".join(extra[:4]) + (" ..." if len(extra) > 4 else ""))
            for k in changed[:4]:
                detail.append(f"{k}: {short(got[k])} instead of {short(wanted[k])}")
            if len(changed) > 4:
                detail.append(f"{len(changed) - 4} more changed")
            said.append(f"{part}: " + "; ".join(detail))
        elif isinstance(wanted, list):
            lost = [x for x in wanted if x not in got]
            added = [x for x in got if x not in wanted]
            detail = ([f"lost {lost[:3]}"] if lost else []) + ([f"added {added[:3]}"] if added else [])
            said.append(f"{part}: " + ("; ".join(detail) or f"order or count differs ({len(got)} vs {len(wanted)})"))
        else:
            said.append(f"{part}: {short(got)} instead of {short(wanted)}")
    return said


def short(value):
    text = repr(value)
    return text if len(text) <= 80 else text[:77] + "..."


# What the run after a stopped one says it found and did: its log entries that begin so (the
# journal's own text follows such an entry on indented lines, left out here).
FOUND_LINE = re.compile(r"^\S+ \S+  Recovery: (.*?)\r?$", re.MULTILINE)


def what_the_rerun_found(log):
    lines = [line.rstrip(":") for line in FOUND_LINE.findall(log)]
    kind = re.search(r"Installation folder [^\r\n]*: (upgrade|first installation)", log)
    summary = "; ".join(lines) if lines else "nothing about the stopped run"
    return summary + (f" [{kind.group(1)}]" if kind else "")


@dataclass
class CaseResult:
    kind: str
    point: str
    killed_at: str = ""
    rerun_code: int = None
    found: str = ""
    differences: list = field(default_factory=list)
    seconds: float = 0.0
    error: str = ""

    @property
    def equal(self):
        return not self.error and self.rerun_code == 0 and not self.differences


def prepare_kinds(name="recovery"):
    """The two prepared prefixes (first installation; upgrade from 7.4.6 with POP3 disabled),
    each with its clean run. The clean first installation, made older, is the upgrade's machine."""
    work = Path(CONFIG["work"]) / f"{name}-prepared"
    work.mkdir(parents=True, exist_ok=True)
    with InstallScenario(f"{name}-base") as s:
        (s.drive_c / "deploy").mkdir()
        (s.drive_c / "deploy" / "password.txt").write_bytes("recovery sesame\r\n".encode("utf-16"))
        os.chmod(s.drive_c / "deploy" / "password.txt", 0o600)
        first = Prepared("first", work / "first", s.smtp_port)
        snapshot_prefix(s, first.prefix)
    upgrade = Prepared("upgrade", work / "upgrade", first.smtp_port)
    with CopiedScenario(f"{name}-clean-first", first) as s:
        clean_run(s, first)
        make_older(s, "7.4.6")
        s.change_service("ZarelPOP3", "stop")
        s.wait_service_state("ZarelPOP3", SERVICE_STOPPED)
        s.change_service("ZarelPOP3", "disabled")
        snapshot_prefix(s, upgrade.prefix)
    upgrade.install_dir = first.install_dir
    with CopiedScenario(f"{name}-clean-upgrade", upgrade) as s:
        clean_run(s, upgrade)
    return {"first": first, "upgrade": upgrade}


def remove_prepared(prepared):
    """The prepared prefixes go at the end (over a gigabyte each), unless the run keeps its work."""
    if not CONFIG["keep"]:
        for kind in prepared.values():
            shutil.rmtree(kind.prefix, ignore_errors=True)


def clean_run(s, prepared):
    """The run of the kind that nobody stops: its facts are what every case must reach."""
    before = command_rows(s) if s.installed_root else {p: [] for p in PROGRAMS}
    code, log = run_unattended(s)
    if code != 0:
        raise E2EError(f"the clean {prepared.kind} run ended with {code}: {log[-800:]}")
    prepared.install_dir = prepared.install_dir or s.install_dir()
    s.installed_root = s.path(prepared.install_dir)
    for name in SERVICES:
        if (s.service(name) or {}).get("startType") != DISABLED:
            s.wait_service_state(name, SERVICE_RUNNING, timeout=30)
    prepared.clean = facts(s, before)
    # The first run's domain is part of what every first-installation case must reach.
    if prepared.kind == "first" and not any("recovery.example" in line for line in prepared.clean["store"]):
        raise E2EError("the clean first installation did not take its first-run values: " + log[-800:])
    prepared.clean_log = log
    prepared.placement_threshold = max(1, files_copied(log) // 3)


def run_case(prepared, point, name=None):
    """One stopped run of the kind and the unattended run after it, compared with the clean run."""
    started = time.monotonic()
    label = re.sub(r"[^a-z0-9]+", "-", point.label.lower()).strip("-")
    result = CaseResult(prepared.kind, point.label)
    try:
        with CopiedScenario(name or f"recovery-{prepared.kind}-{label}", prepared) as s:
            before = command_rows(s)
            killed_log, result.killed_at = run_until(s, point)
            if point.reached is placing_files:
                result.killed_at += f" ({files_copied(killed_log)} of {files_copied(prepared.clean_log)} files copied)"
            result.rerun_code, log = run_unattended(s)
            result.found = what_the_rerun_found(log)
            (s.artifacts / "killed-run.log").write_text(killed_log)
            (s.artifacts / "next-run.log").write_text(log)
            result.differences = differences(prepared.clean, facts(s, before, prepared.clean))
    except (E2EError, subprocess.TimeoutExpired, OSError) as error:
        # One case that cannot be finished is a row of the table, not the end of the others.
        result.error = f"{type(error).__name__}: {error}"
    result.seconds = time.monotonic() - started
    return result


def run_cases(prepared, kinds=("first", "upgrade"), points=POINTS):
    """Every point for every kind, several at once when each can have its own loopback; the
    results in the order asked for."""
    cases = [(prepared[kind], point) for kind in kinds for point in points]
    workers = WORKERS if own_loopback() else 1
    with ThreadPoolExecutor(max_workers=workers) as pool:
        return list(pool.map(lambda case: run_case(*case), cases))


def table(results):
    """The results as a Markdown table."""
    rows = ["| kind | stopped | where the kill landed | the next run found and did | equal to a clean run |",
            "| --- | --- | --- | --- | --- |"]
    for r in results:
        verdict = "yes" if r.equal else "no: " + "; ".join(
            ([f"exit code {r.rerun_code}"] if r.rerun_code not in (0, None) else []) +
            ([r.error] if r.error else []) + r.differences)
        rows.append(f"| {r.kind} | {r.point} | {r.killed_at} | {r.found} | {verdict.replace('|', '/')} |")
    return "\n".join(rows)
