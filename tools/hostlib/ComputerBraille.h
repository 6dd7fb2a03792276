/* The 8-dot computer braille that the demo host and brlcheck write text in,
 * the window display reads back and the tests expect on the display, in one
 * place so that they agree: one cell per character, bit i of the cell is
 * dot i + 1. Letters are dots 1-6 in lower case and add dot 7 in upper
 * case; control characters add dots 7 and 8. */
#ifndef BRLWIN32_COMPUTER_BRAILLE_H
#define BRLWIN32_COMPUTER_BRAILLE_H

#ifdef __cplusplus
extern "C" {
#endif

unsigned char ComputerBrailleCell(unsigned char character);

/* The printable character a cell reads as, for a reader who sees the dots:
 * the cell as it came, else without dot 8, else without dots 7 and 8 (where
 * a host puts its cursor); '?' when none of those is a character's. */
unsigned char ComputerBrailleCharacter(unsigned char cell);

#ifdef __cplusplus
}
#endif

#endif
