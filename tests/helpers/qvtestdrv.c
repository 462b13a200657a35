/* The smallest kernel driver that can be started and stopped: the tests
   load it as a demand-start service. */
#include <ddk/wdm.h>

static void NTAPI Unload(PDRIVER_OBJECT driver) {
    (void)driver;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    (void)registryPath;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}
