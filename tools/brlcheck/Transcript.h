// Where the check's lines go. Every line goes to the console, one plain line
// at a time with nothing drawn and no colour, so that a screen reader speaks
// it as it comes. The lines that hold a step's outcome also go to the
// report, after the milliseconds since the start.
#ifndef BRLCHECK_TRANSCRIPT_H
#define BRLCHECK_TRANSCRIPT_H

#include <windows.h>

class Text;

class Transcript {
public:
    Transcript();

    // The clock of the report's times starts here.
    void Start(DWORD startTick);
    // Creates (or empties) the report file; false, with the system's error,
    // when it cannot. The console goes on without it.
    bool OpenReport(const char* path, DWORD& error);

    // To the console only.
    void Say(const char* line);
    void Say(const Text& line);
    // To the console, and to the report with the time.
    void Record(const Text& line);
    // To the report only, as it stands: the facts at its end.
    void ReportLine(const Text& line);
    void ReportLine(const char* label, const char* value);

    void CloseReport();
    // Whether the report was asked for and some of it could not be written.
    bool ReportFailed() const { return reportFailed; }
    DWORD ReportError() const { return reportError; }
    DWORD Elapsed() const;

private:
    void Write(HANDLE file, const char* text, int length);
    void WriteReport(const char* text, int length);

    HANDLE console;
    HANDLE report;
    DWORD startTick;
    bool reportFailed;
    DWORD reportError;
};

#endif
