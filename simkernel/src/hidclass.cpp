// The HID class driver: minidriver registration, the class device over the
// minidriver's extension, the start-time requests with the report-descriptor
// parser, the read-report stream, and the requests tests send.
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

#include "internal.h"
#include "simkernel/hidclass.h"
#include "simkernel/usb.h"
#include "ddkextra.h"

#ifndef STATUS_REVISION_MISMATCH
#define STATUS_REVISION_MISMATCH ((NTSTATUS)0xC0000059L)
#endif

namespace sim {
namespace hidclass {
namespace {

const uint8_t kCanary = 0xCB;
const ULONG kCanaryBytes = 16;
const ULONG kStringBytes = 256;  // 126 characters and a NUL fit, as for USB strings
const USHORT kLanguage = 0x0409;
const USHORT kManufacturerId = 14;
const USHORT kProductId = 15;

struct Minidriver {
    PDRIVER_DISPATCH dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1];
    PDRIVER_ADD_DEVICE addDevice;
    PDRIVER_UNLOAD unload;
    ULONG extensionSize;
    bool polled;
};

struct ClassDevice {
    PDEVICE_OBJECT fdo = nullptr;
    Minidriver* mini = nullptr;
    bool started = false;
    StartAnswers answers;
    // The read-report stream: like the system's class driver, two read-report
    // requests out at the minidriver at once (ping-pong), each renewed by its own
    // completion.
    struct StreamRead {
        ClassDevice* device = nullptr;
        PIRP irp = nullptr;
        std::vector<uint8_t> buffer;
        std::atomic<bool> sending{false};
        std::atomic<bool> outstanding{false};
        std::atomic<bool> lastOk{false};
        // Kept while the request is made ready for its next send and while it is
        // cancelled, so that a stop never cancels a request being reused.
        std::recursive_mutex reuse;
    };
    static const int kStreamReads = 2;
    StreamRead reads[kStreamReads];
    PIRP readIrp = nullptr;  // the first of the stream's requests: whether the stream is set up
    ULONG reportBytes = 0;
    std::atomic<bool> streaming{false};
    std::atomic<int> outstanding{0};
    KEVENT idle;  // signalled while no stream read is out
};

std::recursive_mutex g_lock;
std::map<PDRIVER_OBJECT, Minidriver*> g_minidrivers;
std::map<PDEVICE_OBJECT, ClassDevice*> g_devices;
ClassDevice* g_last = nullptr;
std::vector<std::vector<uint8_t>> g_received;
std::function<void(const uint8_t*, size_t)> g_sink;
bool g_streamWanted = true;
std::atomic<uint64_t> g_readsSent{0};
std::atomic<NTSTATUS> g_lastStreamStatus{STATUS_PENDING};

Minidriver* MinidriverOf(PDRIVER_OBJECT driver)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_minidrivers.find(driver);
    return it == g_minidrivers.end() ? nullptr : it->second;
}

ClassDevice* DeviceOf(PDEVICE_OBJECT fdo)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_devices.find(fdo);
    return it == g_devices.end() ? nullptr : it->second;
}

NTSTATUS CompleteWith(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// Hands the request at its next stack location to the minidriver's own dispatch
// routine, as IoCallDriver would hand it to the device's driver.
NTSTATUS CallMinidriver(ClassDevice* d, PIRP irp)
{
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "minidriver request above dispatch level");
    irp->CurrentLocation--;
    if (irp->CurrentLocation <= 0)
        Bugcheck("NO_MORE_IRP_STACK_LOCATIONS");
    irp->Tail.Overlay.CurrentStackLocation--;
    PIO_STACK_LOCATION sp = irp->Tail.Overlay.CurrentStackLocation;
    sp->DeviceObject = d->fdo;
    return d->mini->dispatch[sp->MajorFunction](d->fdo, irp);
}

// Passes a request that came to the class device on to the minidriver, with a
// completion routine of the class's own when one is given.
NTSTATUS PassToMinidriver(ClassDevice* d, PIRP irp, PIO_COMPLETION_ROUTINE routine = nullptr, PVOID context = nullptr)
{
    IoCopyCurrentIrpStackLocationToNext(irp);
    if (routine)
        IoSetCompletionRoutine(irp, routine, context, TRUE, TRUE, TRUE);
    return CallMinidriver(d, irp);
}

