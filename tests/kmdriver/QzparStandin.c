/*
 * Stand-in for the parallel-port kernel device, for tests under Wine only.
 *
 * It plays \\.\QZPARn well enough for the DLL's device transport to run
 * unchanged: one configuration request, synchronous writes, and reads that
 * return at once with whatever has arrived. Bytes are not sent to any
 * hardware; they are bridged through two FIFOs to a Linux-side simulator,
 * and every request is written as one text line to a log file so a test can
 * see what the device was asked to do.
 *
 * Configuration lives in the service key (its Parameters subkey is looked
 * at first, then the key itself), all REG_SZ:
 *   Dir      NT path of a directory, e.g. \??\Z:\tmp\bridge (required for
 *            the bridge; without it writes are swallowed and reads are empty)
 *   Devices  the last characters of the devices to create, default "1";
 *            "12" creates QZPAR1 and QZPAR2
 * Device QZPARc uses <Dir>\QZPARc.tosim (bytes the DLL wrote),
 * <Dir>\QZPARc.fromsim (bytes the DLL is to read) and <Dir>\QZPARc.log.
 *
 * Log lines: "ready QZPARc", "create", "create refused", "ioctl CCCCCCCC
 * len=N W0 W1" (the two words only when the block is 8 bytes), "ioctl ...
 * refused", "write N b0 b1 ..." (first 32 bytes), "read N", "empty-reads N"
 * (empty reads are counted, not logged one by one, and the count is flushed
 * before the next non-empty read and at cleanup and close), "fromsim N" (bytes the
 * simulator sent since the last line, logged with the next request), "refused
 * <request>" for requests on a second file object, "cleanup" (Windows
 * only: Wine sends no cleanup request), "close", "close other" (the second
 * file object), "unload".
 */
#include <ddk/ntddk.h>
#include "../../src/ports/ParallelDeviceIoctl.h"

/* Exported by ntoskrnl and present in the import library, but not declared. */
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE, BOOLEAN, PLARGE_INTEGER);

#define RING_SIZE 4096
#define NAME_CHARS 260
#define MAX_DEVICES 9
#define POOL_TAG 'rapQ'

typedef struct Unit {
    PDEVICE_OBJECT device;
    WCHAR letter;
    UNICODE_STRING linkName;
    WCHAR linkBuffer[32];
    WCHAR fromSimPath[NAME_CHARS];

    HANDLE toSim;
    HANDLE fromSim;
    HANDLE log;
    KMUTEX logLock;

    KSPIN_LOCK lock; /* guards owner, ring and emptyReads */
    PFILE_OBJECT owner;
    UCHAR ring[RING_SIZE];
    ULONG head;
    ULONG count;
    ULONG emptyReads;
    /* What the feeding thread saw, logged by the next request: Wine's
     * kernel mutexes do not hand over reliably between that thread and the
     * request thread, so only requests write to the log. */
    ULONG arrived;
    ULONG dropped;
    NTSTATUS feedFailure;

    HANDLE thread;
    volatile LONG stopping;
} Unit;

static Unit *g_units[MAX_DEVICES];
static int g_unitCount;

/* ---- text lines without a C library -------------------------------- */

typedef struct Line {
    char text[200];
    ULONG len;
} Line;

static void LineChar(Line *l, char c)
{
    if (l->len < sizeof(l->text) - 1)
        l->text[l->len++] = c;
}

static void LineText(Line *l, const char *s)
{
    while (*s)
        LineChar(l, *s++);
}

static void LineHex(Line *l, ULONG v, int digits)
{
    static const char hex[] = "0123456789abcdef";
    int i;
    for (i = digits - 1; i >= 0; --i)
        LineChar(l, hex[(v >> (i * 4)) & 15]);
}

