#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/*).

The layouts are those documented at the top of each target's source.
Run it again after changing a layout; the files are checked in.
"""
import os

here = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data, faults=()):
    """A seed: the fault choices of FuzzSupport.h (none by default), then
    the target's own layout."""
    path = os.path.join(here, "corpus", target)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(bytes([len(faults)] + list(faults) + list(data)))


# One fault choice a call (FuzzSupport.h).
AS_SET, FAIL, SHORT, TIME_OUT = 0, 4, 5, 6
def jump(scale, steps):
    return 7 | scale << 3 | steps << 5


ESC = 0x1B
K, C = 0x4B, 0x43

# Input side: mode byte, then what the display sends.
packets = [ESC, K, 0x01, 0x01, ESC, K, 0x3F, 0x1F, ESC, K, 0x00, 0x00, ESC, K, 0xC0, 0xE0,
           ESC, ESC, K, 0x01, 0x00, ESC, K, ESC, ESC, ESC, C, 0x06, ESC, C, 0x55, ESC, C, 0x85,
           ESC, C, 0x05, ESC, 0x58, K, 0x01, 0x00]
noise = [0x00, 0xFF, K, C, ESC, 0x99, 0x01, 0x02, 0x3F, ESC, 0x42, 0x00]
write("input", "packets-through-polls", [0x00] + packets)
write("input", "packets-one-byte-a-poll", [0x00] + packets[:16])
write("input", "packets-straight", [0x01] + packets)
write("input", "packets-sign-extended", [0x03] + packets)
write("input", "noise-between-packets", [0x10] + noise + [ESC, C, 0x08] + noise + [ESC, K, 0x20, 0x00])
write("input", "routing-sweep", [0xFC] + [b for r in range(0, 256, 7) for b in (ESC, C, r)])
write("input", "split-everywhere", [0x04, ESC, K, ESC, K, 0x01, ESC, ESC, C])
# After identification's calls (open, state, time-outs, query, read, after
# query), each poll is one read: some fail, one shortens, one loses the line.
write("input", "reads-failing", [0x08] + packets, faults=[0] * 6 + [FAIL, SHORT, TIME_OUT, 0, FAIL, FAIL, jump(1, 3)])

# Identification: shape byte, delay byte, then the reply.
full40 = [0x3F, 0x01] + [0x00] * 13
replies = {
    "40-cells": [0x3F, 0x01, 0x00],
    "too-short": [0x3F, 0x01],
    "skip-no-model": [0x00, 0x3F, 0x05, 0x3F, 0x08],
    "second-question-mark": [0x3F, 0x3F, 0x02],
    "20-cells": [0x3F, 0x07, 0x00],
    "no-model": [0x3F, 0x03, 0x00],
    "silent": [],
    "full-80": [0x3F, 0x02] + [0x00] * 13,
    "answer-at-the-end": [0x00] * 13 + [0x3F, 0x09, 0x00],
    "question-mark-last": [0x00] * 14 + [0x3F],
}
# Each read takes 8 ms: a silent display costs 250 reads, not 2000.
for name, reply in replies.items():
    write("identify", name, [0xEF, 0x00] + reply)
write("identify", "open-refused", [0xEF, 0x00] + full40, faults=[FAIL])
write("identify", "query-short", [0xEF, 0x00] + full40, faults=[0, 0, 0, SHORT])
write("identify", "read-fails-midway", [0xE0, 0x00] + full40, faults=[0, 0, 0, 0, 0, 0, FAIL, 0, jump(2, 1)])
write("identify", "one-byte-a-read", [0x00, 0x00] + full40)
write("identify", "second-half-in-time", [0x12, 0x40] + full40)
write("identify", "second-half-too-late", [0x13, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01])

# Exported interface: op bytes and their arguments (ExportsFuzzer.cpp).
INIT, TERM, DISP, STAT, CLEAR, REFRESH, SLEEPN, SLEEP1, SLEEP0, TIMER, FAULT, SAME = range(12)
init40 = [INIT, 0, 1]
init80 = [INIT, 0, 2]
small = lambda *cells: [9, len(cells), 1] + list(cells)  # count pick 9: a small count
session = (init40 + [DISP] + small(1, 2, 0xC3, 0xFF) + [STAT] + small(8, 0x40, 0xC3) + [SAME, REFRESH]
           + [SLEEP1, DISP] + small(0x55) + [SLEEP0, TIMER, 8, ESC, K, 1, 1, ESC, C, 6, 0, 3]
           + [CLEAR, CLEAR, TERM, TERM] + init80 + [DISP] + small(7))
write("exports", "a-session", session)
write("exports", "bad-arguments", init40 + [DISP, 9, 5, 0, STAT, 9, 3, 0, DISP, 2, 1] + [0x3C] * 128
      + [DISP, 3, 1, STAT, 2, 1] + [0x3C] * 5 + [DISP, 6, 200, 1, STAT, 7, 0x80, 0, 0, 1, 1, 0x11]
      + [INIT, 3, 1, INIT, 2, 200] + [0x43] * 400)
