#include "DllFile.h"

#include "Text.h"

namespace {

// The PE header's machine words.
const WORD MachineX86 = 0x014C;
const WORD MachineX64 = 0x8664;
const WORD MachineArm64 = 0xAA64;

// Enough for the DOS header and the PE signature and file header of any
// image a linker writes; the DOS stub in between is small.
enum { HeadSize = 4096 };
unsigned char head[HeadSize];

unsigned Word(const unsigned char* p) { return (unsigned)p[0] | (unsigned)p[1] << 8; }
unsigned Dword(const unsigned char* p) { return Word(p) | Word(p + 2) << 16; }

// The root block of a version resource, as the resource compiler writes it:
//   WORD wLength, WORD wValueLength, WORD wType,
//   WCHAR szKey[] "VS_VERSION_INFO" and its terminator,
//   padding to a 32-bit boundary, then VS_FIXEDFILEINFO (52 bytes):
//   DWORD dwSignature 0xFEEF04BD, DWORD dwStrucVersion,
//   DWORD dwFileVersionMS, DWORD dwFileVersionLS, ...
// Every offset is checked against the resource's size before it is read.
bool FixedFileVersion(const unsigned char* block, DWORD size, DWORD& high, DWORD& low)
{
    const char key[] = "VS_VERSION_INFO";
    enum { KeyAt = 6, KeyLength = sizeof key, FixedInfoSize = 52, Signature = 0xFEEF04BDu };
    if (size < KeyAt)
        return false;
    DWORD length = Word(block);
    if (length > size)
        length = size;
    for (DWORD i = 0; i < KeyLength; ++i) {
        DWORD at = KeyAt + 2 * i;
        if (at + 2 > length || Word(block + at) != (unsigned)(unsigned char)key[i])
            return false;
    }
    DWORD value = (KeyAt + 2 * KeyLength + 3) & ~3u;
    if (Word(block + 2) < FixedInfoSize || value + FixedInfoSize > length || Dword(block + value) != Signature)
        return false;
    high = Dword(block + value + 8);
    low = Dword(block + value + 12);
    return true;
}

} // namespace

DllFile::DllFile() : error(0), machine(0), hasVersion(false), versionHigh(0), versionLow(0) {}

DllFile::Result DllFile::Examine(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Missing : Unreadable;
    }
    bool image = ReadMachine(file);
    CloseHandle(file);
    if (!image)
        return error != 0 ? Unreadable : NotAnImage;
    ReadVersion(path);
    return Examined;
}

bool DllFile::ReadMachine(HANDLE file)
{
    DWORD count = 0;
    if (!ReadFile(file, head, HeadSize, &count, NULL)) {
        error = GetLastError();
        return false;
    }
    // "MZ", the PE header's offset at 0x3C, "PE\0\0", then the machine.
    if (count < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return false;
    DWORD pe = Dword(head + 0x3C);
    if (pe > count || count - pe < 6 || Dword(head + pe) != 0x00004550u)
        return false;
    machine = (WORD)Word(head + pe + 4);
    return true;
}

void DllFile::ReadVersion(const char* path)
{
    // As a data file the DLL is mapped and not run, whatever its processor.
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL)
        return;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)); // RT_VERSION
    HGLOBAL loaded = found != NULL ? LoadResource(module, found) : NULL;
    const unsigned char* block = loaded != NULL ? static_cast<const unsigned char*>(LockResource(loaded)) : NULL;
    if (block != NULL)
        hasVersion = FixedFileVersion(block, SizeofResource(module, found), versionHigh, versionLow);
    FreeLibrary(module);
}

void DllFile::AddVersion(Text& text) const
{
    if (!hasVersion) {
        text.Add("unknown");
        return;
    }
    text.Number(versionHigh >> 16).Add('.').Number(versionHigh & 0xFFFF).Add('.').Number(versionLow >> 16);
    if ((versionLow & 0xFFFF) != 0)
        text.Add('.').Number(versionLow & 0xFFFF);
}

const char* DllFile::MachineName(WORD machineWord)
{
    switch (machineWord) {
    case MachineX86: return "x86";
    case MachineX64: return "x64";
    case MachineArm64: return "ARM64";
    default: return 0;
    }
}

const char* DllFile::KitName(WORD machineWord)
{
    switch (machineWord) {
    case MachineX86: return "win32";
    case MachineX64: return "win64";
    case MachineArm64: return "winarm64";
    default: return 0;
    }
}

WORD DllFile::ProcessMachine()
{
#if defined(__aarch64__) || defined(_M_ARM64)
    return MachineArm64;
#elif defined(__x86_64__) || defined(_M_X64)
    return MachineX64;
#else
    return MachineX86;
#endif
}
