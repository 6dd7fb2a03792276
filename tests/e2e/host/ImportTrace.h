/*
 * The DLL's own imports of CreateFileA and CloseHandle, pointed at wrappers
 * that print every call with the tick count before they return:
 *
 *   open NAME TICK ok|fail
 *   close NAME TICK
 *
 * so that a test sees which ports the driver opens, in which order, when,
 * and when it lets them go. The DLL is not changed on disk; a reload
 * brings its own import table back.
 */
#ifndef E2EHOST_IMPORT_TRACE_H
#define E2EHOST_IMPORT_TRACE_H

/* module: the DLL's HMODULE. Returns 1 when both imports were found. */
int import_trace_attach(void *module);

#endif
