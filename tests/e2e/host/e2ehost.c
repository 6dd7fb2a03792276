/*
 * e2ehost: a 32-bit Windows host that loads brlwin32.dll exactly as a real
 * host does (LoadLibraryA, GetProcAddress) and drives it from commands on
 * its standard input, one per line. The Linux side of the end-to-end tests
 * plays the display and checks what this program prints.
 *
 *   e2ehost DLLPATH
 *
 * Commands                      Prints
 *   callback stdcall|cdecl        = 1      callback for the next init
 *   init NAME                     = RESULT
 *   display HEX...                = RESULT BrlDisplay(bytes, count of bytes)
 *   display-count N HEX...        = RESULT BrlDisplay(bytes, N), bytes padded
 *   display-null N                = RESULT BrlDisplay(NULL, N)
 *   status HEX... | status-null N = RESULT
 *   clear | refresh | terminate | timer
 *   sleep FLAG                    = RESULT
 *   handles                       = the process's open handles, counted by
 *                                 probing the handle values (Wine's
 *                                 GetProcessHandleCount reports 0)
 *   timer-until N MS              = key calls seen: calls BrlTimer every
 *                                 millisecond until N calls came or MS passed
 *   timer-for MS PERIOD           = BrlTimer calls made: one every PERIOD ms
 *                                 until MS ms of the tick count have passed,
 *                                 as a host's timer does
 *   trace-opens                   = 1 when the DLL's CreateFileA and
 *                                 CloseHandle are traced from now on: every
 *                                 call prints "open NAME TICK ok|fail" or
 *                                 "close NAME TICK" (see ImportTrace.h)
 *   soak N SEED CELLS EVERY       = BrlDisplay calls that returned 1: N
 *                                 displays of pseudo-random text (see
 *                                 next_random) on a CELLS-cell display, with
 *                                 BrlTimer after every EVERY-th
 *   lpt-attach CELLS HEX...       = 1  puts a simulated parallel port at 0x378
 *                                 with a display of CELLS text cells behind
 *                                 it (answering the query with HEX..., none:
 *                                 the model's own answer; CELLS 0: nothing
 *                                 attached), trapping the DLL's port
 *                                 instructions (see ParallelTrap.h)
 *   lpt-send HEX...               = bytes queued for the display to send
 *   lpt-received                  = bytes the display latched; prints them
 *                                 first as "lpt received HEX..."
 *   lpt-count                     = instructions emulated; prints
 *                                 "lpt in N out M control XX" first
 *   reload                        = 1  FreeLibrary and LoadLibraryA again
 *   dos-device NAME DEVICE        = 1 when QueryDosDeviceA(NAME) names
 *                                 DEVICE from now on, in place of what it
 *                                 named; under Wine NAME opens as before, so
 *                                 a pty's port can pass for a Bluetooth link
 *   version                       = platform id GetVersionExA reports
 *                                 (1: 95/98 family, 2: NT family); prints
 *                                 "version PLATFORM MAJOR.MINOR" first
 *   quit                          bye
 * Every key callback prints "key CODE ARG" (hex code, decimal argument) as
 * it happens. Every export is called through a thunk that checks the stack
 * pointer and the callee-saved registers; a mismatch prints "stack broken".
 */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "brlwin32.h"
#include "DriverLoader.h"
#include "ImportTrace.h"
#include "ParallelTrap.h"

static DriverExports brl;

/* int checked_call2(void *f, intptr_t a, intptr_t b): calls the exported
 * function f(a, b) with known values in the callee-saved registers and
 * records what they and the stack pointer are afterwards. The stack pointer
 * is restored from the saved copy, so a broken callee is reported instead
 * of crashing here. */
int checked_call2(void *f, intptr_t a, intptr_t b);
uintptr_t g_spBefore, g_spAfter;

#if defined(__x86_64__)
/* One calling convention: arguments in rcx and rdx, 32 bytes of shadow
 * space; rbx, rbp, rsi, rdi and r12 to r15 belong to the caller. */
