// Kernel drivers loaded and unloaded as demand-start services.
#include "base/QvShell.h"

#include "base/QvShellScoped.h"

int LoadDrv(const wchar_t* name, const wchar_t* sysFile) {
    if (!name || !*name || !sysFile) return 0;
    qv::ScopedService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return 0;
    qv::ScopedService service(::CreateServiceW(
        manager.get(), name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
        SERVICE_ERROR_NORMAL, sysFile, nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        if (::GetLastError() != ERROR_SERVICE_EXISTS) return 0;
        service.reset(::OpenServiceW(manager.get(), name, SERVICE_ALL_ACCESS));
        if (!service) return 0;
    }
    if (::StartServiceW(service.get(), 0, nullptr)) return 1;
    return ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING ? 1 : 0;
}

int UnLoadDrv(const wchar_t* name) {
    if (!name || !*name) return 0;
    qv::ScopedService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return 0;
    qv::ScopedService service(::OpenServiceW(manager.get(), name, SERVICE_ALL_ACCESS));
    if (!service) return 0;
    SERVICE_STATUS status{};
    // A driver that is not running refuses the stop; it is deleted all the same.
    ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    ::DeleteService(service.get());
    return 1;
}
