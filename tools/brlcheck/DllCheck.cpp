#include "DllCheck.h"

#include "BrailleDll.h"
#include "CommandLine.h"
#include "StepResults.h"
#include "Text.h"

DllCheck::DllCheck(const CheckOptions& checkOptions, StepResults& stepResults, BrailleDll& brailleDll)
    : options(checkOptions), results(stepResults), dll(brailleDll), examined(false)
{
    path[0] = '\0';
}

bool DllCheck::Locate()
{
    DWORD length = 0;
    char* fileName = NULL;
    if (options.dll != NULL) {
        length = GetFullPathNameA(options.dll, MAX_PATH, path, &fileName);
    } else {
        // The DLL that came in the same folder as this program.
        char program[MAX_PATH];
        DWORD n = GetModuleFileNameA(NULL, program, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return false;
        int slash = -1;
        for (int i = 0; program[i] != '\0'; ++i)
            if (program[i] == '\\' || program[i] == '/')
                slash = i;
        program[slash + 1] = '\0';
        Text beside;
        beside.Add(program).Add("brlwin32.dll");
        if (beside.Length() >= MAX_PATH)
            return false;
        Text::Copy(path, MAX_PATH, beside.Chars());
        length = (DWORD)beside.Length();
    }
    return length > 0 && length < MAX_PATH;
}

bool DllCheck::Run()
{
    Text line;
    line.Add("DLL: ");
    if (!Locate()) {
        line.Add("FAILED: the path of brlwin32.dll is longer than Windows allows");
        results.Record(line, StepResults::Failed);
        return false;
    }
    DllFile::Result result = file.Examine(path);
    examined = result == DllFile::Examined;
    if (result == DllFile::Missing) {
        line.Add("FAILED: there is no ").Add(path).Add(". Put brlcheck.exe in the folder of the brlwin32.dll "
                                                       "to check, or name that DLL with --dll");
    } else if (result == DllFile::Unreadable) {
        line.Add("FAILED: ").Add(path).Add(" cannot be read, error ").Number(file.Error());
    } else if (result == DllFile::NotAnImage) {
        line.Add("FAILED: ").Add(path).Add(" is not a Windows DLL");
    }
    if (!examined) {
        results.Record(line, StepResults::Failed);
        return false;
    }

    const char* dllMachine = DllFile::MachineName(file.Machine());
    const char* ownMachine = DllFile::MachineName(DllFile::ProcessMachine());
    Text facts;
    facts.Add(path).Add(", version ");
    file.AddVersion(facts);
    if (file.Machine() != DllFile::ProcessMachine()) {
        line.Add("FAILED: ").Add(facts);
        if (dllMachine == NULL) {
            line.Add(", is for the machine 0x").Hex(file.Machine(), 4).Add(", for which there is no kit");
        } else {
            // The DLL belongs to the host that uses it: the check must run in
            // a process of that host's processor, which the DLL's own kit has.
            line.Add(", is ").Add(dllMachine).Add(", and this program is ").Add(ownMachine)
                .Add(". Windows loads a DLL only into a program of its own processor: check this DLL with the "
                     "brlcheck.exe of the ")
                .Add(DllFile::KitName(file.Machine())).Add(" kit");
            if (file.HasVersion()) {
                line.Add(", brlwin32-");
                file.AddVersion(line);
                line.Add('-').Add(DllFile::KitName(file.Machine())).Add(".zip");
            }
        }
        results.Record(line, StepResults::Failed);
        return false;
    }
    facts.Add(", ").Add(dllMachine).Add("; this program is ").Add(ownMachine);
    DWORD error = 0;
    const char* missing = NULL;
    if (!dll.Load(path, error, missing)) {
        line.Add("FAILED: ").Add(facts);
        if (missing != NULL)
            line.Add(", but the DLL has no export ").Add(missing);
        else
            line.Add(", but Windows did not load it, error ").Number(error);
        results.Record(line, StepResults::Failed);
        return false;
    }
    line.Add(facts).Add(": ok");
    results.Record(line, StepResults::Ok);
    return true;
}
