#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine. Idempotent: every
# package that is already present is skipped, and apt is not touched when nothing is missing.
set -euo pipefail

need=()
want_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' || need+=("$1"); }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  added_arch=1
fi

for p in cmake make g++ clang git ca-certificates \
         g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
         libz-mingw-w64-dev zlib1g-dev googletest \
         wine wine32:i386 wine64 xvfb xauth imagemagick \
         nsis procps ccache \
         python3 python3-aiosmtpd nginx-light openssl libssl3 libgnutls30:i386 \
         slapd ldap-utils ansible ansible-lint; do
  want_pkg "$p"
done

if [ ${#need[@]} -gt 0 ] || [ -n "${added_arch:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  if [ ${#need[@]} -gt 0 ]; then
    # The directory tests run slapd on a scratch database of their own: no system database.
    echo "slapd slapd/no_configuration boolean true" | debconf-set-selections
    echo "deps: installing ${need[*]}"
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
fi
echo "deps: all present"
