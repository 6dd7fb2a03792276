// The loader's own checks, run once per built DLL: what it refuses, and
// what it reports when the guest breaks a rule.
#ifndef BRLWIN32_EMU_LOADER_CHECKS_H
#define BRLWIN32_EMU_LOADER_CHECKS_H

#include <string>
#include <vector>

namespace emu {

struct LoaderCheck {
    const char* name;
    void (*run)(const std::string& dllPath);
};

const std::vector<LoaderCheck>& LoaderChecks();

} // namespace emu

#endif
