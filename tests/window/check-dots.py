#!/usr/bin/env python3
"""Checks the dots of a screenshot of the window display, cell by cell.

    check-dots.py SHOT.ppm WIDTH TEXT_CELLS CELL=HEX...

SHOT is the client area, WIDTH its width; CELL is s1..s5 or t1..tN. Every
dot's centre comes from the layout docs/virtual-display.md gives, not from
the window's code: the cell pitch P = (WIDTH - 16) // (TEXT_CELLS + 6), the
dot step d = P // 3; status cell n stands in column n - 1, text cell n in
column n + 5; a column starts at 8 + column * P, the cells' top is 32; dot k
is at (left + d * (1 + right), 32 + d * (1 + row)), dots 1 2 3 7 in the
left column and 4 5 6 8 in the right, rows 0 1 2 for 1 2 3 and 4 5 6, row 3
for 7 and 8. A raised dot is filled (dark at its centre), a lowered one is
not (light there)."""
import sys

COLUMN = [0, 0, 0, 1, 1, 1, 0, 1]
ROW = [0, 1, 2, 0, 1, 2, 3, 3]


def read_ppm(path):
    data = open(path, 'rb').read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b'P6' and fields[3] == b'255', 'expected a binary 8-bit PPM'
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def main():
    path, width, text_cells = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    w, h, pixels = read_ppm(path)
    pitch = (width - 16) // (text_cells + 6)
    step = pitch // 3
    failures = 0
    for item in sys.argv[4:]:
        name, hexbyte = item.split('=')
        cell = int(hexbyte, 16)
        n = int(name[1:])
        column = n - 1 if name[0] == 's' else n + 5
        left = 8 + column * pitch
        seen = ''
        for dot in range(1, 9):
            x, y = left + step * (1 + COLUMN[dot - 1]), 32 + step * (1 + ROW[dot - 1])
            at = 3 * (y * w + x)
            light = sum(pixels[at:at + 3]) // 3
            raised = light < 96
            wanted = bool(cell >> (dot - 1) & 1)
            if light >= 96 and light <= 160:
                seen += '?'
            else:
                seen += str(dot) if raised else '-'
            if (light >= 96 and light <= 160) or raised != wanted:
                failures += 1
        expected = ''.join(str(d) if cell >> (d - 1) & 1 else '-' for d in range(1, 9))
        print('%-4s %s  expected %s  drawn %s  %s' % (name, hexbyte, expected, seen,
                                                    'ok' if seen == expected else 'WRONG'))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