enum { SavedRegisters = 8 };
static const char *const g_savedNames[SavedRegisters] = { "rbx", "rbp", "rsi", "rdi", "r12", "r13", "r14", "r15" };
uintptr_t g_saved[SavedRegisters];
__asm__(
    ".text\n"
    ".globl checked_call2\n"
    "checked_call2:\n"
    "  push %rbp\n"
    "  push %rbx\n"
    "  push %rsi\n"
    "  push %rdi\n"
    "  push %r12\n"
    "  push %r13\n"
    "  push %r14\n"
    "  push %r15\n"
    "  sub $40, %rsp\n"
    "  mov %rcx, %rax\n"
    "  mov %rdx, %rcx\n"
    "  mov %r8, %rdx\n"
    "  mov $0x1111111111111111, %rbx\n"
    "  mov $0x2222222222222222, %rbp\n"
    "  mov $0x3333333333333333, %rsi\n"
    "  mov $0x4444444444444444, %rdi\n"
    "  mov $0x5555555555555555, %r12\n"
    "  mov $0x6666666666666666, %r13\n"
    "  mov $0x7777777777777777, %r14\n"
    "  mov $0x0808080808080808, %r15\n"
    "  mov %rsp, g_spBefore(%rip)\n"
    "  call *%rax\n"
    "  mov %rsp, g_spAfter(%rip)\n"
    "  mov %rbx, g_saved+0(%rip)\n"
    "  mov %rbp, g_saved+8(%rip)\n"
    "  mov %rsi, g_saved+16(%rip)\n"
    "  mov %rdi, g_saved+24(%rip)\n"
    "  mov %r12, g_saved+32(%rip)\n"
    "  mov %r13, g_saved+40(%rip)\n"
    "  mov %r14, g_saved+48(%rip)\n"
    "  mov %r15, g_saved+56(%rip)\n"
    "  mov g_spBefore(%rip), %rsp\n"
    "  add $40, %rsp\n"
    "  pop %r15\n"
    "  pop %r14\n"
    "  pop %r13\n"
    "  pop %r12\n"
    "  pop %rdi\n"
    "  pop %rsi\n"
    "  pop %rbx\n"
    "  pop %rbp\n"
    "  ret\n");
static const uintptr_t g_sentinels[SavedRegisters] = {
    0x1111111111111111u, 0x2222222222222222u, 0x3333333333333333u, 0x4444444444444444u,
    0x5555555555555555u, 0x6666666666666666u, 0x7777777777777777u, 0x0808080808080808u,
};
#else
/* The exports are caller-cleans (cdecl): ebx, esi, edi and ebp belong to
 * the caller, and the stack pointer must be where it was. */
enum { SavedRegisters = 4 };
static const char *const g_savedNames[SavedRegisters] = { "ebx", "esi", "edi", "ebp" };
uintptr_t g_saved[SavedRegisters];
__asm__(
    ".text\n"
    ".globl _checked_call2\n"
    "_checked_call2:\n"
    "  push %ebp\n"
    "  push %ebx\n"
    "  push %esi\n"
    "  push %edi\n"
    "  mov 20(%esp), %eax\n"
    "  mov 24(%esp), %ecx\n"
    "  mov 28(%esp), %edx\n"
    "  mov $0x11111111, %ebx\n"
    "  mov $0x22222222, %esi\n"
    "  mov $0x33333333, %edi\n"
    "  mov $0x44444444, %ebp\n"
    "  push %edx\n"
    "  push %ecx\n"
    "  mov %esp, _g_spBefore\n"
    "  call *%eax\n"
    "  mov %esp, _g_spAfter\n"
    "  mov %ebx, _g_saved+0\n"
    "  mov %esi, _g_saved+4\n"
    "  mov %edi, _g_saved+8\n"
    "  mov %ebp, _g_saved+12\n"
    "  mov _g_spBefore, %esp\n"
    "  add $8, %esp\n"
    "  pop %edi\n"
    "  pop %esi\n"
    "  pop %ebx\n"
    "  pop %ebp\n"
    "  ret\n");
static const uintptr_t g_sentinels[SavedRegisters] = { 0x11111111u, 0x22222222u, 0x33333333u, 0x44444444u };
#endif

static int g_stackBroken;

static int call2(void *f, intptr_t a, intptr_t b)
{
    int result = checked_call2(f, a, b), i, broken = g_spAfter != g_spBefore;
    for (i = 0; i < SavedRegisters; ++i)
        broken |= g_saved[i] != g_sentinels[i];
    if (broken) {
        printf("stack broken: expected sp %llX", (unsigned long long)g_spBefore);
        for (i = 0; i < SavedRegisters; ++i)
            printf(" %s %llX", g_savedNames[i], (unsigned long long)g_sentinels[i]);
        printf(", got sp %llX", (unsigned long long)g_spAfter);
        for (i = 0; i < SavedRegisters; ++i)
            printf(" %s %llX", g_savedNames[i], (unsigned long long)g_saved[i]);
        printf("\n");
        g_stackBroken = 1;
    }
    return result;
}

