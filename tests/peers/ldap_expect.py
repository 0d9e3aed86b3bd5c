#!/usr/bin/env python3
"""Compares what a slapd of tests/peers/slapd.sh holds with what the directory tests expect.

    ldap_expect.py <slapd folder>

The tests leave <folder>/expected/*.ldif: blocks separated by empty lines, either
    dn: <name>            followed by "attribute: value" lines (UTF-8): the entry must exist
                          with exactly these values of these attributes
    absent: <name>        no entry of that name
Every inetOrgPerson entry of the server must be one of the expected ones, so nothing landed
anywhere else. Each entry is read with ldapsearch (base scope, as the administrator).
"""
import base64
import pathlib
import subprocess
import sys

ATTRIBUTES = ["objectClass", "cn", "givenName", "sn", "mail"]


def read_env(folder):
    values = {}
    for line in (folder / "slapd.env").read_text().splitlines():
        name, _, value = line.partition("=")
        values[name] = value
    return values


def read_expected(folder):
    blocks = []
    for path in sorted((folder / "expected").glob("*.ldif")):
        for text in path.read_text(encoding="utf-8").split("\n\n"):
            lines = [line for line in text.splitlines() if line]
            if lines:
                blocks.append((path.stem, lines))
    return blocks


def ldapsearch(env, base, scope, search_filter, attributes):
    command = ["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", env["LDAP_URI"],
               "-D", env["ROOT_DN"], "-w", env["ROOT_PW"], "-s", scope, "-b", base,
               search_filter] + attributes
    done = subprocess.run(command, capture_output=True, timeout=30)
    return done.returncode, done.stdout.decode("utf-8")


def parse_entries(ldif):
    """Entries of ldapsearch output: list of {attribute (lower case): sorted values}."""
    entries = []
    for text in ldif.split("\n\n"):
        entry = {}
        for line in text.splitlines():
            name, _, value = line.partition(":")
            if value.startswith(":"):
                value = base64.b64decode(value[1:].strip()).decode("utf-8")
            else:
                value = value[1:] if value.startswith(" ") else value
            entry.setdefault(name.lower(), []).append(value)
        if entry:
            entries.append({name: sorted(values) for name, values in entry.items()})
    return entries


def check_entry(env, dn, lines):
    code, output = ldapsearch(env, dn, "base", "(objectClass=*)", ATTRIBUTES)
    if code != 0:
        return f"not found (ldapsearch exit {code})"
    found = parse_entries(output)
    expected = parse_entries("dn: " + dn + "\n" + "\n".join(lines))[0]
    found[0].pop("dn", None)
    expected.pop("dn", None)
    if found[0] != expected:
        return f"holds {found[0]}, expected {expected}"
    return None


def check_absent(env, dn):
    code, output = ldapsearch(env, dn, "base", "(objectClass=*)", ["1.1"])
    return None if code == 32 else f"present (ldapsearch exit {code}): {output.strip()}"


def all_people(env):
    code, output = ldapsearch(env, "", "base", "(objectClass=*)", ["namingContexts"])
    contexts = parse_entries(output)[0].get("namingcontexts", []) if code == 0 else []
    count = 0
    for context in contexts:
        code, output = ldapsearch(env, context, "sub", "(objectClass=inetOrgPerson)", ["1.1"])
        count += len(parse_entries(output))
    return count


def main():
    folder = pathlib.Path(sys.argv[1])
    env = read_env(folder)
    blocks = read_expected(folder)
    passed = failed = 0
    expected_entries = set()
    for test, lines in blocks:
        kind, _, dn = lines[0].partition(": ")
        if kind == "dn":
            expected_entries.add(dn)
            problem = check_entry(env, dn, lines[1:])
        else:
            problem = check_absent(env, dn)
        if problem:
            failed += 1
            print(f"FAIL {test}: {lines[0]}: {problem}")
        else:
            passed += 1
    people = all_people(env)
    if people != len(expected_entries):
        failed += 1
        print(f"FAIL: the server holds {people} inetOrgPerson entries, the tests expect {len(expected_entries)}")
    else:
        passed += 1
    if not expected_entries:
        failed += 1
        print("FAIL: no expectations: did the directory tests run?")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
