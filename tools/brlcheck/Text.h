// A line of text in a buffer of its own. The program has no heap and no C
// runtime, so every line it prints or writes is built in one of these; text
// beyond the capacity is dropped, never written past the end.
#ifndef BRLCHECK_TEXT_H
#define BRLCHECK_TEXT_H

class Text {
public:
    enum { Capacity = 700 };

    Text() : length(0) { buffer[0] = '\0'; }

    Text& Add(const char* text);
    Text& Add(const char* text, int count);
    Text& Add(const Text& text) { return Add(text.buffer, text.length); }
    Text& Add(char c) { return Add(&c, 1); }
    Text& Number(unsigned value);
    // value as digits hexadecimal digits, upper case, no prefix.
    Text& Hex(unsigned value, int digits);
    // Milliseconds as seconds with one decimal: 2016 gives "2.0 seconds".
    Text& Seconds(unsigned milliseconds);
    // "1 second", "30 seconds".
    Text& WholeSeconds(unsigned seconds);
    void Clear();

    const char* Chars() const { return buffer; }
    int Length() const { return length; }
    bool StartsWith(const char* prefix) const;

    // Copies source into a buffer of size bytes, terminator included; what
    // does not fit is left out.
    static void Copy(char* destination, int size, const char* source);

private:
    char buffer[Capacity + 1];
    int length;
};

#endif
