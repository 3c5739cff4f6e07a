// The USB bus with a virtual touch frame as its one child: descriptors built
// from a description, configuration, the class-interface request, the
// interrupt-IN transfer held until the frame reports, port reset and status,
// cancel, and injectable completion statuses.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "internal.h"
#include "simkernel/pnp.h"

namespace sim {
namespace usb {
namespace {

struct Injection {
    NTSTATUS status;
    unsigned times;  // 0: every one
};

struct Pipe {
    uint8_t endpoint;
};

struct Frame {
    FrameDescription description;
    USB_DEVICE_DESCRIPTOR device;
    std::vector<uint8_t> config;
    std::vector<Pipe> pipes;  // handles point into this (fixed after Plug)
    PDEVICE_OBJECT pdo = nullptr;
    pnp::DevNode* node = nullptr;
    bool present = false;
    bool connected = true;
    bool configured = false;
    DEVICE_POWER_STATE power = PowerDeviceD0;
    std::deque<PIRP> held;
    Counters counters;
};

std::recursive_mutex g_lock;  // the bus's own state; never held while completing
Frame* g_frame = nullptr;
PDRIVER_OBJECT g_busDriver = nullptr;
std::map<Request, Injection> g_injections;  // kept across plug and unplug

// ---- the bus's own thread (asynchronous mode) -------------------------------------------
// Completions the bus owes, each due at a real time; run in due order on the
// bus thread, as the host controller's DPCs run on whichever processor.
struct BusWork {
    std::chrono::steady_clock::time_point due;
    uint64_t order;
    std::function<void()> fn;
    bool operator<(const BusWork& o) const { return due != o.due ? due > o.due : order > o.order; }
};
std::mutex g_busLock;
std::condition_variable g_busWake;
std::vector<BusWork> g_busQueue;  // a heap, earliest on top
std::thread g_busThread;
bool g_busStop = false;
bool g_async = false;
unsigned g_maxDelayUs = 0;
uint64_t g_busOrder = 0;
std::mt19937 g_random;
unsigned g_busRunning = 0;  // pieces of work being run now

void BusLoop()
{
    std::unique_lock<std::mutex> lock(g_busLock);
    for (;;) {
        if (g_busQueue.empty()) {
            if (g_busStop)
                return;
            g_busWake.wait(lock);
            continue;
        }
        auto due = g_busQueue.front().due;
        if (std::chrono::steady_clock::now() < due) {
            g_busWake.wait_until(lock, due);
            continue;
        }
        std::pop_heap(g_busQueue.begin(), g_busQueue.end());
        BusWork w = std::move(g_busQueue.back());
        g_busQueue.pop_back();
        ++g_busRunning;
        lock.unlock();
        w.fn();
        lock.lock();
        --g_busRunning;
        g_busWake.notify_all();
    }
}

bool AsyncMode()
{
    std::lock_guard<std::mutex> lock(g_busLock);
    return g_async;
}

// In asynchronous mode: runs fn on the bus thread after a small random delay.
// Otherwise: false, and the caller does the work itself, at once.
bool Later(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(g_busLock);
    if (!g_async)
        return false;
    unsigned us = g_maxDelayUs ? (unsigned)(g_random() % (g_maxDelayUs + 1)) : 0;
    g_busQueue.push_back(
        BusWork{std::chrono::steady_clock::now() + std::chrono::microseconds(us), g_busOrder++, std::move(fn)});
    std::push_heap(g_busQueue.begin(), g_busQueue.end());
    g_busWake.notify_all();
    return true;
}

// Waits until the bus thread owes nothing more, then ends it.
void StopBusThread()
{
    std::thread t;
    {
        std::unique_lock<std::mutex> lock(g_busLock);
        g_async = false;
        g_busStop = true;
        g_busWake.notify_all();
        t = std::move(g_busThread);
    }
    if (t.joinable())
        t.join();
    std::lock_guard<std::mutex> lock(g_busLock);
    g_busStop = false;
}

bool Injected(Request r, NTSTATUS* status)
{
    auto it = g_injections.find(r);
    if (it == g_injections.end())
        return false;
    *status = it->second.status;
    if (it->second.times && --it->second.times == 0)
        g_injections.erase(it);
    return true;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// Completes a held transfer at dispatch level, as the host controller's DPC does.
void FinishTransfer(PIRP irp, NTSTATUS status, USBD_STATUS usbd, const uint8_t* bytes, unsigned length)
{
    PURB urb = URB_FROM_IRP(irp);
    if (bytes) {
        unsigned n = length < urb->UrbBulkOrInterruptTransfer.TransferBufferLength
                         ? length
                         : urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
        memcpy(urb->UrbBulkOrInterruptTransfer.TransferBuffer, bytes, n);
        urb->UrbBulkOrInterruptTransfer.TransferBufferLength = n;
    } else {
        urb->UrbBulkOrInterruptTransfer.TransferBufferLength = 0;
    }
    urb->UrbHeader.Status = usbd;
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    detail::IrqlGuard dispatch(DISPATCH_LEVEL);
    IofCompleteRequest(irp, IO_NO_INCREMENT);
}

// The same, later on the bus thread in asynchronous mode. The bytes are copied now.
void FinishTransferSoon(PIRP irp, NTSTATUS status, USBD_STATUS usbd, const uint8_t* bytes, unsigned length)
{
    std::vector<uint8_t> copy;
    if (bytes)
        copy.assign(bytes, bytes + length);
    const bool withBytes = bytes != nullptr;
    if (!Later([irp, status, usbd, copy, withBytes] {
            FinishTransfer(irp, status, usbd, withBytes ? copy.data() : nullptr, (unsigned)copy.size());
        }))
        FinishTransfer(irp, status, usbd, bytes, length);
}

// Takes the oldest held transfer whose cancel routine can still be cleared.
PIRP TakeHeld()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    while (g_frame && !g_frame->held.empty()) {
        PIRP irp = g_frame->held.front();
        g_frame->held.pop_front();
        if (IoSetCancelRoutine(irp, NULL)) {
            ++g_frame->counters.transfersCompleted;
            return irp;
        }
        // Being cancelled right now: the cancel routine ends it.
    }
    return nullptr;
}

void FailAllHeld(NTSTATUS status, USBD_STATUS usbd)
{
    while (PIRP irp = TakeHeld())
        FinishTransferSoon(irp, status, usbd, nullptr, 0);
}

void CancelTransfer(PDEVICE_OBJECT, PIRP irp)
{
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        if (g_frame)
            for (auto it = g_frame->held.begin(); it != g_frame->held.end(); ++it)
                if (*it == irp) {
                    g_frame->held.erase(it);
                    ++g_frame->counters.transfersCompleted;
                    break;
                }
    }
    IoReleaseCancelSpinLock(irp->CancelIrql);
    FinishTransferSoon(irp, STATUS_CANCELLED, USBD_STATUS_CANCELED, nullptr, 0);
}

void BuildDescriptors(Frame& f)
{
    const FrameDescription& d = f.description;
    memset(&f.device, 0, sizeof f.device);
    f.device.bLength = sizeof(USB_DEVICE_DESCRIPTOR);
    f.device.bDescriptorType = USB_DEVICE_DESCRIPTOR_TYPE;
    f.device.bcdUSB = 0x0110;
    f.device.bMaxPacketSize0 = 8;
    f.device.idVendor = d.vendorId;
    f.device.idProduct = d.productId;
    f.device.bcdDevice = 0x0100;
    f.device.iManufacturer = 1;
    f.device.iProduct = 2;
    f.device.bNumConfigurations = 1;

    std::vector<uint8_t>& c = f.config;
    c = {9, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, d.interfaces, 1, 0, 0xA0, 50};
    for (uint8_t i = 0; i < d.interfaces; ++i) {
        c.insert(c.end(), {9, USB_INTERFACE_DESCRIPTOR_TYPE, i, 0, d.endpointsPerInterface, 3, 0, 0, 0});
        c.insert(c.end(), {9, 0x21, 0x10, 0x01, 0, 1, 0x22, 52, 0});  // the HID class descriptor
        for (uint8_t e = 0; e < d.endpointsPerInterface; ++e) {
            uint8_t address = (uint8_t)(0x81 + (i * d.endpointsPerInterface + e) % 15);
            c.insert(c.end(), {7, USB_ENDPOINT_DESCRIPTOR_TYPE, address, 3, 8, 0, 10});
            f.pipes.push_back(Pipe{address});
        }
    }
    c[2] = (uint8_t)c.size();
    c[3] = (uint8_t)(c.size() >> 8);
}

NTSTATUS SelectConfiguration(PURB urb)
{
    auto& sc = urb->UrbSelectConfiguration;
    if (!sc.ConfigurationDescriptor) {
        ++g_frame->counters.deconfigurations;
        g_frame->configured = false;
        return STATUS_SUCCESS;
    }
    ++g_frame->counters.selectConfigurations;
    uint8_t* p = (uint8_t*)&sc.Interface;
    uint8_t* end = (uint8_t*)urb + urb->UrbHeader.Length;
    size_t pipeIndex = 0;
    while (p + sizeof(USBD_INTERFACE_INFORMATION) - sizeof(USBD_PIPE_INFORMATION) <= end) {
        auto* info = (PUSBD_INTERFACE_INFORMATION)p;
        if (info->Length == 0 || p + info->Length > end)
            break;
        uint8_t n = info->InterfaceNumber;
        if (n >= g_frame->description.interfaces) {
            urb->UrbHeader.Status = USBD_STATUS_INVALID_PARAMETER;
            return STATUS_INVALID_PARAMETER;
        }
        ULONG endpoints = g_frame->description.endpointsPerInterface;
        size_t needed = sizeof(USBD_INTERFACE_INFORMATION) - sizeof(USBD_PIPE_INFORMATION) +
                        endpoints * sizeof(USBD_PIPE_INFORMATION);
        if (info->Length < needed) {
            urb->UrbHeader.Status = USBD_STATUS_INVALID_PARAMETER;
            return STATUS_INVALID_PARAMETER;
        }
        info->Class = 3;
        info->SubClass = 0;
        info->Protocol = 0;
        info->InterfaceHandle = &g_frame->config[0];
        info->NumberOfPipes = endpoints;
        pipeIndex = (size_t)n * endpoints;
        for (ULONG e = 0; e < endpoints; ++e) {
            USBD_PIPE_INFORMATION& pi = info->Pipes[e];
            Pipe& pipe = g_frame->pipes[pipeIndex + e];
            pi.MaximumPacketSize = 8;
            pi.EndpointAddress = pipe.endpoint;
            pi.Interval = 10;
            pi.PipeType = UsbdPipeTypeInterrupt;
            pi.PipeHandle = &pipe;
        }
        p += info->Length;
    }
    sc.ConfigurationHandle = g_frame;
    g_frame->configured = true;
    return STATUS_SUCCESS;
}

bool ValidPipe(USBD_PIPE_HANDLE h)
{
    for (auto& p : g_frame->pipes)
        if (&p == h)
            return true;
    return false;
}

NTSTATUS SubmitUrb(PIRP irp, PURB urb)
{
    NTSTATUS injected;
    switch (urb->UrbHeader.Function) {
    case URB_FUNCTION_SELECT_CONFIGURATION: {
        NTSTATUS s;
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            if (Injected(Request::SelectConfiguration, &injected)) {
                urb->UrbHeader.Status = USBD_STATUS_STALL_PID;
                return Complete(irp, injected);
            }
            s = SelectConfiguration(urb);
        }
        if (!urb->UrbSelectConfiguration.ConfigurationDescriptor)
            FailAllHeld(STATUS_CANCELLED, USBD_STATUS_CANCELED);
        if (NT_SUCCESS(s))
            urb->UrbHeader.Status = USBD_STATUS_SUCCESS;
        return Complete(irp, s);
    }
    case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE: {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        ++g_frame->counters.descriptorRequests;
        if (Injected(Request::GetDescriptor, &injected)) {
            urb->UrbHeader.Status = USBD_STATUS_STALL_PID;
            return Complete(irp, injected);
        }
        auto& r = urb->UrbControlDescriptorRequest;
        const uint8_t* src;
        size_t size;
        if (r.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE) {
            src = (const uint8_t*)&g_frame->device;
            size = sizeof(USB_DEVICE_DESCRIPTOR);
        } else if (r.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE && r.Index == 0) {
            src = g_frame->config.data();
            size = g_frame->config.size();
        } else {
            urb->UrbHeader.Status = USBD_STATUS_STALL_PID;
            return Complete(irp, STATUS_UNSUCCESSFUL);
        }
        size_t n = r.TransferBufferLength < size ? r.TransferBufferLength : size;
        if (n && !r.TransferBuffer) {
            urb->UrbHeader.Status = USBD_STATUS_INVALID_PARAMETER;
            return Complete(irp, STATUS_INVALID_PARAMETER);
        }
        memcpy(r.TransferBuffer, src, n);
        r.TransferBufferLength = (ULONG)n;
        urb->UrbHeader.Status = USBD_STATUS_SUCCESS;
        return Complete(irp, STATUS_SUCCESS);
    }
    case URB_FUNCTION_CLASS_INTERFACE: {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        ++g_frame->counters.classRequests;
        if (Injected(Request::ClassRequest, &injected)) {
            urb->UrbHeader.Status = USBD_STATUS_STALL_PID;
            return Complete(irp, injected);
        }
        auto& r = urb->UrbControlVendorClassRequest;
        if (r.TransferBufferLength && r.TransferBuffer)
            memset(r.TransferBuffer, 0, r.TransferBufferLength > 1 ? 1 : r.TransferBufferLength);
        r.TransferBufferLength = r.TransferBufferLength > 1 ? 1 : r.TransferBufferLength;
        urb->UrbHeader.Status = USBD_STATUS_SUCCESS;
        return Complete(irp, STATUS_SUCCESS);
    }
    case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER: {
        std::unique_lock<std::recursive_mutex> lock(g_lock);
        auto& t = urb->UrbBulkOrInterruptTransfer;
        if (!g_frame->configured || !ValidPipe(t.PipeHandle)) {
            lock.unlock();
            urb->UrbHeader.Status = USBD_STATUS_INVALID_PARAMETER;
            return Complete(irp, STATUS_INVALID_PARAMETER);
        }
        if (!(t.TransferFlags & USBD_TRANSFER_DIRECTION_IN) || (t.TransferBufferLength && !t.TransferBuffer)) {
            lock.unlock();
            urb->UrbHeader.Status = USBD_STATUS_INVALID_PARAMETER;
            return Complete(irp, STATUS_INVALID_PARAMETER);
        }
        ++g_frame->counters.transfersSubmitted;
        IoMarkIrpPending(irp);
        IoSetCancelRoutine(irp, CancelTransfer);
        if (__atomic_load_n(&irp->Cancel, __ATOMIC_ACQUIRE) && IoSetCancelRoutine(irp, NULL)) {
            lock.unlock();
            urb->UrbHeader.Status = USBD_STATUS_CANCELED;
            Complete(irp, STATUS_CANCELLED);
            return STATUS_PENDING;
        }
        g_frame->held.push_back(irp);
        return STATUS_PENDING;
    }
    default:
        urb->UrbHeader.Status = USBD_STATUS_INVALID_PARAMETER;
        return Complete(irp, STATUS_NOT_SUPPORTED);
    }
}

// Answers a port request: at once on the caller's thread, or in asynchronous mode
// later on the bus thread at dispatch level (the request pending meanwhile).
NTSTATUS Answer(PIRP irp, NTSTATUS status, std::function<void()> answer)
{
    if (!AsyncMode()) {
        answer();
        return status;
    }
    IoMarkIrpPending(irp);
    Later([answer] {
        detail::IrqlGuard dispatch(DISPATCH_LEVEL);
        answer();
    });
    return STATUS_PENDING;
}

NTSTATUS BusInternalControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        if (!g_frame || g_frame->pdo != device || !g_frame->present)
            return Complete(irp, STATUS_DEVICE_NOT_CONNECTED);
    }
    NTSTATUS injected;
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_INTERNAL_USB_SUBMIT_URB: {
        PURB urb = (PURB)sp->Parameters.Others.Argument1;
        if (!urb)
            return Complete(irp, STATUS_INVALID_PARAMETER);
        return SubmitUrb(irp, urb);
    }
    case IOCTL_INTERNAL_USB_RESET_PORT: {
        // The hub driver documents both port requests as passive-level only.
        if (KeGetCurrentIrql() != PASSIVE_LEVEL)
            Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IOCTL_INTERNAL_USB_RESET_PORT above passive level");
        NTSTATUS status = STATUS_SUCCESS;
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            ++g_frame->counters.resets;
            if (Injected(Request::ResetPort, &injected))
                status = injected;
        }
        auto reset = [irp, status] {
            // A reset ends whatever transfer the device still had.
            if (NT_SUCCESS(status))
                FailAllHeld(STATUS_CANCELLED, USBD_STATUS_CANCELED);
            Complete(irp, status);
        };
        return Answer(irp, status, reset);
    }
    case IOCTL_INTERNAL_USB_GET_PORT_STATUS: {
        if (KeGetCurrentIrql() != PASSIVE_LEVEL)
            Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IOCTL_INTERNAL_USB_GET_PORT_STATUS above passive level");
        NTSTATUS status = STATUS_SUCCESS;
        ULONG port = 0;
        PULONG out = (PULONG)sp->Parameters.Others.Argument1;
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            ++g_frame->counters.portStatusQueries;
            if (Injected(Request::PortStatus, &injected))
                status = injected;
            else if (!out)
                status = STATUS_INVALID_PARAMETER;
            else
                port = g_frame->connected ? (USBD_PORT_CONNECTED | USBD_PORT_ENABLED) : 0;
        }
        auto answer = [irp, status, out, port] {
            if (NT_SUCCESS(status))
                *out = port;
            Complete(irp, status);
        };
        return Answer(irp, status, answer);
    }
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

