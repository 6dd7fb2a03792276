/*
 * window-probe: what a screen reader reads of the window display, and a way
 * to close it, for the window's tests.
 *
 *   window-probe print    prints the print line, from its edit control
 *   window-probe close    asks the window to close, as its close box does
 *
 * Exit codes: 0 done, 1 usage, 2 no window display is open.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

enum { PrintLineId = 1400 };

int main(int argc, char **argv)
{
    HWND window = FindWindowA("BrlVirtualDisplay", NULL);
    char text[512];
    if (argc != 2 || (strcmp(argv[1], "print") != 0 && strcmp(argv[1], "close") != 0)) {
        fprintf(stderr, "usage: window-probe print|close\n");
        return 1;
    }
    if (!window) {
        fprintf(stderr, "window-probe: no window display is open\n");
        return 2;
    }
    if (strcmp(argv[1], "close") == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    text[0] = 0;
    SendMessageA(GetDlgItem(window, PrintLineId), WM_GETTEXT, sizeof text, (LPARAM)text);
    printf("%s\n", text);
    return 0;
}
