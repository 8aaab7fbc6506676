// The virtual programming unit's bus: a root-enumerated bus driver that reports one child device
// per plugged unit, and answers the HID minidriver's requests on that child as the unit's USB
// interface would. The unit's requests and replies go to a server in user mode through the
// control device (control_codes.h): the server keeps a request pending that the driver completes
// with each output report, and hands every reply back as one input report.
//
// Kernel-mode C++: no exceptions, no RTTI, no standard library, no static constructors.
#include "kernel.h"

#include "control_codes.h"
#include "hidport.h"

namespace {

constexpr USHORT kVendorId = 0x5EA7;
constexpr USHORT kVersionNumber = 0x0100;
constexpr ULONG kPoolTag = 0x75765654;  // 'TVvu'
// Reports that may wait for their taker in either direction; a full queue drops the oldest.
constexpr ULONG kQueueDepth = 32;
// The longest that a reply's hand-over waits for the class driver to ask for the next report.
constexpr LONGLONG kHandOverTimeout = -1'000'000;  // 100 ms, relative, in units of 100 ns

// The unit's report descriptor: a vendor-defined collection with output report 1 and input
// report 2 of 59 data bytes each, so that HidP_GetCaps gives lengths of 60 with the ID byte.
const UCHAR kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  // usage page: vendor-defined 0xFF00
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection: application
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size: 8 bits
    0x95, 0x3B,        //   report count: 59
    0x85, 0x02,        //   report ID 2
    0x09, 0x02,        //   usage 2
    0x81, 0x02,        //   input: data, variable, absolute
    0x85, 0x01,        //   report ID 1
    0x09, 0x03,        //   usage 3
    0x91, 0x02,        //   output: data, variable, absolute
    0xC0,              // end of collection
};

enum class Role { bus, control, unit };

struct Extension {
    Role role;
};

struct ReportQueue {
    UCHAR reports[kQueueDepth][VU_REPORT_BYTES];
    ULONG first;
    ULONG count;
};

// The one bus, its control device and its unit; zero until the bus is added.
struct Bus {
    KSPIN_LOCK lock;
    DEVICE_OBJECT* rootNode;  // the root device node below the bus
    DEVICE_OBJECT* fdo;
    DEVICE_OBJECT* lower;
    DEVICE_OBJECT* control;
    DEVICE_OBJECT* unit;  // the child device while it exists
    bool plugged;         // the unit is reported among the bus's children
    bool stopped;         // the server was told to stop
    USHORT productId;
    ULONG unitsMade;  // names each child device anew
    FILE_OBJECT* server;
    LIST_ENTRY serverRequests;  // IOCTL_VU_NEXT_OUTPUT waiting for an output report
    LIST_ENTRY reads;           // IOCTL_HID_READ_REPORT waiting for an input report
    ReportQueue outputReports;  // written by a program, not yet taken by the server
    ReportQueue inputReports;   // replies of the server, not yet read by the HID class driver
    // Set while a read of the class driver waits here with no reply queued: it has handed every
    // earlier reply to the unit's open handles.
    KEVENT classDriverIdle;
};

Bus bus;

Role roleOf(DEVICE_OBJECT* device) {
    return static_cast<Extension*>(device->DeviceExtension)->role;
}

void copyBytes(void* to, const void* from, ULONG count) {
    auto* target = static_cast<UCHAR*>(to);
    const auto* source = static_cast<const UCHAR*>(from);
    for (ULONG i = 0; i < count; ++i) target[i] = source[i];
}

void fillZero(void* to, ULONG count) {
    auto* target = static_cast<UCHAR*>(to);
    for (ULONG i = 0; i < count; ++i) target[i] = 0;
}

NTSTATUS complete(IRP* irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// --- Queues, all under bus.lock -------------------------------------------------------------

void pushReport(ReportQueue& queue, const UCHAR* report) {
    if (queue.count == kQueueDepth) {
        queue.first = (queue.first + 1) % kQueueDepth;
        --queue.count;
    }
    copyBytes(queue.reports[(queue.first + queue.count) % kQueueDepth], report, VU_REPORT_BYTES);
    ++queue.count;
}

bool popReport(ReportQueue& queue, UCHAR* report) {
    if (queue.count == 0) return false;
    copyBytes(report, queue.reports[queue.first], VU_REPORT_BYTES);
    queue.first = (queue.first + 1) % kQueueDepth;
    --queue.count;
    return true;
}

void cancelQueued(DEVICE_OBJECT*, IRP* irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&bus.lock, irql);
    complete(irp, STATUS_CANCELLED, 0);
}

