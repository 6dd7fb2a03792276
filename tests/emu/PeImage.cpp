#include "PeImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace emu {

std::string Hex(uint64_t value, unsigned bytes)
{
    char text[24];
    snprintf(text, sizeof text, "0x%0*llX", int(2 * bytes), static_cast<unsigned long long>(value));
    return text;
}

namespace {

// Little-endian reads from the file or the laid-out image, each checked
// against the end of the bytes; part names what was being read.
class View {
public:
    View(const Bytes& bytes, const char* what) : bytes(bytes), what(what) {}

    void Need(uint64_t offset, uint64_t size, const std::string& part) const
    {
        if (offset > bytes.size() || size > bytes.size() - offset)
            throw LoadError(part + " (" + Hex(offset) + ", " + std::to_string(size) + " bytes) lies beyond the end of the " +
                            what + " (" + std::to_string(bytes.size()) + " bytes)");
    }
    uint64_t Get(uint64_t offset, unsigned size, const std::string& part) const
    {
        Need(offset, size, part);
        uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i)
            value |= uint64_t{ bytes[offset + i] } << (8 * i);
        return value;
    }
    uint16_t U16(uint64_t offset, const std::string& part) const { return uint16_t(Get(offset, 2, part)); }
    uint32_t U32(uint64_t offset, const std::string& part) const { return uint32_t(Get(offset, 4, part)); }
    std::string String(uint64_t offset, const std::string& part) const
    {
        Need(offset, 1, part);
        auto end = std::find(bytes.begin() + long(offset), bytes.end(), 0);
        if (end == bytes.end())
            throw LoadError(part + " at " + Hex(offset) + " runs to the end of the " + what + " without a terminator");
        return std::string(bytes.begin() + long(offset), end);
    }

private:
    const Bytes& bytes;
    const char* what;
};

struct Directory {
    uint32_t rva = 0, size = 0;
};

enum : uint32_t {
    ScnExecute = 0x20000000, ScnRead = 0x40000000, ScnWrite = 0x80000000,
    FileIsDll = 0x2000, Pe32Magic = 0x10B, Pe32PlusMagic = 0x20B,
    RelAbsolute = 0, RelHighLow = 3, RelDir64 = 10,
    MaxImageSize = 64 << 20,
};

} // namespace

