// Icons of files, icons written into a program, and the icon-cache refresh.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/QvScoped.h"
#include "base/QvShell.h"
#include "base/QvShellScoped.h"
#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

const WORD kChinese = 2052;

// One 32-bit image of an icon (BITMAPINFOHEADER, colour rows, mask rows)
// filled with a single opaque colour.
std::vector<BYTE> IconImage(int size, DWORD argb) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = size;
    h.biHeight = size * 2;  // colour and mask
    h.biPlanes = 1;
    h.biBitCount = 32;
    std::vector<BYTE> image(sizeof(h) + size * size * 4 + size * ((size + 31) / 32 * 4));
    std::memcpy(image.data(), &h, sizeof(h));
    for (int i = 0; i < size * size; ++i) std::memcpy(&image[sizeof(h) + i * 4], &argb, 4);
    return image;  // mask rows stay 0: every pixel shows
}

// An .ico file of the given images; `entries` receives the directory bytes
// that an icon group repeats for each image.
std::vector<BYTE> IcoFile(const std::vector<std::vector<BYTE>>& images, const std::vector<int>& sizes) {
    std::vector<BYTE> file(6 + images.size() * 16);
    WORD header[3] = {0, 1, static_cast<WORD>(images.size())};
    std::memcpy(file.data(), header, 6);
    for (size_t i = 0; i < images.size(); ++i) {
        BYTE* e = &file[6 + i * 16];
        e[0] = e[1] = static_cast<BYTE>(sizes[i]);
        WORD planes = 1, bits = 32;
        DWORD bytes = static_cast<DWORD>(images[i].size()), offset = static_cast<DWORD>(file.size());
        std::memcpy(e + 4, &planes, 2);
        std::memcpy(e + 6, &bits, 2);
        std::memcpy(e + 8, &bytes, 4);
        std::memcpy(e + 12, &offset, 4);
        file.insert(file.end(), images[i].begin(), images[i].end());
    }
    return file;
}

std::vector<BYTE> ResourceBytes(HMODULE module, LPCWSTR type, int id, WORD language) {
    HRSRC found = ::FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (!found) return {};
    const BYTE* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
    return data ? std::vector<BYTE>(data, data + ::SizeofResource(module, found)) : std::vector<BYTE>{};
}

std::vector<BYTE> ReadAll(const std::wstring& path) {
    std::vector<BYTE> data(static_cast<size_t>(FileSize(path.c_str())));
    DWORD size = static_cast<DWORD>(data.size());
    if (!data.empty()) QvReadFile(path.c_str(), data.data(), size);
    return data;
}

// The colour at the centre of an icon drawn on white.
DWORD IconCentre(HICON icon, int size) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    qv::ScopedBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    qv::ScopedMemDC dc(::CreateCompatibleDC(nullptr));
    qv::ScopedSelect select(dc.get(), bitmap.get());
    RECT all{0, 0, size, size};
    ::FillRect(dc.get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    return qvtest::ReadBitmap(bitmap.get()).at(size / 2, size / 2) & 0xFFFFFF;
}

std::wstring BinFile(const wchar_t* name) {
    std::wstring self = qvtest::SelfPath();
    return self.substr(0, self.rfind(L'\\') + 1) + name;
}

}  // namespace

