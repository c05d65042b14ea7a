/* Stops a program with Ctrl+C as a user does in the console window where it runs.
 * Used under Wine by the package checks.
 *
 *   ctrl-c.exe FILE TEXT SECONDS PROGRAM [ARGUMENT...]
 *
 * Starts PROGRAM in this console (its own standard handles not redirected, so
 * that a windowed program attaches to the console as it would in cmd), waits up
 * to SECONDS for FILE to contain TEXT (UTF-8), sends the console's Ctrl+C
 * event, and waits up to SECONDS for the program to end. Exits with the program's
 * exit code; 200 if TEXT never came, 201 if the program did not end, 202 if it
 * could not start. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

static int fileHas(const wchar_t* path, const char* text)
{
    FILE* f = _wfopen(path, L"rb");
    if (!f)
        return 0;
    static char buffer[1 << 20];
    size_t n = fread(buffer, 1, sizeof buffer - 1, f);
    fclose(f);
    buffer[n] = 0;
    return strstr(buffer, text) != NULL;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5)
        return 203;
    char text[512];
    WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, text, sizeof text, NULL, NULL);
    DWORD limit = (DWORD)_wtoi(argv[3]) * 1000;

    wchar_t line[8192] = L"";
    for (int i = 4; i < argc; ++i) {
        wcscat(line, L"\"");
        wcscat(line, argv[i]);
        wcscat(line, i + 1 < argc ? L"\" " : L"\"");
    }
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 202;
    /* Only now: a process that ignores Ctrl+C passes that on to the ones it starts. */
    SetConsoleCtrlHandler(NULL, TRUE);

    DWORD waited = 0;
    while (!fileHas(argv[1], text)) {
        if (waited >= limit || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)
            return 200;
        Sleep(100);
        waited += 100;
    }
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    if (WaitForSingleObject(pi.hProcess, limit) != WAIT_OBJECT_0)
        return 201;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return (int)code;
}