PeImage PeImage::Parse(Bytes bytes)
{
    PeImage image;
    image.file = std::move(bytes);
    const View file(image.file, "file");
    if (file.U16(0, "the DOS header") != 0x5A4D)
        throw LoadError("not a PE file: no MZ signature");
    uint32_t pe = file.U32(0x3C, "the DOS header");
    if (file.U32(pe, "the PE signature") != 0x4550)
        throw LoadError("not a PE file: no PE signature at " + Hex(pe));
    image.machine = file.U16(pe + 4, "the COFF header");
    unsigned sectionCount = file.U16(pe + 6, "the COFF header");
    uint32_t optionalSize = file.U16(pe + 20, "the COFF header");
    if (!(file.U16(pe + 22, "the COFF header") & FileIsDll))
        throw LoadError("not a DLL: the COFF header's DLL flag is clear");

    const uint32_t opt = pe + 24;
    file.Need(opt, optionalSize, "the optional header");
    uint16_t magic = file.U16(opt, "the optional header");
    if (magic != Pe32Magic && magic != Pe32PlusMagic)
        throw LoadError("unknown optional header magic " + Hex(magic));
    image.pointerSize = magic == Pe32Magic ? 4 : 8;
    const bool wide = image.pointerSize == 8;
    uint32_t directories = opt + (wide ? 112 : 96);
    uint32_t directoryCount = std::min<uint32_t>(file.U32(directories - 4, "the optional header"), 16);
    if (directories + 8 * directoryCount > opt + optionalSize)
        throw LoadError("the optional header is shorter than its data directories");
    image.entryRva = file.U32(opt + 16, "the optional header");
    image.imageBase = wide ? file.Get(opt + 24, 8, "the optional header") : file.U32(opt + 28, "the optional header");
    image.sectionAlignment = file.U32(opt + 32, "the optional header");
    image.sizeOfImage = file.U32(opt + 56, "the optional header");
    image.sizeOfHeaders = file.U32(opt + 60, "the optional header");
    if (image.sectionAlignment == 0 || image.sectionAlignment % 4096 != 0)
        throw LoadError("section alignment " + Hex(image.sectionAlignment) + " is not a multiple of the page size");
    if (image.sizeOfImage > MaxImageSize || image.sizeOfHeaders > image.sizeOfImage)
        throw LoadError("image size " + Hex(image.sizeOfImage) + " or header size " + Hex(image.sizeOfHeaders) +
                        " is out of range");
    file.Need(0, image.sizeOfHeaders, "the headers");
    Directory directory[16];
    for (uint32_t i = 0; i < directoryCount; ++i)
        directory[i] = { file.U32(directories + 8 * i, "a data directory"),
                         file.U32(directories + 8 * i + 4, "a data directory") };

    uint32_t table = opt + optionalSize;
    for (unsigned i = 0; i < sectionCount; ++i) {
        uint32_t at = table + 40 * i;
        file.Need(at, 40, "the section table");
        PeSection s;
        s.name.assign(reinterpret_cast<const char*>(&image.file[at]), strnlen(reinterpret_cast<const char*>(&image.file[at]), 8));
        s.virtualSize = file.U32(at + 8, "the section table");
        s.rva = file.U32(at + 12, "the section table");
        s.fileSize = file.U32(at + 16, "the section table");
        s.fileOffset = file.U32(at + 20, "the section table");
        uint32_t flags = file.U32(at + 36, "the section table");
        s.read = flags & ScnRead;
        s.write = flags & ScnWrite;
        s.execute = flags & ScnExecute;
        // Raw data is padded to the file alignment; only what fits the
        // section's pages is loaded.
        if (s.virtualSize != 0)
            s.fileSize = std::min(s.fileSize, (s.virtualSize + image.sectionAlignment - 1) / image.sectionAlignment *
                                                  image.sectionAlignment);
        file.Need(s.fileOffset, s.fileSize, "the data of section " + s.name);
        uint64_t end = uint64_t{ s.rva } + std::max(s.virtualSize, s.fileSize);
        if (s.rva < image.sizeOfHeaders || end > image.sizeOfImage)
            throw LoadError("section " + s.name + " (" + Hex(s.rva) + " to " + Hex(end) + ") lies outside the image");
        image.sections.push_back(s);
    }

    const Bytes laid = image.Layout();
    const View mem(laid, "image");
    auto inside = [&](const Directory& d, const char* part) {
        mem.Need(d.rva, d.size, part);
        return d.size != 0;
    };

    if (inside(directory[9], "the TLS directory"))
        throw LoadError("the DLL has a TLS directory, whose callbacks this loader does not run");

    if (inside(directory[0], "the export directory")) {
        const Directory& d = directory[0];
        uint32_t functions = mem.U32(d.rva + 20, "the export directory");
        uint32_t names = mem.U32(d.rva + 24, "the export directory");
        uint32_t functionTable = mem.U32(d.rva + 28, "the export directory");
        uint32_t nameTable = mem.U32(d.rva + 32, "the export directory");
        uint32_t ordinalTable = mem.U32(d.rva + 36, "the export directory");
        for (uint32_t i = 0; i < names; ++i) {
            std::string name = mem.String(mem.U32(nameTable + 4 * i, "the export name table"), "an export name");
            uint16_t ordinal = mem.U16(ordinalTable + 2 * i, "the export ordinal table");
            if (ordinal >= functions)
                throw LoadError("export " + name + " has ordinal " + std::to_string(ordinal) + " beyond its table");
            uint32_t rva = mem.U32(functionTable + 4 * ordinal, "the export address table");
            if (rva >= d.rva && rva < d.rva + d.size)
                throw LoadError("export " + name + " is forwarded to another DLL");
            image.exports[name] = rva;
        }
    }

    if (inside(directory[1], "the import directory")) {
        for (uint32_t at = directory[1].rva;; at += 20) {
            uint32_t lookup = mem.U32(at, "an import descriptor");
            uint32_t nameRva = mem.U32(at + 12, "an import descriptor");
            uint32_t slots = mem.U32(at + 16, "an import descriptor");
            if (nameRva == 0 && slots == 0)
                break;
            std::string dll = mem.String(nameRva, "an imported DLL's name");
            lookup = lookup ? lookup : slots;
            for (uint32_t i = 0;; ++i) {
                uint64_t entry = mem.Get(lookup + uint64_t{ i } * image.pointerSize, image.pointerSize, "an import lookup table");
                if (entry == 0)
                    break;
                bool byOrdinal = entry >> (8 * image.pointerSize - 1);
                std::string name = byOrdinal ? "#" + std::to_string(entry & 0xFFFF)
                                             : mem.String(uint32_t(entry) + 2, "an imported function's name");
                image.imports.push_back({ dll, name, slots + i * image.pointerSize });
            }
        }
    }

    if (inside(directory[5], "the base relocation directory")) {
        const unsigned wanted = wide ? RelDir64 : RelHighLow;
        for (uint32_t at = directory[5].rva; at < directory[5].rva + directory[5].size;) {
            uint32_t page = mem.U32(at, "a relocation block");
            uint32_t size = mem.U32(at + 4, "a relocation block");
            if (size < 8)
                throw LoadError("relocation block at " + Hex(at) + " has size " + std::to_string(size));
            for (uint32_t e = 8; e + 2 <= size; e += 2) {
                uint16_t entry = mem.U16(at + e, "a relocation block");
                unsigned type = entry >> 12;
                uint64_t rva = uint64_t{ page } + (entry & 0xFFF);
                if (type == RelAbsolute)
                    continue;
                if (type != wanted)
                    throw LoadError("relocation type " + std::to_string(type) + " at " + Hex(rva) +
                                    " is not one this loader applies");
                mem.Need(rva, image.pointerSize, "a relocated field");
                image.relocations.push_back(uint32_t(rva));
            }
            at += size;
        }
    }
    return image;
}

Bytes PeImage::Layout() const
{
    Bytes laid(sizeOfImage, 0);
    std::copy_n(file.begin(), sizeOfHeaders, laid.begin());
    for (const auto& s : sections)
        std::copy_n(file.begin() + s.fileOffset, std::min(s.fileSize, sizeOfImage - s.rva), laid.begin() + s.rva);
    return laid;
}

uint32_t PeImage::FileOffset(uint32_t rva, uint32_t size) const
{
    for (const auto& s : sections)
        if (rva >= s.rva && uint64_t{ rva } + size <= uint64_t{ s.rva } + s.fileSize)
            return s.fileOffset + (rva - s.rva);
    throw LoadError("no file bytes hold " + Hex(rva));
}

} // namespace emu
