#!/bin/sh
# What Windows' loader and a linker see of a PE image (a DLL or a program),
# one fact a line, in the same words for every processor:
#
#   machine i386|x86-64|arm64
#   os-version 4.0
#   subsystem-version 4.0
#   time-stamp 0                 the PE header's, in seconds since 1970
#   export-time-stamp 0          the export directory's (x86 and x64 only)
#   directory NAME SIZE          the data directory's size in hex, NAME one of
#                                exports imports exception relocations tls
#                                bound-imports delay-imports
#   dll-name brlwin32.dll        the name in the export directory
#   export NAME                  one line per exported name
#   import DLL FUNCTION          one line per function imported by name
#
# MinGW's objdump reads the x86 and x64 images. It cannot read ARM64 ones:
# llvm-readobj reads those, and llvm-objdump gives the export directory's
# name, which llvm-readobj 14 does not show (nor the export directory's
# time stamp, which lld writes as 0).
#
#   pe-facts.sh FILE
# Exits 2 when FILE is no PE image that the readers understand.
set -u
file=$1

# The machine word of the COFF header, found through the DOS header's
# pointer at 0x3C, picks the reader.
pe=$(od -An -tu4 -j60 -N4 "$file" 2>/dev/null | tr -d ' ')
signature=$(od -An -c -j"${pe:-0}" -N4 "$file" 2>/dev/null | tr -d ' ')
machine=$(od -An -tx2 -j$((${pe:-0} + 4)) -N2 "$file" 2>/dev/null | tr -d ' ')
[ "$signature" = 'PE\0\0' ] || { echo "pe-facts: $file is no PE image" >&2; exit 2; }

case $machine in
014c | 8664)
    [ "$machine" = 014c ] && echo "machine i386" || echo "machine x86-64"
    headers=$(${OBJDUMP:-x86_64-w64-mingw32-objdump} -p "$file") || exit 2
    echo "$headers" | TZ=UTC awk '
        function version(major, minor) { return major "." minor }
        $1 == "MajorOSystemVersion" { osmajor = $2 }
        $1 == "MinorOSystemVersion" { print "os-version " version(osmajor, $2) }
        $1 == "MajorSubsystemVersion" { submajor = $2 }
        $1 == "MinorSubsystemVersion" { print "subsystem-version " version(submajor, $2) }
        # "Time/Date<tab>Thu Jan  1 00:00:00 1970" in the header, and
        # "Time/Date stamp <tab>0" in the export directory.
        /^Time\/Date\t/ { sub(/^Time\/Date\t+/, ""); header_date = $0 }
        /^Time\/Date stamp/ { print "export-time-stamp " $NF }
        # "Entry 9 00007074 00000018 Thread Storage Directory [.tls]"
        $1 == "Entry" {
            split("exports imports - exception - relocations - - - tls - bound-imports - delay-imports - -", names, " ")
            i = index("0123456789abcdef", $2)
            if (names[i] != "-") print "directory " names[i] " " $4
        }
        /^[ \t]*DLL Name: / { dll = $3; next }
        /^[ \t]*$/ || /^The / { dll = "" }
        dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print "import " dll " " $3 }
        /^Name[ \t]+[0-9a-f]+ / { print "dll-name " $3 }
        /\[Ordinal\/Name Pointer\] Table/ { names_follow = 1; next }
        names_follow && /^[ \t]*\[ *[0-9]+\] / { sub(/^[ \t]*\[ *[0-9]+\] /, ""); print "export " $0; next }
        names_follow && /^[ \t]*$/ { names_follow = 0 }
        END {
            if (header_date != "") {
                cmd = "date -d \"" header_date "\" +%s"
                cmd | getline seconds
                print "time-stamp " seconds
            }
        }'
    ;;
aa64)
    echo "machine arm64"
    headers=$(llvm-readobj-14 --file-headers --coff-exports --coff-imports "$file") || exit 2
    echo "$headers" | awk '
        # "  MajorOperatingSystemVersion: 6"; "TLSTableSize: 0x28";
        # "Import {", "  Name: KERNEL32.dll", "  Symbol: CreateFileA (0)"
        function hex(s,    n, i) {
            sub(/^0x/, "", s); s = tolower(s); n = 0
            for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return n
        }
        $1 == "MajorOperatingSystemVersion:" { osmajor = $2 }
        $1 == "MinorOperatingSystemVersion:" { print "os-version " osmajor "." $2 }
        $1 == "MajorSubsystemVersion:" { submajor = $2 }
        $1 == "MinorSubsystemVersion:" { print "subsystem-version " submajor "." $2 }
        $1 == "TimeDateStamp:" && !stamped { stamped = 1; s = $NF; gsub(/[()]/, "", s); print "time-stamp " hex(s) }
        function directory(name) { printf "directory %s %08x\n", name, hex($2) }
        $1 == "ExportTableSize:" { directory("exports") }
        $1 == "ImportTableSize:" { directory("imports") }
        $1 == "ExceptionTableSize:" { directory("exception") }
        $1 == "BaseRelocationTableSize:" { directory("relocations") }
        $1 == "TLSTableSize:" { directory("tls") }
        $1 == "BoundImportSize:" { directory("bound-imports") }
        $1 == "DelayImportDescriptorSize:" { directory("delay-imports") }
        /^(Import|Export) \{/ { block = $1; dll = ""; next }
        /^\}/ { block = "" }
        block == "Import" && $1 == "Name:" { dll = $2 }
        block == "Import" && $1 == "Symbol:" { print "import " dll " " $2 }
        # lld counts ordinals from 0 and leaves the first one empty.
        block == "Export" && $1 == "Name:" && NF >= 2 { print "export " $2 }'
    llvm-objdump-14 -p "$file" | sed -n 's/^ *DLL name: /dll-name /p'
    ;;
*)
    echo "pe-facts: $file: machine 0x$machine is none of x86, x64 and ARM64" >&2
    exit 2 ;;
esac