NTSTATUS SignalDone(PDEVICE_OBJECT, PIRP, PVOID context)
{
    KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

void CheckOutput(PIRP irp, ULONG length, const uint8_t* canary)
{
    if (NT_SUCCESS(irp->IoStatus.Status) && irp->IoStatus.Information > length)
        Bugcheck("minidriver reported more output bytes than the buffer holds");
    for (ULONG i = 0; i < kCanaryBytes; ++i)
        if (canary[i] != kCanary)
            Bugcheck("minidriver wrote past the end of the output buffer");
}

void PrepareRequest(PIRP irp, ULONG code, PVOID output, ULONG outputLength, PVOID type3Input, ULONG inputLength)
{
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    sp->Parameters.DeviceIoControl.IoControlCode = code;
    sp->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
    sp->Parameters.DeviceIoControl.InputBufferLength = inputLength;
    sp->Parameters.DeviceIoControl.Type3InputBuffer = type3Input;
    irp->UserBuffer = output;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
}

// One minidriver request at passive level, waited for. The output (cut to the
// byte count) goes to *out.
NTSTATUS Ask(ClassDevice* d, ULONG code, ULONG outputLength, PVOID type3Input, std::vector<uint8_t>* out)
{
    std::vector<uint8_t> buffer(outputLength + kCanaryBytes, kCanary);
    PIRP irp = IoAllocateIrp(d->fdo->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    PrepareRequest(irp, code, buffer.data(), outputLength, type3Input, type3Input ? sizeof(ULONG) : 0);
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
    CallMinidriver(d, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    CheckOutput(irp, outputLength, buffer.data() + outputLength);
    NTSTATUS status = irp->IoStatus.Status;
    ULONG_PTR n = NT_SUCCESS(status) ? irp->IoStatus.Information : 0;
    IoFreeIrp(irp);
    if (out)
        out->assign(buffer.begin(), buffer.begin() + (ptrdiff_t)n);
    return status;
}

std::u16string TextOf(const std::vector<uint8_t>& bytes)
{
    std::u16string s;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t c = (char16_t)(bytes[i] | (bytes[i + 1] << 8));
        if (!c)
            break;
        s += c;
    }
    return s;
}

// The class driver's part of the start: descriptors, attributes, strings.
NTSTATUS StartClass(ClassDevice* d)
{
    StartAnswers a;
    a.deviceDescriptorStatus = Ask(d, IOCTL_HID_GET_DEVICE_DESCRIPTOR, 9, nullptr, &a.deviceDescriptor);
    if (!NT_SUCCESS(a.deviceDescriptorStatus)) {
        d->answers = a;
        return a.deviceDescriptorStatus;
    }
    // The HID descriptor: bLength, type 0x21, bcdHID, bCountry, bNumDescriptors,
    // then (type, length) pairs; the report descriptor is of type 0x22.
    const std::vector<uint8_t>& h = a.deviceDescriptor;
    ULONG reportLength = 0;
    if (h.size() >= 6 && h[1] == 0x21)
        for (size_t i = 0; i < h[5] && 6 + 3 * i + 2 < h.size(); ++i)
            if (h[6 + 3 * i] == 0x22) {
                reportLength = h[7 + 3 * i] | (h[8 + 3 * i] << 8);
                break;
            }
    if (reportLength == 0) {
        a.reportDescriptorStatus = STATUS_DEVICE_DATA_ERROR;
        d->answers = a;
        return STATUS_DEVICE_DATA_ERROR;
    }
    a.reportDescriptorStatus = Ask(d, IOCTL_HID_GET_REPORT_DESCRIPTOR, reportLength, nullptr, &a.reportDescriptor);
    if (!NT_SUCCESS(a.reportDescriptorStatus)) {
        d->answers = a;
        return a.reportDescriptorStatus;
    }
    a.parsed = ParseReportDescriptor(a.reportDescriptor.data(), a.reportDescriptor.size());
    if (!a.parsed.ok || a.parsed.inputBits == 0) {
        d->answers = a;
        return STATUS_DEVICE_DATA_ERROR;
    }
    a.attributesStatus =
        Ask(d, IOCTL_HID_GET_DEVICE_ATTRIBUTES, sizeof(HID_DEVICE_ATTRIBUTES_RECORD), nullptr, &a.attributes);
    if (!NT_SUCCESS(a.attributesStatus)) {
        d->answers = a;
        return a.attributesStatus;
    }
    if (a.attributes.size() >= 10) {
        a.vendorId = (uint16_t)(a.attributes[4] | (a.attributes[5] << 8));
        a.productId = (uint16_t)(a.attributes[6] | (a.attributes[7] << 8));
        a.versionNumber = (uint16_t)(a.attributes[8] | (a.attributes[9] << 8));
    }
    std::vector<uint8_t> text;
    a.manufacturerStatus = Ask(d, IOCTL_HID_GET_STRING, kStringBytes,
                               (PVOID)(ULONG_PTR)(kManufacturerId | ((ULONG)kLanguage << 16)), &text);
    a.manufacturer = TextOf(text);
    a.productStatus =
        Ask(d, IOCTL_HID_GET_STRING, kStringBytes, (PVOID)(ULONG_PTR)(kProductId | ((ULONG)kLanguage << 16)), &text);
    a.product = TextOf(text);
    d->reportBytes = a.parsed.InputReportBytes();
    d->answers = a;
    return STATUS_SUCCESS;
}

// ---- the read-report stream ---------------------------------------------------------------------
NTSTATUS StreamReadDone(PDEVICE_OBJECT, PIRP irp, PVOID context);

void Record(const uint8_t* bytes, size_t n)
{
    std::function<void(const uint8_t*, size_t)> sink;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_received.emplace_back(bytes, bytes + n);
        sink = g_sink;
    }
    if (sink)
        sink(bytes, n);
}

void StreamIdle(ClassDevice::StreamRead* r)
{
    r->outstanding = false;
    if (--r->device->outstanding == 0)
        KeSetEvent(&r->device->idle, IO_NO_INCREMENT, FALSE);
}

// Sends reads on one of the stream's requests until one stays out; a read that
// completes within the call is followed here rather than from its completion
// routine, so that a run of queued reports does not nest.
void Pump(ClassDevice::StreamRead* r)
{
    ClassDevice* d = r->device;
    for (;;) {
        if (!d->streaming) {
            StreamIdle(r);
            return;
        }
        PIRP irp = r->irp;
        {
            std::lock_guard<std::recursive_mutex> reuse(r->reuse);
            if (!d->streaming) {
                StreamIdle(r);
                return;
            }
            IoReuseIrp(irp, STATUS_NOT_SUPPORTED);
            std::fill(r->buffer.begin(), r->buffer.end(), kCanary);
            PrepareRequest(irp, IOCTL_HID_READ_REPORT, r->buffer.data(), d->reportBytes, nullptr, 0);
            IoSetCompletionRoutine(irp, StreamReadDone, r, TRUE, TRUE, TRUE);
        }
        r->sending = true;
        ++g_readsSent;
        CallMinidriver(d, irp);
        if (r->sending.exchange(false))
            return;  // still out: its completion carries on
        if (!r->lastOk) {
            StreamIdle(r);
            return;
        }
    }
}

NTSTATUS StreamReadDone(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    auto* r = (ClassDevice::StreamRead*)context;
    ClassDevice* d = r->device;
    CheckOutput(irp, d->reportBytes, r->buffer.data() + d->reportBytes);
    NTSTATUS status = irp->IoStatus.Status;
    g_lastStreamStatus = status;
    if (NT_SUCCESS(status) && irp->IoStatus.Information)
        Record(r->buffer.data(), irp->IoStatus.Information);
    r->lastOk = NT_SUCCESS(status);
    if (!NT_SUCCESS(status))
        d->streaming = false;
    if (r->sending.exchange(false))
        return STATUS_MORE_PROCESSING_REQUIRED;  // the sender's loop goes on
    if (r->lastOk)
        Pump(r);
    else
        StreamIdle(r);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

void StartStream(ClassDevice* d)
{
    if (d->streaming.exchange(true))
        return;
    for (auto& r : d->reads) {
        if (r.outstanding.exchange(true))
            continue;  // the read that is still out carries the stream on
        if (d->outstanding++ == 0)
            KeClearEvent(&d->idle);
        Pump(&r);
    }
}

// Stops the stream: no read follows, those that wait are cancelled.
void StopStream(ClassDevice* d)
{
    d->streaming = false;
    for (auto& r : d->reads) {
        std::lock_guard<std::recursive_mutex> reuse(r.reuse);
        if (r.outstanding && r.irp)
            IoCancelIrp(r.irp);
    }
}

void WaitStreamIdle(ClassDevice* d)
{
    if (d->outstanding)
        KeWaitForSingleObject(&d->idle, Executive, KernelMode, FALSE, NULL);
}

// ---- the class driver's entries in the minidriver's driver object ---------------------------------
NTSTATUS ClassAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    Minidriver* mini = MinidriverOf(driver);
    if (!mini)
        Bugcheck("HID class AddDevice for a driver that did not register");
    PDEVICE_OBJECT fdo;
    NTSTATUS status = IoCreateDevice(driver, sizeof(HID_DEVICE_EXTENSION) + mini->extensionSize, NULL,
                                     FILE_DEVICE_UNKNOWN, FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &fdo);
    if (!NT_SUCCESS(status))
        return status;
    auto* hid = (PHID_DEVICE_EXTENSION)fdo->DeviceExtension;
    hid->PhysicalDeviceObject = pdo;
    hid->MiniDeviceExtension = hid + 1;
    hid->NextDeviceObject = IoAttachDeviceToDeviceStack(fdo, pdo);
    if (!hid->NextDeviceObject) {
        IoDeleteDevice(fdo);
        return STATUS_NO_SUCH_DEVICE;
    }
    // One stack location more: the class's own, above the minidriver's.
    fdo->StackSize++;

    auto* d = new ClassDevice();
    d->fdo = fdo;
    d->mini = mini;
    KeInitializeEvent(&d->idle, NotificationEvent, TRUE);
    ClassDevice* previous;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_devices[fdo] = d;
        previous = g_last;
        g_last = d;
    }
    status = mini->addDevice(driver, fdo);
    if (!NT_SUCCESS(status)) {
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            g_devices.erase(fdo);
            if (g_last == d)
                g_last = g_devices.count(previous ? previous->fdo : nullptr) ? previous : nullptr;
        }
        delete d;
        IoDetachDevice(hid->NextDeviceObject);
        IoDeleteDevice(fdo);
        return status;
    }
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void DeleteClassDevice(ClassDevice* d)
{
    for (auto& r : d->reads) {
        if (r.irp)
            IoFreeIrp(r.irp);
        r.irp = nullptr;
    }
    d->readIrp = nullptr;
    auto* hid = (PHID_DEVICE_EXTENSION)d->fdo->DeviceExtension;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_devices.erase(d->fdo);
        if (g_last == d)
            g_last = nullptr;
    }
    IoDetachDevice(hid->NextDeviceObject);
    IoDeleteDevice(d->fdo);
    delete d;
}

