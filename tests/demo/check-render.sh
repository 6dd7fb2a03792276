#!/bin/sh
# The frame of a known cell pattern, byte for byte.
set -u
vd=$1
got=$("$vd" --cells 20 --render "01 03 09 19 11  53 11 07 07 15 00 3A 15 17 07 19 2E 00 FF C0 D3 00 00 00 00")
expected='brl-virtual-display: 20 text cells, model code 00, 0 cell packets
         status   text
braille  ⠁⠃⠉⠙⠑    ⡓⠑⠇⠇⠕⠀⠺⠕⠗⠇⠙⠮⠀⣿⣀⣓⠀⠀⠀⠀
print    abcde    Hello world! = H
routing  12345    1   5   10   15   20'
if [ "$got" != "$expected" ]; then
    printf 'expected:\n%s\ngot:\n%s\n' "$expected" "$got"
    exit 1
fi
echo "frame as expected"