PWSTR MultiSz(std::initializer_list<const char*> ids)
{
    std::u16string s;
    for (auto id : ids) {
        s += Utf16(id);
        s.push_back(0);
    }
    s.push_back(0);
    PWSTR p = (PWSTR)ExAllocatePoolWithTag(PagedPool, s.size() * 2, TagOf("UsbI"));
    if (p)
        memcpy(p, s.data(), s.size() * 2);
    return p;
}

NTSTATUS BusPnp(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE:
        return Complete(irp, STATUS_SUCCESS);
    case IRP_MN_QUERY_CAPABILITIES: {
        PDEVICE_CAPABILITIES caps = sp->Parameters.DeviceCapabilities.Capabilities;
        if (!caps || caps->Size < sizeof(DEVICE_CAPABILITIES))
            return Complete(irp, STATUS_INVALID_PARAMETER);
        caps->Removable = 1;
        caps->UniqueID = 0;
        caps->Address = 1;
        caps->UINumber = 1;
        caps->DeviceD2 = 1;
        caps->DeviceState[PowerSystemWorking] = PowerDeviceD0;
        for (int s = PowerSystemSleeping1; s < PowerSystemMaximum; ++s)
            caps->DeviceState[s] = PowerDeviceD3;
        caps->SystemWake = PowerSystemSleeping3;
        caps->DeviceWake = PowerDeviceD2;
        return Complete(irp, STATUS_SUCCESS);
    }
    case IRP_MN_QUERY_ID: {
        char id[64], rev[80];
        std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", g_frame->description.vendorId,
                      g_frame->description.productId);
        std::snprintf(rev, sizeof rev, "%s&REV_0100", id);
        PWSTR p = nullptr;
        switch (sp->Parameters.QueryId.IdType) {
        case BusQueryDeviceID:
            p = MultiSz({id});
            break;
        case BusQueryHardwareIDs:
            p = MultiSz({rev, id});
            break;
        case BusQueryCompatibleIDs:
            p = MultiSz({"USB\\Class_03&SubClass_00&Prot_00", "USB\\Class_03&SubClass_00", "USB\\Class_03"});
            break;
        case BusQueryInstanceID:
            p = MultiSz({"5&1&0&1"});
            break;
        default: {
            NTSTATUS s = irp->IoStatus.Status;
            IofCompleteRequest(irp, IO_NO_INCREMENT);
            return s;
        }
        }
        if (!p)
            return Complete(irp, STATUS_INSUFFICIENT_RESOURCES);
        irp->IoStatus.Information = (ULONG_PTR)p;
        return Complete(irp, STATUS_SUCCESS);
    }
    case IRP_MN_SURPRISE_REMOVAL:
        FailAllHeld(STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE);
        return Complete(irp, STATUS_SUCCESS);
    case IRP_MN_REMOVE_DEVICE: {
        FailAllHeld(STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE);
        Complete(irp, STATUS_SUCCESS);
        ForgetInterfacesOf(device);
        ForgetPowerState(device);
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            if (g_frame && g_frame->pdo == device) {
                delete g_frame;
                g_frame = nullptr;
            }
        }
        IoDeleteDevice(device);
        return STATUS_SUCCESS;
    }
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_PNP_DEVICE_STATE:
        return Complete(irp, STATUS_SUCCESS);
    default: {
        NTSTATUS s = irp->IoStatus.Status;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return s;
    }
    }
}

