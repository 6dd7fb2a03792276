/*
 * Talks to the stand-in device exactly the way the DLL's device transport
 * does, and prints one "key: value" line per step so the Linux side can
 * check the outcome without parsing free text.
 *
 *   devprobe.exe [device-name]        default QZPAR1
 *
 * Lines: open, ioctl, write, read (hex bytes and the time the poll took),
 * second-open / second-ioctl / second-write (the single-user refusal),
 * missing (the open of QZPAR9), and finally "result: ok" or "result: fail".
 * The exit code is 0 only when the device accepted the open, the request
 * and the write; what was read is left for the caller to judge.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "../../src/ports/ParallelDeviceIoctl.h"

static void PrintBytes(const char *label, const unsigned char *b, DWORD n)
{
    DWORD i;
    printf("%s: %lu", label, (unsigned long)n);
    for (i = 0; i < n; ++i)
        printf(" %02x", b[i]);
}

static HANDLE OpenDevice(const char *path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

int main(int argc, char **argv)
{
    const char *name = argc > 1 ? argv[1] : PARALLEL_DEVICE_NAME_TEMPLATE;
    char path[64];
    ParallelDeviceConfig cfg = { PARALLEL_DEVICE_CONFIG_FIRST, PARALLEL_DEVICE_CONFIG_SECOND };
    const unsigned char query[2] = { 0x1b, 0x3f };
    unsigned char reply[15];
    DWORD got = 0, n = 0, start, calls = 0;
    BOOL ok;
    HANDLE h, second;
    int failed = 0;

    setvbuf(stdout, NULL, _IONBF, 0);
    snprintf(path, sizeof(path), "%s%s", PARALLEL_DEVICE_PATH_PREFIX, name);

    h = OpenDevice(path);
    if (h == INVALID_HANDLE_VALUE) {
        printf("open: fail %s error=%lu\n", path, (unsigned long)GetLastError());
        printf("result: fail\n");
        return 1;
    }
    printf("open: ok %s\n", path);

    ok = DeviceIoControl(h, PARALLEL_DEVICE_IOCTL_CONFIGURE, &cfg, sizeof(cfg), NULL, 0, &n, NULL);
    printf("ioctl: %s error=%lu\n", ok ? "ok" : "fail", ok ? 0ul : (unsigned long)GetLastError());
    failed |= !ok;

    ok = WriteFile(h, query, sizeof(query), &n, NULL);
    printf("write: %s %lu\n", ok ? "ok" : "fail", (unsigned long)n);
    failed |= !ok || n != sizeof(query);

    /* Same shape as the transport's read: back-to-back calls until the
     * wanted bytes are in or 2000 ms have passed. */
    start = GetTickCount();
    while (got < 3) {
        n = 0;
        if (ReadFile(h, reply + got, sizeof(reply) - got, &n, NULL))
            got += n;
        ++calls;
        if (GetTickCount() - start > 2000)
            break;
    }
    PrintBytes("read", reply, got);
    printf(" ms=%lu calls=%lu\n", (unsigned long)(GetTickCount() - start), (unsigned long)calls);

    /* A second user must be refused: at the open on Windows, at the first
     * request under Wine. */
    second = OpenDevice(path);
    if (second == INVALID_HANDLE_VALUE) {
        printf("second-open: refused error=%lu\n", (unsigned long)GetLastError());
    } else {
        printf("second-open: handle\n");
        ok = DeviceIoControl(second, PARALLEL_DEVICE_IOCTL_CONFIGURE, &cfg, sizeof(cfg), NULL, 0,
                             &n, NULL);
        printf("second-ioctl: %s error=%lu\n", ok ? "ok" : "refused",
               ok ? 0ul : (unsigned long)GetLastError());
        ok = WriteFile(second, query, sizeof(query), &n, NULL);
        printf("second-write: %s error=%lu\n", ok ? "ok" : "refused",
               ok ? 0ul : (unsigned long)GetLastError());
        CloseHandle(second);
    }

    /* An unknown request is refused by the device. */
    ok = DeviceIoControl(h, PARALLEL_DEVICE_IOCTL_CONFIGURE + 4, &cfg, sizeof(cfg), NULL, 0, &n, NULL);
    printf("other-ioctl: %s error=%lu\n", ok ? "ok" : "refused",
           ok ? 0ul : (unsigned long)GetLastError());

    CloseHandle(h);
    printf("close: done\n");

    h = OpenDevice("\\\\.\\QZPAR9");
    if (h == INVALID_HANDLE_VALUE) {
        printf("missing: invalid error=%lu\n", (unsigned long)GetLastError());
    } else {
        printf("missing: handle\n");
        CloseHandle(h);
    }

    printf("result: %s\n", failed ? "fail" : "ok");
    return failed;
}
