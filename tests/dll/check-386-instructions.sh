#!/bin/sh
# Disassembles an x86 brlwin32.dll and fails on every instruction that a
# 386 does not execute: Windows 95 runs on a 386DX, and the first such
# instruction the driver reached would raise an invalid-opcode exception
# inside the host. One line per instruction: its address, the instruction,
# the first processor that has it, and the function it lies in, from the
# link's map (the DLL itself is stripped; a static function shows as the
# global one before it). UD2 passes: it is there to raise that exception on
# every processor.
#
# check-386-instructions.sh [--expect-found "PROCESSOR..."] DLL MAP
#
# With --expect-found, exits 0 only when instructions were found and the
# processors they need are exactly those listed (486, Pentium, PentiumPro,
# PentiumII, MMX, SSE, later): how the test command shows the check can
# fail.
set -u
expect="" checking_expectation=0
if [ "${1:-}" = --expect-found ]; then
    expect=$2 checking_expectation=1
    shift 2
fi
dll=$1 map=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

disassembly=$($objdump -d -M intel "$dll") || { echo "cannot disassemble $dll"; exit 2; }
[ -r "$map" ] || { echo "no map file $map"; exit 2; }

found=$(echo "$disassembly" | awk -v map="$map" '
    function hex(s,    n, i) {
        sub(/^0x/, "", s); s = tolower(s); n = 0
        for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
        return n
    }
    # The first processor with the instruction; "" for the 386 own set.
    function newer(mnemonic, operands, bytes) {
        if (mnemonic ~ /^(bswap|xadd|cmpxchg|invd|wbinvd|invlpg)$/) return "486"
        if (mnemonic ~ /^(cmpxchg8b|cpuid|rdtsc|rdmsr|wrmsr|rsm)$/) return "Pentium"
        if (mnemonic ~ /^(cmov[a-z]+|fcmov[a-z]+|fu?comip?|rdpmc)$/ && mnemonic !~ /^fu?comp?$/) return "PentiumPro"
        # 0F 18 to 0F 1F, after any prefixes: the multi-byte NOP and the
        # hints built on it.
        if (bytes ~ /^((26|2e|36|3e|64|65|66|67|f0|f2|f3) )*0f 1[89a-f]/ || (mnemonic == "nop" && operands != "") ||
            mnemonic ~ /^(endbr|prefetch)/)
            return "PentiumPro"
        if (mnemonic ~ /^(sysenter|sysexit|fxsave|fxrstor)$/) return "PentiumII"
        if (operands ~ /(^|[^x])mm[0-7]/ || mnemonic == "emms") return "MMX"
        if (operands ~ /[xyz]mm[0-9]/ || mnemonic ~ /^(ldmxcsr|stmxcsr|sfence|lfence|mfence|clflush|movnti)$/) return "SSE"
        if (mnemonic ~ /^(popcnt|lzcnt|tzcnt|movbe|crc32|andn|bextr|blsi|blsr|blsmsk|bzhi|pdep|pext|rorx|sarx|shlx|shrx|adcx|adox|rdrand|rdseed|xgetbv)$/)
            return "later"
        return ""
    }
    BEGIN {
        # " .text   0x62e81000   0xa00 dir/objects.a(BrailleDriver.cpp.obj)",
        # a section name alone on its line with address, size and object on
        # the next, and "   0x62e81000   BrailleDriver::Poll()" for a symbol.
        while ((getline line < map) > 0) {
            n = split(line, w, /[ \t]+/)
            first = line ~ /^[ \t]/ ? 2 : 1
            # A ".text$NAME" section holds the function NAME alone, and
            # ".text.startup" the static constructors.
            if (w[first] ~ /^\.text/) {
                section = w[first]; sub(/^\.text\$?/, "", section)
                if (section == ".startup") section = "the static constructors"
            }
            if (w[first] ~ /^\.text/ && n == first) { pending = 1; continue }
            if (w[first] ~ /^\.text/) { first++ }
            else if (!pending && w[first] !~ /^0x/) { continue }
            pending = 0
            if (w[first] !~ /^0x[0-9a-f]+$/) continue
            if (w[first + 1] ~ /^0x[0-9a-f]+$/ && first + 2 <= n) {
                objects++; object_start[objects] = hex(w[first]); object_size[objects] = hex(w[first + 1])
                object_name[objects] = w[first + 2]; sub(/.*\(/, "", object_name[objects]); sub(/\)$/, "", object_name[objects])
                if (section != "") { symbols++; symbol_at[symbols] = object_start[objects]; symbol_name[symbols] = section }
                section = ""
            } else if (first + 1 <= n) {
                name = line; sub(/^[ \t]*0x[0-9a-f]+[ \t]+/, "", name)
                symbols++; symbol_at[symbols] = hex(w[first]); symbol_name[symbols] = name
            }
        }
    }
    # The last symbol at or before address; of several at one address, the
    # last listed, so a symbol beats the name of the section it starts.
    function where(address,    i, best, at, object) {
        best = ""; at = -1
        for (i = 1; i <= symbols; i++)
            if (symbol_at[i] <= address && symbol_at[i] >= at) { at = symbol_at[i]; best = symbol_name[i] }
        object = ""
        for (i = 1; i <= objects; i++)
            if (object_start[i] <= address && address < object_start[i] + object_size[i]) object = object_name[i]
        if (best == "") best = "an unnamed function"
        return object == "" ? best : best " (" object ")"
    }
    # "  65441000:<tab>0f 44 c2<tab>cmove  eax,edx"
    /^ *[0-9a-f]+:\t/ {
        split($0, f, "\t")
        if (f[3] == "") next
        address = f[1]; sub(/^ */, "", address); sub(/:$/, "", address)
        bytes = f[2]; sub(/ +$/, "", bytes)
        text = f[3]; sub(/^ +/, "", text)
        n = split(text, w, / +/)
        k = 1
        while (k < n && w[k] ~ /^(lock|rep|repz|repnz|repe|repne|data16|data32|addr16|addr32|cs|ds|es|ss|fs|gs|bnd|notrack)$/) k++
        mnemonic = w[k]
        operands = text; for (i = 1; i <= k; i++) sub(/^[^ ]+ */, "", operands)
        cpu = newer(mnemonic, operands, bytes)
        if (cpu != "") printf "%s %s 0x%s %s: %s\n", cpu, mnemonic, address, where(hex(address)), text
    }' | ${CXXFILT:-i686-w64-mingw32-c++filt})

processors=$(echo "$found" | awk 'NF { print $1 }' | LC_ALL=C sort -u | tr '\n' ' ')
processors=$(echo $processors)
count=$(echo "$found" | grep -c .)
if [ -n "$found" ]; then
    echo "$found" | awk '{ cpu = $1; $1 = ""; sub(/^ /, ""); print "needs " cpu ": " $0 }'
    echo "$dll: $count instructions that a 386 lacks (processors: $processors)"
    echo "$found" | awk '{ print $2 }' | LC_ALL=C sort | uniq -c | sed 's/^/    /'
fi
if [ $checking_expectation = 1 ]; then
    expect=$(echo $expect)
    if [ -n "$found" ] && [ "$processors" = "$expect" ]; then
        echo "$dll needs exactly the expected processors: $processors"
        exit 0
    fi
    echo "expected $dll to need the processors '$expect', got '$processors'"
    exit 1
fi
[ -z "$found" ] || exit 1
total=$(echo "$disassembly" | grep -c '^ *[0-9a-f]*:	[0-9a-f][0-9a-f] .*	')
echo "$dll: all $total instructions run on a 386"
