// emu_tests: every export scenario (tests/scenarios) once per target, and
// the loader's own checks once per built DLL. The targets are "native" (the driver linked into
// this program) and each DLL of EMU_DLLS ("x86=PATH|x64=PATH|arm64=PATH"),
// set by CMake from the cross builds it was given. Test names are
// <target>.<rest>, so that CTest's emu.<target>.* counts each target's
// cases. The scenarios of the register transport run on the targets that
// have one; on a processor without port instructions, PortNames shows what
// an LPT name on the 95/98 family does there instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "EmulatedHost.h"
#include "ExportScenario.h"
#include "LoaderChecks.h"

namespace {

using emu::EmulatedHost;
using testsupport::Host;

// A test whose body is a function of the DLL's path.
class LoaderTest : public ::testing::Test {
public:
    LoaderTest(void (*check)(const std::string&), std::string path) : check(check), path(std::move(path)) {}
    void TestBody() override { check(path); }

private:
    void (*check)(const std::string&);
    std::string path;
};

// Scenarios that also run with the DLL at another base: between them they
// reach every transport's object, the protocol's tables and the key path.
const char* const Relocated[] = {
    "Identify.ModelRepliesSetTheCellCounts",
    "CellPacket.PacketCarriesStatusThenTextEncoded",
    "KeyInput.CallbackThatPollsAgainReportsEachPacketOnce",
    "PortNames.ReachTheirDevicesOnBothFamilies",
};

void Register(const std::string& target, const std::string& name, const char* file, int line,
              std::function<::testing::Test*()> make)
{
    ::testing::RegisterTest(target.c_str(), name.c_str(), nullptr, nullptr, file, line, std::move(make));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::vector<std::pair<std::string, std::string>> targets = { { "native", "" } };
    // BRLWIN32_EMU_DLLS, in the same form, runs other DLLs by hand.
    const char* chosen = std::getenv("BRLWIN32_EMU_DLLS");
    std::istringstream dlls(chosen ? chosen : EMU_DLLS);
    for (std::string entry; std::getline(dlls, entry, '|');)
        if (entry.find('=') != std::string::npos)
            targets.emplace_back(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));

    for (const auto& target : targets) {
        const std::string path = target.second;
        auto host = [path](bool elsewhere) -> std::unique_ptr<Host> {
            if (path.empty())
                return std::make_unique<testsupport::NativeHost>();
            return std::make_unique<EmulatedHost>(path, elsewhere);
        };
        const bool registers = path.empty() || EmulatedHost::PortInstructions(path);
        for (const auto& s : emu::Scenarios())
            if (registers || !s.usesPortRegisters)
                Register(target.first, s.name, s.file, s.line, [s, host] { return s.make(host(false)); });
        if (path.empty())
            continue;
        for (const char* name : Relocated) {
            auto s = std::find_if(emu::Scenarios().begin(), emu::Scenarios().end(),
                                  [name](const emu::Scenario& e) { return e.name == name; });
            if (s == emu::Scenarios().end()) {
                std::fprintf(stderr, "emu_tests: no scenario %s to run relocated\n", name);
                return 2;
            }
            Register(target.first, std::string("Relocated.") + name, s->file, s->line,
                     [s, host] { return s->make(host(true)); });
        }
        for (const auto& check : emu::LoaderChecks())
            Register(target.first, std::string("Loader.") + check.name, __FILE__, __LINE__,
                     [check, path] { return new LoaderTest(check.run, path); });
    }
    return RUN_ALL_TESTS();
}
