/* The 8-dot computer braille that the demo host and brlcheck write text in
 * and the tests expect on the display, in one place so that they agree: one
 * cell per character, bit i of the cell is dot i + 1. Letters are dots 1-6
 * in lower case and add dot 7 in upper case; control characters add dots 7
 * and 8. */
#ifndef BRLWIN32_COMPUTER_BRAILLE_H
#define BRLWIN32_COMPUTER_BRAILLE_H

#ifdef __cplusplus
extern "C" {
#endif

unsigned char ComputerBrailleCell(unsigned char character);

#ifdef __cplusplus
}
#endif

#endif
