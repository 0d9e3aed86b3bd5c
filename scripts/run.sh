#!/usr/bin/env bash
# The main job. At this stage: builds both trees, then shows what exists by packing a sample
# folder into a data archive with the archive tool, listing it, and unpacking it again with
# the Windows build of the tool under Wine. It grows into building the demonstration
# distribution and running the wizard.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/deps.sh
scripts/build.sh
scripts/wine-prefix.sh "$root/build/wine/run-prefix"

sample=$root/build/run/sample
rm -rf "$root/build/run" && mkdir -p "$sample/config" "$sample/docs"
printf 'Zarel Mail Server sample\r\n' > "$sample/readme.txt"
printf 'port=25\r\n' > "$sample/config/smtp.ini"
head -c 200000 /dev/urandom > "$sample/docs/random.bin"
seq 1 20000 > "$sample/docs/numbers.txt"

ilds=build/host/tools/ilds/ilds
echo "== packing $sample into Setup.Dat (version 2, zlib)"
"$ilds" pack build/run/Setup.Dat "$sample" --version 2 --zlib
echo "== ilds list build/run/Setup.Dat"
"$ilds" list build/run/Setup.Dat

echo "== ilds.exe extract under Wine"
source scripts/wine-env.sh
export WINEPREFIX=$root/build/wine/run-prefix
wine build/win32/tools/ilds/ilds.exe extract 'Z:'"${root//\//\\}"'\build\run\Setup.Dat' 'C:\Zarel-sample\'
echo "exit code $?"
diff -r "$sample" "$WINEPREFIX/drive_c/Zarel-sample" && echo "== the unpacked tree under C:\\Zarel-sample matches the sample"
