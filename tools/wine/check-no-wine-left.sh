#!/bin/sh
# Fails, naming them, when Wine processes of a prefix under DIR are still
# running: every runner must stop the servers it started.
#   check-no-wine-left.sh DIR
set -u
dir=$1
left=""
for p in /proc/[0-9]*; do
    prefix=$( (tr '\0' '\n' <"$p/environ") 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
    case $prefix in
    "$dir"/*)
        state=$( (sed -n 's/^State:\s*\(.\).*/\1/p' "$p/status") 2>/dev/null)
        [ "$state" = Z ] && continue # already gone, its parent has not reaped it
        left="$left
  ${p#/proc/} $( (tr '\0' ' ' <"$p/cmdline") 2>/dev/null) (prefix $prefix)"
        ;;
    esac
done
if [ -n "$left" ]; then
    echo "expected no Wine process of a prefix under $dir, got:$left"
    exit 1
fi
echo "no Wine process of a prefix under $dir is left"
