#include "ImportTrace.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

/* The names of the handles the driver holds, for the close lines. */
enum { TracedHandles = 16, TracedNameSize = 64 };
static struct {
    HANDLE handle;
    char name[TracedNameSize];
} g_traced[TracedHandles];

static HANDLE WINAPI traced_CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                        DWORD disposition, DWORD flags, HANDLE templateFile)
{
    HANDLE h = CreateFileA(name, access, share, security, disposition, flags, templateFile);
    int i;
    printf("open %s %lu %s\n", name, (unsigned long)GetTickCount(), h == INVALID_HANDLE_VALUE ? "fail" : "ok");
    fflush(stdout);
    if (h != INVALID_HANDLE_VALUE)
        for (i = 0; i < TracedHandles; ++i)
            if (g_traced[i].handle == NULL) {
                g_traced[i].handle = h;
                lstrcpynA(g_traced[i].name, name, TracedNameSize);
                break;
            }
    return h;
}

static BOOL WINAPI traced_CloseHandle(HANDLE h)
{
    const char *name = "?";
    int i;
    for (i = 0; i < TracedHandles; ++i)
        if (g_traced[i].handle == h && h != NULL) {
            name = g_traced[i].name;
            g_traced[i].handle = NULL;
            break;
        }
    printf("close %s %lu\n", name, (unsigned long)GetTickCount());
    fflush(stdout);
    return CloseHandle(h);
}

/* Walks the import directory as the loader filled it: the names from the
 * lookup table, the addresses in the import address table beside it. */
static int patch_import(BYTE *base, const char *function, ULONG_PTR replacement)
{
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY *directory = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory->VirtualAddress);
    for (; directory->VirtualAddress != 0 && d->Name != 0; ++d) {
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
        if (d->OriginalFirstThunk == 0)
            continue;
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            DWORD old;
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            if (strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name, function) != 0)
                continue;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old))
                return 0;
            slots->u1.Function = replacement;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return 1;
        }
    }
    return 0;
}

int import_trace_attach(void *module)
{
    memset(g_traced, 0, sizeof g_traced);
    return patch_import((BYTE *)module, "CreateFileA", (ULONG_PTR)traced_CreateFileA) &&
           patch_import((BYTE *)module, "CloseHandle", (ULONG_PTR)traced_CloseHandle);
}