NTSTATUS BusPower(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    PoStartNextPowerIrp(irp);
    if (sp->MinorFunction == IRP_MN_SET_POWER && sp->Parameters.Power.Type == DevicePowerState) {
        DEVICE_POWER_STATE state = sp->Parameters.Power.State.DeviceState;
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            if (g_frame)
                g_frame->power = state;
        }
        // A suspended device ends the transfers it holds.
        if (state != PowerDeviceD0)
            FailAllHeld(STATUS_CANCELLED, USBD_STATUS_CANCELED);
    }
    if (sp->MinorFunction == IRP_MN_SET_POWER || sp->MinorFunction == IRP_MN_QUERY_POWER)
        return Complete(irp, STATUS_SUCCESS);
    NTSTATUS s = irp->IoStatus.Status;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return s;
}

NTSTATUS BusEntry(PDRIVER_OBJECT driver, PUNICODE_STRING)
{
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = BusInternalControl;
    driver->MajorFunction[IRP_MJ_PNP] = BusPnp;
    driver->MajorFunction[IRP_MJ_POWER] = BusPower;
    return STATUS_SUCCESS;
}

}  // namespace

pnp::DevNode* Plug(const FrameDescription& description)
{
    PDEVICE_OBJECT pdo;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        if (g_frame)
            return nullptr;
        if (!g_busDriver)
            g_busDriver = LoadDriver("usbhub", BusEntry);
        if (!NT_SUCCESS(
                IoCreateDevice(g_busDriver, 0, NULL, FILE_DEVICE_UNKNOWN, FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &pdo)))
            return nullptr;
        pdo->Flags &= ~DO_DEVICE_INITIALIZING;
        g_frame = new Frame();
        g_frame->description = description;
        BuildDescriptors(*g_frame);
        g_frame->pdo = pdo;
        g_frame->present = true;
    }
    char id[64], rev[80];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", description.vendorId, description.productId);
    std::snprintf(rev, sizeof rev, "%s&REV_0100", id);
    pnp::DevNode* node = pnp::ReportChild(pdo, {rev, id});
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (g_frame && g_frame->pdo == pdo)
        g_frame->node = node;
    return node;
}