static void LineDec(Line *l, ULONG v)
{
    char tmp[12];
    int n = 0;
    do {
        tmp[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    while (n)
        LineChar(l, tmp[--n]);
}

static void WriteLog(Unit *u, Line *l)
{
    IO_STATUS_BLOCK iosb;
    LARGE_INTEGER end;

    LineChar(l, '\n');
    /* An explicit end-of-file offset keeps lines whole when the file is
     * also appended to from outside (a test may write markers into it). */
    end.HighPart = -1;
    end.LowPart = FILE_WRITE_TO_END_OF_FILE;
    ZwWriteFile(u->log, NULL, NULL, NULL, &iosb, l->text, l->len, &end, NULL);
}

static void PendingLine(Unit *u, const char *s, ULONG v)
{
    Line l;
    l.len = 0;
    LineText(&l, s);
    LineDec(&l, v);
    WriteLog(u, &l);
}

/* Called from request routines only (see the note at Unit::arrived). */
static void LogLine(Unit *u, Line *l)
{
    KIRQL irql;
    ULONG arrived, dropped;
    NTSTATUS failure;

    if (!u->log)
        return;
    KeWaitForSingleObject(&u->logLock, Executive, KernelMode, FALSE, NULL);
    KeAcquireSpinLock(&u->lock, &irql);
    arrived = u->arrived;
    dropped = u->dropped;
    failure = u->feedFailure;
    u->arrived = u->dropped = 0;
    u->feedFailure = STATUS_SUCCESS;
    KeReleaseSpinLock(&u->lock, irql);
    if (arrived)
        PendingLine(u, "fromsim ", arrived);
    if (dropped)
        PendingLine(u, "fromsim dropped ", dropped);
    if (failure != STATUS_SUCCESS)
        PendingLine(u, "fromsim failed ", (ULONG)failure);
    WriteLog(u, l);
    KeReleaseMutex(&u->logLock, FALSE);
}

static void LogText(Unit *u, const char *s)
{
    Line l;
    l.len = 0;
    LineText(&l, s);
    LogLine(u, &l);
}

static void LogNumber(Unit *u, const char *s, ULONG v)
{
    Line l;
    l.len = 0;
    LineText(&l, s);
    LineDec(&l, v);
    LogLine(u, &l);
}

/* ---- paths and registry -------------------------------------------- */

static ULONG WideLen(const WCHAR *s)
{
    ULONG n = 0;
    while (s[n])
        ++n;
    return n;
}

static void WideAppend(WCHAR *dst, ULONG cap, const WCHAR *src)
{
    ULONG n = WideLen(dst);
    while (*src && n + 1 < cap)
        dst[n++] = *src++;
    dst[n] = 0;
}

static void UnitPath(WCHAR *dst, const WCHAR *dir, WCHAR letter, const WCHAR *suffix)
{
    WCHAR name[8] = { 'Q', 'Z', 'P', 'A', 'R', 0, 0, 0 };
    ULONG n;
    name[5] = letter;
    dst[0] = 0;
    WideAppend(dst, NAME_CHARS, dir);
    n = WideLen(dst);
    if (n && dst[n - 1] != L'\\')
        WideAppend(dst, NAME_CHARS, L"\\");
    WideAppend(dst, NAME_CHARS, name);
    WideAppend(dst, NAME_CHARS, suffix);
}

/* Reads a REG_SZ into out (NAME_CHARS wide). Returns TRUE if it was there. */
static BOOLEAN QueryString(HANDLE key, const WCHAR *name, WCHAR *out)
{
    UNICODE_STRING valueName;
    UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + NAME_CHARS * sizeof(WCHAR)];
    PKEY_VALUE_PARTIAL_INFORMATION info = (PKEY_VALUE_PARTIAL_INFORMATION)buffer;
    ULONG got = 0, chars, i;

    if (!key)
        return FALSE;
    RtlInitUnicodeString(&valueName, name);
    if (!NT_SUCCESS(ZwQueryValueKey(key, &valueName, KeyValuePartialInformation,
                                    info, sizeof(buffer) - sizeof(WCHAR), &got)))
        return FALSE;
    if (info->Type != REG_SZ && info->Type != REG_EXPAND_SZ)
        return FALSE;
    chars = info->DataLength / sizeof(WCHAR);
    if (chars >= NAME_CHARS)
        chars = NAME_CHARS - 1;
    for (i = 0; i < chars; ++i)
        out[i] = ((const WCHAR *)info->Data)[i];
    out[chars] = 0;
    return TRUE;
}

static HANDLE OpenKey(HANDLE root, PUNICODE_STRING name)
{
    OBJECT_ATTRIBUTES oa;
    HANDLE key = NULL;
    InitializeObjectAttributes(&oa, name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, root, NULL);
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &oa)))
        return NULL;
    return key;
}

/* The FIFOs are opened for reading and writing: a FIFO open with both
 * accesses never waits for the other end, and the reader never sees
 * end-of-file while the simulator is between connections. */
