// Icons of files and programs, and the shell's icon cache.
#include "base/QvShell.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/QvScoped.h"
#include "base/QvShellScoped.h"
#include "base/QvUtil.h"

namespace {

#pragma pack(push, 1)
struct IcoHeader {  // the start of an .ico file and of an icon group
    WORD reserved;
    WORD type;  // 1 for icons
    WORD count;
};
struct IcoEntry {  // one image in an .ico file
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    DWORD offset;
};
#pragma pack(pop)
#pragma pack(push, 2)
struct GroupEntry {  // one image in an icon group resource
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(IcoHeader) == 6 && sizeof(IcoEntry) == 16 && sizeof(GroupEntry) == 14);

const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052
const DWORD kMaxIcoBytes = 64 * 1024 * 1024;

bool ReadIco(const wchar_t* path, std::vector<BYTE>& data) {
    __int64 size = FileSize(path);
    if (size < static_cast<__int64>(sizeof(IcoHeader)) || size > kMaxIcoBytes) return false;
    data.resize(static_cast<size_t>(size));
    DWORD read = static_cast<DWORD>(size);
    return QvReadFile(path, data.data(), read) && read == data.size();
}

}  // namespace

HICON GetFileIcon(const wchar_t* file, int index, int size) {
    if (!file || size <= 0) return nullptr;
    HICON icon = nullptr;
    UINT got = ::PrivateExtractIconsW(file, index, size, size, &icon, nullptr, 1, 0);
    if (got == 0 || got == 0xFFFFFFFF) return nullptr;
    return icon;
}

int ReplaceExeIco(const wchar_t* exe, const wchar_t* ico, int group) {
    if (!exe || !ico || group <= 0 || group > 0xFFFF) return 0;
    std::vector<BYTE> data;
    if (!ReadIco(ico, data)) return 0;
    IcoHeader header;
    std::memcpy(&header, data.data(), sizeof(header));
    size_t entriesEnd = sizeof(header) + size_t{header.count} * sizeof(IcoEntry);
    if (header.reserved != 0 || header.type != 1 || header.count == 0 || entriesEnd > data.size()) {
        return 0;
    }

    std::vector<BYTE> groupData(sizeof(header) + size_t{header.count} * sizeof(GroupEntry));
    std::memcpy(groupData.data(), &header, sizeof(header));
    qv::ScopedResourceUpdate update(::BeginUpdateResourceW(exe, FALSE));
    if (!update) return 0;
    for (WORD i = 0; i < header.count; ++i) {
        IcoEntry entry;
        std::memcpy(&entry, data.data() + sizeof(header) + i * sizeof(IcoEntry), sizeof(entry));
        if (entry.bytes == 0 || entry.offset > data.size() || entry.bytes > data.size() - entry.offset) {
            return 0;
        }
        // Icon resources are numbered from 1: identifier 0 cannot be named
        // through MAKEINTRESOURCE and would leave the group pointing nowhere.
        WORD id = static_cast<WORD>(i + 1);
        if (!::UpdateResourceW(update.get(), RT_ICON, MAKEINTRESOURCEW(id), kChinese,
                               data.data() + entry.offset, entry.bytes)) {
            return 0;
        }
        GroupEntry out{entry.width, entry.height, entry.colors, entry.reserved,
                       entry.planes, entry.bitCount, entry.bytes, id};
        std::memcpy(groupData.data() + sizeof(header) + i * sizeof(GroupEntry), &out, sizeof(out));
    }
    if (!::UpdateResourceW(update.get(), RT_GROUP_ICON, MAKEINTRESOURCEW(group), kChinese,
                           groupData.data(), static_cast<DWORD>(groupData.size()))) {
        return 0;
    }
    return ::EndUpdateResourceW(update.release(), FALSE) ? 1 : 0;
}

void RefreshIconCache() {
    qv::ScopedKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", 0, nullptr,
                          0, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    int width = ::GetSystemMetrics(SM_CXICON);
    // A change of size makes the shell throw its cached icons away; the
    // second write puts the real size back.
    for (int size : {width - 1, width}) {
        std::wstring text = std::to_wstring(size);
        ::RegSetValueExW(key.get(), L"Shell Icon Size", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        DWORD_PTR ignored = 0;
        // A hung top-level window must not hang the caller.
        ::SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0,
                              SMTO_ABORTIFHUNG, 5000, &ignored);
    }
}
