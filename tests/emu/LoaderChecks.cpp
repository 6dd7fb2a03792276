#include "LoaderChecks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "EmulatedHost.h"
#include "Win32Double.h"

namespace emu {

namespace {

std::string Hex(uint64_t value, unsigned bytes)
{
    char text[24];
    snprintf(text, sizeof text, "0x%0*llX", int(2 * bytes), static_cast<unsigned long long>(value));
    return text;
}

template <class T> void Put(Bytes& bytes, size_t at, T value) { std::memcpy(&bytes[at], &value, sizeof value); }

template <class T> T Get(const Bytes& bytes, size_t at)
{
    T value;
    std::memcpy(&value, &bytes[at], sizeof value);
    return value;
}

// What loading these bytes gives: "" when they load.
std::string LoadErrorOf(const Bytes& bytes)
{
    try {
        PeImage image = PeImage::Parse(bytes);
        EmulatedDll dll(image, 0, [](const std::string& m) { ADD_FAILURE() << m; });
        return "";
    } catch (const LoadError& e) {
        return e.what();
    }
}

// A truncated file, a bad header or another machine: a clear error, never a
// crash or a read past the bytes.
void RefusesDamagedFiles(const std::string& path)
{
    const Bytes good = EmulatedHost::FileBytes(path);
    const PeImage& image = EmulatedHost::Image(path);
    EXPECT_EQ("", LoadErrorOf(good));
    const uint32_t pe = Get<uint32_t>(good, 0x3C);
    const size_t lastSection = pe + 24 + Get<uint16_t>(good, pe + 20) + 40 * (image.sections.size() - 1);
    const PeSection& last = image.sections.back();
    const bool wide = image.pointerSize == 8;
    using Damage = std::function<void(Bytes&)>;
    auto cut = [](size_t size) -> Damage { return [size](Bytes& b) { b.resize(size); }; };
    auto put16 = [](size_t at, uint16_t v) -> Damage { return [=](Bytes& b) { Put(b, at, v); }; };
    auto put32 = [](size_t at, uint32_t v) -> Damage { return [=](Bytes& b) { Put(b, at, v); }; };
    const struct {
        const char* what;
        Damage damage;
        std::string error;
    } cases[] = {
        { "an empty file", cut(0), "the DOS header" },
        { "the DOS header alone", cut(0x40), "the PE signature" },
        { "cut in the optional header", cut(pe + 40), "the optional header" },
        { "cut in the last section", cut(last.fileOffset + last.fileSize / 2), "the data of section " + last.name },
        { "no MZ", put16(0, 0x5A4E), "no MZ signature" },
        { "no PE signature", put16(pe, 0x4551), "no PE signature" },
        { "the PE header beyond the file", put32(0x3C, 0x7FFFFFF0), "the PE signature" },
        { "an unknown optional header", put16(pe + 24, 0x0107), "unknown optional header magic 0x107" },
        { "the header of the other pointer size", put16(pe + 4, wide ? 0x014C : 0x8664),
          wide ? "a PE32+ header for x86" : "a PE32 header for x64" },
        { "a foreign machine", put16(pe + 4, 0x01C4), "machine 0x01C4 is not one this loader runs" },
        { "not a DLL", put16(pe + 22, Get<uint16_t>(good, pe + 22) & 0xDFFF), "not a DLL" },
        { "a section beyond the image", put32(lastSection + 12, image.sizeOfImage), "lies outside the image" },
    };
    for (const auto& c : cases) {
        Bytes bytes = good;
        c.damage(bytes);
        std::string error = LoadErrorOf(bytes);
        EXPECT_NE(std::string::npos, error.find(c.error))
            << c.what << ": expected an error naming \"" << c.error << "\", got \"" << error << "\"";
    }
}

// The driver imports 17 KERNEL32 functions; a DLL importing anything else
// is refused by name.
void RefusesImportsBeyondTheDriversOwn(const std::string& path)
{
    const Bytes good = EmulatedHost::FileBytes(path);
    const struct {
        std::string name, renamed, error;
    } cases[] = {
        { "lstrlenA", "lstrlenW", "imports KERNEL32.dll!lstrlenW, which is not one of the 17 KERNEL32 functions" },
        { "KERNEL32.dll", std::string("USER32.dll\0\0", 12), "imports USER32.dll!" },
    };
    for (const auto& c : cases) {
        Bytes bytes = good;
        auto at = std::search(bytes.begin(), bytes.end(), c.name.begin(), c.name.end());
        ASSERT_NE(bytes.end(), at) << "expected " << c.name << " among the import names";
        std::copy(c.renamed.begin(), c.renamed.end(), at);
        std::string error = LoadErrorOf(bytes);
        EXPECT_NE(std::string::npos, error.find(c.error)) << "expected \"" << c.error << "\", got \"" << error << "\"";
    }
}

// BrlClear's first bytes replaced by a few instructions that break one rule
// each: the report names what broke, the address and the export.
void ReportsGuestFaultsWithTheExportInProgress(const std::string& path)
{
    const Bytes good = EmulatedHost::FileBytes(path);
    const PeImage& image = EmulatedHost::Image(path);
    const bool wide = image.pointerSize == 8;
    const uint32_t clear = image.exports.at("BrlClear");
    const uint64_t at = image.imageBase + clear;
    uint32_t tickSlot = 0;
    for (const auto& import : image.imports)
        if (import.name == "GetTickCount")
            tickSlot = import.slotRva;
    auto le32 = [](uint64_t v) { return Bytes{ uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24) }; };
    auto join = [](Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; };
    const std::string ps = wide ? "rsp" : "esp";
    const struct {
        const char* what;
        Bytes code;
        std::vector<std::string> report; // empty: no report
    } rows[] = {
        { "reads the TEB",
          wide ? Bytes{ 0x65, 0x48, 0x8B, 0x04, 0x25, 0x30, 0, 0, 0, 0xC3 } : Bytes{ 0x64, 0xA1, 0x18, 0, 0, 0, 0xC3 },
          { "unmapped read of " + std::to_string(image.pointerSize) + " bytes at " + Hex(wide ? 0x30 : 0x18, image.pointerSize) +
            (wide ? " through gs:" : " through fs:") + ", where Windows keeps the TEB" } },
        { "writes its own code",
          wide ? Bytes{ 0xC6, 0x05, 0xF9, 0xFF, 0xFF, 0xFF, 0x00, 0xC3 } : join(join({ 0xC6, 0x05 }, le32(at)), { 0x00, 0xC3 }),
          { "protected write of 1 bytes at " + Hex(at, image.pointerSize) } },
        { "removes 8 bytes of arguments", { 0xC2, 0x08, 0x00 },
          { ps + " moved by " + (wide ? "16" : "12") + " bytes across the call, expected " + (wide ? "8" : "4") } },
        { "overwrites ebx or rbx", { 0x31, 0xDB, 0xC3 }, { (wide ? "rbx" : "ebx") + std::string(" is not preserved") } },
        // x86 needs 4-byte alignment only, which a call keeps; x64 needs 16.
        { "calls KERNEL32 with the stack as it came",
          join(join({ 0xFF, 0x15 }, le32(wide ? tickSlot - (clear + 6) : image.imageBase + tickSlot)), { 0xC3 }),
          wide ? std::vector<std::string>{ "calling GetTickCount: rsp is", "not aligned to 16 bytes" } : std::vector<std::string>{} },
    };
    for (const auto& row : rows) {
        win32double::Win32Double::Get().Reset();
        Bytes bytes = good;
        std::copy(row.code.begin(), row.code.end(), bytes.begin() + image.FileOffset(clear, uint32_t(row.code.size())));
        PeImage patched = PeImage::Parse(bytes);
        std::vector<std::string> reports;
        EmulatedDll dll(patched, 0, [&](const std::string& m) { reports.push_back(m); });
        ASSERT_TRUE(dll.CallEntry(1)) << row.what;
        dll.CallExport("BrlClear", {});
        if (row.report.empty()) {
            EXPECT_TRUE(reports.empty()) << row.what << ": expected no report, got " << reports.front();
            continue;
        }
        ASSERT_EQ(1u, reports.size()) << row.what;
        for (const auto& part : row.report)
            EXPECT_NE(std::string::npos, reports[0].find(part)) << row.what << ": expected \"" << part << "\" in " << reports[0];
        EXPECT_NE(std::string::npos, reports[0].find("during BrlClear")) << row.what << ": " << reports[0];
        EXPECT_EQ(0u, dll.CallExport("BrlClear", {})) << "a broken DLL runs no more";
        EXPECT_EQ(1u, reports.size()) << "and reports nothing more";
    }
}

} // namespace

const std::vector<LoaderCheck>& LoaderChecks()
{
    static const std::vector<LoaderCheck> checks = {
        { "RefusesDamagedFiles", RefusesDamagedFiles },
        { "RefusesImportsBeyondTheDriversOwn", RefusesImportsBeyondTheDriversOwn },
        { "ReportsGuestFaultsWithTheExportInProgress", ReportsGuestFaultsWithTheExportInProgress },
    };
    return checks;
}

} // namespace emu