// Keeps irp pending on list. False when it has been cancelled already: the caller completes it.
bool holdIrp(LIST_ENTRY* list, IRP* irp) {
    IoSetCancelRoutine(irp, cancelQueued);
    if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr) return false;
    IoMarkIrpPending(irp);
    InsertTailList(list, &irp->Tail.Overlay.ListEntry);
    return true;
}

// The oldest request held on list that is not being cancelled, or null.
IRP* takeIrp(LIST_ENTRY* list) {
    while (!IsListEmpty(list)) {
        LIST_ENTRY* entry = RemoveHeadList(list);
        IRP* irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (IoSetCancelRoutine(irp, nullptr) != nullptr) return irp;
        InitializeListHead(entry);  // its cancel routine runs and completes it
    }
    return nullptr;
}

// Completes every request held on list with status; the lock is not held.
void endHeld(LIST_ENTRY* list, NTSTATUS status) {
    for (;;) {
        KIRQL irql;
        KeAcquireSpinLock(&bus.lock, &irql);
        IRP* irp = takeIrp(list);
        KeReleaseSpinLock(&bus.lock, irql);
        if (irp == nullptr) return;
        complete(irp, status, 0);
    }
}

// --- A block that never ends ----------------------------------------------------------------

// Armed by the server for the bench word block-never-ends: the next data block's write is taken
// (its report goes to the server as every other) and then held for good, with no cancel routine,
// so that it neither completes nor ends when the program cancels it, as with a driver that is
// stuck. Only the unit's going (unplug, stop, the server's end) completes it. Under bus.lock.
struct NeverEndingBlock {
    bool armed;
    IRP* held;
};

NeverEndingBlock neverEnding;

NTSTATUS armNeverEndingBlock(IRP* irp) {
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    neverEnding.armed = true;
    KeReleaseSpinLock(&bus.lock, irql);
    return complete(irp, STATUS_SUCCESS, 0);
}

// Whether the write irp of report (ID byte first) is the one held; it is then pending.
bool holdsForGood(IRP* irp, const UCHAR* report) {
    constexpr UCHAR kWriteBlock = 0x1B;
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    const bool hold = neverEnding.armed && neverEnding.held == nullptr && report[1] == kWriteBlock;
    if (hold) {
        neverEnding.armed = false;
        neverEnding.held = irp;
        IoMarkIrpPending(irp);
    }
    KeReleaseSpinLock(&bus.lock, irql);
    return hold;
}

// The held write ends as one to a unit that has gone.
void endNeverEndingBlock() {
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    IRP* irp = neverEnding.held;
    neverEnding.held = nullptr;
    neverEnding.armed = false;
    KeReleaseSpinLock(&bus.lock, irql);
    if (irp != nullptr) complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
}

// --- The cable -------------------------------------------------------------------------------

void reportChildren() { IoInvalidateDeviceRelations(bus.rootNode, BusRelations); }

NTSTATUS plug() {
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    const bool plugged = bus.plugged;
    KeReleaseSpinLock(&bus.lock, irql);
    if (plugged) return STATUS_SUCCESS;

    WCHAR name[] = L"\\Device\\TervalVirtualUnit000";
    const ULONG number = ++bus.unitsMade % 1000;
    const ULONG digits = sizeof name / sizeof name[0] - 4;
    name[digits] = static_cast<WCHAR>(L'0' + number / 100);
    name[digits + 1] = static_cast<WCHAR>(L'0' + number / 10 % 10);
    name[digits + 2] = static_cast<WCHAR>(L'0' + number % 10);
    UNICODE_STRING unitName;
    RtlInitUnicodeString(&unitName, name);
    DEVICE_OBJECT* unit = nullptr;
    const NTSTATUS status =
        IoCreateDevice(bus.fdo->DriverObject, sizeof(Extension), &unitName, FILE_DEVICE_UNKNOWN,
                       FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &unit);
    if (!NT_SUCCESS(status)) return status;
    static_cast<Extension*>(unit->DeviceExtension)->role = Role::unit;
    unit->Flags &= ~DO_DEVICE_INITIALIZING;

    KeAcquireSpinLock(&bus.lock, &irql);
    bus.unit = unit;
    bus.plugged = true;
    bus.inputReports.count = 0;
    bus.outputReports.count = 0;
    KeReleaseSpinLock(&bus.lock, irql);
    reportChildren();
    return STATUS_SUCCESS;
}