void Unplug()
{
    pnp::DevNode* node;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        if (!g_frame)
            return;
        g_frame->present = false;
        node = g_frame->node;
    }
    // The transfer the device held ends as the wire goes dead.
    FailAllHeld(STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE);
    if (node)
        pnp::SurpriseRemove(node);
    RunPending();
}

bool Plugged()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_frame && g_frame->present;
}

pnp::DevNode* FrameNode()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_frame ? g_frame->node : nullptr;
}

bool Report(const uint8_t* bytes, unsigned length)
{
    PIRP irp = TakeHeld();
    if (!irp) {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        if (g_frame)
            ++g_frame->counters.reportsDropped;
        return false;
    }
    FinishTransferSoon(irp, STATUS_SUCCESS, USBD_STATUS_SUCCESS, bytes, length);
    return true;
}

bool FailTransfer(NTSTATUS status)
{
    PIRP irp = TakeHeld();
    if (!irp)
        return false;
    FinishTransferSoon(irp, status, NT_SUCCESS(status) ? USBD_STATUS_SUCCESS : USBD_STATUS_DEV_NOT_RESPONDING, nullptr,
                       0);
    return true;
}

bool TransferHeld()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_frame && !g_frame->held.empty();
}

void SetPortConnected(bool connected)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (g_frame)
        g_frame->connected = connected;
}

