#include "Text.h"

Text& Text::Add(const char* text, int count)
{
    for (int i = 0; i < count && length < Capacity; ++i)
        buffer[length++] = text[i];
    buffer[length] = '\0';
    return *this;
}

Text& Text::Add(const char* text)
{
    for (; *text != '\0' && length < Capacity; ++text)
        buffer[length++] = *text;
    buffer[length] = '\0';
    return *this;
}

Text& Text::Number(unsigned value)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        Add(digits[--count]);
    return *this;
}

Text& Text::Hex(unsigned value, int digits)
{
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        Add("0123456789ABCDEF"[(value >> shift) & 0xF]);
    return *this;
}

Text& Text::Seconds(unsigned milliseconds)
{
    // Rounded to the nearest tenth.
    unsigned tenths = milliseconds / 100 + (milliseconds % 100 >= 50 ? 1 : 0);
    return Number(tenths / 10).Add('.').Number(tenths % 10).Add(" seconds");
}

Text& Text::WholeSeconds(unsigned seconds) { return Number(seconds).Add(seconds == 1 ? " second" : " seconds"); }

void Text::Clear()
{
    length = 0;
    buffer[0] = '\0';
}

bool Text::StartsWith(const char* prefix) const
{
    for (int i = 0; prefix[i] != '\0'; ++i)
        if (i >= length || buffer[i] != prefix[i])
            return false;
    return true;
}

void Text::Copy(char* destination, int size, const char* source)
{
    int i = 0;
    for (; i < size - 1 && source[i] != '\0'; ++i)
        destination[i] = source[i];
    destination[i] = '\0';
}
