// The end of the check: the facts a bug report needs at the end of the
// report, then on the console the summary of the steps and where the
// report is.
#ifndef BRLCHECK_CLOSING_REPORT_H
#define BRLCHECK_CLOSING_REPORT_H

class DllCheck;
class StepResults;
class Transcript;
struct CheckOptions;

class ClosingReport {
public:
    ClosingReport(const CheckOptions& options, Transcript& transcript, const StepResults& results,
                  const DllCheck& dllCheck);

    // Ends the report and the console; false when the report could not be
    // written.
    bool Write(const char* commandLine, bool interrupted);

private:
    void WriteFacts(const char* commandLine);
    void SaySummary(bool interrupted);
    void SayWhereTheReportIs();

    const CheckOptions& options;
    Transcript& transcript;
    const StepResults& results;
    const DllCheck& dllCheck;
};

#endif