void InjectStatus(Request request, NTSTATUS status, unsigned times)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_injections[request] = Injection{status, times};
}

void ClearInjections()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_injections.clear();
}

Counters GetCounters()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_frame ? g_frame->counters : Counters();
}

void SetAsync(bool on, unsigned maxDelayUs, unsigned seed)
{
    if (!on) {
        // Both threads may still hand work to each other: drain until both are idle.
        for (int settled = 0; settled < 2;) {
            detail::WaitWorkerIdle();
            std::unique_lock<std::mutex> lock(g_busLock);
            g_busWake.wait(lock, [] { return g_busQueue.empty() && g_busRunning == 0; });
            lock.unlock();
            settled = detail::WorkerIdle() ? settled + 1 : 0;
        }
        StopBusThread();
        detail::SetWorkerThread(false);
        return;
    }
    detail::SetWorkerThread(true);
    std::lock_guard<std::mutex> lock(g_busLock);
    g_async = true;
    g_maxDelayUs = maxDelayUs;
    g_random.seed(seed);
    if (!g_busThread.joinable())
        g_busThread = std::thread(BusLoop);
}

bool Async() { return AsyncMode(); }

bool Idle()
{
    std::lock_guard<std::mutex> lock(g_busLock);
    return g_busQueue.empty() && g_busRunning == 0;
}

void ResetUsb()
{
    StopBusThread();
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    delete g_frame;
    g_frame = nullptr;
    g_busDriver = nullptr;
    g_injections.clear();
}

}  // namespace usb
}  // namespace sim
