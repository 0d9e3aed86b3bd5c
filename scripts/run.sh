#!/usr/bin/env bash
# The main job: builds both trees and the demonstration distribution, then runs the real
# setup.exe from it under Wine and walks the wizard through a first installation (pages 0 to
# 7, the first-run page included), and prints what it verified with the screenshots' paths.
#
#   scripts/run.sh              drive the wizard under a private Xvfb
#   scripts/run.sh --by-hand    show the wizard on $DISPLAY and leave it to you
#
# Everything stays on 127.0.0.1: the products list points at a closed local port and the
# demonstration SMTP service listens on a free local port. Results go to build/run/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/deps.sh
scripts/build.sh
scripts/wine-prefix.sh >/dev/null   # boots the template prefix once
source scripts/wine-env.sh

rm -rf build/run
exec python3 tests/e2e/show_installation.py --build build/win32 --out build/run "$@"
