#pragma once
// The framework lives inside qvUninstall.exe and is exported from it, so that
// product teams can link against the import library written beside the
// program. Only members defined out of line are exported by mingw; classes
// that export their copy operations therefore define them in a .cpp file.
#define QV_API __declspec(dllexport)
