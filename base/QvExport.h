#pragma once
// The framework's interface is exported from qvUninstall.exe, which is the
// list of what the framework offers. Product teams link the static library
// qvframework (find_package(qvframework)); an executable cannot serve as a
// DLL, so there is no import library (docs/framework.md says why).
// Only members defined out of line are exported by mingw; classes that
// export their copy operations therefore define them in a .cpp file.
#if defined(QV_FRAMEWORK_BUILD)
#define QV_API __declspec(dllexport)
#else
#define QV_API
#endif
