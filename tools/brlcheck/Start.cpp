// brlcheck's entry point. The program links no C runtime, as the DLL it
// checks: the first Windows 95 release has no msvcrt.dll, and Debian has no
// C runtime for ARM64 Windows. So there is no main(): the system calls
// BrlcheckStart, which reads the command line itself and ends the process
// with ExitProcess.
#include <windows.h>

#include "CommandLine.h"
#include "DisplayCheck.h"
#include "Text.h"
#include "Transcript.h"

namespace {

// Runs on a thread the system starts for the console event. It only asks
// the check to stop: the check's thread lets the display go, writes the
// report and ends the process.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    DisplayCheck::Interrupt();
    return TRUE;
}

} // namespace

extern "C" void WINAPI BrlcheckStart(void)
{
    Transcript transcript;
    const char* commandLine = GetCommandLineA();
    CheckOptions options;
    Text error;
    if (!ParseCommandLine(commandLine, options, error)) {
        transcript.Say(error);
        for (int i = 0; UsageText[i] != 0; ++i)
            transcript.Say(UsageText[i]);
        ExitProcess(DisplayCheck::BadUsage);
    }
    DWORD reportError = 0;
    if (!transcript.OpenReport(options.report, reportError)) {
        Text line;
        line.Add("The report cannot be written to ").Add(options.report).Add(", error ").Number(reportError)
            .Add("; the steps are shown here only.");
        transcript.Say(line);
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    DisplayCheck check(options, transcript);
    ExitProcess((UINT)check.Run(commandLine));
}
