#ifndef VDISPLAY_BACK_TRANSLATOR_H
#define VDISPLAY_BACK_TRANSLATOR_H

#include <cstdint>
#include <string>
#include <vector>

// Reads cells back to print with a liblouis computer braille table, one
// character per cell so that print lines up under the braille.
class BackTranslator {
public:
    explicit BackTranslator(const std::string& table = "en-us-comp8.ctb");
    // false when liblouis cannot load the table.
    bool Usable() const;
    const std::string& Table() const { return table; }

    // One UTF-8 character per cell. A pattern the table does not define is
    // read without dot 8, then without dots 7 and 8 (the host's cursor);
    // failing that it shows as '?'.
    std::vector<std::string> Translate(const std::vector<uint8_t>& cells) const;

    static std::string Utf8(uint32_t codePoint);

private:
    uint32_t Character(uint8_t cell) const;

    std::string table;
};

#endif