NTSTATUS ClassPnp(ClassDevice* d, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE: {
        KEVENT done;
        KeInitializeEvent(&done, NotificationEvent, FALSE);
        PassToMinidriver(d, irp, SignalDone, &done);
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        NTSTATUS status = irp->IoStatus.Status;
        if (NT_SUCCESS(status))
            status = StartClass(d);
        d->started = NT_SUCCESS(status);
        if (d->started) {
            bool allocated = true;
            for (auto& r : d->reads) {
                r.device = d;
                if (!r.irp)
                    r.irp = IoAllocateIrp(d->fdo->StackSize, FALSE);
                allocated = allocated && r.irp;
                if (!r.outstanding)
                    r.buffer.assign(d->reportBytes + kCanaryBytes, kCanary);
            }
            d->readIrp = allocated ? d->reads[0].irp : nullptr;
            bool wanted;
            {
                std::lock_guard<std::recursive_mutex> lock(g_lock);
                wanted = g_streamWanted;
            }
            if (wanted && d->readIrp)
                StartStream(d);
        }
        return CompleteWith(irp, status);
    }
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL: {
        d->started = false;
        StopStream(d);
        NTSTATUS status = PassToMinidriver(d, irp);
        WaitStreamIdle(d);
        return status;
    }
    case IRP_MN_REMOVE_DEVICE: {
        d->started = false;
        StopStream(d);
        NTSTATUS status = PassToMinidriver(d, irp);
        WaitStreamIdle(d);
        DeleteClassDevice(d);
        return status;
    }
    default:
        return PassToMinidriver(d, irp);
    }
}

