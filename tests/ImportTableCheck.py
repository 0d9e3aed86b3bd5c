"""Every Windows program we ship imports only libraries Windows loads from its own folder.

A library outside the system's known libraries is looked for first in the program's own
folder, so a copy dropped beside setup.exe in a Downloads folder would run with the
administrator's rights before the program's first line; and a library Windows does not have
(zlib1.dll) keeps the program from starting at all. Such libraries are loaded at run time
from the system folder by full path instead.

Usage: ImportTableCheck.py OBJDUMP FILE_OR_FOLDER...  (folders: every .exe, .dll, .cpl below)
"""
import subprocess
import sys
from pathlib import Path

# The known libraries (HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs) a
# program of ours may import.
KNOWN = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "msvcrt.dll", "ws2_32.dll", "comdlg32.dll", "shlwapi.dll", "psapi.dll",
    "wldap32.dll", "imagehlp.dll", "rpcrt4.dll", "setupapi.dll",
}
# comctl32 comes side by side through the application manifest, which only setup.exe has.
MANIFEST_ONLY = {"comctl32.dll": {"setup.exe"}}


def imports(objdump, program):
    out = subprocess.run([objdump, "-p", str(program)], capture_output=True, text=True, check=True).stdout
    return [line.split("DLL Name:")[1].strip().lower() for line in out.splitlines() if "DLL Name:" in line]


def programs(arguments):
    for argument in arguments:
        path = Path(argument)
        if path.is_dir():
            yield from sorted(p for p in path.rglob("*") if p.suffix.lower() in (".exe", ".dll", ".cpl"))
        elif path.exists():
            yield path
        else:
            raise SystemExit(f"missing: {path}")


def main():
    objdump, targets = sys.argv[1], sys.argv[2:]
    checked, faults = 0, []
    for program in programs(targets):
        checked += 1
        for library in imports(objdump, program):
            allowed = library in KNOWN or program.name.lower() in MANIFEST_ONLY.get(library, ())
            if not allowed:
                faults.append(f"{program}: imports {library}")
    for fault in faults:
        print(fault)
    print(f"{checked} programs checked, {len(faults)} imports outside the known libraries")
    return 1 if faults or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
