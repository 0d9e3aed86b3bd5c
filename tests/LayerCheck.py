"""The folders are layers: a file includes only headers of its own folder or of a layer below,
and no two units (a header and its source) include each other.

    app -> wizard -> engine -> {system, serverconfig, net, archive, texts} -> xml -> base

The folders of one row do not include each other; xml sits on base (it reads its files with
base's helpers). app reaches the wizard only to start it: of wizard's headers it may include
those of APP_MAY_INCLUDE alone; every decision both faces share lives below, in engine.
Every offending include is named with its file and line. Usage: LayerCheck.py SOURCE_ROOT
"""
import re
import sys
from pathlib import Path

LAYERS = [["app"], ["wizard"], ["engine"], ["system", "serverconfig", "net", "archive", "texts"], ["xml"], ["base"]]
RANK = {folder: rank for rank, row in enumerate(LAYERS) for folder in row}
# The wizard headers app/ may include: the start of the window, and the language file, whose
# texts both faces use (and whose export writes the window's words).
APP_MAY_INCLUDE = {"wizard/WizardWindow.h", "wizard/TranslateUnit.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def product_files(root):
    for folder in RANK:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in (".h", ".cpp"):
                yield path


def includes(path):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, match.group(1)


def main():
    root = Path(sys.argv[1]).resolve()
    faults, units = [], {}
    for path in product_files(root):
        relative = path.relative_to(root)
        folder = relative.parts[0]
        unit = relative.with_suffix("").as_posix()
        for number, target in includes(path):
            target_folder = target.split("/")[0]
            if target_folder not in RANK:
                continue  # a header of the toolchain or of the test support
            if target_folder != folder and RANK[target_folder] <= RANK[folder]:
                faults.append(f"{relative}:{number}: includes {target} ({target_folder} is not below {folder})")
            if folder == "app" and target_folder == "wizard" and target not in APP_MAY_INCLUDE:
                faults.append(f"{relative}:{number}: includes {target} (app reaches the wizard only through "
                              f"{', '.join(sorted(APP_MAY_INCLUDE))})")
            target_unit = str(Path(target).with_suffix("").as_posix())
            if target_unit != unit:
                units.setdefault(unit, {})[target_unit] = f"{relative}:{number}"
    for unit, targets in units.items():
        for target, where in targets.items():
            back = units.get(target, {}).get(unit)
            if back and unit < target:
                faults.append(f"{where}: {unit} and {target} include each other (also {back})")
    for fault in faults:
        print(fault)
    print(f"layer check: {len(faults)} offending includes")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
