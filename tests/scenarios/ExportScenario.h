// The export scenarios: tests that drive the system only through its eight
// exports and the double's devices, written once and run by emu_tests
// against every target, the driver linked natively and each built DLL
// under an emulated processor. A scenario is a test body over `host`:
//
//     SCENARIO(BrailleDriver, ClearOfABlankDisplaySendsNothing)
//     {
//         FakeDevice& d = ReadyDisplay();
//         EXPECT_EQ(1, host.Clear());
//         EXPECT_TRUE(d.writes.empty());
//     }
//
// runs as emu.native.BrailleDriver.ClearOfABlankDisplaySendsNothing,
// emu.x86.BrailleDriver.ClearOfABlankDisplaySendsNothing and so on. The
// first argument is a fixture derived from ExportScenario (its name is the
// scenario's group); a scenario needing nothing more uses ExportScenario's
// plain subclass of its group's name.
#ifndef BRLWIN32_SCENARIOS_EXPORT_SCENARIO_H
#define BRLWIN32_SCENARIOS_EXPORT_SCENARIO_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DriverTestSupport.h"

namespace emu {

class ExportScenario : public testsupport::ExportTest {
public:
    explicit ExportScenario(std::unique_ptr<testsupport::Host> host) : ExportTest(std::move(host)) {}
    // A group whose every scenario drives the register transport sets this:
    // its scenarios run only on targets that have one (Host::PortRegisters).
    static constexpr bool UsesPortRegisters = false;
};

struct Scenario {
    std::string name; // Group.Name
    const char* file;
    int line;
    bool usesPortRegisters;
    std::function<::testing::Test*(std::unique_ptr<testsupport::Host>)> make;
};

std::vector<Scenario>& Scenarios();
bool AddScenario(Scenario scenario);

} // namespace emu

#define SCENARIO(fixture, name)                                                                                     \
    class fixture##_##name : public fixture {                                                                       \
    public:                                                                                                         \
        using fixture::fixture;                                                                                     \
        void TestBody() override;                                                                                   \
    };                                                                                                              \
    const bool fixture##_##name##_added = ::emu::AddScenario(                                                       \
        { #fixture "." #name, __FILE__, __LINE__, fixture::UsesPortRegisters,                                       \
          [](std::unique_ptr<testsupport::Host> host) -> ::testing::Test* {                                         \
              return new fixture##_##name(std::move(host));                                                         \
          } });                                                                                                     \
    void fixture##_##name::TestBody()

// A group whose scenarios need no fixture of their own.
#define SCENARIO_GROUP(group)                                \
    class group : public ::emu::ExportScenario {             \
    public:                                                  \
        using ExportScenario::ExportScenario;                \
    }

#endif