void unplug() {
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    const bool wasPlugged = bus.plugged;
    bus.plugged = false;
    bus.inputReports.count = 0;
    bus.outputReports.count = 0;
    KeSetEvent(&bus.classDriverIdle, IO_NO_INCREMENT, FALSE);  // no hand-over waits for it now
    KeReleaseSpinLock(&bus.lock, irql);
    endHeld(&bus.reads, STATUS_DEVICE_NOT_CONNECTED);
    endNeverEndingBlock();
    if (wasPlugged) reportChildren();
}

// --- The control device ----------------------------------------------------------------------

NTSTATUS nextOutput(IRP* irp, IO_STACK_LOCATION* stack) {
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < VU_REPORT_BYTES) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    auto* report = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    if (bus.stopped) {
        KeReleaseSpinLock(&bus.lock, irql);
        return complete(irp, STATUS_CANCELLED, 0);
    }
    if (popReport(bus.outputReports, report)) {
        KeReleaseSpinLock(&bus.lock, irql);
        return complete(irp, STATUS_SUCCESS, VU_REPORT_BYTES);
    }
    const bool held = holdIrp(&bus.serverRequests, irp);
    KeReleaseSpinLock(&bus.lock, irql);
    if (!held) return complete(irp, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
}

// Hands a reply of the server to the class driver. Unless atOnce, returns only once the class
// driver has handed it to every open handle of the unit and asks for the next report, or after
// kHandOverTimeout. Under Wine 8.0 every request of the prefix's programs and this one are
// dispatched by one thread of the driver host, so while this waits the class driver's thread
// queues and completes the reads alone. Without the wait, another program that cancels its reads
// brings out a fault of Wine (vunit-reply-race --at-once --second-reader-cancelling): a pending
// request that nobody cancelled, the server's, ends as cancelled, and the unit answers no more.
// The wait also keeps away a race that Wine's class driver has by its code (hidclass.sys,
// pdo_read): it looks into a handle's queue and only then, under another hold of its lock, keeps
// the handle's read waiting, so that a report queued in between stays unread until a later one
// comes, and the unit sends none unasked.
NTSTATUS putInput(IRP* irp, IO_STACK_LOCATION* stack, bool atOnce) {
    if (stack->Parameters.DeviceIoControl.InputBufferLength < VU_REPORT_BYTES) {
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    const auto* report = static_cast<const UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    IRP* read = nullptr;
    // An unplugged unit's replies reach nobody.
    const bool handedOver = bus.plugged;
    if (handedOver) {
        read = takeIrp(&bus.reads);
        if (read == nullptr) pushReport(bus.inputReports, report);
        KeClearEvent(&bus.classDriverIdle);
    }
    KeReleaseSpinLock(&bus.lock, irql);
    if (read != nullptr) {
        IO_STACK_LOCATION* readStack = IoGetCurrentIrpStackLocation(read);
        ULONG length = readStack->Parameters.DeviceIoControl.OutputBufferLength;
        if (length > VU_REPORT_BYTES) length = VU_REPORT_BYTES;
        copyBytes(read->UserBuffer, report, length);
        complete(read, STATUS_SUCCESS, length);
    }
    if (handedOver && !atOnce) {
        LARGE_INTEGER timeout;
        timeout.QuadPart = kHandOverTimeout;
        KeWaitForSingleObject(&bus.classDriverIdle, Executive, KernelMode, FALSE, &timeout);
    }
    return complete(irp, STATUS_SUCCESS, 0);
}

void stopServer() {
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    bus.stopped = true;
    bus.server = nullptr;
    KeReleaseSpinLock(&bus.lock, irql);
    unplug();
    endHeld(&bus.serverRequests, STATUS_CANCELLED);
}

NTSTATUS controlRequest(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_VU_SERVE: {
            if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(USHORT)) {
                return complete(irp, STATUS_INVALID_PARAMETER, 0);
            }
            KIRQL irql;
            KeAcquireSpinLock(&bus.lock, &irql);
            const bool taken = bus.server != nullptr;
            if (!taken) {
                bus.server = stack->FileObject;
                bus.stopped = false;
                bus.productId = *static_cast<USHORT*>(irp->AssociatedIrp.SystemBuffer);
            }
            KeReleaseSpinLock(&bus.lock, irql);
            if (taken) return complete(irp, STATUS_DEVICE_BUSY, 0);
            return complete(irp, plug(), 0);
        }
        // The cable and the stop need a served unit.
        case IOCTL_VU_PLUG:
            if (bus.server == nullptr) return complete(irp, STATUS_DEVICE_NOT_READY, 0);
            return complete(irp, plug(), 0);
        case IOCTL_VU_UNPLUG:
            if (bus.server == nullptr) return complete(irp, STATUS_DEVICE_NOT_READY, 0);
            unplug();
            return complete(irp, STATUS_SUCCESS, 0);
        case IOCTL_VU_NEXT_OUTPUT: return nextOutput(irp, stack);
        case IOCTL_VU_PUT_INPUT: return putInput(irp, stack, false);
        case IOCTL_VU_PUT_INPUT_AT_ONCE: return putInput(irp, stack, true);
        case IOCTL_VU_STOP:
            if (bus.server == nullptr) return complete(irp, STATUS_DEVICE_NOT_READY, 0);
            stopServer();
            return complete(irp, STATUS_SUCCESS, 0);
        case IOCTL_VU_HOLD_NEXT_BLOCK:
            if (bus.server == nullptr) return complete(irp, STATUS_DEVICE_NOT_READY, 0);
            return armNeverEndingBlock(irp);
        case IOCTL_VU_STATE: {
            if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG)) {
                return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
            }
            ULONG state = 0;
            if (bus.server != nullptr) state |= VU_STATE_SERVED;
            if (bus.plugged) state |= VU_STATE_PLUGGED;
            *static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer) = state;
            return complete(irp, STATUS_SUCCESS, sizeof state);
        }
        default: return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

