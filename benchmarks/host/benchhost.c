/*
 * benchhost: loads brlwin32.dll as a host does and times its exports on the
 * Windows clock (QueryPerformanceCounter), driven by commands on standard
 * input. The Linux side plays the display on a pty and relates the times
 * printed here to its own clock through the "clock" command.
 *
 *   benchhost DLLPATH
 *
 * Commands                  Prints, then "= RESULT"
 *   clock                     clock TICKS          the counter, read at once
 *   init NAME                 init-ticks T
 *   burst N display|refresh|worst
 *                             burst-ticks T        N calls back to back
 *   idle N                    idle-ticks WALL, idle-cpu-100ns CPU,
 *                             idle-call-ticks MEDIAN P99 MAX
 *   keys N PERIOD_MS LIMIT_MS looping (before the loop), then
 *                             key I CODE ARG TICKS CALLSTART per callback and
 *                             timer-calls C, timer-wall-ticks, timer-cpu-100ns
 *                             (inside BrlTimer), timer-ticks FIRST LAST,
 *                             timer-late-ticks MEDIAN P99 MAX
 *   terminate | quit
 * The first line is "ready FREQUENCY" (counter ticks per second).
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "brlwin32.h"
#include "DriverLoader.h"

static DriverExports brl;

enum { MaxKeys = 4096, MaxSamples = 100000 };

static LONGLONG g_keyTicks[MaxKeys], g_keyCallStart[MaxKeys];
static LONGLONG g_callStart; /* when the running BrlTimer call began */
static unsigned g_keyCode[MaxKeys], g_keyArg[MaxKeys];
static int g_keys;
static LONGLONG g_samples[MaxSamples];

