#include "EmulatedDll.h"

#include <algorithm>
#include <strings.h>

#include "Kernel32Imports.h"
#include "Win32Double.h"
#include "ports/PortIo.h"

namespace emu {

namespace {

// Where things live in the guest. Nothing is ever mapped in the first
// 64 KB, so null pointers and (with a segment base of 0) fs: and gs: fault;
// the trap addresses and the TEB are never mapped either.
enum : uint64_t {
    StackBase = 0x00100000, StackSize = 0x00100000,
    ArgumentBase = 0x00300000, ArgumentSize = 0x00010000, ArgumentStride = 0x00020000,
    HeapBase = 0x00400000,
    TebAddress = 0x7FFD0000,
    TrapBase = 0x7FFE0000, TrapSize = 0x10, KeyTrap = TrapBase + 0x800, ReturnTrap = TrapBase + 0xF00,
    MaxDepth = 4, PageSize = 0x1000,
};

uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

const std::vector<Machine>& Machines()
{
    static const std::vector<Machine> table = {
        { "x86", 0x014C, 4, UC_ARCH_X86, UC_MODE_32, { UC_X86_REG_EIP, "eip" }, { UC_X86_REG_ESP, "esp" },
          UC_X86_REG_EAX, {}, 0, -1, 4, true,
          { { UC_X86_REG_EBX, "ebx" }, { UC_X86_REG_ESI, "esi" }, { UC_X86_REG_EDI, "edi" }, { UC_X86_REG_EBP, "ebp" } },
          { { UC_X86_REG_ECX, "ecx" }, { UC_X86_REG_EDX, "edx" } }, -1, true, true },
        { "x64", 0x8664, 8, UC_ARCH_X86, UC_MODE_64, { UC_X86_REG_RIP, "rip" }, { UC_X86_REG_RSP, "rsp" },
          UC_X86_REG_RAX, { UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8, UC_X86_REG_R9 }, 32, -1, 16, false,
          { { UC_X86_REG_RBX, "rbx" }, { UC_X86_REG_RBP, "rbp" }, { UC_X86_REG_RDI, "rdi" }, { UC_X86_REG_RSI, "rsi" },
            { UC_X86_REG_R12, "r12" }, { UC_X86_REG_R13, "r13" }, { UC_X86_REG_R14, "r14" }, { UC_X86_REG_R15, "r15" } },
          { { UC_X86_REG_RCX, "rcx" }, { UC_X86_REG_RDX, "rdx" }, { UC_X86_REG_R8, "r8" }, { UC_X86_REG_R9, "r9" },
            { UC_X86_REG_R10, "r10" }, { UC_X86_REG_R11, "r11" } },
          -1, true, true },
        { "arm64", 0xAA64, 8, UC_ARCH_ARM64, UC_MODE_ARM, { UC_ARM64_REG_PC, "pc" }, { UC_ARM64_REG_SP, "sp" },
          UC_ARM64_REG_X0,
          { UC_ARM64_REG_X0, UC_ARM64_REG_X1, UC_ARM64_REG_X2, UC_ARM64_REG_X3, UC_ARM64_REG_X4, UC_ARM64_REG_X5,
            UC_ARM64_REG_X6, UC_ARM64_REG_X7 },
          0, UC_ARM64_REG_X30, 16, false,
          { { UC_ARM64_REG_X19, "x19" }, { UC_ARM64_REG_X20, "x20" }, { UC_ARM64_REG_X21, "x21" }, { UC_ARM64_REG_X22, "x22" },
            { UC_ARM64_REG_X23, "x23" }, { UC_ARM64_REG_X24, "x24" }, { UC_ARM64_REG_X25, "x25" }, { UC_ARM64_REG_X26, "x26" },
            { UC_ARM64_REG_X27, "x27" }, { UC_ARM64_REG_X28, "x28" }, { UC_ARM64_REG_X29, "x29" }, { UC_ARM64_REG_D8, "d8" },
            { UC_ARM64_REG_D9, "d9" }, { UC_ARM64_REG_D10, "d10" }, { UC_ARM64_REG_D11, "d11" }, { UC_ARM64_REG_D12, "d12" },
            { UC_ARM64_REG_D13, "d13" }, { UC_ARM64_REG_D14, "d14" }, { UC_ARM64_REG_D15, "d15" } },
          { { UC_ARM64_REG_X1, "x1" }, { UC_ARM64_REG_X2, "x2" }, { UC_ARM64_REG_X3, "x3" }, { UC_ARM64_REG_X4, "x4" },
            { UC_ARM64_REG_X5, "x5" }, { UC_ARM64_REG_X6, "x6" }, { UC_ARM64_REG_X7, "x7" }, { UC_ARM64_REG_X8, "x8" },
            { UC_ARM64_REG_X9, "x9" }, { UC_ARM64_REG_X10, "x10" }, { UC_ARM64_REG_X11, "x11" }, { UC_ARM64_REG_X12, "x12" },
            { UC_ARM64_REG_X13, "x13" }, { UC_ARM64_REG_X14, "x14" }, { UC_ARM64_REG_X15, "x15" }, { UC_ARM64_REG_X16, "x16" },
            { UC_ARM64_REG_X17, "x17" } },
          UC_ARM64_REG_X18, false, false },
    };
    return table;
}

} // namespace

const Machine& EmulatedDll::MachineOf(const PeImage& image)
{
    std::string known;
    for (const auto& m : Machines()) {
        if (m.peMachine == image.machine && m.pointerSize != image.pointerSize)
            throw LoadError(std::string("a ") + (image.pointerSize == 4 ? "PE32" : "PE32+") + " header for " + m.name);
        if (m.peMachine == image.machine)
            return m;
        known += std::string(known.empty() ? "" : ", ") + m.name + " " + Hex(m.peMachine, 2);
    }
    throw LoadError("machine " + Hex(image.machine, 2) + " is not one this loader runs (" + known + ")");
}

EmulatedDll::EmulatedDll(const PeImage& image, uint64_t loadBase, Report reportTo)
    : machine(MachineOf(image)), base(loadBase ? loadBase : image.imageBase), report(std::move(reportTo))
{
    imageSize = AlignUp(image.sizeOfImage, PageSize);
    entry = image.entryRva ? base + image.entryRva : 0;
    auto overlaps = [&](uint64_t low, uint64_t high) { return base < high && base + imageSize > low; };
    if (base % 0x10000 != 0 || overlaps(0, HeapBase + win32double::Heap::Size) || overlaps(TebAddress, TrapBase + PageSize))
        throw LoadError("cannot load at " + Hex(base, machine.pointerSize) + ": not free or not on a 64 KB boundary");
    Bytes laid = image.Layout();

    const uint64_t delta = base - image.imageBase;
    if (delta != 0 && image.relocations.empty())
        throw LoadError("the DLL has no base relocations: it can load only at its preferred base " +
                        Hex(image.imageBase, machine.pointerSize));
    for (uint32_t rva : image.relocations) {
        uint64_t value = 0;
        std::copy_n(&laid[rva], machine.pointerSize, reinterpret_cast<uint8_t*>(&value));
        value += delta;
        std::copy_n(reinterpret_cast<const uint8_t*>(&value), machine.pointerSize, &laid[rva]);
    }

    // The import address table is filled before the sections are
    // protected: on some processors it lies in read-only data.
    for (const auto& import : image.imports) {
        const auto& table = Kernel32Imports();
        auto fn = std::find_if(table.begin(), table.end(), [&](const Kernel32Function& f) { return import.name == f.name; });
        if (strcasecmp(import.dll.c_str(), "KERNEL32.dll") != 0 || fn == table.end())
            throw LoadError("imports " + import.dll + "!" + import.name + ", which is not one of the " +
                            std::to_string(table.size()) + " KERNEL32 functions the driver may import");
        uint64_t trap = TrapBase + TrapSize * stubs.size();
        std::copy_n(reinterpret_cast<const uint8_t*>(&trap), machine.pointerSize, &laid[import.slotRva]);
        stubs.push_back({ fn->name, fn->arguments, [this, fn](const std::vector<uint64_t>& a) { return fn->serve(*this, a); } });
    }
    // Traps with no import slot: only GetProcAddress hands them out.
    for (const auto& fn : Kernel32RunTimeFunctions())
        stubs.push_back({ fn.name, fn.arguments, [this, &fn](const std::vector<uint64_t>& a) { return fn.serve(*this, a); } });
    for (const auto& e : image.exports)
        exports.emplace_back(e.first, base + e.second);

    uc_err error = uc_open(machine.arch, machine.mode, &uc);
    if (error != UC_ERR_OK)
        throw LoadError(std::string("cannot start the emulator: ") + uc_strerror(error));
    engine.reset(uc);
    auto map = [&](uint64_t at, uint64_t size, uint32_t protection, void* memory = nullptr) {
        uc_err e = memory ? uc_mem_map_ptr(uc, at, size, protection, memory) : uc_mem_map(uc, at, size, protection);
        if (e != UC_ERR_OK)
            throw LoadError("cannot map " + Hex(at, machine.pointerSize) + ": " + uc_strerror(e));
    };
    map(base, imageSize, UC_PROT_READ);
    uc_mem_write(uc, base, laid.data(), laid.size());
    for (const auto& s : image.sections) {
        uint32_t protection = (s.read ? UC_PROT_READ : 0) | (s.write ? UC_PROT_WRITE : 0) | (s.execute ? UC_PROT_EXEC : 0);
        uint64_t size = AlignUp(std::max(s.virtualSize, s.fileSize), image.sectionAlignment);
        uc_mem_protect(uc, base + s.rva, std::min(size, imageSize - s.rva), protection);
    }
    map(StackBase, StackSize, UC_PROT_READ | UC_PROT_WRITE);
    for (uint64_t level = 0; level < MaxDepth; ++level)
        map(ArgumentBase + level * ArgumentStride, ArgumentSize, UC_PROT_READ | UC_PROT_WRITE);
    map(HeapBase, win32double::Heap::Size, UC_PROT_READ | UC_PROT_WRITE, win32double::Win32Double::Get().heap.Memory());

    keyCallback = { "the host's key callback", 2, [this](const std::vector<uint64_t>& a) {
                       if (onKey)
                           onKey(uint32_t(a[0]), uint32_t(a[1]));
                       return uint64_t{ 0 };
                   } };
    uc_hook hook;
    uc_hook_add(uc, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(OnInvalidMemory), this, 1, 0);
    uc_hook_add(uc, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(OnBlock), this, 1, 0);
    if (machine.portInstructions) {
        uc_hook_add(uc, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(OnIn), this, 1, 0, UC_X86_INS_IN);
        uc_hook_add(uc, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(OnOut), this, 1, 0, UC_X86_INS_OUT);
    }
    if (machine.tebRegister >= 0)
        SetReg(machine.tebRegister, TebAddress);
}

uint64_t EmulatedDll::KeyCallbackAddress() { return KeyTrap; }

void EmulatedDll::CountInstructions()
{
    if (counting)
        return;
    uc_hook hook;
    if (uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(OnInstruction), this, base, base + imageSize - 1) !=
        UC_ERR_OK)
        throw LoadError("cannot count instructions");
    counting = true;
}

