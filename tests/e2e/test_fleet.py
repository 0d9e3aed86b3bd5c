"""A fleet deployed with the Ansible role of deploy/ansible: four "hosts" that are Wine prefixes
on this machine (local connection, the role's host tasks through tests/e2e/ansible_wine), run
with Ansible's own parallelism. Three install; the fourth, whose SMTP port another program
holds, fails with exit code 7 and its log comes back. A second run changes nothing and stops no
server (a newer version is left in place). A rolling upgrade from 7.7.2, two hosts at a time,
stops after the batch with the failing host; then the two hosts it left are upgraded one after
the other. Removal from all."""
import contextlib
import re
import socket
import subprocess
import time
import unittest

from install_scenario import SERVICE_RUNNING, SERVICES, SUITE_KEY, InstallScenario
from test_upgrade import assert_removed, make_older
from zarel_e2e import CONFIG, ROOT, E2EError

DEPLOY = ROOT / "deploy" / "ansible"
ADAPTER = ROOT / "tests" / "e2e" / "ansible_wine"
DOMAIN = "fleet.example"
ANSWERS = ("# Saved by the setup 8.2.0. Replay: setup.exe /unattended /answers=<this file> (with /password-file= "
           "for the first run)\r\ndir=C:\\Program Files (x86)\\Zarel\\\r\n"
           "components=webmail,antispam,antivirus,im,groupware\r\nmode=advanced\r\nhostname=mail.fleet.example\r\n"
           f"domain={DOMAIN}\r\nadmin=postmaster\r\nfinish=none\r\n")
PASSWORD = "fleet sesame"
# Four hosts at once on two cores: each installation waits for five servers.
PLAY_WAIT = 900


