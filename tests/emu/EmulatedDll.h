// A built brlwin32.dll loaded into an emulated processor (Unicorn) the way
// the Windows loader would load it: sections mapped with their protections,
// base relocations applied, every import bound to a trap that the Win32
// double serves. Exports and DllMain are called as a host calls them, and
// every call is checked against the processor's calling convention.
//
// Guest faults never crash the test: an unmapped access, a broken
// convention or an exception of the processor is reported through the
// report function with the guest address and the export in progress, and
// the DLL is then broken: further calls return 0 without running.
#ifndef BRLWIN32_EMU_EMULATED_DLL_H
#define BRLWIN32_EMU_EMULATED_DLL_H

#include <unicorn/unicorn.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "PeImage.h"

namespace emu {

struct Register {
    int id;
    const char* name;
};

// What differs between processors, as data: one entry per PE machine.
struct Machine {
    const char* name; // the CTest target: emu.<name>.*
    uint16_t peMachine;
    unsigned pointerSize;
    uc_arch arch;
    uc_mode mode;
    Register pc, sp;
    int result;
    std::vector<int> argumentRegisters; // the rest of the arguments go on the stack
    unsigned shadowSpace;               // bytes the caller reserves above the return address
    int linkRegister;                   // -1: the call pushes the return address
    unsigned stackAlignment;            // of the stack pointer at every call
    bool winapiPopsArguments;           // KERNEL32, DllMain and the key callback (x86 stdcall)
    std::vector<Register> calleeSaved;
    std::vector<Register> volatiles;    // overwritten by every trap, the result register aside
    int tebRegister;                    // -1, or the register holding the TEB's address (never written)
    bool segmentPrefixes;               // x86 family: fs: and gs: reach the TEB
    bool portInstructions;              // IN and OUT exist: the DLL carries the register transport
};

// Thrown by the guest-memory functions for an address the guest has not mapped.
struct GuestFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class EmulatedDll {
public:
    using Report = std::function<void(const std::string&)>;

    // Loads at base (0: the preferred base). Throws LoadError for a file it
    // cannot load, an import outside the driver's KERNEL32 imports included
    // (the run-time functions among them). DllMain is not called yet.
    EmulatedDll(const PeImage& image, uint64_t base, Report report);
    // The processor of an image; throws LoadError for one this loader does
    // not run.
    static const Machine& MachineOf(const PeImage& image);
    EmulatedDll(const EmulatedDll&) = delete;
    EmulatedDll& operator=(const EmulatedDll&) = delete;

    const Machine& machine;
    uint64_t Base() const { return base; }
    bool Broken() const { return broken; }

    // DllMain with DLL_PROCESS_ATTACH (1) or DLL_PROCESS_DETACH (0); false
    // when it reports failure or faults.
    bool CallEntry(uint32_t reason);
    // An export by name, with a host's caller-cleans call; throws LoadError
    // for a name the DLL does not export.
    uint64_t CallExport(const std::string& name, const std::vector<uint64_t>& arguments);
    // Copies bytes to where a host keeps an export's argument, ending at the
    // end of a mapped region so that a read past them faults; one region per
    // level of nesting.
    uint64_t PlaceArgument(const void* bytes, size_t size);

    // From now on, counts the instructions the DLL's own code executes
    // (KERNEL32 and the key callback are traps, outside it). A hook on every
    // instruction: for measurements, not for the scenarios.
    void CountInstructions();
    uint64_t Instructions() const { return instructions; }

    // The address to pass as the key callback; its calls come to onKey.
    static uint64_t KeyCallbackAddress();
    std::function<void(uint32_t code, uint32_t argument)> onKey;

    // Guest memory for the KERNEL32 traps; each throws GuestFault.
    Bytes Read(uint64_t address, uint64_t size);
    void Write(uint64_t address, const void* bytes, size_t size);
    // Up to limit characters, fewer when a terminator comes first.
    std::string ReadString(uint64_t address, size_t limit = 4096);
    // The trap that serves a KERNEL32 function, imported or run-time: what
    // GetProcAddress gives the guest. GuestFault for one without a trap.
    uint64_t TrapOf(const std::string& function) const;
    // The double's heap as the guest sees it.
    uint64_t GuestAddress(const void* heapBlock) const;
    void* HostPointer(uint64_t guestAddress) const;

private:
    struct Stub {
        std::string name;
        unsigned arguments;
        std::function<uint64_t(const std::vector<uint64_t>&)> serve;
    };
    struct Fault {
        int type = -1;
        uint64_t address = 0;
        int size = 0;
    };

    uint64_t Call(const std::string& what, uint64_t function, const std::vector<uint64_t>& arguments, bool winapi);
    void Run(uint64_t pc);
    void Serve(const Stub& stub);
    void Fail(const std::string& message);
    std::string DescribeStop(uc_err error, uint64_t pc) const;
    uint64_t Reg(int id) const;
    void SetReg(int id, uint64_t value);
    uint64_t ReadWord(uint64_t address);
    void WriteWord(uint64_t address, uint64_t value);
    std::string Where(uint64_t address) const;
    uint64_t Poison(size_t index) const;

    static void OnBlock(uc_engine*, uint64_t, uint32_t, void* self);
    static void OnInstruction(uc_engine*, uint64_t, uint32_t, void* self);
    static bool OnInvalidMemory(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* self);
    static uint32_t OnIn(uc_engine*, uint32_t port, int size, void* self);
    static void OnOut(uc_engine*, uint32_t port, int size, uint32_t value, void* self);

    struct Closer {
        void operator()(uc_engine* engine) const { uc_close(engine); }
    };
    std::unique_ptr<uc_engine, Closer> engine;
    uc_engine* uc = nullptr;
    uint64_t base = 0, imageSize = 0, entry = 0;
    std::vector<std::pair<std::string, uint64_t>> exports;
    std::vector<Stub> stubs; // the KERNEL32 functions, one trap each
    Stub keyCallback;
    std::vector<std::string> calls; // the calls in progress, outermost first
    Report report;
    Fault fault;
    bool broken = false;
    uint64_t blocks = 0; // run by the outermost call in progress
    uint64_t instructions = 0;
    bool counting = false;
};

} // namespace emu

#endif
