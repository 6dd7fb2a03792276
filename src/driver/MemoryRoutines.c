/*
 * The memory routines that the compiler emits calls to, for a library that
 * links no C runtime. This file is built so that the compiler cannot turn
 * these loops back into calls of the routines themselves, which would
 * recurse until the stack runs out.
 */
#include <stddef.h>

void *memcpy(void *destination, const void *source, size_t count)
{
    unsigned char *d = destination;
    const unsigned char *s = source;
    while (count-- > 0)
        *d++ = *s++;
    return destination;
}

void *memmove(void *destination, const void *source, size_t count)
{
    unsigned char *d = destination;
    const unsigned char *s = source;
    if (d < s) {
        while (count-- > 0)
            *d++ = *s++;
    } else {
        while (count-- > 0)
            d[count] = s[count];
    }
    return destination;
}

void *memset(void *destination, int value, size_t count)
{
    unsigned char *d = destination;
    while (count-- > 0)
        *d++ = (unsigned char)value;
    return destination;
}

int memcmp(const void *first, const void *second, size_t count)
{
    const unsigned char *a = first;
    const unsigned char *b = second;
    for (; count > 0; --count, ++a, ++b)
        if (*a != *b)
            return *a < *b ? -1 : 1;
    return 0;
}
