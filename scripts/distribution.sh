#!/usr/bin/env bash
# Builds the demonstration distribution into a folder: the builder of the host tree packs the
# Windows programs of the win32 tree (setup.exe, the stand-ins, the placeholders) with the
# repository's content (tools/distribution/content). scripts/build.sh makes both trees.
#
#   scripts/distribution.sh OUTPUT [--host-tree DIR] [--win32-tree DIR]
#                           [--smtp-port N] [--products-url URL] [--demo-password TEXT]
#
# OUTPUT must be missing or empty. The trees default to build/host and build/win32. The
# builder prints what went where, and the demonstration accounts' password.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ $# -lt 1 ] || [[ $1 == -* ]]; then
  echo "usage: scripts/distribution.sh OUTPUT [--host-tree DIR] [--win32-tree DIR] [builder options]" >&2
  exit 2
fi
output=$1
shift
host=$root/build/host
win32=$root/build/win32
options=()
while [ $# -gt 0 ]; do
  case $1 in
    --host-tree) host=${2:?--host-tree needs a folder}; shift 2 ;;
    --win32-tree) win32=${2:?--win32-tree needs a folder}; shift 2 ;;
    *) options+=("$1"); shift ;;
  esac
done

builder=$host/tools/distribution/distribution
if [ ! -x "$builder" ]; then
  echo "distribution.sh: $builder is not built (scripts/build.sh builds it)" >&2
  exit 1
fi
programs=()
for folder in app suite/servers/bin suite/comservers suite/db suite/setiface suite/avastoem; do
  if [ -d "$win32/$folder" ]; then programs+=(--programs "$win32/$folder"); fi
done
# The directory client's stand-in, wherever its build puts it below suite/ldap32; without it
# the placeholders' folder holds what stands in for it.
ldap=$(find "$win32/suite/ldap32" -maxdepth 2 -iname ldap32.dll -printf '%h\n' 2>/dev/null | head -n 1)
if [ -n "$ldap" ]; then programs+=(--programs "$ldap"); fi
if [ -d "$win32/suite/placeholders/bin" ]; then programs+=(--programs "$win32/suite/placeholders/bin"); fi
exec "$builder" "${programs[@]}" --content "$root/tools/distribution/content" --output "$output" \
  "${options[@]}"
