// The HID minidriver interface of the Windows DDK that MinGW-w64 does not ship (hidport.h), and
// the real codes of the HID minidriver requests: MinGW's hidclass.h numbers them 0..5, which no
// HID class driver sends.
#pragma once

#include "kernel.h"
#include <hidusage.h>
#include <ddk/hidclass.h>

#undef IOCTL_HID_GET_STRING
#undef IOCTL_HID_GET_DEVICE_ATTRIBUTES
#undef IOCTL_HID_GET_DEVICE_DESCRIPTOR
#undef IOCTL_HID_READ_REPORT
#undef IOCTL_HID_WRITE_REPORT
#undef IOCTL_HID_GET_REPORT_DESCRIPTOR

#define IOCTL_HID_GET_DEVICE_DESCRIPTOR HID_CTL_CODE(0)
#define IOCTL_HID_GET_REPORT_DESCRIPTOR HID_CTL_CODE(1)
#define IOCTL_HID_READ_REPORT HID_CTL_CODE(2)
#define IOCTL_HID_WRITE_REPORT HID_CTL_CODE(3)
#define IOCTL_HID_GET_STRING HID_CTL_CODE(4)
#define IOCTL_HID_ACTIVATE_DEVICE HID_CTL_CODE(7)
#define IOCTL_HID_DEACTIVATE_DEVICE HID_CTL_CODE(8)
#define IOCTL_HID_GET_DEVICE_ATTRIBUTES HID_CTL_CODE(9)

// The strings that a HID class driver asks for: Windows numbers them 14..16, Wine 8.0 1..3.
#define VU_HID_STRING_ID_MANUFACTURER 14
#define VU_HID_STRING_ID_PRODUCT 15
#define VU_HID_STRING_ID_SERIAL_NUMBER 16

#define VU_HID_DESCRIPTOR_TYPE 0x21
#define VU_HID_REPORT_DESCRIPTOR_TYPE 0x22

extern "C" {

#include <pshpack1.h>
struct VU_HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    struct {
        UCHAR bReportType;
        USHORT wReportLength;
    } DescriptorList[1];
};
#include <poppack.h>

struct VU_HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
};

struct VU_HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
};

#define VU_HID_REVISION 1

struct VU_HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
};

NTSTATUS NTAPI HidRegisterMinidriver(VU_HID_MINIDRIVER_REGISTRATION* registration);

}  // extern "C"
