#include "ClosingReport.h"

#include <windows.h>

#include "CommandLine.h"
#include "DllCheck.h"
#include "StepResults.h"
#include "Text.h"
#include "Transcript.h"

ClosingReport::ClosingReport(const CheckOptions& checkOptions, Transcript& checkTranscript,
                             const StepResults& stepResults, const DllCheck& theDllCheck)
    : options(checkOptions), transcript(checkTranscript), results(stepResults), dllCheck(theDllCheck)
{
}

bool ClosingReport::Write(const char* commandLine, bool interrupted)
{
    if (interrupted) {
        Text line;
        line.Add("interrupted");
        transcript.Record(line);
    }
    WriteFacts(commandLine);
    transcript.CloseReport();
    SaySummary(interrupted);
    SayWhereTheReportIs();
    return !transcript.ReportFailed();
}

void ClosingReport::WriteFacts(const char* commandLine)
{
    // What a bug report needs, and nothing else from the machine.
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    Text text;
    if (GetVersionExA(&version)) {
        // On the 95/98 family the high word of the build holds the version.
        DWORD build = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? version.dwBuildNumber
                                                                    : version.dwBuildNumber & 0xFFFF;
        text.Number(version.dwMajorVersion).Add('.').Number(version.dwMinorVersion).Add(" build ").Number(build);
        if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
            text.Add(", NT family");
        else if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
            text.Add(", 95/98 family");
        else
            text.Add(", platform ").Number(version.dwPlatformId);
        const char* extra = version.szCSDVersion;
        while (*extra == ' ')
            ++extra;
        if (*extra != '\0')
            text.Add(", ").Add(extra);
    } else {
        text.Add("unknown");
    }
    transcript.ReportLine("windows", text.Chars());
    transcript.ReportLine("process", DllFile::MachineName(DllFile::ProcessMachine()));
    const DllFile& dll = dllCheck.File();
    text.Clear();
    const char* machine = dllCheck.Examined() ? DllFile::MachineName(dll.Machine()) : "unknown";
    if (machine == NULL)
        text.Add("machine 0x").Hex(dll.Machine(), 4);
    else
        text.Add(machine);
    transcript.ReportLine("dll", text.Chars());
    transcript.ReportLine("dll path", dllCheck.Path()[0] != '\0' ? dllCheck.Path() : "unknown");
    text.Clear();
    if (dllCheck.Examined())
        dll.AddVersion(text);
    else
        text.Add("unknown");
    transcript.ReportLine("dll version", text.Chars());
    transcript.ReportLine("command line", commandLine);
}

void ClosingReport::SaySummary(bool interrupted)
{
    int failures = results.Failures();
    int withoutKey = results.WithoutKey();
    Text summary;
    summary.Add("Done in ").Seconds(transcript.Elapsed()).Add(": ");
    if (interrupted)
        summary.Add("stopped by Ctrl+C");
    else if (failures == 0)
        summary.Add("every step passed");
    else
        summary.Number((unsigned)failures).Add(failures == 1 ? " step FAILED" : " steps FAILED");
    if (withoutKey > 0)
        summary.Add(", ").Number((unsigned)withoutKey).Add(withoutKey == 1 ? " step" : " steps")
            .Add(" without a key press");
    summary.Add('.');
    transcript.Say(summary);
}

void ClosingReport::SayWhereTheReportIs()
{
    char full[MAX_PATH];
    char* file = NULL;
    DWORD n = GetFullPathNameA(options.report, MAX_PATH, full, &file);
    const char* path = n > 0 && n < MAX_PATH ? full : options.report;
    Text line;
    if (!transcript.ReportFailed())
        line.Add("The report, to attach to a bug report, is ").Add(path).Add('.');
    else
        line.Add("The report could not be written to ").Add(path).Add(", error ").Number(transcript.ReportError())
            .Add('.');
    transcript.Say(line);
}
