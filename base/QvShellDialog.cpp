// The common dialogs: colour, save, open and folder choice.
#include "base/QvShell.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cwchar>

#include "base/QvShellScoped.h"
#include "base/QvSystemDll.h"

namespace {

// What the save and open dialogs share: the caller's buffer, owner, filter
// and default extension.
OPENFILENAMEW FileDialogRecord(wchar_t* out, DWORD size, HWND owner, const wchar_t* filter,
                               const wchar_t* defExt) {
    OPENFILENAMEW file{};
    file.lStructSize = sizeof(file);
    file.hwndOwner = owner;
    file.lpstrFilter = filter;
    file.nFilterIndex = 1;
    file.lpstrFile = out;
    file.nMaxFile = size;
    file.lpstrDefExt = defExt;
    return file;
}

}  // namespace

DWORD GetColorDlg(HWND owner, DWORD color) {
    COLORREF custom[16] = {};  // per call: the dialog keeps no state between uses
    for (COLORREF& c : custom) c = RGB(255, 255, 255);
    CHOOSECOLORW choose{};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = owner;
    choose.rgbResult = color;
    choose.lpCustColors = custom;
    choose.Flags = CC_FULLOPEN | CC_RGBINIT;
    auto chooseColor = qv::SystemFn<decltype(&::ChooseColorW)>(L"comdlg32.dll", "ChooseColorW");
    return chooseColor && chooseColor(&choose) ? choose.rgbResult : color;
}

int ShowSaveFileDlg(wchar_t* out, HWND owner, const wchar_t* defExt, const wchar_t* filter) {
    if (!out) return 0;
    out[0] = 0;
    OPENFILENAMEW file = FileDialogRecord(out, MAX_PATH, owner, filter, defExt);
    file.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    auto save = qv::SystemFn<decltype(&::GetSaveFileNameW)>(L"comdlg32.dll", "GetSaveFileNameW");
    if (save && save(&file)) return 1;
    out[0] = 0;
    return 0;
}

int ShowOpenFileDlg(wchar_t* out, int outSize, HWND owner, const wchar_t* filter,
                    const wchar_t* defExt, int multi) {
    if (!out || outSize < 2) return 0;
    out[0] = 0;
    OPENFILENAMEW file =
        FileDialogRecord(out, static_cast<DWORD>(outSize), owner, filter, defExt);
    file.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_READONLY;
    if (multi) file.Flags |= OFN_ALLOWMULTISELECT;
    auto open = qv::SystemFn<decltype(&::GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW");
    if (open && open(&file)) return 1;
    out[0] = 0;
    return 0;
}

int ShowSelDir(wchar_t* out, HWND owner) {
    if (!out) return 0;
    out[0] = 0;
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pszDisplayName = display;
    browse.lpszTitle = ::GetACP() == 1252 ? L"Please select the folder" : L"请选择文件夹";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    qv::ScopedItemId chosen(::SHBrowseForFolderW(&browse));
    if (!chosen) return 0;
    if (::SHGetPathFromIDListW(chosen.get(), out)) return 1;
    out[0] = 0;
    return 0;
}
