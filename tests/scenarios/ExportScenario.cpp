// The registry the SCENARIO macro adds to while static objects are built, so
// that a runner can register each scenario once per target it has.
#include "ExportScenario.h"

namespace emu {

std::vector<Scenario>& Scenarios()
{
    static std::vector<Scenario> table;
    return table;
}

bool AddScenario(Scenario scenario)
{
    Scenarios().push_back(std::move(scenario));
    return true;
}

} // namespace emu
