// Fixture for tests that run the real DLL under Wine against a display
// simulated on a pty mapped to COM5, for either architecture.
#ifndef BRLWIN32_E2E_SUPPORT_H
#define BRLWIN32_E2E_SUPPORT_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "PtyDisplay.h"
#include "WinePrefix.h"

namespace e2e {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& bytes);
// The cell packet the driver must send for these cells (status, then text).
Bytes CellPacket(const Bytes& cells);
// A reply that fills the whole 15-byte identification read, so that BrlInit
// returns at once instead of after the full wait.
Bytes FullReply(int textCells);
// The host's "key CODE ARG" text for a key or routing packet; empty when
// the packet names no key.
std::string KeyReport(const Bytes& packet);
// Processes other than this one that hold path open.
int OpenersOf(const std::string& path);

// A line of the host's trace-opens: the DLL's CreateFileA or CloseHandle,
// with the tick count it ran at.
struct PortCall {
    bool open;         // CreateFileA; else CloseHandle
    std::string name;  // the name opened, or the name of the handle closed
    unsigned long tick;
    bool ok;           // CreateFileA gave a handle
};
// The trace lines among a reply's lines, in order.
std::vector<PortCall> PortCalls(const HostProcess::Reply& reply);
std::string Describe(const std::vector<PortCall>& calls);
// The attempts to open a port: the CreateFileA calls. Under Wine a port
// that is registered but has nothing behind it opens, and the driver lets
// it go at once when it refuses its settings; one that is not registered
// fails at CreateFileA, as an absent port does on Windows.
std::vector<PortCall> Opens(const std::vector<PortCall>& calls);
// Every handle the calls opened was closed before the next open, except
// the last open's when keepLast; on false, why is in reason.
bool EachClosedBeforeTheNext(const std::vector<PortCall>& calls, bool keepLast, std::string& reason);

// The tests run against one of the two DLLs, chosen by the environment
// variable BRLWIN32_E2E_ARCH: "x86" (the default) or "x64". Each has its own
// host build and its own Wine prefix.
bool IsX64();
const char* ArchName();
std::string HostExe();
std::string DllPath();
// Windows programs of the chosen architecture's build tree.
std::string WindowsBuildDir();
std::string ArchWorkDir();

WinePrefix& Prefix();
// Why this machine cannot run the chosen architecture's programs; empty
// when it can. The tests of an architecture that cannot run are skipped.
std::string WhyNotRunnable();

class E2eTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A display of this model on COM5 (or on another of the prefix's COM
    // ports), and a host ready for commands.
    void StartDisplay(int textCells, const Bytes& reply, const std::string& comPort = "COM5");
    void StartHost();
    // init COM5 with the display answering at once; expects the model.
    void InitReady(int textCells = 40, const std::string& name = "COM5:38400,n,8,1");

    HostProcess::Reply Do(const std::string& command, int timeoutMs = 10000);
    // Sends bytes from the display and waits until the host can read them.
    void DisplaySends(const Bytes& bytes);
    Bytes Received() const;
    Bytes ReceivedSince(size_t offset) const;
    bool WaitReceived(size_t count, int timeoutMs = 5000);

    std::unique_ptr<PtyDisplay> display;
    std::unique_ptr<HostProcess> host;
    bool expectCleanExit = true;
};

} // namespace e2e

#endif