// The server's handle closing unplugs the unit, however the server ended.
NTSTATUS controlClosing(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    const bool server = bus.server != nullptr && bus.server == stack->FileObject;
    if (server) bus.server = nullptr;
    KeReleaseSpinLock(&bus.lock, irql);
    if (server) {
        unplug();
        endHeld(&bus.serverRequests, STATUS_CANCELLED);
    }
    return complete(irp, STATUS_SUCCESS, 0);
}

// --- The unit's HID interface ----------------------------------------------------------------

NTSTATUS answerBytes(IRP* irp, const void* data, ULONG size) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < size || irp->UserBuffer == nullptr) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    copyBytes(irp->UserBuffer, data, size);
    return complete(irp, STATUS_SUCCESS, size);
}

NTSTATUS deviceDescriptor(IRP* irp) {
    VU_HID_DESCRIPTOR descriptor;
    fillZero(&descriptor, sizeof descriptor);
    descriptor.bLength = sizeof descriptor;
    descriptor.bDescriptorType = VU_HID_DESCRIPTOR_TYPE;
    descriptor.bcdHID = 0x0111;
    descriptor.bNumDescriptors = 1;
    descriptor.DescriptorList[0].bReportType = VU_HID_REPORT_DESCRIPTOR_TYPE;
    descriptor.DescriptorList[0].wReportLength = sizeof kReportDescriptor;
    return answerBytes(irp, &descriptor, sizeof descriptor);
}

NTSTATUS deviceAttributes(IRP* irp) {
    VU_HID_DEVICE_ATTRIBUTES attributes;
    fillZero(&attributes, sizeof attributes);
    attributes.Size = sizeof attributes;
    attributes.VendorID = kVendorId;
    attributes.ProductID = bus.productId;
    attributes.VersionNumber = kVersionNumber;
    return answerBytes(irp, &attributes, sizeof attributes);
}