bool EmulatedDll::CallEntry(uint32_t reason)
{
    if (entry == 0)
        return true;
    uint64_t result = Call(reason ? "DllMain (process attach)" : "DllMain (process detach)", entry, { base, reason, 0 }, true);
    return !broken && uint32_t(result) != 0;
}

uint64_t EmulatedDll::CallExport(const std::string& name, const std::vector<uint64_t>& arguments)
{
    auto it = std::find_if(exports.begin(), exports.end(), [&](const auto& e) { return e.first == name; });
    if (it == exports.end())
        throw LoadError("the DLL does not export " + name);
    return Call(name, it->second, arguments, false);
}

uint64_t EmulatedDll::PlaceArgument(const void* bytes, size_t size)
{
    if (size > ArgumentSize)
        throw GuestFault("an argument of " + std::to_string(size) + " bytes does not fit the argument region");
    uint64_t at = ArgumentBase + std::min<uint64_t>(calls.size(), MaxDepth - 1) * ArgumentStride + ArgumentSize - size;
    Write(at, bytes, size);
    return at;
}

uint64_t EmulatedDll::Call(const std::string& what, uint64_t function, const std::vector<uint64_t>& arguments, bool winapi)
{
    if (broken)
        return 0;
    if (calls.size() == MaxDepth) {
        Fail(what + " nested " + std::to_string(MaxDepth) + " calls deep");
        return 0;
    }
    // The caller's registers come back whatever the guest does, so that a
    // call from inside the key callback leaves the interrupted call intact.
    uc_context* saved = nullptr;
    uc_context_alloc(uc, &saved);
    uc_context_save(uc, saved);
    const Machine& m = machine;
    const unsigned ps = m.pointerSize;
    uint64_t top = calls.empty() ? StackBase + StackSize : Reg(m.sp.id) - 256;
    if (calls.empty())
        blocks = 0;
    calls.push_back(what);

    size_t inRegisters = std::min(arguments.size(), m.argumentRegisters.size());
    size_t onStack = arguments.size() - inRegisters;
    uint64_t sp = (top - m.shadowSpace - onStack * ps) / m.stackAlignment * m.stackAlignment;
    for (size_t i = 0; i < onStack; ++i)
        WriteWord(sp + m.shadowSpace + i * ps, arguments[inRegisters + i]);
    for (size_t i = 0; i < inRegisters; ++i)
        SetReg(m.argumentRegisters[i], arguments[i]);
    if (m.linkRegister < 0) {
        sp -= ps;
        WriteWord(sp, ReturnTrap);
    } else {
        SetReg(m.linkRegister, ReturnTrap);
    }
    SetReg(m.sp.id, sp);
    const uint64_t mask = ps == 8 ? ~uint64_t{ 0 } : 0xFFFFFFFFu;
    std::vector<uint64_t> sentinels;
    for (size_t i = 0; i < m.calleeSaved.size(); ++i) {
        sentinels.push_back((0x5EED5EED00000000u | (0x01010101u * (i + 1))) & mask);
        SetReg(m.calleeSaved[i].id, sentinels.back());
    }

    Run(function);

    uint64_t result = Reg(m.result);
    if (!broken) {
        int64_t moved = int64_t(Reg(m.sp.id) - sp);
        int64_t expected = (m.linkRegister < 0 ? ps : 0) + int64_t((winapi && m.winapiPopsArguments ? onStack : 0) * ps);
        if (moved != expected)
            Fail(std::string(m.sp.name) + " moved by " + std::to_string(moved) + " bytes across the call, expected " +
                 std::to_string(expected) +
                 (winapi ? " (the callee removes its arguments)" : " (the caller removes the arguments)"));
        for (size_t i = 0; i < m.calleeSaved.size() && !broken; ++i)
            if ((Reg(m.calleeSaved[i].id) & mask) != sentinels[i])
                Fail(std::string(m.calleeSaved[i].name) + " is not preserved: " + Hex(sentinels[i], ps) +
                     " at the call, " + Hex(Reg(m.calleeSaved[i].id) & mask, ps) + " after the return");
        if (m.tebRegister >= 0 && Reg(m.tebRegister) != TebAddress && !broken)
            Fail("the platform register that holds the TEB was written");
    }
    calls.pop_back();
    uc_context_restore(uc, saved);
    uc_context_free(saved);
    return result;
}

