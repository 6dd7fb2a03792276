/*
 * A host that loads brlwin32.dll at run time, as a screen reader that
 * supports several drivers would: nothing is linked against the DLL, the
 * exports are looked up by name.
 *
 *   c-dynamic PORT [SECONDS]
 *
 * Opens the display on PORT, shows "hello", polls for up to SECONDS
 * (default 10) until the first key arrives, answers it by showing "ok",
 * sends the display to sleep and wakes it, and shuts it down.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "brlwin32.h"

static BrlInitProc brlInit;
static BrlTerminateProc brlTerminate;
static BrlDisplayProc brlDisplay;
static BrlDisplayStatusProc brlDisplayStatus;
static BrlSleepProc brlSleep;
static BrlTimerProc brlTimer;

static volatile int keysSeen;

/* One bit per dot, bit 0 = dot 1. */
static const unsigned char hello[] = { 0x13, 0x11, 0x07, 0x07, 0x15 };
static const unsigned char ok[] = { 0x15, 0x05 };

/* Called inside BrlTimer, on this program's one thread; calling the other
 * exports from here is allowed. */
static void BRLCALLBACK OnKey(unsigned int keyCode, unsigned int argument)
{
    printf("key 0x%08X argument %u\n", keyCode, argument);
    fflush(stdout);
    brlDisplay(ok, (int)sizeof ok);
    ++keysSeen;
}

static FARPROC Lookup(HMODULE dll, const char* name)
{
    FARPROC proc = GetProcAddress(dll, name);
    if (proc == NULL)
        printf("brlwin32.dll has no export %s\n", name);
    return proc;
}

int main(int argc, char** argv)
{
    const char* port = argc > 1 ? argv[1] : "COM1";
    int seconds = argc > 2 ? atoi(argv[2]) : 10;
    HMODULE dll;
    int cells;
    int polls;

    dll = LoadLibraryA("brlwin32.dll");
    if (dll == NULL) {
        printf("cannot load brlwin32.dll (error %lu)\n", (unsigned long)GetLastError());
        return 2;
    }
    /* GetProcAddress returns a generic function pointer; the casts go
     * through void (*)(void) to say that the types are known to match. */
    brlInit = (BrlInitProc)(void (*)(void))Lookup(dll, "BrlInit");
    brlTerminate = (BrlTerminateProc)(void (*)(void))Lookup(dll, "BrlTerminate");
    brlDisplay = (BrlDisplayProc)(void (*)(void))Lookup(dll, "BrlDisplay");
    brlDisplayStatus = (BrlDisplayStatusProc)(void (*)(void))Lookup(dll, "BrlDisplayStatus");
    brlSleep = (BrlSleepProc)(void (*)(void))Lookup(dll, "BrlSleep");
    brlTimer = (BrlTimerProc)(void (*)(void))Lookup(dll, "BrlTimer");
    if (!brlInit || !brlTerminate || !brlDisplay || !brlDisplayStatus || !brlSleep || !brlTimer) {
        FreeLibrary(dll);
        return 2;
    }

    cells = brlInit(port, OnKey);
    printf("BrlInit(\"%s\") = 0x%04X: %d status cells, %d text cells\n", port, (unsigned)cells,
        cells >> 8, cells & 0xFF);
    fflush(stdout);
    if (cells == 0) {
        /* The port may be open even though no display answered. */
        brlTerminate();
        FreeLibrary(dll);
        return 1;
    }

    brlDisplay(hello, (int)sizeof hello);
    printf("showing hello\n");
    fflush(stdout);

    for (polls = 0; polls < seconds * 50 && keysSeen == 0; ++polls) {
        brlTimer();
        Sleep(20);
    }
    if (keysSeen == 0)
        printf("no key within %d s\n", seconds);

    brlSleep(1);
    brlSleep(0);
    printf("slept and woke\n");
    brlTerminate();
    printf("terminated\n");
    FreeLibrary(dll);
    return keysSeen ? 0 : 1;
}