const WCHAR* productName() {
    return bus.productId == 1 ? L"LINKWAVE (virtual)" : L"LINK-CUBE (virtual)";
}

NTSTATUS deviceString(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    // The string's number travels as the value of the input pointer.
    const ULONG id = static_cast<ULONG>(
        reinterpret_cast<ULONG_PTR>(stack->Parameters.DeviceIoControl.Type3InputBuffer) & 0xFFFF);
    const WCHAR* text = nullptr;
    if (id == VU_HID_STRING_ID_MANUFACTURER || id == 1) text = L"BELMARODA";
    if (id == VU_HID_STRING_ID_PRODUCT || id == 2) text = productName();
    if (id == VU_HID_STRING_ID_SERIAL_NUMBER || id == 3) text = L"VU0001";
    if (text == nullptr) return complete(irp, STATUS_INVALID_PARAMETER, 0);
    ULONG size = sizeof(WCHAR);
    while (text[size / sizeof(WCHAR) - 1] != 0) size += sizeof(WCHAR);
    return answerBytes(irp, text, size);
}

NTSTATUS readReport(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (length > VU_REPORT_BYTES) length = VU_REPORT_BYTES;
    UCHAR report[VU_REPORT_BYTES];
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    if (!bus.plugged) {
        KeReleaseSpinLock(&bus.lock, irql);
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    if (popReport(bus.inputReports, report)) {
        KeReleaseSpinLock(&bus.lock, irql);
        copyBytes(irp->UserBuffer, report, length);
        return complete(irp, STATUS_SUCCESS, length);
    }
    const bool held = holdIrp(&bus.reads, irp);
    if (held) KeSetEvent(&bus.classDriverIdle, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&bus.lock, irql);
    if (!held) return complete(irp, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
}

// The transfer packet of a write: in the output buffer, where Windows puts it and Wine 8.0 too
// (with the packet's size given as the input length, and no input buffer).
HID_XFER_PACKET* writePacket(IRP* irp) {
    if (irp->UserBuffer != nullptr) return static_cast<HID_XFER_PACKET*>(irp->UserBuffer);
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    return static_cast<HID_XFER_PACKET*>(stack->Parameters.DeviceIoControl.Type3InputBuffer);
}

NTSTATUS writeReport(IRP* irp) {
    const HID_XFER_PACKET* packet = writePacket(irp);
    if (packet == nullptr || packet->reportBuffer == nullptr) {
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    // The report as the unit receives it: its ID byte first, then the data.
    UCHAR report[VU_REPORT_BYTES];
    fillZero(report, sizeof report);
    const UCHAR* data = packet->reportBuffer;
    ULONG length = packet->reportBufferLen;
    ULONG at = 0;
    if (length == 0 || data[0] != packet->reportId) report[at++] = packet->reportId;
    if (length > VU_REPORT_BYTES - at) length = VU_REPORT_BYTES - at;
    copyBytes(report + at, data, length);

    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    if (!bus.plugged) {
        KeReleaseSpinLock(&bus.lock, irql);
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    IRP* server = takeIrp(&bus.serverRequests);
    if (server == nullptr) pushReport(bus.outputReports, report);
    KeReleaseSpinLock(&bus.lock, irql);
    if (server != nullptr) {
        copyBytes(server->AssociatedIrp.SystemBuffer, report, VU_REPORT_BYTES);
        complete(server, STATUS_SUCCESS, VU_REPORT_BYTES);
    }
    if (holdsForGood(irp, report)) return STATUS_PENDING;
    return complete(irp, STATUS_SUCCESS, packet->reportBufferLen);
}

NTSTATUS unitRequest(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_HID_GET_DEVICE_DESCRIPTOR: return deviceDescriptor(irp);
        case IOCTL_HID_GET_REPORT_DESCRIPTOR:
            return answerBytes(irp, kReportDescriptor, sizeof kReportDescriptor);
        case IOCTL_HID_GET_DEVICE_ATTRIBUTES: return deviceAttributes(irp);
        case IOCTL_HID_GET_STRING: return deviceString(irp);
        case IOCTL_HID_READ_REPORT: return readReport(irp);
        case IOCTL_HID_WRITE_REPORT: return writeReport(irp);
        case IOCTL_HID_ACTIVATE_DEVICE:
        case IOCTL_HID_DEACTIVATE_DEVICE: return complete(irp, STATUS_SUCCESS, 0);
        default: return complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

// A MULTI_SZ (or, with one terminator, a plain string) in pool memory that the PnP manager frees.
WCHAR* poolString(const WCHAR* text, bool multi) {
    ULONG count = 0;
    while (text[count] != 0) ++count;
    const ULONG total = count + (multi ? 2 : 1);
    auto* copy =
        static_cast<WCHAR*>(ExAllocatePoolWithTag(PagedPool, total * sizeof(WCHAR), kPoolTag));
    if (copy == nullptr) return nullptr;
    copyBytes(copy, text, count * sizeof(WCHAR));
    for (ULONG i = count; i < total; ++i) copy[i] = 0;
    return copy;
}

// One device node for either product, named by the vendor alone (the HID class driver names the
// unit's interface \\?\hid#vid_5ea7#1#{...} after it): Wine 8.0 installs the minidriver for the
// first node of the bus that appears in a prefix, and not for a second one with other IDs. The
// product is told by the unit's attributes, as the program reads it.
NTSTATUS unitId(IRP* irp, BUS_QUERY_ID_TYPE type) {
    const WCHAR* hardwareId = L"TERVALVU\\VID_5EA7";
    WCHAR* id = nullptr;
    switch (type) {
        case BusQueryDeviceID: id = poolString(hardwareId, false); break;
        case BusQueryHardwareIDs: id = poolString(hardwareId, true); break;
        // The HID minidriver is installed for this one.
        case BusQueryCompatibleIDs: id = poolString(L"TERVALVU\\HIDUNIT", true); break;
        case BusQueryInstanceID: id = poolString(L"1", false); break;
        default: return complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    if (id == nullptr) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    return complete(irp, STATUS_SUCCESS, reinterpret_cast<ULONG_PTR>(id));
}

NTSTATUS unitPnp(DEVICE_OBJECT* device, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_STOP_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE: return complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_QUERY_ID: return unitId(irp, stack->Parameters.QueryId.IdType);
        case IRP_MN_QUERY_CAPABILITIES: {
            DEVICE_CAPABILITIES* capabilities = stack->Parameters.DeviceCapabilities.Capabilities;
            capabilities->Removable = TRUE;
            capabilities->SurpriseRemovalOK = TRUE;
            return complete(irp, STATUS_SUCCESS, 0);
        }
        case IRP_MN_QUERY_DEVICE_RELATIONS: {
            if (stack->Parameters.QueryDeviceRelations.Type != TargetDeviceRelation) break;
            auto* relations = static_cast<DEVICE_RELATIONS*>(
                ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS), kPoolTag));
            if (relations == nullptr) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
            relations->Count = 1;
            relations->Objects[0] = device;
            ObReferenceObject(device);
            return complete(irp, STATUS_SUCCESS, reinterpret_cast<ULONG_PTR>(relations));
        }
        case IRP_MN_SURPRISE_REMOVAL:
            endHeld(&bus.reads, STATUS_DEVICE_NOT_CONNECTED);
            return complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_REMOVE_DEVICE: {
            endHeld(&bus.reads, STATUS_DEVICE_NOT_CONNECTED);
            // A unit that is still reported stays; one that was unplugged goes for good.
            KIRQL irql;
            KeAcquireSpinLock(&bus.lock, &irql);
            const bool gone = device != bus.unit || !bus.plugged;
            if (gone && device == bus.unit) bus.unit = nullptr;
            KeReleaseSpinLock(&bus.lock, irql);
            complete(irp, STATUS_SUCCESS, 0);
            if (gone) IoDeleteDevice(device);
            return STATUS_SUCCESS;
        }
        default: break;
    }
    return complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
}

// --- The bus itself --------------------------------------------------------------------------

NTSTATUS passDown(IRP* irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus.lower, irp);
}

NTSTATUS busRelations(IRP* irp) {
    auto* relations = static_cast<DEVICE_RELATIONS*>(
        ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS), kPoolTag));
    if (relations == nullptr) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    KIRQL irql;
    KeAcquireSpinLock(&bus.lock, &irql);
    relations->Count = 0;
    if (bus.plugged && bus.unit != nullptr) {
        relations->Count = 1;
        relations->Objects[0] = bus.unit;
        ObReferenceObject(bus.unit);
    }
    KeReleaseSpinLock(&bus.lock, irql);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = reinterpret_cast<ULONG_PTR>(relations);
    return passDown(irp);
}

