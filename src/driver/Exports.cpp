// The eight exports. Each forwards to the one driver object; the checks of
// their arguments live with the behaviour, in the driver.
#include "brlwin32.h"

#include "../protocol/EscProtocolDriver.h"

// Constructed while the library attaches, before any export can run.
EscProtocolDriver g_driverInstance;

extern "C" {

int BRLAPI BrlInit(const char* portName, KeyCallback callback)
{
    return g_activeDriver ? g_activeDriver->Init(portName, callback) : 0;
}

int BRLAPI BrlTerminate(void)
{
    return g_activeDriver ? (g_activeDriver->Terminate(), 1) : 0;
}

int BRLAPI BrlDisplay(const unsigned char* cells, int count)
{
    return g_activeDriver ? g_activeDriver->Display(cells, count) : 0;
}

int BRLAPI BrlDisplayStatus(const unsigned char* cells, int count)
{
    return g_activeDriver ? g_activeDriver->DisplayStatus(cells, count) : 0;
}

int BRLAPI BrlClear(void) { return g_activeDriver ? g_activeDriver->Clear() : 0; }

int BRLAPI BrlRefresh(void) { return g_activeDriver ? g_activeDriver->Refresh() : 0; }

int BRLAPI BrlSleep(int flag) { return g_activeDriver ? g_activeDriver->Sleep(flag) : 0; }

int BRLAPI BrlTimer(void)
{
    return g_activeDriver ? (g_activeDriver->Poll(), 1) : 0;
}

} // extern "C"
