/* Closes a window of a Windows program as its title bar's close button does: the
 * window gets WM_CLOSE. Used under Wine by the package checks, where no window
 * manager draws a close button to click.
 *
 *   close-window.exe TITLE-END [SECONDS]
 *
 * Waits up to SECONDS (default 60) for a visible top-level window whose title ends
 * with TITLE-END, posts WM_CLOSE to it and exits 0; exits 2 if none came. */
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

static const wchar_t* wanted;
static HWND found;

static BOOL CALLBACK look(HWND window, LPARAM unused)
{
    wchar_t title[512];
    (void)unused;
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER))
        return TRUE;
    int n = GetWindowTextW(window, title, 512);
    size_t end = wcslen(wanted);
    if (n >= 0 && (size_t)n >= end && wcscmp(title + n - end, wanted) == 0) {
        found = window;
        return FALSE;
    }
    return TRUE;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 3;
    wanted = argv[1];
    int tenths = (argc > 2 ? _wtoi(argv[2]) : 60) * 10;
    for (int i = 0; i < tenths && !found; ++i) {
        EnumWindows(look, 0);
        if (!found)
            Sleep(100);
    }
    if (!found)
        return 2;
    PostMessageW(found, WM_CLOSE, 0, 0);
    return 0;
}
