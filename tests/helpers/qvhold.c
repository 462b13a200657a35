/* Holds a file open as a running program does (no one may delete it
 * meanwhile) until a second file appears, or two minutes pass; makes
 * READYFILE once it holds FILE:
 *   qvhold.exe FILE STOPFILE READYFILE */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR line, int show) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    (void)instance; (void)previous; (void)line; (void)show;
    if (!argv || argc < 4) return 2;
    HANDLE held = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (held == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = CreateFileW(argv[3], GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    for (int i = 0; i < 1200 && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(held);
    return 0;
}
