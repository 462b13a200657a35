/* A DLL that an attacker would plant beside the uninstaller under the name
   of a system DLL: loaded, it leaves C:\qvplanted\<its name>.loaded. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t own[MAX_PATH], marker[MAX_PATH + 32] = L"C:\\qvplanted\\";
        DWORD n = GetModuleFileNameW(self, own, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            const wchar_t* name = own;
            for (const wchar_t* p = own; *p; ++p)
                if (*p == L'\\' || *p == L'/') name = p + 1;
            lstrcatW(marker, name);
            lstrcatW(marker, L".loaded");
            HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    return TRUE;
}
