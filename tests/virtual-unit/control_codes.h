// What the virtual unit's bus driver and the user-mode tools share: the name of the control
// device, its requests and the unit's report size. Needs CTL_CODE from wdm.h or winioctl.h.
#pragma once

// The control device, in the kernel's namespace and as user mode opens it.
#define VU_CONTROL_DEVICE_NAME L"\\Device\\TervalVirtualUnit"
#define VU_CONTROL_LINK_NAME L"\\DosDevices\\TervalVirtualUnit"
#define VU_CONTROL_PATH L"\\\\.\\TervalVirtualUnit"

// The unit's reports in both directions, report-ID byte included.
#define VU_REPORT_BYTES 60

#define VU_CONTROL_CODE(n) \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800 + (n), METHOD_BUFFERED, FILE_ANY_ACCESS)

// The server takes the bus: input a USHORT product ID. The unit is plugged in, and unplugged
// when the server's handle closes.
#define IOCTL_VU_SERVE VU_CONTROL_CODE(0)
// The cable: the unit's device node reported again, or taken away; refused with no server.
#define IOCTL_VU_PLUG VU_CONTROL_CODE(1)
#define IOCTL_VU_UNPLUG VU_CONTROL_CODE(2)
// The server's inverted call: kept pending until the program writes an output report, then
// completed with its VU_REPORT_BYTES bytes. Completed with STATUS_CANCELLED when the server is
// told to stop.
#define IOCTL_VU_NEXT_OUTPUT VU_CONTROL_CODE(3)
// The server's reply: input VU_REPORT_BYTES bytes, handed to the HID class driver as one input
// report. Returns once the class driver has handed it to every open handle of the unit and asks
// for the next (at most 100 ms), which keeps two faults of Wine 8.0 away (bus_driver.cpp,
// putInput).
#define IOCTL_VU_PUT_INPUT VU_CONTROL_CODE(4)
// The same, returning at once (only for showing that fault: vunit-reply-race --at-once).
#define IOCTL_VU_PUT_INPUT_AT_ONCE VU_CONTROL_CODE(7)
// Unplugs the unit and ends the server's pending and later requests; refused with no server.
#define IOCTL_VU_STOP VU_CONTROL_CODE(5)
// The bus's state: output a ULONG, VU_STATE_SERVED and VU_STATE_PLUGGED or'ed.
#define IOCTL_VU_STATE VU_CONTROL_CODE(6)
#define VU_STATE_SERVED 1
#define VU_STATE_PLUGGED 2
// The unit takes the next data block's output report (command 0x1B, handed to the server as
// always) and then holds that write request for good: it neither completes it nor lets it be
// cancelled, until the unit is unplugged (bench word block-never-ends). Refused with no server.
#define IOCTL_VU_HOLD_NEXT_BLOCK VU_CONTROL_CODE(16)