void EmulatedDll::Run(uint64_t pc)
{
    while (!broken) {
        fault = Fault();
        uc_err error = uc_emu_start(uc, pc, ReturnTrap, 0, 0);
        pc = Reg(machine.pc.id);
        if (broken || (error == UC_ERR_OK && pc == ReturnTrap))
            return;
        uint64_t trap = fault.address - TrapBase;
        if (fault.type == UC_MEM_FETCH_UNMAPPED && fault.address >= TrapBase && trap % TrapSize == 0 &&
            trap / TrapSize < stubs.size()) {
            Serve(stubs[trap / TrapSize]);
        } else if (fault.type == UC_MEM_FETCH_UNMAPPED && fault.address == KeyTrap) {
            Serve(keyCallback);
        } else {
            Fail(DescribeStop(error, pc));
            return;
        }
        pc = Reg(machine.pc.id);
    }
}

void EmulatedDll::Serve(const Stub& stub)
{
    const Machine& m = machine;
    const unsigned ps = m.pointerSize;
    try {
        uint64_t sp = Reg(m.sp.id);
        unsigned returnAddress = m.linkRegister < 0 ? ps : 0;
        if ((sp + returnAddress) % m.stackAlignment != 0)
            throw GuestFault(std::string(m.sp.name) + " is " + Hex(sp, ps) + " at the call, not aligned to " +
                             std::to_string(m.stackAlignment) + " bytes");
        std::vector<uint64_t> arguments(stub.arguments);
        size_t inRegisters = std::min<size_t>(stub.arguments, m.argumentRegisters.size());
        for (size_t i = 0; i < stub.arguments; ++i)
            arguments[i] = i < inRegisters ? Reg(m.argumentRegisters[i])
                                           : ReadWord(sp + returnAddress + m.shadowSpace + (i - inRegisters) * ps);
        uint64_t result = stub.serve(arguments);
        if (broken)
            return;
        SetReg(m.result, result);
        for (size_t i = 0; i < m.volatiles.size(); ++i)
            if (m.volatiles[i].id != m.result)
                SetReg(m.volatiles[i].id, Poison(i));
        if (m.linkRegister < 0) {
            uint64_t back = ReadWord(sp);
            SetReg(m.sp.id, sp + ps + (m.winapiPopsArguments ? (stub.arguments - inRegisters) * ps : 0));
            SetReg(m.pc.id, back);
        } else {
            SetReg(m.pc.id, Reg(m.linkRegister));
        }
    } catch (const GuestFault& f) {
        Fail("calling " + stub.name + ": " + f.what());
    }
}

