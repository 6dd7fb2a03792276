// The KERNEL32 functions the driver imports, served for an emulated DLL by
// the Win32 double: the guest's arguments are read from its registers and
// stack, its buffers copied to the host before the call and back after it,
// and its handles and heap blocks translated to the double's. Anything the
// DLL imports beyond this table is refused when it is loaded.
//
// The run-time functions are the ones the driver finds with GetProcAddress
// because Windows 95's KERNEL32 lacks them: never bound as imports, they are
// reached only through the address the emulated GetProcAddress returns when
// the double finds them.
#ifndef BRLWIN32_EMU_KERNEL32_IMPORTS_H
#define BRLWIN32_EMU_KERNEL32_IMPORTS_H

#include <cstdint>
#include <vector>

namespace emu {

class EmulatedDll;

struct Kernel32Function {
    const char* name;
    unsigned arguments;
    uint64_t (*serve)(EmulatedDll& guest, const std::vector<uint64_t>& arguments);
};

const std::vector<Kernel32Function>& Kernel32Imports();
const std::vector<Kernel32Function>& Kernel32RunTimeFunctions();

} // namespace emu

#endif