NTSTATUS ClassDispatch(PDEVICE_OBJECT device, PIRP irp)
{
    ClassDevice* d = DeviceOf(device);
    if (!d)
        return CompleteWith(irp, STATUS_INVALID_DEVICE_REQUEST);
    switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
    case IRP_MJ_PNP:
        return ClassPnp(d, irp);
    case IRP_MJ_POWER:
    case IRP_MJ_CREATE:
    case IRP_MJ_CLOSE:
    case IRP_MJ_CLEANUP:
        return PassToMinidriver(d, irp);
    default:
        // The class device takes no other request from above.
        irp->IoStatus.Information = 0;
        return CompleteWith(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

void ClassUnload(PDRIVER_OBJECT driver)
{
    Minidriver* mini = MinidriverOf(driver);
    if (!mini)
        return;
    if (mini->unload)
        mini->unload(driver);
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_minidrivers.erase(driver);
    delete mini;
}

// ---- test requests ------------------------------------------------------------------------------
struct InFlight {
    std::shared_ptr<Request> request;
    PIRP irp;
    ULONG outputLength;
    std::vector<uint8_t> storage;  // output buffer and canary
};
std::map<Request*, InFlight*> g_inFlight;

NTSTATUS TestRequestDone(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    auto* f = (InFlight*)context;
    if (!f->storage.empty())
        CheckOutput(irp, f->outputLength, f->storage.data() + f->outputLength);
    std::shared_ptr<Request> r = f->request;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_inFlight.erase(r.get());
    }
    r->status = irp->IoStatus.Status;
    r->information = irp->IoStatus.Information;
    if (!f->storage.empty())
        r->buffer.assign(f->storage.begin(), f->storage.begin() + f->outputLength);
    IoFreeIrp(irp);
    delete f;
    r->done.store(true, std::memory_order_release);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace

// ---- the parser ---------------------------------------------------------------------------------
ParsedDescriptor ParseReportDescriptor(const uint8_t* data, size_t length)
{
    ParsedDescriptor p;
    struct Globals {
        uint16_t usagePage = 0;
        uint32_t logicalMinimumRaw = 0, logicalMaximumRaw = 0;
        int32_t logicalMinimum = 0, logicalMaximum = 0;
        uint32_t reportSize = 0, reportCount = 0;
        uint8_t reportId = 0;
    } g;
    std::vector<Globals> stack;
    struct Locals {
        std::vector<uint16_t> usages;
        uint16_t usageMinimum = 0, usageMaximum = 0;
        bool haveMinimum = false, haveMaximum = false;
    } l;
    unsigned depth = 0;
    std::map<uint8_t, uint32_t> bits[3];  // per kind, per report id
    auto fail = [&p](const std::string& why) {
        p.ok = false;
        p.error = why;
        return p;
    };

    size_t i = 0;
    while (i < length) {
        const uint8_t prefix = data[i];
        if (prefix == 0xFE) {  // long item: skipped
            if (i + 2 >= length)
                return fail("truncated long item");
            i += 3 + data[i + 1];
            ++p.items;
            continue;
        }
        const unsigned size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        const unsigned type = (prefix >> 2) & 3;
        const unsigned tag = prefix >> 4;
        if (i + 1 + size > length)
            return fail("item at offset " + std::to_string(i) + " runs past the end");
        uint32_t raw = 0;
        for (unsigned b = 0; b < size; ++b)
            raw |= (uint32_t)data[i + 1 + b] << (8 * b);
        int32_t value = (int32_t)raw;
        if (size == 1)
            value = (int8_t)raw;
        else if (size == 2)
            value = (int16_t)raw;
        i += 1 + size;
        ++p.items;

        if (type == 0) {  // main
            switch (tag) {
            case 0x8:    // Input
            case 0x9:    // Output
            case 0xB: {  // Feature
                MainItem m;
                m.kind = tag == 0x8 ? MainItem::Input : tag == 0x9 ? MainItem::Output : MainItem::Feature;
                m.flags = raw;
                m.reportId = g.reportId;
                m.reportSize = g.reportSize;
                m.reportCount = g.reportCount;
                m.usagePage = g.usagePage;
                m.usages = l.usages;
                m.usageRange = l.haveMinimum || l.haveMaximum;
                if (l.haveMinimum != l.haveMaximum)
                    return fail("Usage Minimum without Usage Maximum");
                m.usageMinimum = l.usageMinimum;
                m.usageMaximum = l.usageMaximum;
                m.logicalMinimumRaw = g.logicalMinimumRaw;
                m.logicalMaximumRaw = g.logicalMaximumRaw;
                m.logicalMinimum = g.logicalMinimum;
                m.logicalMaximum = g.logicalMaximum;
                if (depth == 0)
                    return fail("main data item outside any collection");
                if (m.reportSize == 0 && m.reportCount != 0)
                    return fail("main item with Report Size 0");
                if (!m.Constant() && m.logicalMinimum > m.logicalMaximum)
                    p.warnings.push_back("Logical Minimum " + std::to_string(m.logicalMinimum) +
                                         " above Logical Maximum " + std::to_string(m.logicalMaximum) +
                                         " (read as signed values)");
                uint32_t& offset = bits[m.kind][m.reportId];
                m.bitOffset = offset;
                offset += m.reportSize * m.reportCount;
                (m.kind == MainItem::Input    ? p.inputs
                 : m.kind == MainItem::Output ? p.outputs
                                              : p.features)
                    .push_back(m);
                break;
            }
            case 0xA: {  // Collection
                Collection c;
                c.type = (uint8_t)raw;
                c.usagePage = g.usagePage;
                c.usage = l.usages.empty() ? 0 : l.usages.front();
                c.depth = depth;
                if (depth == 0 && p.collections.empty()) {
                    p.usagePage = c.usagePage;
                    p.usage = c.usage;
                }
                p.collections.push_back(c);
                ++depth;
                break;
            }
            case 0xC:  // End Collection
                if (depth == 0)
                    return fail("End Collection without an open collection");
                --depth;
                break;
            default:
                return fail("unknown main item tag " + std::to_string(tag));
            }
            l = Locals();
        } else if (type == 1) {  // global
            switch (tag) {
            case 0x0:
                g.usagePage = (uint16_t)raw;
                break;
            case 0x1:
                g.logicalMinimumRaw = raw;
                g.logicalMinimum = value;
                break;
            case 0x2:
                g.logicalMaximumRaw = raw;
                g.logicalMaximum = value;
                break;
            case 0x3:  // physical extents, exponent, unit: not needed here
            case 0x4:
            case 0x5:
            case 0x6:
                break;
            case 0x7:
                g.reportSize = raw;
                break;
            case 0x8:
                if (raw == 0 || raw > 255)
                    return fail("Report ID out of range");
                g.reportId = (uint8_t)raw;
                p.reportIds = true;
                break;
            case 0x9:
                g.reportCount = raw;
                break;
            case 0xA:
                stack.push_back(g);
                break;
            case 0xB:
                if (stack.empty())
                    return fail("Pop without Push");
                g = stack.back();
                stack.pop_back();
                break;
            default:
                return fail("unknown global item tag " + std::to_string(tag));
            }
        } else if (type == 2) {  // local
            switch (tag) {
            case 0x0:
                l.usages.push_back((uint16_t)raw);
                break;
            case 0x1:
                l.usageMinimum = (uint16_t)raw;
                l.haveMinimum = true;
                break;
            case 0x2:
                l.usageMaximum = (uint16_t)raw;
                l.haveMaximum = true;
                break;
            default:  // designators, strings, delimiters: not needed here
                break;
            }
        } else {
            return fail("reserved item type");
        }
    }
    if (depth != 0)
        return fail("collection not closed");
    if (p.collections.empty())
        return fail("no collection");
    p.inputBits = bits[MainItem::Input].empty() ? 0 : bits[MainItem::Input].begin()->second;
    p.ok = true;
    return p;
}

// ---- the class device's state ---------------------------------------------------------------------
PDEVICE_OBJECT Fdo()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_last ? g_last->fdo : nullptr;
}

PVOID MiniDeviceExtension()
{
    PDEVICE_OBJECT fdo = Fdo();
    return fdo ? ((PHID_DEVICE_EXTENSION)fdo->DeviceExtension)->MiniDeviceExtension : nullptr;
}

bool Started()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_last && g_last->started;
}

