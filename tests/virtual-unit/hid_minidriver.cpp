// The virtual programming unit's HID minidriver: registers with the HID class driver for the
// bus driver's child device and hands every request of the class driver down to that child,
// which answers as the unit's USB interface would (bus_driver.cpp).
//
// Kernel-mode C++: no exceptions, no RTTI, no standard library, no static constructors.
#include "kernel.h"

#include "hidport.h"

namespace {

DEVICE_OBJECT* childOf(DEVICE_OBJECT* device) {
    return static_cast<VU_HID_DEVICE_EXTENSION*>(device->DeviceExtension)->NextDeviceObject;
}

NTSTATUS passDown(DEVICE_OBJECT* device, IRP* irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(childOf(device), irp);
}

NTSTATUS passPowerDown(DEVICE_OBJECT* device, IRP* irp) {
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(childOf(device), irp);
}

NTSTATUS addDevice(DRIVER_OBJECT*, DEVICE_OBJECT* device) {
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void unload(DRIVER_OBJECT*) {}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = passDown;
    driver->MajorFunction[IRP_MJ_PNP] = passDown;
    driver->MajorFunction[IRP_MJ_POWER] = passPowerDown;
    driver->DriverExtension->AddDevice = addDevice;
    driver->DriverUnload = unload;

    VU_HID_MINIDRIVER_REGISTRATION registration;
    registration.Revision = VU_HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = 0;
    registration.DevicesArePolled = FALSE;
    for (UCHAR& reserved : registration.Reserved) reserved = 0;
    return HidRegisterMinidriver(&registration);
}