void EmulatedDll::Fail(const std::string& message)
{
    if (broken)
        return;
    broken = true;
    uc_emu_stop(uc);
    std::string during;
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        during += (during.empty() ? " during " : ", inside ") + *it;
    report(std::string(machine.name) + " DLL at " + Hex(base, machine.pointerSize) + ": " + message + during);
}

std::string EmulatedDll::DescribeStop(uc_err error, uint64_t pc) const
{
    const unsigned ps = machine.pointerSize;
    // In the order of uc_mem_type: the unmapped kinds, then write, read and fetch protection.
    static const char* const kinds[] = { "read", "write", "fetch", "write", "read", "fetch" };
    if (fault.type >= UC_MEM_READ_UNMAPPED && fault.type <= UC_MEM_FETCH_PROT) {
        bool unmapped = fault.type <= UC_MEM_FETCH_UNMAPPED;
        std::string text = std::string(unmapped ? "unmapped " : "protected ") + kinds[fault.type - UC_MEM_READ_UNMAPPED] +
                           " of " + std::to_string(fault.size) + " bytes at " + Hex(fault.address, ps);
        if (fault.address >= TebAddress && fault.address < TebAddress + 0x2000)
            text += " (the TEB)";
        if (fault.address - Poison(0) < 16 * (machine.volatiles.size() + 1))
            text += " (a volatile register's value after a KERNEL32 call, which the DLL took to survive it)";
        if (machine.segmentPrefixes && fault.type != UC_MEM_FETCH_UNMAPPED) {
            uint8_t code[15] = {};
            uc_mem_read(uc, pc, code, sizeof code);
            for (uint8_t b : code) {
                if (b == 0x64 || b == 0x65) {
                    text += b == 0x64 ? " through fs:, where Windows keeps the TEB" : " through gs:, where Windows keeps the TEB";
                    break;
                }
                bool prefix = b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x66 || b == 0x67 || b >= 0xF0 ||
                              (ps == 8 && (b & 0xF0) == 0x40);
                if (!prefix)
                    break;
            }
        }
        return text + ", pc " + Where(pc);
    }
    if (error == UC_ERR_EXCEPTION)
        return "the processor raised an exception (int3, ud2, a division by zero or the like) at " + Where(pc);
    return std::string("emulation stopped (") + uc_strerror(error) + ") at " + Where(pc);
}