TEST(ShellIcon, ExtractsAnIconOfTheRequestedSize) {
    qv::ScopedIcon icon(GetFileIcon(qvtest::SelfPath().c_str(), 0, 32));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
    qv::ScopedBitmap color(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
    EXPECT_EQ(32, bm.bmWidth);

    EXPECT_EQ(nullptr, GetFileIcon(L"C:\\no\\such\\file.exe", 0, 32));
    EXPECT_EQ(nullptr, GetFileIcon(qvtest::SelfPath().c_str(), 500, 32));
}

TEST(ShellIcon, ReplacesAProgramsIconGroupInChinese) {
    qvtest::TempDir dir(L"qvico");
    std::wstring exe = dir / L"copy.exe";
    ASSERT_TRUE(::CopyFileW(BinFile(L"qvargs.exe").c_str(), exe.c_str(), FALSE));
    std::vector<std::vector<BYTE>> images = {IconImage(16, 0xFFFF0000), IconImage(32, 0xFF0000FF)};
    std::vector<BYTE> ico = IcoFile(images, {16, 32});
    std::wstring icoPath = dir / L"new.ico";
    ASSERT_TRUE(qvtest::WriteFileBytes(icoPath, ico.data(), ico.size()));

    ASSERT_EQ(1, ReplaceExeIco(exe.c_str(), icoPath.c_str(), 5));
    {
        qv::ScopedModule module(::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module);
        std::vector<BYTE> group = ResourceBytes(module.get(), RT_GROUP_ICON, 5, kChinese);
        ASSERT_EQ(6u + 2 * 14, group.size());
        WORD count = 0;
        std::memcpy(&count, &group[4], 2);
        EXPECT_EQ(2, count);
        for (int i = 0; i < 2; ++i) {
            const BYTE* e = &group[6 + i * 14];
            WORD id = 0;
            DWORD bytes = 0;
            std::memcpy(&bytes, e + 8, 4);
            std::memcpy(&id, e + 12, 2);
            EXPECT_EQ(i == 0 ? 16 : 32, e[0]);
            EXPECT_EQ(images[i].size(), bytes);
            EXPECT_EQ(images[i], ResourceBytes(module.get(), RT_ICON, id, kChinese)) << i;
        }
    }
    // The shell finds the new icon, and the program still runs.
    qv::ScopedIcon icon(GetFileIcon(exe.c_str(), 0, 16));
    ASSERT_TRUE(icon);
    EXPECT_EQ(0xFF0000u, IconCentre(icon.get(), 16));
    std::wstring args = dir / L"args.txt";
    ::SetEnvironmentVariableW(L"QV_ARGS_OUT", args.c_str());
    EXPECT_EQ(0, qvtest::RunProcess(L"\"" + exe + L"\"", 60000));
    ::SetEnvironmentVariableW(L"QV_ARGS_OUT", nullptr);
}

TEST(ShellIcon, BadIconFilesLeaveTheProgramAsItWas) {
    qvtest::TempDir dir(L"qvico");
    std::wstring exe = dir / L"copy.exe";
    ASSERT_TRUE(::CopyFileW(BinFile(L"qvargs.exe").c_str(), exe.c_str(), FALSE));
    std::vector<BYTE> before = ReadAll(exe);

    std::vector<BYTE> ico = IcoFile({IconImage(16, 0xFF00FF00)}, {16});
    std::vector<BYTE> cut(ico.begin(), ico.end() - 10);  // the image runs past the end
    std::wstring cutPath = dir / L"cut.ico";
    ASSERT_TRUE(qvtest::WriteFileBytes(cutPath, cut.data(), cut.size()));
    EXPECT_EQ(0, ReplaceExeIco(exe.c_str(), cutPath.c_str(), 1));
    std::vector<BYTE> notIco = {'B', 'M', 0, 0, 0, 0, 0, 0};
    std::wstring bmpPath = dir / L"not.ico";
    ASSERT_TRUE(qvtest::WriteFileBytes(bmpPath, notIco.data(), notIco.size()));
    EXPECT_EQ(0, ReplaceExeIco(exe.c_str(), bmpPath.c_str(), 1));
    EXPECT_EQ(0, ReplaceExeIco(exe.c_str(), (dir / L"missing.ico").c_str(), 1));
    EXPECT_EQ(before, ReadAll(exe));

    std::wstring good = dir / L"good.ico";
    ASSERT_TRUE(qvtest::WriteFileBytes(good, ico.data(), ico.size()));
    EXPECT_EQ(0, ReplaceExeIco((dir / L"missing.exe").c_str(), good.c_str(), 1));
}

namespace {

std::vector<std::wstring> g_sizesSeen;

std::wstring ShellIconSize() {
    wchar_t value[32] = {};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics",
                       L"Shell Icon Size", RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
        return L"(none)";
    }
    return value;
}

LRESULT CALLBACK SettingsWatcher(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTINGCHANGE && wp == SPI_SETNONCLIENTMETRICS) g_sizesSeen.push_back(ShellIconSize());
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

TEST(ShellIcon, RefreshAnnouncesAChangedAndThenTheRealIconSize) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = SettingsWatcher;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvTestSettingsWatcher";
    ::RegisterClassW(&wc);
    HWND wnd = ::CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               wc.hInstance, nullptr);
    ASSERT_NE(nullptr, wnd);
    g_sizesSeen.clear();
    RefreshIconCache();
    ::DestroyWindow(wnd);
    int width = ::GetSystemMetrics(SM_CXICON);
    std::vector<std::wstring> expected = {std::to_wstring(width - 1), std::to_wstring(width)};
    EXPECT_EQ(expected, g_sizesSeen);
    EXPECT_EQ(std::to_wstring(width), ShellIconSize());
}