static HANDLE OpenPath(const WCHAR *path, ACCESS_MASK access, ULONG disposition)
{
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES oa;
    IO_STATUS_BLOCK iosb;
    HANDLE h = NULL;

    RtlInitUnicodeString(&name, path);
    InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    if (!NT_SUCCESS(ZwCreateFile(&h, access | SYNCHRONIZE, &oa, &iosb, NULL, FILE_ATTRIBUTE_NORMAL,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                                 FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0)))
        return NULL;
    return h;
}

/* ---- the thread that feeds reads ----------------------------------- */

static VOID NTAPI FromSimThread(PVOID context)
{
    Unit *u = (Unit *)context;
    UCHAR buffer[512];

    for (;;) {
        IO_STATUS_BLOCK iosb;
        KIRQL irql;
        ULONG i, n;
        NTSTATUS status = ZwReadFile(u->fromSim, NULL, NULL, NULL, &iosb, buffer,
                                     sizeof(buffer), NULL, NULL);
        if (u->stopping)
            break;
        if (!NT_SUCCESS(status)) {
            KIRQL irql2;
            KeAcquireSpinLock(&u->lock, &irql2);
            u->feedFailure = status;
            KeReleaseSpinLock(&u->lock, irql2);
            break;
        }
        n = (ULONG)iosb.Information;
        KeAcquireSpinLock(&u->lock, &irql);
        for (i = 0; i < n; ++i) {
            if (u->count == RING_SIZE) {
                ++u->dropped;
                continue;
            }
            u->ring[(u->head + u->count) % RING_SIZE] = buffer[i];
            ++u->count;
        }
        u->arrived += n;
        KeReleaseSpinLock(&u->lock, irql);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

/* ---- requests ------------------------------------------------------ */

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static void FlushEmptyReads(Unit *u)
{
    KIRQL irql;
    ULONG n;
    KeAcquireSpinLock(&u->lock, &irql);
    n = u->emptyReads;
    u->emptyReads = 0;
    KeReleaseSpinLock(&u->lock, irql);
    if (n)
        LogNumber(u, "empty-reads ", n);
}

static BOOLEAN IsOwner(Unit *u, PFILE_OBJECT file)
{
    KIRQL irql;
    BOOLEAN yes;
    KeAcquireSpinLock(&u->lock, &irql);
    yes = (u->owner == file);
    KeReleaseSpinLock(&u->lock, irql);
    return yes;
}

/* The device is single-user. Windows refuses the second open itself; Wine
 * hands out the handle without waiting for our answer, so every later
 * request from that file object is refused instead. */
static NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    Unit *u = (Unit *)device->DeviceExtension;
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    KIRQL irql;
    BOOLEAN taken = FALSE;

    KeAcquireSpinLock(&u->lock, &irql);
    if (u->owner == NULL) {
        u->owner = file;
        u->emptyReads = 0;
        taken = TRUE;
    }
    KeReleaseSpinLock(&u->lock, irql);

    LogText(u, taken ? "create" : "create refused");
    return Complete(irp, taken ? STATUS_SUCCESS : STATUS_SHARING_VIOLATION, 0);
}

static void Release(Unit *u, PFILE_OBJECT file)
{
    KIRQL irql;
    KeAcquireSpinLock(&u->lock, &irql);
    if (u->owner == file)
        u->owner = NULL;
    KeReleaseSpinLock(&u->lock, irql);
}

static NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp)
{
    Unit *u = (Unit *)device->DeviceExtension;
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    if (IsOwner(u, file)) {
        FlushEmptyReads(u);
        LogText(u, "cleanup");
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    Unit *u = (Unit *)device->DeviceExtension;
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    if (IsOwner(u, file)) {
        FlushEmptyReads(u);
        LogText(u, "close");
        Release(u, file);
    } else {
        LogText(u, "close other");
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    Unit *u = (Unit *)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    ULONG len = sp->Parameters.DeviceIoControl.InputBufferLength;
    NTSTATUS status;
    Line l;

    l.len = 0;
    if (!IsOwner(u, sp->FileObject)) {
        LineText(&l, "refused ");
    }
    LineText(&l, "ioctl ");
    LineHex(&l, code, 8);
    LineText(&l, " len=");
    LineDec(&l, len);

    if (!IsOwner(u, sp->FileObject)) {
        status = STATUS_SHARING_VIOLATION;
    } else if (code != PARALLEL_DEVICE_IOCTL_CONFIGURE) {
        LineText(&l, " refused");
        status = STATUS_INVALID_DEVICE_REQUEST;
    } else if (len != sizeof(ParallelDeviceConfig) || !irp->AssociatedIrp.SystemBuffer) {
        LineText(&l, " refused");
        status = STATUS_INVALID_PARAMETER;
    } else {
        const ParallelDeviceConfig *cfg = (const ParallelDeviceConfig *)irp->AssociatedIrp.SystemBuffer;
        LineChar(&l, ' ');
        LineHex(&l, cfg->first, 8);
        LineChar(&l, ' ');
        LineHex(&l, cfg->second, 8);
        status = STATUS_SUCCESS;
    }
    LogLine(u, &l);
    return Complete(irp, status, 0);
}

static NTSTATUS NTAPI DispatchWrite(PDEVICE_OBJECT device, PIRP irp)
{
    Unit *u = (Unit *)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG len = sp->Parameters.Write.Length;
    const UCHAR *data = (const UCHAR *)irp->AssociatedIrp.SystemBuffer;
    IO_STATUS_BLOCK iosb;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG i, written = len;
    Line l;

    if (!IsOwner(u, sp->FileObject)) {
        LogNumber(u, "refused write ", len);
        return Complete(irp, STATUS_SHARING_VIOLATION, 0);
    }

    l.len = 0;
    LineText(&l, "write ");
    LineDec(&l, len);
    for (i = 0; i < len && i < 32 && data; ++i) {
        LineChar(&l, ' ');
        LineHex(&l, data[i], 2);
    }
    if (len > 32)
        LineText(&l, " ...");
    LogLine(u, &l);

    if (len && data && u->toSim) {
        status = ZwWriteFile(u->toSim, NULL, NULL, NULL, &iosb, (PVOID)data, len, NULL, NULL);
        written = NT_SUCCESS(status) ? (ULONG)iosb.Information : 0;
        if (!NT_SUCCESS(status))
            LogNumber(u, "write failed ", (ULONG)status);
    }
    return Complete(irp, status, written);
}

/* Never waits: the transport polls, and a blocking read would stall the
 * host's timer callback. */
static NTSTATUS NTAPI DispatchRead(PDEVICE_OBJECT device, PIRP irp)
{
    Unit *u = (Unit *)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG want = sp->Parameters.Read.Length;
    UCHAR *out = (UCHAR *)irp->AssociatedIrp.SystemBuffer;
    ULONG n = 0, empty = 0;
    KIRQL irql;

    if (!IsOwner(u, sp->FileObject)) {
        LogNumber(u, "refused read ", want);
        return Complete(irp, STATUS_SHARING_VIOLATION, 0);
    }

    KeAcquireSpinLock(&u->lock, &irql);
    if (out) {
        while (n < want && u->count) {
            out[n++] = u->ring[u->head];
            u->head = (u->head + 1) % RING_SIZE;
            --u->count;
        }
    }
    if (n == 0) {
        ++u->emptyReads;
    } else {
        empty = u->emptyReads;
        u->emptyReads = 0;
    }
    KeReleaseSpinLock(&u->lock, irql);

    if (n) {
        if (empty)
            LogNumber(u, "empty-reads ", empty);
        LogNumber(u, "read ", n);
    }
    return Complete(irp, STATUS_SUCCESS, n);
}

/* ---- load and unload ----------------------------------------------- */

static void StopUnit(Unit *u)
{
    if (u->thread) {
        LARGE_INTEGER limit;
        HANDLE poke;
        IO_STATUS_BLOCK iosb;
        UCHAR zero = 0;

        /* The thread sits in a FIFO read; one byte through a handle of
         * our own wakes it so that it sees the flag. */
        InterlockedExchange(&u->stopping, 1);
        poke = OpenPath(u->fromSimPath, GENERIC_READ | GENERIC_WRITE, FILE_OPEN);
        if (poke) {
            ZwWriteFile(poke, NULL, NULL, NULL, &iosb, &zero, 1, NULL, NULL);
            ZwClose(poke);
        }
        limit.QuadPart = -20000000LL; /* 2 s */
        ZwWaitForSingleObject(u->thread, FALSE, &limit);
        ZwClose(u->thread);
    }
    if (u->fromSim)
        ZwClose(u->fromSim);
    if (u->toSim)
        ZwClose(u->toSim);
    LogText(u, "unload");
    if (u->log)
        ZwClose(u->log);
    IoDeleteSymbolicLink(&u->linkName);
    IoDeleteDevice(u->device);
}

static VOID NTAPI DriverUnload(PDRIVER_OBJECT driver)
{
    int i;
    (void)driver;
    for (i = 0; i < g_unitCount; ++i)
        StopUnit(g_units[i]);
    g_unitCount = 0;
}

static NTSTATUS StartUnit(PDRIVER_OBJECT driver, WCHAR letter, const WCHAR *dir)
{
    WCHAR deviceBuffer[32] = L"\\Device\\QZPAR";
    WCHAR tail[2] = { letter, 0 };
    WCHAR path[NAME_CHARS];
    UNICODE_STRING deviceName;
    PDEVICE_OBJECT device;
    Unit *u;
    NTSTATUS status;
    Line l;

    WideAppend(deviceBuffer, 32, tail);
    RtlInitUnicodeString(&deviceName, deviceBuffer);
    status = IoCreateDevice(driver, sizeof(Unit), &deviceName, FILE_DEVICE_UNKNOWN, 0, TRUE, &device);
    if (!NT_SUCCESS(status))
        return status;

    u = (Unit *)device->DeviceExtension;
    RtlZeroMemory(u, sizeof(*u));
    u->device = device;
    u->letter = letter;
    KeInitializeSpinLock(&u->lock);
    KeInitializeMutex(&u->logLock, 0);

    u->linkBuffer[0] = 0;
    WideAppend(u->linkBuffer, 32, L"\\DosDevices\\QZPAR");
    WideAppend(u->linkBuffer, 32, tail);
    RtlInitUnicodeString(&u->linkName, u->linkBuffer);
    status = IoCreateSymbolicLink(&u->linkName, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }

    if (dir[0]) {
        UnitPath(path, dir, letter, L".log");
        u->log = OpenPath(path, FILE_GENERIC_WRITE, FILE_OPEN_IF);
        UnitPath(path, dir, letter, L".tosim");
        u->toSim = OpenPath(path, GENERIC_READ | GENERIC_WRITE, FILE_OPEN);
        UnitPath(u->fromSimPath, dir, letter, L".fromsim");
        u->fromSim = OpenPath(u->fromSimPath, GENERIC_READ | GENERIC_WRITE, FILE_OPEN);
        if (u->fromSim &&
            !NT_SUCCESS(PsCreateSystemThread(&u->thread, THREAD_ALL_ACCESS, NULL, NULL, NULL,
                                             FromSimThread, u)))
            u->thread = NULL;
    }

    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;

    l.len = 0;
    LineText(&l, "ready QZPAR");
    LineChar(&l, (char)letter);
    if (!u->toSim)
        LineText(&l, " no-tosim");
    if (!u->fromSim)
        LineText(&l, " no-fromsim");
    LogLine(u, &l);

    g_units[g_unitCount++] = u;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    WCHAR dir[NAME_CHARS] = { 0 };
    WCHAR devices[NAME_CHARS] = { '1', 0 };
    UNICODE_STRING parametersName;
    HANDLE serviceKey, parametersKey = NULL;
    ULONG i;

    serviceKey = OpenKey(NULL, registryPath);
    if (serviceKey) {
        RtlInitUnicodeString(&parametersName, L"Parameters");
        parametersKey = OpenKey(serviceKey, &parametersName);
    }
    if (!QueryString(parametersKey, L"Dir", dir))
        QueryString(serviceKey, L"Dir", dir);
    if (!QueryString(parametersKey, L"Devices", devices))
        QueryString(serviceKey, L"Devices", devices);
    if (parametersKey)
        ZwClose(parametersKey);
    if (serviceKey)
        ZwClose(serviceKey);

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->MajorFunction[IRP_MJ_WRITE] = DispatchWrite;
    driver->MajorFunction[IRP_MJ_READ] = DispatchRead;
    driver->DriverUnload = DriverUnload;

    for (i = 0; devices[i] && g_unitCount < MAX_DEVICES; ++i)
        StartUnit(driver, devices[i], dir);
    return g_unitCount ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE;
}