// What a trap leaves in the volatile registers: addresses that are never
// mapped, so that a DLL relying on one faults where it uses it.
uint64_t EmulatedDll::Poison(size_t index) const
{
    return (machine.pointerSize == 8 ? 0xDEAD00000000u : 0xDEAD0000u) + 16 * index;
}

std::string EmulatedDll::Where(uint64_t address) const
{
    std::string text = Hex(address, machine.pointerSize);
    if (address >= base && address < base + imageSize)
        text += " (RVA " + Hex(address - base) + ")";
    return text;
}

// A call that runs this many basic blocks is taken for one that never
// returns: the longest the driver makes, BrlInit's 2000 ms wait on the tick
// clock, runs some thousands.
void EmulatedDll::OnBlock(uc_engine*, uint64_t, uint32_t, void* self)
{
    auto* dll = static_cast<EmulatedDll*>(self);
    if (++dll->blocks == 20000000)
        dll->Fail("20 million blocks without a return: a loop that does not end");
}

void EmulatedDll::OnInstruction(uc_engine*, uint64_t, uint32_t, void* self) { ++static_cast<EmulatedDll*>(self)->instructions; }

bool EmulatedDll::OnInvalidMemory(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* self)
{
    static_cast<EmulatedDll*>(self)->fault = { type, address, size };
    return false;
}

