// What brlcheck learns about brlwin32.dll before it loads it: the processor
// it is for, from its PE header, and its version, from its version
// resource. Both are read from the file, so that a DLL of another processor,
// which Windows will not load into this process, is still described.
#ifndef BRLCHECK_DLL_FILE_H
#define BRLCHECK_DLL_FILE_H

#include <windows.h>

class Text;

class DllFile {
public:
    enum Result { Examined, Missing, Unreadable, NotAnImage };

    DllFile();

    Result Examine(const char* path);
    // The system's error when the file could not be read.
    DWORD Error() const { return error; }
    WORD Machine() const { return machine; }
    bool HasVersion() const { return hasVersion; }
    // "1.0.0", with a fourth part when it is not 0; "unknown" without a
    // version resource.
    void AddVersion(Text& text) const;

    // The names of a machine word of the PE header: x86, x64, ARM64; null
    // for any other.
    static const char* MachineName(WORD machineWord);
    // The kit that holds a DLL and a brlcheck.exe for that machine.
    static const char* KitName(WORD machineWord);
    // The machine this program was built for.
    static WORD ProcessMachine();

private:
    bool ReadMachine(HANDLE file);
    void ReadVersion(const char* path);

    DWORD error;
    WORD machine;
    bool hasVersion;
    DWORD versionHigh; // VS_FIXEDFILEINFO's dwFileVersionMS
    DWORD versionLow;  // and dwFileVersionLS
};

#endif
