#!/bin/sh
# Installs the Debian packages that the build, the tests and the demo need,
# skipping everything that is already there. Safe to run again.
set -eu

need=""
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

for p in cmake make g++ googletest libgtest-dev libbenchmark-dev \
         g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 \
         g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
         wine wine32:i386 wine64 \
         clang-14 libclang-rt-14-dev lld-14 cppcheck clang-tidy \
         liblouis-dev liblouis-data pkg-config zip unzip python3; do
    have "$p" || need="$need $p"
done

[ -z "$need" ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages:$need (run as root to install them)" >&2
    exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need >/dev/null
