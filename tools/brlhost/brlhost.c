/*
 * brlhost: a small host for brlwin32.dll. It shows lines of text on the
 * display, pans them with the display's keys, moves a cursor with the
 * routing keys and prints every key report it receives.
 *
 *   brlhost [--dll PATH] [--seconds N] [--stdin] PORT [line...]
 *
 * Display keys (key code bytes): 01 pan left, 05 pan right, 02 previous
 * line, 04 next line, 03 to the start of the line, 01+05 to the first line;
 * 1F sleep for a second and wake; 20 refresh; 24 quit. Routing over a text
 * cell puts the cursor (dots 7 and 8) there; routing over status cell n goes
 * to line n.
 *
 * Exit codes: 0 done, 1 usage, 2 port cannot be opened, 3 no display
 * answered, 4 the driver cannot be loaded.
 */
#include <windows.h>
#include <conio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "brlwin32.h"
#include "ComputerBraille.h"
#include "DevicePath.h"
#include "DriverExports.h"

enum { MaxCells = 80, StatusCells = 5, QueueSize = 64 };

static DriverExports brl;

/* Filled inside BrlTimer by the callback, handled after it returns. */
static struct { unsigned int code, argument; } queue[QueueSize];
static volatile LONG queued;
static volatile LONG stdinEnded;

static void __stdcall OnKey(unsigned int keyCode, unsigned int argument)
{
    if (queued < QueueSize) {
        queue[queued].code = keyCode;
        queue[queued].argument = argument;
        queued++;
    }
}

static struct {
    char **lines;
    int lineCount;
    int line, offset, cursor; /* cursor: index in the line, or -1 */
    int textCells;
} view;

static int LineLength(void) { return (int)strlen(view.lines[view.line]); }

static void Show(void)
{
    unsigned char cells[MaxCells], status[StatusCells];
    char window[MaxCells + 1], numbers[16];
    const char *text = view.lines[view.line];
    int length = LineLength(), i;

    for (i = 0; i < view.textCells; ++i) {
        int at = view.offset + i;
        unsigned char c = at < length ? (unsigned char)text[at] : ' ';
        cells[i] = ComputerBrailleCell(c);
        if (at == view.cursor)
            cells[i] = (unsigned char)(cells[i] | 0xC0);
        window[i] = (char)c;
    }
    window[view.textCells] = 0;
    /* line number and window number, for example "01 02" */
    snprintf(numbers, sizeof numbers, "%02d %02d", (view.line + 1) % 100, (view.offset / view.textCells + 1) % 100);
    for (i = 0; i < StatusCells; ++i)
        status[i] = ComputerBrailleCell((unsigned char)numbers[i]);
    brl.DisplayStatus(status, StatusCells);
    brl.Display(cells, view.textCells);
    printf("show: status \"%s\" text \"%s\"", numbers, window);
    if (view.cursor >= 0)
        printf(" cursor %d", view.cursor + 1);
    printf("\n");
}

static void SleepAndWake(void)
{
    int result = brl.Sleep(1);
    printf("sleep: BrlSleep(1) = %d\n", result);
    Sleep(1000);
    result = brl.Sleep(0);
    printf("wake: BrlSleep(0) = %d\n", result);
    /* Going to sleep blanked the driver's cells, and waking resent those. */
    Show();
}

/* Returns 0 when the key asks to quit. */
static int HandleKey(unsigned int code, unsigned int argument)
{
    unsigned int keys = code & 0x7FFFFFFFu;
    const char *action = "no action";
    int quit = 0, show = 1;

    if (keys == 0x01) {
        action = "pan left";
        if (view.offset > 0)
            view.offset -= view.textCells;
    } else if (keys == 0x05) {
        action = "pan right";
        if (view.offset + view.textCells < LineLength())
            view.offset += view.textCells;
    } else if (keys == 0x02) {
        action = "previous line";
        if (view.line > 0)
            view.line--, view.offset = 0, view.cursor = -1;
    } else if (keys == 0x04) {
        action = "next line";
        if (view.line + 1 < view.lineCount)
            view.line++, view.offset = 0, view.cursor = -1;
    } else if (keys == 0x03) {
        action = "start of line";
        view.offset = 0;
    } else if (keys == 0x0105) {
        action = "first line";
        view.line = 0, view.offset = 0, view.cursor = -1;
    } else if (keys == 0x81 && argument >= 1 && (int)argument <= view.textCells) {
        action = "cursor";
        view.cursor = view.offset + (int)argument - 1;
    } else if (keys >= 0x3D && keys <= 0x41) {
        int line = (int)(keys - 0x3D);
        action = "go to line";
        if (line < view.lineCount)
            view.line = line, view.offset = 0, view.cursor = -1;
    } else if (keys == 0x1F) {
        action = "sleep and wake";
        show = 0;
    } else if (keys == 0x20) {
        action = "refresh";
        show = 0;
    } else if (keys == 0x24) {
        action = "quit";
        quit = 1;
        show = 0;
    } else {
        show = 0;
    }
    printf("key 0x%08X argument %u: %s\n", code, argument, action);
    if (keys == 0x1F)
        SleepAndWake();
    if (keys == 0x20)
        printf("refresh: BrlRefresh() = %d\n", brl.Refresh());
    if (show)
        Show();
    return !quit;
}

