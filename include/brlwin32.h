/*
 * brlwin32.h - the interface of brlwin32.dll, a driver for refreshable
 * braille displays of the ESC protocol family on serial and parallel ports.
 *
 * Usable from C and C++, with MinGW and MSVC, in 32-bit x86, 64-bit x64
 * and ARM64 hosts; each loads the DLL built for its own processor. On x86
 * all exports use the caller-cleans convention (__cdecl) and are exported
 * by undecorated name; the key callback is called with the callee-cleans
 * convention (__stdcall, the same as CALLBACK and WINAPI from <windows.h>),
 * and a callback declared with another convention corrupts the host's
 * stack. On x64 and ARM64 there is one calling convention: the compilers
 * ignore both keywords, and any callback of the right type is right. The
 * callback's two arguments are unsigned 32-bit values on all three.
 *
 * Results are 32-bit: nonzero is success, 0 is failure. The results of
 * BrlTerminate and BrlTimer carry no meaning.
 *
 * The exports share one driver object: call them from one thread, or
 * serialise the calls. The key callback runs inside BrlTimer, on the thread
 * that called it, and may call the other exports.
 */
#ifndef BRLWIN32_H
#define BRLWIN32_H

#if defined(_WIN32)
#  define BRLAPI __cdecl
#  define BRLCALLBACK __stdcall
#  if defined(BRLWIN32_BUILDING)
#    define BRLIMPORT
#  else
#    define BRLIMPORT __declspec(dllimport)
#  endif
#else
   /* Non-Windows builds (the driver's own native tests) have one convention. */
#  define BRLAPI
#  define BRLCALLBACK
#  define BRLIMPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Receives one report per key or routing packet. keyCode always has bit 31
 * set; its low bytes hold up to four key code bytes, the lowest key index in
 * the highest byte. argument is 0, or the routing position for code bytes
 * 0x81 (1 to 100) and 0x82 (201 to 227). */
typedef void (BRLCALLBACK *KeyCallback)(unsigned int keyCode, unsigned int argument);

/* Opens the port (COM1, COM2:38400,n,8,1, LPT1, ...), asks the display for
 * its model and registers callback (may be null). Takes about 2 seconds.
 * Returns statusCells * 256 + textCells (0x0514, 0x0528 or 0x0550), or 0
 * when the port cannot be opened, no display answers, or a port is open. */
BRLIMPORT int BRLAPI BrlInit(const char *portName, KeyCallback callback);

/* Blanks the display and releases the port. */
BRLIMPORT int BRLAPI BrlTerminate(void);

/* Shows count text cells (one bit per dot, bit 0 = dot 1); the rest of the
 * text cells are blanked. Sends only when the cells changed. */
BRLIMPORT int BRLAPI BrlDisplay(const unsigned char *cells, int count);

/* Shows up to 5 status cells; the rest are blanked. */
BRLIMPORT int BRLAPI BrlDisplayStatus(const unsigned char *cells, int count);

/* Blanks status and text cells. */
BRLIMPORT int BRLAPI BrlClear(void);

/* Sends all cells again, changed or not. */
BRLIMPORT int BRLAPI BrlRefresh(void);

/* Nonzero: blank the display and release the port. 0: reopen the port
 * given to BrlInit and show the current cells again. */
BRLIMPORT int BRLAPI BrlSleep(int flag);

/* Reads what the display sent and calls the key callback for each key or
 * routing packet. Call it periodically (every 10 to 50 ms). */
BRLIMPORT int BRLAPI BrlTimer(void);

/* Pointer types for hosts that load the library at run time. */
typedef int (BRLAPI *BrlInitProc)(const char *portName, KeyCallback callback);
typedef int (BRLAPI *BrlTerminateProc)(void);
typedef int (BRLAPI *BrlDisplayProc)(const unsigned char *cells, int count);
typedef int (BRLAPI *BrlDisplayStatusProc)(const unsigned char *cells, int count);
typedef int (BRLAPI *BrlClearProc)(void);
typedef int (BRLAPI *BrlRefreshProc)(void);
typedef int (BRLAPI *BrlSleepProc)(int flag);
typedef int (BRLAPI *BrlTimerProc)(void);

#ifdef __cplusplus
}
#endif

#endif
