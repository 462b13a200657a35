// Resources written to files and into other executables.
#include <vector>

#include "base/QvUtil.h"
#include "ui/QvRes.h"

int QvResSave(int id, const wchar_t* type, const wchar_t* path) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!qv::OwnResourceBytes(id, type, &data, &size)) return 0;
    QvWriteFile(path, const_cast<void*>(data), size);
    return 1;
}

int QvResUpdate(const wchar_t* exe, int id, const wchar_t* type, const wchar_t* source) {
    __int64 size = FileSize(source);
    if (size <= 0 || size > 0x7fffffff) return 0;
    std::vector<char> data(static_cast<size_t>(size));
    DWORD got = static_cast<DWORD>(size);
    if (!QvReadFile(source, data.data(), got) || got != data.size()) return 0;
    return QvResUpdate2(exe, id, type, data.data(), static_cast<int>(got));
}

int QvResUpdate2(const wchar_t* exe, int id, const wchar_t* type, void* data, int size) {
    // A null, empty buffer would tell UpdateResource to delete the resource.
    if (!exe || !type || size <= 0 || !data) return 0;
    HANDLE update = ::BeginUpdateResourceW(exe, FALSE);  // keep the existing resources
    if (!update) return 0;
    if (!::UpdateResourceW(update, type, MAKEINTRESOURCEW(id),
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), data,
                           static_cast<DWORD>(size))) {
        ::EndUpdateResourceW(update, TRUE);  // discard
        return 0;
    }
    return ::EndUpdateResourceW(update, FALSE) ? 1 : 0;
}
