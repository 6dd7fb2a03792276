#include "LoaderChecks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "EmulatedHost.h"
#include "Win32Double.h"

namespace emu {

namespace {

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

// The driver imports 21 KERNEL32 functions; a DLL importing anything else
// is refused by name, QueryDosDeviceA too: Windows 95 lacks it, so the
// driver may only look it up at run time.
void RefusesImportsBeyondTheDriversOwn(const std::string& path)
{
    const Bytes good = EmulatedHost::FileBytes(path);
    const struct {
        std::string name, renamed, error;
    } cases[] = {
        { "lstrlenA", "lstrlenW", "imports KERNEL32.dll!lstrlenW, which is not one of the 21 KERNEL32 functions" },
        { "SetCommTimeouts", "QueryDosDeviceA",
          "imports KERNEL32.dll!QueryDosDeviceA, which is not one of the 21 KERNEL32 functions" },
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

struct Patch {
    const char* what;
    Bytes code;
    std::vector<std::string> report; // empty: no report
};

Bytes Le32(uint64_t v) { return { uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24) }; }

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Instructions for BrlClear's first bytes, each breaking one rule, and what
// the report must say; code at the image's preferred base.
std::vector<Patch> Patches(const PeImage& image)
{
    const uint32_t clear = image.exports.at("BrlClear");
    const uint64_t at = image.imageBase + clear;
    uint32_t tick = 0; // GetTickCount's slot in the import address table
    for (const auto& import : image.imports)
        if (import.name == "GetTickCount")
            tick = import.slotRva;
    const std::string code = "protected write of 1 bytes at " + Hex(at, image.pointerSize);
    switch (image.machine) {
    case 0x014C:
        return {
            { "reads the TEB", { 0x64, 0xA1, 0x18, 0, 0, 0, 0xC3 },
              { "unmapped read of 4 bytes at 0x00000018 through fs:, where Windows keeps the TEB" } },
            { "writes its own code", Join({ { 0xC6, 0x05 }, Le32(at), { 0x00, 0xC3 } }), { code } },
            { "removes 8 bytes of arguments", { 0xC2, 0x08, 0x00 }, { "esp moved by 12 bytes across the call, expected 4" } },
            { "overwrites ebx", { 0x31, 0xDB, 0xC3 }, { "ebx is not preserved" } },
            // x86 asks only 4-byte alignment, which a call keeps.
            { "calls KERNEL32 with the stack as it came", Join({ { 0xFF, 0x15 }, Le32(image.imageBase + tick), { 0xC3 } }), {} },
        };
    case 0x8664:
        return {
            { "reads the TEB", { 0x65, 0x48, 0x8B, 0x04, 0x25, 0x30, 0, 0, 0, 0xC3 },
              { "unmapped read of 8 bytes at 0x0000000000000030 through gs:, where Windows keeps the TEB" } },
            { "writes its own code", { 0xC6, 0x05, 0xF9, 0xFF, 0xFF, 0xFF, 0x00, 0xC3 }, { code } },
            { "removes 8 bytes of arguments", { 0xC2, 0x08, 0x00 }, { "rsp moved by 16 bytes across the call, expected 8" } },
            { "overwrites rbx", { 0x31, 0xDB, 0xC3 }, { "rbx is not preserved" } },
            { "calls KERNEL32 with the stack as it came", Join({ { 0xFF, 0x15 }, Le32(tick - (clear + 6)), { 0xC3 } }),
              { "calling GetTickCount: rsp is", "not aligned to 16 bytes" } },
        };
    case 0xAA64: {
        auto words = [](std::initializer_list<uint32_t> w) {
            Bytes b;
            for (uint32_t v : w)
                b = Join({ b, Le32(v) });
            return b;
        };
        const uint32_t ret = 0xD65F03C0;
        return {
            { "reads the TEB", words({ 0xF9401A40, ret }), // ldr x0, [x18, #0x30]
              { "unmapped read of 8 bytes at 0x000000007FFD0030 (the TEB)" } },
            { "writes its own code", words({ 0x10000000, 0x3900001F, ret }), { code } }, // adr x0, .; strb wzr, [x0]
            { "removes 16 bytes of stack", words({ 0x910043FF, ret }), { "sp moved by 16 bytes across the call, expected 0" } },
            { "overwrites x19", words({ 0xD2800013, ret }), { "x19 is not preserved" } },
            { "overwrites d8", words({ 0x9E6703E8, ret }), { "d8 is not preserved" } },  // fmov d8, xzr
            { "writes x18", words({ 0xAA1F03F2, ret }),                                    // mov x18, xzr
              { "the platform register that holds the TEB was written" } },
            // sub sp, sp, #8; ldr x16, slot; ldr x16, [x16]; blr x16
            { "calls KERNEL32 with the stack 8 bytes down",
              Join({ words({ 0xD10023FF, 0x58000070, 0xF9400210, 0xD63F0200 }), Le32(image.imageBase + tick),
                    Le32((image.imageBase + tick) >> 32) }),
              { "calling GetTickCount: sp is", "not aligned to 16 bytes" } },
        };
    }
    default:
        ADD_FAILURE() << "no instructions for machine " << Hex(image.machine, 2) << ": add them here";
        return {};
    }
}

// A few instructions patched into BrlClear break one rule each: the report
// names what broke, the address and the export, and the DLL runs no more.
void ReportsGuestFaultsWithTheExportInProgress(const std::string& path)
{
    const Bytes good = EmulatedHost::FileBytes(path);
    const PeImage& image = EmulatedHost::Image(path);
    const uint32_t clear = image.exports.at("BrlClear");
    for (const auto& row : Patches(image)) {
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
