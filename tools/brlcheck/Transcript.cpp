#include "Transcript.h"

#include "Text.h"

Transcript::Transcript()
    : console(GetStdHandle(STD_OUTPUT_HANDLE)), report(INVALID_HANDLE_VALUE), startTick(GetTickCount()),
      reportFailed(false), reportError(0)
{
}

void Transcript::Start(DWORD tick) { startTick = tick; }

DWORD Transcript::Elapsed() const { return GetTickCount() - startTick; }

bool Transcript::OpenReport(const char* path, DWORD& error)
{
    report = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (report == INVALID_HANDLE_VALUE) {
        reportFailed = true;
        error = reportError = GetLastError();
        return false;
    }
    return true;
}

void Transcript::Write(HANDLE file, const char* text, int length)
{
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE && file != NULL)
        WriteFile(file, text, (DWORD)length, &written, NULL);
}

void Transcript::WriteReport(const char* text, int length)
{
    if (report == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (!WriteFile(report, text, (DWORD)length, &written, NULL) || written != (DWORD)length) {
        // A full disk, a pulled stick: the console still has every line.
        reportFailed = true;
        reportError = GetLastError();
        CloseHandle(report);
        report = INVALID_HANDLE_VALUE;
    }
}

void Transcript::Say(const char* line)
{
    Write(console, line, lstrlenA(line));
    Write(console, "\r\n", 2);
}

void Transcript::Say(const Text& line)
{
    Write(console, line.Chars(), line.Length());
    Write(console, "\r\n", 2);
}

void Transcript::Record(const Text& line)
{
    Say(line);
    Text stamp;
    stamp.Number(Elapsed()).Add(" ms: ");
    WriteReport(stamp.Chars(), stamp.Length());
    WriteReport(line.Chars(), line.Length());
    WriteReport("\r\n", 2);
}

void Transcript::ReportLine(const Text& line)
{
    WriteReport(line.Chars(), line.Length());
    WriteReport("\r\n", 2);
}

void Transcript::ReportLine(const char* label, const char* value)
{
    WriteReport(label, lstrlenA(label));
    WriteReport(": ", 2);
    WriteReport(value, lstrlenA(value));
    WriteReport("\r\n", 2);
}

void Transcript::CloseReport()
{
    if (report != INVALID_HANDLE_VALUE)
        CloseHandle(report);
    report = INVALID_HANDLE_VALUE;
}