void removeBus() {
    stopServer();
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, VU_CONTROL_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(bus.control);
    bus.control = nullptr;
}

NTSTATUS busPnp(IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == BusRelations)
                return busRelations(irp);
            break;
        case IRP_MN_START_DEVICE:
        case IRP_MN_QUERY_CAPABILITIES:
        case IRP_MN_SURPRISE_REMOVAL: irp->IoStatus.Status = STATUS_SUCCESS; break;
        case IRP_MN_REMOVE_DEVICE: {
            removeBus();
            irp->IoStatus.Status = STATUS_SUCCESS;
            const NTSTATUS status = passDown(irp);
            IoDetachDevice(bus.lower);
            IoDeleteDevice(bus.fdo);
            bus.fdo = nullptr;
            return status;
        }
        default: break;
    }
    return passDown(irp);
}

NTSTATUS dispatchPnp(DEVICE_OBJECT* device, IRP* irp) {
    switch (roleOf(device)) {
        case Role::bus: return busPnp(irp);
        case Role::unit: return unitPnp(device, irp);
        default: return complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

NTSTATUS dispatchPower(DEVICE_OBJECT* device, IRP* irp) {
    PoStartNextPowerIrp(irp);
    if (roleOf(device) == Role::bus) {
        IoSkipCurrentIrpStackLocation(irp);
        return PoCallDriver(bus.lower, irp);
    }
    return complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS dispatchCreate(DEVICE_OBJECT*, IRP* irp) { return complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS dispatchClose(DEVICE_OBJECT* device, IRP* irp) {
    if (roleOf(device) == Role::control) return controlClosing(irp);
    return complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS dispatchDeviceControl(DEVICE_OBJECT* device, IRP* irp) {
    if (roleOf(device) == Role::control) return controlRequest(irp);
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

NTSTATUS dispatchInternalDeviceControl(DEVICE_OBJECT* device, IRP* irp) {
    if (roleOf(device) == Role::unit) return unitRequest(irp);
    if (roleOf(device) == Role::bus) return passDown(irp);
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

NTSTATUS createControlDevice(DRIVER_OBJECT* driver) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, VU_CONTROL_DEVICE_NAME);
    NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), &name, FILE_DEVICE_UNKNOWN, 0,
                                     FALSE, &bus.control);
    if (!NT_SUCCESS(status)) return status;
    static_cast<Extension*>(bus.control->DeviceExtension)->role = Role::control;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, VU_CONTROL_LINK_NAME);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(bus.control);
        bus.control = nullptr;
        return status;
    }
    bus.control->Flags |= DO_BUFFERED_IO;
    bus.control->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

NTSTATUS addDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* rootNode) {
    if (bus.fdo != nullptr) return STATUS_DEVICE_ALREADY_ATTACHED;  // one bus is enough
    KeInitializeSpinLock(&bus.lock);
    InitializeListHead(&bus.serverRequests);
    InitializeListHead(&bus.reads);
    KeInitializeEvent(&bus.classDriverIdle, NotificationEvent, FALSE);
    NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), nullptr, FILE_DEVICE_BUS_EXTENDER,
                                     0, FALSE, &bus.fdo);
    if (!NT_SUCCESS(status)) return status;
    static_cast<Extension*>(bus.fdo->DeviceExtension)->role = Role::bus;
    status = createControlDevice(driver);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(bus.fdo);
        bus.fdo = nullptr;
        return status;
    }
    bus.rootNode = rootNode;
    bus.lower = IoAttachDeviceToDeviceStack(bus.fdo, rootNode);
    bus.fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void unload(DRIVER_OBJECT*) {}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING*) {
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreate;
    driver->MajorFunction[IRP_MJ_CLEANUP] = dispatchClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatchInternalDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = dispatchPower;
    driver->DriverExtension->AddDevice = addDevice;
    driver->DriverUnload = unload;
    return STATUS_SUCCESS;
}