// The register transport's instructions, served by the same simulated port
// as the native tests' PortIn and PortOut.
uint32_t EmulatedDll::OnIn(uc_engine*, uint32_t port, int size, void* self)
{
    if (size != 1)
        static_cast<EmulatedDll*>(self)->Fail("IN of " + std::to_string(size) + " bytes from port " + Hex(port, 2));
    return PortIn(static_cast<unsigned short>(port));
}

void EmulatedDll::OnOut(uc_engine*, uint32_t port, int size, uint32_t value, void* self)
{
    if (size != 1)
        static_cast<EmulatedDll*>(self)->Fail("OUT of " + std::to_string(size) + " bytes to port " + Hex(port, 2));
    PortOut(static_cast<unsigned short>(port), static_cast<unsigned char>(value));
}

uint64_t EmulatedDll::Reg(int id) const
{
    uint64_t value = 0;
    uc_reg_read(uc, id, &value);
    return value;
}

void EmulatedDll::SetReg(int id, uint64_t value) { uc_reg_write(uc, id, &value); }

Bytes EmulatedDll::Read(uint64_t address, uint64_t size)
{
    if (size > (1u << 20))
        throw GuestFault("a buffer of " + std::to_string(size) + " bytes at " + Hex(address, machine.pointerSize));
    Bytes bytes(size);
    if (size && uc_mem_read(uc, address, bytes.data(), size) != UC_ERR_OK)
        throw GuestFault("unmapped guest memory at " + Hex(address, machine.pointerSize) + " (" + std::to_string(size) +
                         " bytes)");
    return bytes;
}

void EmulatedDll::Write(uint64_t address, const void* bytes, size_t size)
{
    if (size && uc_mem_write(uc, address, bytes, size) != UC_ERR_OK)
        throw GuestFault("unmapped guest memory at " + Hex(address, machine.pointerSize) + " (" + std::to_string(size) +
                         " bytes)");
}

std::string EmulatedDll::ReadString(uint64_t address, size_t limit)
{
    std::string text;
    for (char c; text.size() < limit && (c = char(Read(address + text.size(), 1)[0])) != '\0';)
        text += c;
    return text;
}

uint64_t EmulatedDll::ReadWord(uint64_t address)
{
    Bytes bytes = Read(address, machine.pointerSize);
    uint64_t value = 0;
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<uint8_t*>(&value));
    return value;
}

void EmulatedDll::WriteWord(uint64_t address, uint64_t value) { Write(address, &value, machine.pointerSize); }

uint64_t EmulatedDll::TrapOf(const std::string& function) const
{
    auto it = std::find_if(stubs.begin(), stubs.end(), [&](const Stub& s) { return s.name == function; });
    if (it == stubs.end())
        throw GuestFault("the double has " + function + ", for which the loader has no trap");
    return TrapBase + TrapSize * uint64_t(it - stubs.begin());
}

uint64_t EmulatedDll::GuestAddress(const void* heapBlock) const
{
    auto& heap = win32double::Win32Double::Get().heap;
    return heapBlock ? HeapBase + uint64_t(static_cast<const uint8_t*>(heapBlock) - heap.Memory()) : 0;
}

void* EmulatedDll::HostPointer(uint64_t guestAddress) const
{
    auto& heap = win32double::Win32Double::Get().heap;
    if (guestAddress >= HeapBase && guestAddress < HeapBase + win32double::Heap::Size)
        return heap.Memory() + (guestAddress - HeapBase);
    // Not a block of this heap: the double refuses it as the system would.
    return reinterpret_cast<void*>(uintptr_t(guestAddress));
}

} // namespace emu