static DWORD WINAPI ReadStdin(LPVOID unused)
{
    char line[256];
    (void)unused;
    while (fgets(line, sizeof line, stdin))
        if (strncmp(line, "quit", 4) == 0)
            break;
    InterlockedExchange(&stdinEnded, 1);
    return 0;
}

static int Load(const char *path)
{
    const char *missing;
    DWORD error = 0;
    if (LoadDriverExports(&brl, path, &missing, &error))
        return 1;
    if (missing)
        fprintf(stderr, "brlhost: %s has no export %s\n", path, missing);
    else
        fprintf(stderr, "brlhost: cannot load %s (error %lu)\n", path, (unsigned long)error);
    return 0;
}

/* Serial ports are tried first so that "cannot open" and "no display"
 * get their own messages; the driver answers 0 for both. */
static int SerialPortOpens(const char *port, DWORD *error)
{
    char path[96], name[80];
    HANDLE h;
    int i;
    if (_strnicmp(port, "COM", 3) != 0)
        return 1;
    for (i = 0; port[i] && port[i] != ':' && i < (int)sizeof name - 1; ++i)
        name[i] = port[i];
    name[i] = 0;
    h = CreateFileA(ComDevicePath(name, path, (int)sizeof path), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                    0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return 0;
    }
    CloseHandle(h);
    return 1;
}

static int Usage(void)
{
    fprintf(stderr, "usage: brlhost [--dll PATH] [--seconds N] [--stdin] PORT [line...]\n"
                    "  PORT       COM1, COM2:38400,n,8,1, LPT1, ...\n"
                    "  line...    lines of text to show (default: a short demo text)\n"
                    "  --seconds  stop after N seconds\n"
                    "  --stdin    stop at the end of standard input (or a line \"quit\")\n");
    return 1;
}

int main(int argc, char **argv)
{
    static char *demo[] = {
        "Welcome to brlwin32, a driver for braille displays of the ESC family.",
        "Pan with keys 1 and 5; keys 2 and 4 change the line.",
        "Routing keys move the cursor, shown as dots 7 and 8.",
    };
    const char *dll = "brlwin32.dll", *port = NULL;
    double seconds = 0;
    int useStdin = 0, i, result, running = 1;
    DWORD error = 0, started, mode;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    int console = GetConsoleMode(input, &mode) != 0;

    setvbuf(stdout, NULL, _IONBF, 0);
    for (i = 1; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (strcmp(argv[i], "--dll") == 0 && i + 1 < argc)
            dll = argv[++i];
        else if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = atof(argv[++i]);
        else if (strcmp(argv[i], "--stdin") == 0)
            useStdin = 1;
        else
            return Usage();
    }
    if (i >= argc)
        return Usage();
    port = argv[i++];
    if (i < argc) {
        view.lines = argv + i;
        view.lineCount = argc - i;
    } else {
        view.lines = demo;
        view.lineCount = (int)(sizeof demo / sizeof demo[0]);
    }
    view.cursor = -1;

    if (!Load(dll))
        return 4;
    if (!SerialPortOpens(port, &error)) {
        fprintf(stderr, "brlhost: cannot open port %s (error %lu)\n", port, (unsigned long)error);
        return 2;
    }
    printf("brlhost: BrlInit(\"%s\") ...\n", port);
    result = brl.Init(port, OnKey);
    if (result == 0) {
        fprintf(stderr, "brlhost: no braille display answered on %s\n", port);
        brl.Terminate();
        return 3;
    }
    view.textCells = result & 0xFF;
    if (view.textCells > MaxCells)
        view.textCells = MaxCells;
    printf("model: %d text cells, %d status cells (BrlInit returned 0x%04X)\n", result & 0xFF, (result >> 8) & 0xFF,
           (unsigned)result);
    Show();

    if (useStdin)
        CloseHandle(CreateThread(NULL, 0, ReadStdin, NULL, 0, NULL));
    started = GetTickCount();
    while (running) {
        LONG n, k;
        brl.Timer();
        n = queued;
        for (k = 0; k < n && running; ++k)
            running = HandleKey(queue[k].code, queue[k].argument);
        queued = 0;
        if (seconds > 0 && GetTickCount() - started >= (DWORD)(seconds * 1000)) {
            printf("time is up after %.1f s\n", seconds);
            running = 0;
        }
        if (useStdin && stdinEnded) {
            printf("end of input\n");
            running = 0;
        }
        if (console && !useStdin && _kbhit()) {
            int c = _getch();
            if (c == 'q' || c == 27) {
                printf("quit from the keyboard\n");
                running = 0;
            }
        }
        Sleep(15);
    }
    printf("terminate: BrlTerminate() = %d\n", brl.Terminate());
    return 0;
}