static LONGLONG now(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

static LONGLONG thread_cpu_100ns(void)
{
    FILETIME created, exited, kernel, user;
    ULARGE_INTEGER k, u;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (LONGLONG)(k.QuadPart + u.QuadPart);
}

static void CALLBACK on_key(unsigned int code, unsigned int argument)
{
    /* The time stamp first: it is the latency's end. */
    LONGLONG t = now();
    if (g_keys < MaxKeys) {
        g_keyTicks[g_keys] = t;
        g_keyCallStart[g_keys] = g_callStart;
        g_keyCode[g_keys] = code;
        g_keyArg[g_keys] = argument;
        g_keys++;
    }
}

static void result(long long value)
{
    printf("= %lld\n", value);
    fflush(stdout);
}

static int by_value(const void *a, const void *b)
{
    LONGLONG x = *(const LONGLONG *)a, y = *(const LONGLONG *)b;
    return x < y ? -1 : x > y;
}

/* Which line BrlDisplay shows next; kept across bursts, so that the first
 * call of a burst changes the display too. */
static int g_flip;

static void burst(int n, const char *mode)
{
    unsigned char a[80], b[80], status[5];
    int i, ok = 0;
    LONGLONG start;
    for (i = 0; i < 80; i++) {
        /* No cell goes out as ESC: 87-byte packets. */
        a[i] = (unsigned char)(i * 7 + 1) == 0xC3 ? 0xC2 : (unsigned char)(i * 7 + 1);
        b[i] = (unsigned char)(i * 7 + 2) == 0xC3 ? 0xC2 : (unsigned char)(i * 7 + 2);
    }
    if (strcmp(mode, "worst") == 0) {
        memset(a, 0xC3, sizeof a);
        memset(status, 0xC3, sizeof status);
        brl.Display(a, 80);
        brl.DisplayStatus(status, 5);
    } else if (strcmp(mode, "refresh") == 0) {
        brl.Display(a, 80);
    }
    start = now();
    if (strcmp(mode, "display") == 0) {
        for (i = 0; i < n; i++)
            ok += brl.Display((g_flip ^= 1) ? a : b, 80) != 0;
    } else {
        for (i = 0; i < n; i++)
            ok += brl.Refresh() != 0;
    }
    printf("burst-ticks %lld\n", (long long)(now() - start));
    result(ok);
}

static void idle(int n)
{
    int i;
    LONGLONG start, cpu;
    if (n > MaxSamples)
        n = MaxSamples;
    cpu = thread_cpu_100ns();
    start = now();
    for (i = 0; i < n; i++) {
        LONGLONG t = now();
        brl.Timer();
        g_samples[i] = now() - t;
    }
    printf("idle-ticks %lld\n", (long long)(now() - start));
    printf("idle-cpu-100ns %lld\n", (long long)(thread_cpu_100ns() - cpu));
    qsort(g_samples, (size_t)n, sizeof g_samples[0], by_value);
    printf("idle-call-ticks %lld %lld %lld\n", (long long)g_samples[n / 2], (long long)g_samples[n * 99 / 100],
           (long long)g_samples[n - 1]);
    result(n);
}

/* A host's timer: BrlTimer every period, on deadlines of the counter, so
 * that a late call does not push the later ones back. The wait before a
 * call is the host's own; only the calls themselves are timed. */
static void keys(int wanted, int periodMs, int limitMs)
{
    LARGE_INTEGER f;
    LONGLONG period, start, deadline, end, cpu = 0, wall = 0, first = 0, last = 0;
    int calls = 0, i;
    QueryPerformanceFrequency(&f);
    period = f.QuadPart * periodMs / 1000;
    g_keys = 0;
    printf("looping\n");
    fflush(stdout);
    start = now();
    end = start + f.QuadPart * limitMs / 1000;
    deadline = start;
    while (g_keys < wanted && now() < end) {
        LONGLONG t, c;
        while ((t = now()) < deadline) {
            LONGLONG leftMs = (deadline - t) * 1000 / f.QuadPart;
            Sleep(leftMs > 1 ? (DWORD)(leftMs - 1) : 0);
        }
        if (calls == 0)
            first = t;
        last = t;
        if (calls < MaxSamples)
            g_samples[calls] = t - deadline;
        c = thread_cpu_100ns();
        t = g_callStart = now();
        brl.Timer();
        wall += now() - t;
        cpu += thread_cpu_100ns() - c;
        calls++;
        deadline += period;
    }
    for (i = 0; i < g_keys; i++)
        printf("key %d %08X %u %lld %lld\n", i, g_keyCode[i], g_keyArg[i], (long long)g_keyTicks[i],
               (long long)g_keyCallStart[i]);
    printf("timer-calls %d\n", calls);
    printf("timer-wall-ticks %lld\n", (long long)wall);
    printf("timer-cpu-100ns %lld\n", (long long)cpu);
    printf("timer-ticks %lld %lld\n", (long long)first, (long long)last);
    if (calls > MaxSamples)
        calls = MaxSamples;
    if (calls > 0) {
        qsort(g_samples, (size_t)calls, sizeof g_samples[0], by_value);
        printf("timer-late-ticks %lld %lld %lld\n", (long long)g_samples[calls / 2],
               (long long)g_samples[calls * 99 / 100], (long long)g_samples[calls - 1]);
    }
    result(g_keys);
}

int main(int argc, char **argv)
{
    char line[1024];
    LARGE_INTEGER f;

    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    if (argc < 2) {
        fprintf(stderr, "usage: benchhost DLLPATH\n");
        return 2;
    }
    load_driver(argv[1], &brl);
    QueryPerformanceFrequency(&f);
    printf("ready %lld\n", (long long)f.QuadPart);
    fflush(stdout);

    while (fgets(line, sizeof line, stdin)) {
        size_t len = strlen(line);
        char *arg;
        while (len && (line[len - 1] == '\n' || line[len - 1] == '\r'))
            line[--len] = '\0';
        arg = strchr(line, ' ');
        arg = arg ? arg + 1 : line + len;

        if (strcmp(line, "quit") == 0) {
            break;
        } else if (strcmp(line, "clock") == 0) {
            printf("clock %lld\n", (long long)now());
            result(1);
        } else if (strncmp(line, "init ", 5) == 0) {
            LONGLONG start = now();
            int r = brl.Init(arg, on_key);
            printf("init-ticks %lld\n", (long long)(now() - start));
            result(r);
        } else if (strncmp(line, "burst ", 6) == 0) {
            char mode[32] = "display";
            int n = 0;
            sscanf(arg, "%d %31s", &n, mode);
            burst(n, mode);
        } else if (strncmp(line, "idle ", 5) == 0) {
            idle(atoi(arg));
        } else if (strncmp(line, "keys ", 5) == 0) {
            int n = 0, period = 10, limit = 10000;
            sscanf(arg, "%d %d %d", &n, &period, &limit);
            keys(n, period, limit);
        } else if (strcmp(line, "terminate") == 0) {
            result(brl.Terminate());
        } else {
            printf("error: unknown command '%s'\n", line);
            fflush(stdout);
        }
    }
    printf("bye\n");
    fflush(stdout);
    return 0;
}