static void print_line(const char *line)
{
    fputs(line, stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

static void print_result(int result)
{
    printf("= %d\n", result);
    fflush(stdout);
}

static int parse_hex(const char *text, unsigned char *out, int room)
{
    int n = 0;
    while (*text && n < room) {
        char *end;
        unsigned long v;
        while (*text == ' ')
            text++;
        if (!*text)
            break;
        v = strtoul(text, &end, 16);
        if (end == text)
            break;
        out[n++] = (unsigned char)v;
        text = end;
    }
    return n;
}

static int g_keyCalls;

static void CALLBACK key_stdcall(unsigned int code, unsigned int argument)
{
    g_keyCalls++;
    printf("key %08X %u\n", code, argument);
    fflush(stdout);
}

/* Deliberately the wrong convention: the tests use it to show that the
 * stack check catches a callback that does not remove its arguments. */
static void __cdecl key_cdecl(unsigned int code, unsigned int argument)
{
    printf("key %08X %u\n", code, argument);
    fflush(stdout);
}

static KeyCallback g_callback = key_stdcall;

/* The soak's cells: xorshift32 from the seed. For each display, one number
 * picks a repeat of the last cells (0 modulo 8) or new ones: the next
 * number modulo CELLS + 1 is the count, then one number per cell gives its
 * low 8 bits. The Linux side computes the same sequence. */
static unsigned g_random = 1;

static unsigned next_random(void)
{
    g_random ^= g_random << 13;
    g_random ^= g_random >> 17;
    g_random ^= g_random << 5;
    return g_random;
}

static int soak(int updates, unsigned seed, int textCells, int timerEvery)
{
    static unsigned char cells[256];
    int count = 0, ok = 0, i, j;
    g_random = seed ? seed : 1;
    if (textCells < 0 || textCells > 255)
        textCells = 0;
    for (i = 0; i < updates; ++i) {
        if (next_random() % 8 != 0) {
            count = (int)(next_random() % (unsigned)(textCells + 1));
            for (j = 0; j < count; ++j)
                cells[j] = (unsigned char)next_random();
        }
        ok += brl.Display(cells, count) == 1;
        if (timerEvery > 0 && (i + 1) % timerEvery == 0)
            brl.Timer();
    }
    return ok;
}

int main(int argc, char **argv)
{
    char line[1024];

    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    if (argc < 2) {
        fprintf(stderr, "usage: e2ehost DLLPATH\n");
        return 2;
    }
    load_driver(argv[1], &brl);
    print_line("ready");

    while (fgets(line, sizeof line, stdin)) {
        unsigned char cells[512];
        char *arg;
        size_t len = strlen(line);
        while (len && (line[len - 1] == '\n' || line[len - 1] == '\r'))
            line[--len] = '\0';
        arg = strchr(line, ' ');
        arg = arg ? arg + 1 : line + len;
        memset(cells, 0, sizeof cells);

        if (strcmp(line, "quit") == 0) {
            break;
        } else if (strncmp(line, "callback ", 9) == 0) {
            if (strcmp(arg, "cdecl") == 0)
                g_callback = (KeyCallback)(void *)key_cdecl;
            else
                g_callback = key_stdcall;
            print_result(1);
        } else if (strncmp(line, "init ", 5) == 0) {
            print_result(call2((void *)brl.Init, (intptr_t)arg, (intptr_t)g_callback));
        } else if (strncmp(line, "display-count ", 14) == 0) {
            char *rest;
            long count = strtol(arg, &rest, 10);
            parse_hex(rest, cells, sizeof cells);
            print_result(call2((void *)brl.Display, (intptr_t)cells, (int)count));
        } else if (strncmp(line, "display-null ", 13) == 0) {
            print_result(call2((void *)brl.Display, 0, atoi(arg)));
        } else if (strncmp(line, "display", 7) == 0 && (line[7] == ' ' || line[7] == '\0')) {
            int n = parse_hex(arg, cells, sizeof cells);
            print_result(call2((void *)brl.Display, (intptr_t)cells, n));
        } else if (strncmp(line, "status-null ", 12) == 0) {
            print_result(call2((void *)brl.DisplayStatus, 0, atoi(arg)));
        } else if (strncmp(line, "status", 6) == 0 && (line[6] == ' ' || line[6] == '\0')) {
            int n = parse_hex(arg, cells, sizeof cells);
            print_result(call2((void *)brl.DisplayStatus, (intptr_t)cells, n));
        } else if (strcmp(line, "clear") == 0) {
            print_result(call2((void *)brl.Clear, 0, 0));
        } else if (strcmp(line, "refresh") == 0) {
            print_result(call2((void *)brl.Refresh, 0, 0));
        } else if (strcmp(line, "terminate") == 0) {
            print_result(call2((void *)brl.Terminate, 0, 0));
        } else if (strcmp(line, "timer") == 0) {
            print_result(call2((void *)brl.Timer, 0, 0));
        } else if (strncmp(line, "sleep ", 6) == 0) {
            print_result(call2((void *)brl.Sleep, atoi(arg), 0));
        } else if (strcmp(line, "handles") == 0) {
            DWORD flags, handles = 0, reported = 0;
            UINT_PTR value;
            for (value = 4; value < 0x10000; value += 4)
                handles += GetHandleInformation((HANDLE)value, &flags) != 0;
            GetProcessHandleCount(GetCurrentProcess(), &reported);
            printf("handle count %lu reported, %lu probed\n", (unsigned long)reported, (unsigned long)handles);
            print_result((int)handles);
        } else if (strncmp(line, "timer-until ", 12) == 0) {
            char *rest;
            long wanted = strtol(arg, &rest, 10);
            DWORD limit = (DWORD)strtoul(rest, NULL, 10), start = GetTickCount();
            int before = g_keyCalls;
            while (g_keyCalls - before < wanted && GetTickCount() - start < limit) {
                brl.Timer();
                if (g_keyCalls - before < wanted)
                    Sleep(1);
            }
            print_result(g_keyCalls - before);
        } else if (strncmp(line, "timer-for ", 10) == 0) {
            char *rest;
            DWORD limit = (DWORD)strtoul(arg, &rest, 10), period = (DWORD)strtoul(rest, NULL, 10);
            DWORD start = GetTickCount();
            int calls = 0;
            while (GetTickCount() - start < limit) {
                call2((void *)brl.Timer, 0, 0);
                calls++;
                Sleep(period);
            }
            print_result(calls);
        } else if (strcmp(line, "trace-opens") == 0) {
            print_result(import_trace_attach(brl.module));
        } else if (strncmp(line, "soak ", 5) == 0) {
            int updates = 0, textCells = 0, every = 0;
            unsigned seed = 1;
            sscanf(arg, "%d %u %d %d", &updates, &seed, &textCells, &every);
            print_result(soak(updates, seed, textCells, every));
        } else if (strncmp(line, "lpt-attach ", 11) == 0) {
            char *rest;
            long textCells = strtol(arg, &rest, 10);
            int n = parse_hex(rest, cells, sizeof cells);
            parallel_trap_attach((int)textCells, cells, n);
            print_result(1);
        } else if (strncmp(line, "lpt-send ", 9) == 0) {
            int n = parse_hex(arg, cells, sizeof cells);
            print_result(parallel_trap_send(cells, n));
        } else if (strcmp(line, "lpt-received") == 0) {
            static unsigned char received[8192];
            int n = parallel_trap_received(received, sizeof received), i;
            fputs("lpt received", stdout);
            for (i = 0; i < n && i < (int)sizeof received; ++i)
                printf(" %02X", received[i]);
            fputc('\n', stdout);
            print_result(n);
        } else if (strcmp(line, "lpt-count") == 0) {
            unsigned long ins, outs;
            unsigned control;
            parallel_trap_counts(&ins, &outs, &control);
            printf("lpt in %lu out %lu control %02X\n", ins, outs, control);
            print_result((int)(ins + outs));
        } else if (strcmp(line, "reload") == 0) {
            FreeDriverExports(&brl);
            load_driver(argv[1], &brl);
            print_result(1);
        } else if (strncmp(line, "dos-device ", 11) == 0) {
            char *device = strchr(arg, ' ');
            if (device)
                *device++ = '\0';
            /* Wine refuses a second device for a name. */
            DefineDosDeviceA(DDD_REMOVE_DEFINITION, arg, NULL);
            print_result(device != NULL && DefineDosDeviceA(DDD_RAW_TARGET_PATH, arg, device));
        } else if (strcmp(line, "version") == 0) {
            OSVERSIONINFOA info;
            memset(&info, 0, sizeof info);
            info.dwOSVersionInfoSize = sizeof info;
            if (!GetVersionExA(&info))
                info.dwPlatformId = 0;
            printf("version %lu %lu.%lu\n", (unsigned long)info.dwPlatformId, (unsigned long)info.dwMajorVersion,
                   (unsigned long)info.dwMinorVersion);
            print_result((int)info.dwPlatformId);
        } else {
            printf("error: unknown command '%s'\n", line);
            fflush(stdout);
        }
    }
    print_line(g_stackBroken ? "bye stack-broken" : "bye");
    return g_stackBroken ? 4 : 0;
}
