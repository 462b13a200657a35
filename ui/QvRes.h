#pragma once
// Access to resources of the program's own module, and writing resources
// into another executable file.
#include <windows.h>
#include <objidl.h>

#include "base/QvExport.h"

// A stream over a private copy of the resource (freed with the stream);
// null when it is missing. The caller releases it.
QV_API IStream* QvResGetStream(int id, const wchar_t* type);
// Copies the whole resource into `buffer`, which holds QvResSize bytes.
QV_API int QvResGetBuff(int id, const wchar_t* type, void* buffer);
// 1 when the resource exists (whatever the write did), 0 when missing.
QV_API int QvResSave(int id, const wchar_t* type, const wchar_t* path);
QV_API int QvResSize(int id, const wchar_t* type);
// Write a file's bytes, or a buffer, as resource `id` of type `type`
// (neutral language) into the executable `exe`; 1 when written.
QV_API int QvResUpdate(const wchar_t* exe, int id, const wchar_t* type, const wchar_t* source);
QV_API int QvResUpdate2(const wchar_t* exe, int id, const wchar_t* type, void* data, int size);

namespace qv {

// The bytes of a resource as the loader maps them (read-only, valid while
// the module stays loaded); false when missing.
bool FindResourceBytes(HMODULE module, int id, const wchar_t* type, const void** data,
                       DWORD* size);
// The same for the program's own module.
bool OwnResourceBytes(int id, const wchar_t* type, const void** data, DWORD* size);
// A stream over a fresh movable copy of `size` bytes that frees the copy
// when the stream is released; null when memory runs out.
IStream* StreamOverCopy(const void* data, size_t size);

}  // namespace qv
