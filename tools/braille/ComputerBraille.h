/* The demo host's own 8-dot computer braille: one cell per character, bit i
 * of the cell is dot i + 1. Letters are dots 1-6 in lower case and add dot 7
 * in upper case; control characters add dots 7 and 8. */
#ifndef BRLHOST_COMPUTER_BRAILLE_H
#define BRLHOST_COMPUTER_BRAILLE_H

#ifdef __cplusplus
extern "C" {
#endif

unsigned char ComputerBrailleCell(unsigned char character);

#ifdef __cplusplus
}
#endif

#endif
