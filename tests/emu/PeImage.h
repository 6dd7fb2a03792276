// A Windows DLL read from its file into plain records: the headers, the
// sections, the base relocations, the imports and the exports. Every offset
// and size is checked against the file before it is used, so a truncated or
// damaged file gives a LoadError that says what is wrong, never a read past
// the end of the bytes.
#ifndef BRLWIN32_EMU_PE_IMAGE_H
#define BRLWIN32_EMU_PE_IMAGE_H

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace emu {

using Bytes = std::vector<uint8_t>;

struct LoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// 0x1F, or with bytes given 0x0000001F: addresses as wide as the guest's.
std::string Hex(uint64_t value, unsigned bytes = 0);

struct PeSection {
    std::string name;
    uint32_t rva, virtualSize, fileOffset, fileSize;
    bool read, write, execute;
};

struct PeImport {
    std::string dll, name;
    uint32_t slotRva; // its entry in the import address table
};

class PeImage {
public:
    // Throws LoadError.
    static PeImage Parse(Bytes file);

    uint16_t machine = 0;
    unsigned pointerSize = 0; // 4 for PE32, 8 for PE32+
    uint64_t imageBase = 0;
    uint32_t sizeOfImage = 0, sizeOfHeaders = 0, sectionAlignment = 0, entryRva = 0;
    std::vector<PeSection> sections;
    std::vector<uint32_t> relocations; // RVAs of the pointer-sized fields to move with the base
    std::vector<PeImport> imports;
    std::map<std::string, uint32_t> exports; // name -> RVA

    // The image as the loader lays it out at its preferred base: headers and
    // sections at their RVAs, the rest zero.
    Bytes Layout() const;
    // The file offset of an RVA's bytes, for tests that patch a file.
    uint32_t FileOffset(uint32_t rva, uint32_t size) const;

private:
    Bytes file;
};

} // namespace emu

#endif
