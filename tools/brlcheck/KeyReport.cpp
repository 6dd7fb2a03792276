#include "KeyReport.h"

#include "Text.h"

KeyReport::KeyReport(unsigned keyCode, unsigned keyArgument)
    : code(keyCode), argument(keyArgument), count(0), routingCell(0)
{
    // Bit 31 marks every report. Only a routing packet names a key whose
    // code byte has bit 7 set, and it names that key alone, so the marker
    // never hides part of a code byte.
    unsigned bits = keyCode & 0x7FFFFFFFu;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned byte = (bits >> shift) & 0xFF;
        if (byte == 0 || count == MaxKeys)
            continue;
        unsigned index = 0;
        if (byte <= 0x80) {
            index = byte;
        } else if (byte == 0x81 && argument >= 1 && argument <= 100) {
            index = 128 + argument;
            routingCell = argument;
        } else if (byte == 0x82 && argument >= 201 && argument <= 227) {
            index = argument + 28;
        }
        codeBytes[count] = byte;
        indices[count++] = index;
    }
}

void KeyReport::Describe(Text& text) const
{
    text.Add("key code 0x").Hex(code, 8).Add(", argument ").Number(argument).Add(": key ");
    text.Add(count > 1 ? "indices " : "index ");
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text.Add(i == count - 1 ? " and " : ", ");
        if (indices[i] != 0)
            text.Number(indices[i]);
        else
            text.Add("unknown, code byte 0x").Hex(codeBytes[i], 2);
    }
    if (routingCell != 0)
        text.Add(", the routing key of text cell ").Number(routingCell);
}

void KeyReport::Show(Text& text) const
{
    text.Hex(code, 8);
    for (int i = 0; i < count; ++i)
        text.Add(' ').Number(indices[i]);
    if (routingCell != 0)
        text.Add(" cell ").Number(routingCell);
}
