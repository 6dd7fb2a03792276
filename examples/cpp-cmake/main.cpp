// A C++ host linked against brlwin32.dll through its import library.
//
//   cpp-cmake PORT [SECONDS]
//
// Opens the display on PORT, shows "hello" and a status cell, polls for
// up to SECONDS (default 10) until the first key arrives, answers it by
// showing "ok", and closes the display when the BrailleDisplay goes out
// of scope.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "brlwin32.h"

namespace {

// Owns the driver's one session: at most one per process, since the DLL
// holds one driver.
class BrailleDisplay {
public:
    BrailleDisplay(const char* port, KeyCallback onKey) : cells(BrlInit(port, onKey)) {}
    ~BrailleDisplay() { BrlTerminate(); }
    BrailleDisplay(const BrailleDisplay&) = delete;
    BrailleDisplay& operator=(const BrailleDisplay&) = delete;

    bool IsOpen() const { return cells != 0; }
    int StatusCells() const { return cells >> 8; }
    int TextCells() const { return cells & 0xFF; }
    int Result() const { return cells; }

    template <size_t N> void Show(const unsigned char (&text)[N]) { BrlDisplay(text, int(N)); }
    template <size_t N> void ShowStatus(const unsigned char (&status)[N]) { BrlDisplayStatus(status, int(N)); }
    void Poll() { BrlTimer(); }

private:
    int cells;
};

const unsigned char hello[] = { 0x13, 0x11, 0x07, 0x07, 0x15 };
const unsigned char ok[] = { 0x15, 0x05 };
const unsigned char dots78[] = { 0xC0 };

int keysSeen = 0;

// The driver calls this inside BrlTimer with the callee-cleans convention
// of 32-bit Windows; BRLCALLBACK says so (x64 has one convention for all).
void BRLCALLBACK OnKey(unsigned int keyCode, unsigned int argument)
{
    std::printf("key 0x%08X argument %u\n", keyCode, argument);
    std::fflush(stdout);
    BrlDisplay(ok, int(sizeof ok));
    ++keysSeen;
}

} // namespace

int main(int argc, char** argv)
{
    const char* port = argc > 1 ? argv[1] : "COM1";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    BrailleDisplay display(port, OnKey);
    std::printf("BrlInit(\"%s\") = 0x%04X: %d status cells, %d text cells\n", port,
        unsigned(display.Result()), display.StatusCells(), display.TextCells());
    std::fflush(stdout);
    if (!display.IsOpen())
        return 1;

    display.ShowStatus(dots78);
    display.Show(hello);
    std::printf("showing hello\n");
    std::fflush(stdout);

    for (int polls = 0; polls < seconds * 50 && keysSeen == 0; ++polls) {
        display.Poll();
        Sleep(20);
    }
    if (keysSeen == 0)
        std::printf("no key within %d s\n", seconds);
    std::printf("terminating\n");
    return keysSeen ? 0 : 1;
}
