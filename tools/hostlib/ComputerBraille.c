#include "ComputerBraille.h"

/* The 64 six-dot patterns of characters 0x20 to 0x5F, in dot numbers. */
static const char *const sixDot[64] = {
    "",      "2346",  "5",     "3456",   "1246",  "146",   "12346", "3",     /*  !"#$%&' */
    "12356", "23456", "16",    "346",    "6",     "36",    "46",    "34",    /* ()*+,-./ */
    "356",   "2",     "23",    "25",     "256",   "26",    "235",   "2356",  /* 01234567 */
    "236",   "35",    "156",   "56",     "126",   "123456", "345",  "1456",  /* 89:;<=>? */
    "4",     "1",     "12",    "14",     "145",   "15",    "124",   "1245",  /* @ABCDEFG */
    "125",   "24",    "245",   "13",     "123",   "134",   "1345",  "135",   /* HIJKLMNO */
    "1234",  "12345", "1235",  "234",    "2345",  "136",   "1236",  "2456",  /* PQRSTUVW */
    "1346",  "13456", "1356",  "246",    "1256",  "12456", "45",    "456",   /* XYZ[\]^_ */
};

enum { Dot7 = 0x40, Dot8 = 0x80 };

static unsigned char Dots(const char *numbers)
{
    unsigned char cell = 0;
    for (; *numbers; ++numbers)
        cell = (unsigned char)(cell | (1u << (*numbers - '1')));
    return cell;
}

unsigned char ComputerBrailleCell(unsigned char c)
{
    if (c >= 0x20 && c < 0x40)
        return Dots(sixDot[c - 0x20]);
    if (c >= 0x40 && c < 0x5F) /* upper case and @ [ \ ] ^ */
        return (unsigned char)(Dots(sixDot[c - 0x20]) | Dot7);
    if (c == 0x5F)
        return Dots(sixDot[0x3F]);
    if (c >= 0x60 && c < 0x7F) /* lower case and ` { | } ~ */
        return Dots(sixDot[c - 0x40]);
    if (c < 0x20)
        return (unsigned char)(Dots(sixDot[c + 0x20]) | Dot7 | Dot8);
    /* DEL and everything beyond ASCII */
    return (unsigned char)(Dots(sixDot['?' - 0x20]) | Dot8);
}

unsigned char ComputerBrailleCharacter(unsigned char cell)
{
    const unsigned char tries[3] = { cell, (unsigned char)(cell & 0x7F), (unsigned char)(cell & 0x3F) };
    int t, c;
    for (t = 0; t < 3; ++t) {
        if (tries[t] == 0)
            return ' ';
        for (c = 0x21; c < 0x7F; ++c)
            if (ComputerBrailleCell((unsigned char)c) == tries[t])
                return (unsigned char)c;
    }
    return '?';
}
