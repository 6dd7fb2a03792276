// A host of a built brlwin32.dll under an emulated processor: attaching
// loads the file afresh and calls DllMain, each export copies its pointer
// argument into the guest, and the key callback of the last BrlInit is
// called from the guest's calls of the callback trap. What the harness
// reports (a fault, a broken calling convention) becomes a test failure.
#ifndef BRLWIN32_EMU_EMULATED_HOST_H
#define BRLWIN32_EMU_EMULATED_HOST_H

#include <memory>
#include <string>
#include <vector>

#include "DriverTestSupport.h"
#include "EmulatedDll.h"

namespace emu {

class EmulatedHost : public testsupport::Host {
public:
    // elsewhere: at a base other than the DLL's preferred one, so that
    // every relocation matters.
    explicit EmulatedHost(std::string dllPath, bool elsewhere = false);
    ~EmulatedHost() override;

    // The DLL's bytes, read and (Image) parsed once per process; both throw
    // LoadError.
    static Bytes FileBytes(const std::string& path);
    static const PeImage& Image(const std::string& path);
    // Whether the DLL's processor has port instructions; true for a file
    // that does not load, which fails every scenario anyway.
    static bool PortInstructions(const std::string& path);

    void Attach() override;
    void Detach() override;
    int Init(const char* portName, KeyCallback callback) override;
    int Terminate() override { return Call("BrlTerminate", {}); }
    int Display(testsupport::HostBuffer cells, int count) override;
    int DisplayStatus(testsupport::HostBuffer cells, int count) override;
    int Clear() override { return Call("BrlClear", {}); }
    int Refresh() override { return Call("BrlRefresh", {}); }
    int Sleep(int flag) override { return Call("BrlSleep", { uint64_t(int64_t(flag)) }); }
    int Timer() override { return Call("BrlTimer", {}); }
    bool Broken() const override { return broken || (dll && dll->Broken()); }
    bool PortRegisters() const override { return PortInstructions(path); }

private:
    int Call(const char* name, const std::vector<uint64_t>& arguments);
    uint64_t Place(const void* bytes, size_t size);

    std::string path;
    bool elsewhere;
    std::unique_ptr<EmulatedDll> dll;
    KeyCallback callback = nullptr;
    bool broken = false;
};

} // namespace emu

#endif