StartAnswers Answers()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_last ? g_last->answers : StartAnswers();
}

std::vector<std::vector<uint8_t>> Received()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_received;
}

void Clear()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_received.clear();
}

void SetSink(std::function<void(const uint8_t*, size_t)> sink)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_sink = std::move(sink);
}

void SetReadStream(bool on)
{
    ClassDevice* d;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_streamWanted = on;
        d = g_last;
    }
    if (!d || !d->started || !d->readIrp)
        return;
    if (on)
        StartStream(d);
    else
        d->streaming = false;
}

uint64_t ReadsSent() { return g_readsSent; }
NTSTATUS LastStreamStatus() { return g_lastStreamStatus; }

std::shared_ptr<Request> Send(ULONG code, ULONG outputLength, PVOID type3Input, ULONG inputLength, bool withBuffer)
{
    auto r = std::make_shared<Request>();
    r->code = code;
    ClassDevice* d;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        d = g_last;
    }
    if (!d) {
        r->done = true;
        r->status = STATUS_NO_SUCH_DEVICE;
        return r;
    }
    PIRP irp = IoAllocateIrp(d->fdo->StackSize, FALSE);
    if (!irp) {
        r->done = true;
        r->status = STATUS_INSUFFICIENT_RESOURCES;
        return r;
    }
    auto* f = new InFlight();
    f->request = r;
    f->irp = irp;
    f->outputLength = outputLength;
    if (withBuffer)
        f->storage.assign(outputLength + kCanaryBytes, kCanary);
    PrepareRequest(irp, code, withBuffer ? f->storage.data() : nullptr, outputLength, type3Input, inputLength);
    IoSetCompletionRoutine(irp, TestRequestDone, f, TRUE, TRUE, TRUE);
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_inFlight[r.get()] = f;
    }
    CallMinidriver(d, irp);
    return r;
}

