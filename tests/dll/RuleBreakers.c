/*
 * Linked into a test-only ARM64 build of the driver, this brings what the
 * loader rules forbid there: a TLS directory, an import from a DLL other
 * than KERNEL32, and a KERNEL32 function that Windows 95 lacks.
 */
#include <windows.h>

/* The linker makes the TLS directory of whatever bears this name. */
const IMAGE_TLS_DIRECTORY _tls_used = { 0 };

/* Exported by no name, so kept only if the linker keeps every function. */
void BreakTheRules(void)
{
    MessageBeep(0);
    (void)GetTickCount64();
}
