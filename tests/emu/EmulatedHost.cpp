#include "EmulatedHost.h"

#include <fstream>
#include <iterator>
#include <map>

namespace emu {

namespace {

void ReportFailure(const std::string& message) { ADD_FAILURE() << message; }

} // namespace

EmulatedHost::EmulatedHost(std::string dllPath, bool otherBase) : path(std::move(dllPath)), elsewhere(otherBase) {}

EmulatedHost::~EmulatedHost() { Detach(); }

const PeImage& EmulatedHost::Image(const std::string& path)
{
    static std::map<std::string, PeImage> parsed;
    auto it = parsed.find(path);
    if (it == parsed.end())
        it = parsed.emplace(path, PeImage::Parse(FileBytes(path))).first;
    return it->second;
}

bool EmulatedHost::PortInstructions(const std::string& path)
{
    try {
        return EmulatedDll::MachineOf(Image(path)).portInstructions;
    } catch (const LoadError&) {
        return true;
    }
}

Bytes EmulatedHost::FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw LoadError("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

void EmulatedHost::Attach()
{
    Detach();
    broken = false;
    try {
        const PeImage& image = Image(path);
        // Well away from the preferred base, and above 4 GB for a 64-bit DLL.
        uint64_t other = image.pointerSize == 4 ? 0x10000000 : 0x7FF700000000;
        uint64_t base = !elsewhere ? 0 : image.imageBase == other ? other + 0x10000000 : other;
        dll = std::make_unique<EmulatedDll>(image, base, ReportFailure);
        for (const char* name : { "BrlInit", "BrlTerminate", "BrlDisplay", "BrlDisplayStatus", "BrlClear", "BrlRefresh",
                                  "BrlSleep", "BrlTimer" })
            if (image.exports.count(name) == 0)
                throw LoadError(std::string("expected the export ") + name + ", got none");
    } catch (const LoadError& e) {
        dll.reset();
        ADD_FAILURE() << path << ": " << e.what();
        return;
    }
    dll->onKey = [this](uint32_t code, uint32_t argument) {
        if (callback)
            callback(code, argument);
    };
    if (!dll->CallEntry(1) && !dll->Broken())
        ADD_FAILURE() << path << ": DllMain refused to attach";
}

void EmulatedHost::Detach()
{
    if (dll && !dll->Broken() && !dll->CallEntry(0) && !dll->Broken())
        ADD_FAILURE() << path << ": DllMain failed to detach";
    broken = Broken();
    dll.reset();
}

int EmulatedHost::Init(const char* portName, KeyCallback keyCallback)
{
    if (keyCallback)
        callback = keyCallback;
    uint64_t name = portName ? Place(portName, std::char_traits<char>::length(portName) + 1) : 0;
    return Call("BrlInit", { name, keyCallback ? EmulatedDll::KeyCallbackAddress() : 0 });
}

int EmulatedHost::Display(testsupport::HostBuffer cells, int count)
{
    return Call("BrlDisplay", { Place(cells.data, cells.size), uint64_t(int64_t(count)) });
}

int EmulatedHost::DisplayStatus(testsupport::HostBuffer cells, int count)
{
    return Call("BrlDisplayStatus", { Place(cells.data, cells.size), uint64_t(int64_t(count)) });
}

uint64_t EmulatedHost::Place(const void* bytes, size_t size)
{
    return bytes && dll ? dll->PlaceArgument(bytes, size) : 0;
}

int EmulatedHost::Call(const char* name, const std::vector<uint64_t>& arguments)
{
    // Results are 32-bit: the upper half of a 64-bit register means nothing.
    return dll ? int(int32_t(dll->CallExport(name, arguments))) : 0;
}

} // namespace emu
