#!/bin/sh
# Installs the Debian packages that the build, the tests and the demo need,
# skipping everything that is already there. Safe to run again. The ARM64
# DLL is built with clang-14, lld-14 and llvm-14 against the MinGW-w64
# headers (mingw-w64-common).
#
# On a machine whose kernel runs no 32-bit programs (tools/can-run-32bit),
# 32-bit Wine could not run, so neither the i386 architecture nor wine32 is
# added there.
set -eu
cd "$(dirname "$0")/.."

need=""
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

wine32=""
if tools/can-run-32bit >/dev/null; then
    wine32="wine32:i386"
fi

for p in cmake make g++ googletest libgtest-dev libbenchmark-dev \
         g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 \
         g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-common \
         wine $wine32 wine64 \
         clang-14 libclang-rt-14-dev lld-14 llvm-14 cppcheck clang-tidy libunicorn-dev \
         liblouis-dev liblouis-data pkg-config zip unzip python3 \
         xvfb xdotool socat imagemagick; do
    have "$p" || need="$need $p"
done

[ -z "$need" ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages:$need (run as root to install them)" >&2
    exit 1
fi

if [ -n "$wine32" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

log=$(mktemp)
trap 'rm -f "$log" "$log.install"' EXIT

# A mirror in the middle of a sync answers one index with the wrong size,
# and apt-get update then fails as a whole; a pause usually mends it.
updated=no
for try in 1 2 3 4; do
    if apt-get update -qq >"$log" 2>&1; then
        updated=yes
        break
    fi
    [ $try -lt 4 ] && sleep 10
done
if [ $updated = no ]; then
    echo "install-deps: apt-get update failed 4 times; installing from the indexes there are" >&2
fi

install() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" $need >"$log.install" 2>&1
}
if ! install; then
    # When one architecture's index is missing (the i386 one of the security
    # archive, say), apt wants the other's newer versions, which the missing
    # one cannot match. The release suite has both at the same version.
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ $updated = yes ] || [ -z "$codename" ] || ! install -t "$codename"; then
        failed=""
        for p in $need; do
            have "$p" || failed="$failed $p"
        done
        echo "install-deps: could not install:$failed" >&2
        grep -E '^(E|W):|unmet|Depends:' "$log.install" | head -30 >&2
        if [ $updated = no ]; then
            echo "install-deps: apt-get update said:" >&2
            grep -E '^(E|W|Err)' "$log" | head -20 >&2
        fi
        exit 1
    fi
    echo "install-deps: installed from $codename itself, since apt-get update had failed" >&2
fi