bool Cancel(const std::shared_ptr<Request>& request)
{
    PIRP irp;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        auto it = g_inFlight.find(request.get());
        if (it == g_inFlight.end())
            return false;
        irp = it->second->irp;
    }
    IoCancelIrp(irp);
    return true;
}

void ResetHidclass()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto& m : g_minidrivers)
        delete m.second;
    g_minidrivers.clear();
    for (auto& d : g_devices)
        delete d.second;
    g_devices.clear();
    for (auto& f : g_inFlight)
        delete f.second;
    g_inFlight.clear();
    g_last = nullptr;
    g_received.clear();
    g_sink = nullptr;
    g_streamWanted = true;
    g_readsSent = 0;
    g_lastStreamStatus = STATUS_PENDING;
}

}  // namespace hidclass
}  // namespace sim

using namespace sim;
using namespace sim::hidclass;

// The class driver's export (hidport.h).
NTSTATUS NTAPI HidRegisterMinidriver(PHID_MINIDRIVER_REGISTRATION registration)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "HidRegisterMinidriver above passive level");
    if (!registration || !registration->DriverObject)
        return STATUS_INVALID_PARAMETER;
    if (registration->Revision > HID_REVISION)
        return STATUS_REVISION_MISMATCH;
    PDRIVER_OBJECT driver = registration->DriverObject;
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (g_minidrivers.count(driver))
        return STATUS_OBJECT_NAME_COLLISION;
    auto* mini = new Minidriver();
    for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        mini->dispatch[i] = driver->MajorFunction[i];
    mini->addDevice = driver->DriverExtension->AddDevice;
    mini->unload = driver->DriverUnload;
    mini->extensionSize = registration->DeviceExtensionSize;
    mini->polled = registration->DevicesArePolled != 0;
    g_minidrivers[driver] = mini;
    if (!mini->addDevice)
        Bugcheck("HidRegisterMinidriver before the minidriver set its AddDevice");
    for (auto& f : driver->MajorFunction)
        f = ClassDispatch;
    driver->DriverExtension->AddDevice = ClassAddDevice;
    driver->DriverUnload = ClassUnload;
    return STATUS_SUCCESS;
}