def play_recap(output):
    """The PLAY RECAP counts per host: {"mail1": {"ok": 5, "changed": 1, ...}}."""
    recap = output[output.rindex("PLAY RECAP"):]
    return {m.group(1): {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", m.group(2))}
            for m in re.finditer(r"^(\S+)\s+:\s+(.*)$", recap, re.M)}


class Fleet:
    """The inventory of the scenarios' prefixes and the runs of ansible-playbook over it."""

    def __init__(self, hosts, work, artifacts):
        self.hosts, self.work, self.artifacts, self.runs = hosts, work, artifacts, 0
        self.logs = artifacts / "logs"
        (work / "answers.txt").write_bytes(ANSWERS.encode("cp1252"))
        (work / "password.txt").write_text(PASSWORD + "\r\n")
        lines = ["mailservers:", "  hosts:"]
        for name, s in hosts.items():
            lines += [f"    {name}:", f"      wine_prefix: '{s.prefix}'"]
        lines += ["  vars:", "    ansible_connection: local", "    ansible_python_interpreter: /usr/bin/python3",
                  f"    zarel_host_tasks: '{ADAPTER}'", "    zarel_setup: 'C:\\Demo\\setup.exe'",
                  f"    zarel_answers_src: '{work / 'answers.txt'}'", f"    zarel_password_src: '{work / 'password.txt'}'",
                  f"    zarel_log_dir: '{self.logs}'"]
        self.inventory = work / "inventory.yml"
        self.inventory.write_text("\n".join(lines) + "\n")

    def play(self, playbook, *options):
        """Runs a playbook of deploy/ansible; gives the output and the recap."""
        env = dict(next(iter(self.hosts.values())).env)
        env.update({"ANSIBLE_NOCOLOR": "1", "ANSIBLE_RETRY_FILES_ENABLED": "0", "ANSIBLE_FORKS": "4",
                    "ANSIBLE_LOCAL_TEMP": str(self.work / "ansible-tmp"),
                    "ANSIBLE_REMOTE_TEMP": str(self.work / "ansible-tmp"), "ANSIBLE_STDOUT_CALLBACK": "default"})
        env.pop("DISPLAY", None)
        started = time.monotonic()
        result = subprocess.run(["ansible-playbook", "-i", str(self.inventory), str(DEPLOY / playbook), *options],
                                env=env, cwd=self.work, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                timeout=PLAY_WAIT)
        self.runs += 1
        output = result.stdout + result.stderr
        (self.artifacts / f"play-{self.runs}.txt").write_text(" ".join([playbook, *options]) + "\n" + output)
        recap = play_recap(result.stdout)
        print(f"\n--- run {self.runs}: {playbook} {' '.join(options)} ({time.monotonic() - started:.0f} s)\n"
              + result.stdout[result.stdout.rindex("PLAY RECAP"):].strip(), flush=True)
        return output, recap

    def log(self, name, action="install"):
        return (self.logs / f"{name}-{action}.log").read_text(encoding="cp1252")


def smtp_processes(hosts):
    return {name: sorted(s.processes("smtp.exe")) for name, s in hosts.items()}


class FleetTest(unittest.TestCase):
    def assert_recap(self, recap, host, **counts):
        for key, value in counts.items():
            self.assertEqual(recap[host][key], value, f"{host} {key}: {recap[host]}")

    def test_fleet_installed_kept_upgraded_and_removed(self):
        with contextlib.ExitStack() as stack:
            # mail1's SMTP port is taken; it comes first in the inventory, so a rollout meets it first.
            hosts = {f"mail{i}": stack.enter_context(InstallScenario(f"fleet-mail{i}")) for i in range(1, 5)}
            work = hosts["mail1"].work.parent / "fleet"
            artifacts = hosts["mail1"].artifacts.parent / "fleet"
            for folder in (work, artifacts):
                folder.mkdir(parents=True, exist_ok=True)
            fleet = Fleet(hosts, work, artifacts)
            holder = stack.enter_context(socket.socket(socket.AF_INET, socket.SOCK_STREAM))
            holder.bind(("127.0.0.1", hosts["mail1"].smtp_port))
            fresh = ["mail2", "mail3", "mail4"]

            # --- 1: all four at once ---
            output, recap = fleet.play("site.yml", "-e", "zarel_batch=4")
            for name in fresh:
                self.assert_recap(recap, name, failed=0, changed=1)
                self.assertIn("Setup ends with exit code 0", fleet.log(name))
                for service in SERVICES:
                    hosts[name].wait_service_state(service, SERVICE_RUNNING)
                self.assertIn(f"domain 0: {DOMAIN}\n", hosts[name].store_report())
            self.assert_recap(recap, "mail1", failed=1)
            self.assertIn("setup.exe ended with exit code 7: installed, but these servers are not running: "
                          "Zarel Mail Server SMTP (exit code 7)", output)
            self.assertIn("Setup ends with exit code 7", fleet.log("mail1"))
            for name, s in hosts.items():
                # The password file went with the run's folder, also where the setup failed.
                self.assertEqual(list(s.drive_c.glob("zarel-deploy-*")), [], name)
                self.assertNotIn(PASSWORD, fleet.log(name))

            # --- 2: again, mail4 with a newer version than the setup's ---
            hosts["mail4"].driver("reg-set", SUITE_KEY, "Version", "9.0.0")
            servers = smtp_processes(hosts)
            output, recap = fleet.play("site.yml", "-e", "zarel_batch=4")
            for name in fresh:
                self.assert_recap(recap, name, failed=0, changed=0)
            self.assertIn("Version 9.0.0 is installed: nothing was changed", fleet.log("mail4"))
            # mail1 is still not what it should be, and nothing was run to find out.
            self.assert_recap(recap, "mail1", failed=1, changed=0)
            self.assertIn("8.2.0 is installed, but these servers are not running: Zarel Mail Server SMTP", output)
            self.assertEqual(smtp_processes(hosts), servers)
            hosts["mail4"].driver("reg-set", SUITE_KEY, "Version", "8.2.0")

            # --- 3: a rolling upgrade from 7.7.2, two hosts at a time: it stops after the failing batch ---
            for name in ("mail3", "mail4"):
                make_older(hosts[name], "7.7.2")
            servers = smtp_processes(hosts)
            output, recap = fleet.play("site.yml", "-e", "zarel_batch=2")
            self.assert_recap(recap, "mail1", failed=1)
            self.assert_recap(recap, "mail2", failed=0, changed=0)
            for name in ("mail3", "mail4"):
                self.assertIn(f'ok: [{name}] => {{\n    "msg": "Not started: these hosts failed: mail1"', output)
                self.assertEqual(recap[name]["changed"], 0)
                self.assertEqual(hosts[name].reg_query(SUITE_KEY, "Version"), "7.7.2")
            self.assertEqual(smtp_processes(hosts), servers)

            # --- 4: the two upgraded one after the other ---
            output, recap = fleet.play("site.yml", "-e", "zarel_batch=1", "--limit", "mail3,mail4")
            for name in ("mail3", "mail4"):
                self.assert_recap(recap, name, failed=0, changed=1)
                self.assertIn("Installation folder C:\\Program Files (x86)\\Zarel\\: upgrade", fleet.log(name))
                self.assertEqual(hosts[name].reg_query(SUITE_KEY, "Version"), "8.2.0")
                hosts[name].wait_service_state("ZarelSMTP", SERVICE_RUNNING)
            lines = output.splitlines()
            self.assertLess(max(i for i, line in enumerate(lines) if "[mail3]" in line),
                            min(i for i, line in enumerate(lines) if "[mail4]" in line))

            # --- 5: removal from all ---
            holder.close()
            output, recap = fleet.play("remove.yml")
            for name, s in hosts.items():
                self.assert_recap(recap, name, failed=0, changed=1)
                self.assertIn("Setup ends with exit code 0", fleet.log(name, "remove"))
                assert_removed(self, s, "C:\\Program Files (x86)\\Zarel\\")


if __name__ == "__main__":
    unittest.main()