write("exports", "faults", init40 + [FAULT, 0, DISP] + small(1) + [REFRESH, FAULT, 6, REFRESH]
      + [FAULT, 2, TIMER, 4, ESC, K, 1, 0, 0, FAULT, 2, TIMER, 0, 0]
      + [SLEEP1, FAULT, 3, SLEEP0, DISP] + small(9) + [FAULT, 6, SLEEP1, SLEEP0]
      + [FAULT, 4, TERM, INIT, 0, 1, FAULT, 6, INIT, 0, 1])
write("exports", "callback-reenters", init40 + [TIMER, 8, ESC, K, 1, 0, ESC, K, 2, 0, 1]
      + [INIT, 0, 1, TIMER, 4, ESC, C, 7, 0, 2, SLEEP0, TIMER, 4, ESC, C, 9, 0, 3, TIMER, 3, ESC, C, 9, 4])
write("exports", "sleep-flags", init40 + [SLEEPN, 1, SLEEPN, 2, SLEEPN, 7, 0xFF, 0xFF, 0xFF, 0xFF, SLEEPN, 0])
write("exports", "before-init", [DISP] + small(1) + [STAT] + small(1) + [CLEAR, REFRESH, TIMER, 0, 0, SLEEP1, SLEEP0, TERM])
write("exports", "parallel-device", [INIT, 8, 1, DISP] + small(1, 2, 0x1B) + [TIMER, 4, ESC, K, 1, 1, 0]
      + [SLEEP1, SLEEP0, FAULT, 1, REFRESH, FAULT, 6, INIT, 0, 1, TERM, INIT, 0, 1, INIT, 8, 1, TERM])
write("exports", "odd-replies", [INIT, 0, 0x83, 0x3F, 0x02, 0x00, DISP] + small(1) + [TERM, INIT, 0, 0x80, INIT, 0, 6])

# The parallel port: set-up byte (bit 0 NT, bits 1-2 model), then steps
# (RegisterFuzzer.cpp).
POLL, SHOW, ANSWER, AGAIN = range(4)
keys = [ESC, K, 0x01, 0x02, ESC, C, 0x07, ESC, ESC, C, 0x00]
steps = [SHOW, 4, 1, 0x1B, 0xC3, 0xFF, POLL, len(keys)] + keys + [POLL, 0, SHOW, 0, AGAIN, SHOW, 2, 0x40, 0x02]
write("registers", "95-40-cells", [0x02] + steps)
write("registers", "95-no-model", [0x06] + [POLL, 3, ESC, K, 1, SHOW, 1, 1])
write("registers", "nt-device", [0x03] + steps)
write("registers", "any-bits", [0x00] + [ANSWER, 12] + [0x7F, 0x08, 0x00, 0xFF, 0x88, 0x80] * 2 + [POLL, 2, ESC, C, POLL, 0])

# Faults the export target sets on the line (ExportsFuzzer.cpp, Fault).
HELD_OFF, KEEPS_UNSENT = 0, 10
write("exports", "kept-bytes-purged", init40 + [FAULT, KEEPS_UNSENT, FAULT, HELD_OFF, DISP] + small(1, 2)
      + [FAULT, HELD_OFF, TIMER, 0, 0, DISP] + small(3) + [TERM])
# BrlInit("auto"): COM5 a silent Bluetooth link, COM1 answering with no
# device name: COM1 is tried first and answers.
AUTO, SILENT, ANSWERING, BLUETOOTH = 0x10, 2, 3, 2 << 2
write("exports", "auto-bluetooth-last", [INIT, AUTO, 1, 2, 4, SILENT | BLUETOOTH, 0, ANSWERING, DISP] + small(1))

# A display unplugged and plugged back: the write that finds it gone releases
# the port, BrlTimer seeks it again a second later. Then a line whose status
# never shows CTS on: BrlTimer tries the away display every 2 s. Then the
# version query failing, so that LPT1 opens nothing.
GONE, REPORTS_OFF, VERSION, FAMILY = 12, 8, 13 | 0x80, 13
def later(quarters):
    return 14 + 15 * quarters  # time passes: 250 ms a quarter
write("exports", "lost-and-found", init40 + [FAULT, GONE, DISP] + small(5) + [FAULT, GONE, TIMER, 0, 0]
      + [FAULT, later(5), TIMER, 0, 0, DISP] + small(6))
write("exports", "retry-blind-line", [FAULT, REPORTS_OFF] + init40 + [FAULT, HELD_OFF, DISP] + small(7)
      + [TIMER, 0, 0, FAULT, later(9), TIMER, 0, 0, FAULT, HELD_OFF, FAULT, later(9), TIMER, 0, 0])
write("exports", "no-version", [FAULT, VERSION, INIT, 8, 1, FAULT, VERSION, FAULT, FAMILY, INIT, 8, 1, SLEEP1,
      SLEEP0, TERM])
