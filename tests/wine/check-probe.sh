#!/bin/sh
# Checks tools/can-run-32bit on the cases a machine cannot be made to show
# at will: the switch, an i386 program that the kernel refuses (a copy of
# the probe whose program is for another processor, which a shell then
# tries to run as a script), and an emulator registered for i386 programs
# in binfmt_misc (a copy that reads a made-up binfmt_misc folder).
#   check-probe.sh SRC WORK
set -u
src=$1 work=$2
probe=$src/tools/can-run-32bit
failed=0
mkdir -p "$work"

expect() { # WHAT EXPECTED-STATUS EXPECTED-ANSWER-START COMMAND...
    what=$1 status=$2 start=$3
    shift 3
    got=$("$@" 2>&1)
    rc=$?
    case $got in
    "$start"*) [ $rc = "$status" ] && { echo "ok   $what: $got"; return; } ;;
    esac
    echo "FAIL $what: expected status $status and an answer starting '$start', got $rc and '$got'"
    failed=1
}

expect "BRLWIN32_NO_32BIT=1" 1 "no: BRLWIN32_NO_32BIT=1" env BRLWIN32_NO_32BIT=1 sh "$probe"
real=$(env -u BRLWIN32_NO_32BIT sh "$probe" >/dev/null; echo $?)
expect "BRLWIN32_NO_32BIT=0 is not the switch" "$real" "" env BRLWIN32_NO_32BIT=0 sh "$probe"

# e_machine 3 (i386) at offset 18 becomes 0x28 (ARM): ENOEXEC here.
sed 's/\\002\\000\\003\\000\\001/\\002\\000\\050\\000\\001/' "$probe" >"$work/foreign-probe"
if cmp -s "$probe" "$work/foreign-probe"; then
    echo "FAIL the probe's program header was not found to change"
    failed=1
fi
expect "a program the kernel refuses" 1 "no: " env -u BRLWIN32_NO_32BIT sh "$work/foreign-probe"

# An enabled qemu-i386 entry in a binfmt_misc of our own.
misc=$work/binfmt_misc
mkdir -p "$misc"
echo enabled >"$misc/status"
printf 'enabled\ninterpreter /usr/bin/qemu-i386-static\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002000300\nmask fffffffffffefe00fffffffffffffffffeffffff\n' >"$misc/qemu-i386"
sed "s|^misc=/proc/sys/fs/binfmt_misc|misc=$misc|" "$probe" >"$work/binfmt-probe"
expect "i386 programs through an emulator" 1 "no: i386 programs run only through /usr/bin/qemu-i386-static" \
    env -u BRLWIN32_NO_32BIT sh "$work/binfmt-probe"
# A disabled entry, or one for another processor, changes nothing.
sed -i '1s/enabled/disabled/' "$misc/qemu-i386"
printf 'enabled\ninterpreter /usr/bin/qemu-aarch64-static\nmagic 7f454c460201010000000000000000000200b700\n' >"$misc/qemu-aarch64"
expect "a disabled i386 entry and an ARM64 one" "$real" "" \
    env -u BRLWIN32_NO_32BIT sh "$work/binfmt-probe"

exit $failed
