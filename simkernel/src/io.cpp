// The I/O manager: requests and their stack locations, completion and cancel,
// device objects, names and symbolic links, file objects, device interfaces with
// their notifications, work items and remove locks. Driver loading is in
// drivers.cpp, the user-mode door in userdoor.cpp, status names in statusnames.cpp.
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "iomanager.h"

namespace sim {
namespace io {

const ULONG kIrpTag = TagOf("Irp ");
const ULONG kDeviceTag = TagOf("Devi");
const ULONG kBufferTag = TagOf("Sbuf");
const ULONG kStringTag = TagOf("Strg");
const ULONG kWorkTag = TagOf("IoWk");

std::recursive_mutex g_lock;
std::map<std::string, PDEVICE_OBJECT> g_names;  // "\device\zelko" -> device
std::map<std::string, std::string> g_links;     // "\??\zelkode" -> "\Device\Zelko"
std::atomic<int64_t> g_irps{0};
KSPIN_LOCK g_cancelLock = 0;

struct InterfaceRecord {
    GUID guid;
    std::u16string link;
    PDEVICE_OBJECT pdo;
    bool enabled;
};
std::vector<InterfaceRecord> g_interfaces;
int g_interfaceInstance = 0;

struct NotifyRegistration {
    GUID guid;
    PDRIVER_OBJECT driver;
    PDRIVER_NOTIFICATION_CALLBACK_ROUTINE callback;
    PVOID context;
    bool active;
};
std::vector<std::shared_ptr<NotifyRegistration>> g_registrations;
bool g_holdNotifications = false;
std::vector<std::function<void()>> g_heldNotifications;

// Interface notifications go to the PnP manager's thread, or wait while a test
// holds them back.
void PostNotification(std::function<void()> fn)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (g_holdNotifications)
        g_heldNotifications.push_back(std::move(fn));
    else
        detail::Defer(std::move(fn));
}

std::map<PDRIVER_OBJECT, DriverRecord*> g_drivers;

std::map<intptr_t, UserHandle> g_userHandles;
std::set<DeviceRecord*> g_deviceRecords;  // of every device object not yet freed
std::set<PFILE_OBJECT> g_files;
intptr_t g_nextUserHandle = 0x40;
thread_local NTSTATUS t_lastStatus = STATUS_SUCCESS;

DEFINE_GUID(kArrival, 0xcb3a4004L, 0x46f0, 0x11d0, 0xb0, 0x8f, 0x00, 0x60, 0x97, 0x13, 0x05, 0x3f);
DEFINE_GUID(kRemoval, 0xcb3a4005L, 0x46f0, 0x11d0, 0xb0, 0x8f, 0x00, 0x60, 0x97, 0x13, 0x05, 0x3f);

DeviceRecord* RecordOf(PDEVICE_OBJECT d) { return (DeviceRecord*)d->SimPrivate; }

std::string NormalizeObjectName(const std::string& name)
{
    std::string n = detail::Lower(name);
    if (n.rfind("\\dosdevices\\", 0) == 0)
        n = "\\??\\" + n.substr(12);
    else if (n.rfind("\\global??\\", 0) == 0)
        n = "\\??\\" + n.substr(10);
    return n;
}

// Follows symbolic links to the named device.
PDEVICE_OBJECT ResolveName(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::string n = NormalizeObjectName(name);
    for (int depth = 0; depth < 8; ++depth) {
        auto d = g_names.find(n);
        if (d != g_names.end())
            return d->second;
        auto l = g_links.find(n);
        if (l == g_links.end())
            return nullptr;
        n = NormalizeObjectName(l->second);
    }
    return nullptr;
}

std::string g_unloadReports;

std::string FinishUnload(PDRIVER_OBJECT driver);

void FreeDeviceObject(PDEVICE_OBJECT d)
{
    PDRIVER_OBJECT driver = d->DriverObject;
    g_deviceRecords.erase(RecordOf(d));
    delete RecordOf(d);
    ExFreePool(d);
    auto it = g_drivers.find(driver);
    if (it != g_drivers.end() && --it->second->liveDevices == 0 && it->second->unloadPending)
        detail::Defer([driver] {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            auto again = g_drivers.find(driver);
            if (again != g_drivers.end() && again->second->unloadPending && again->second->liveDevices == 0)
                FinishUnload(driver);
        });
}

NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp)
{
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

std::string GuidText(const GUID& g)
{
    char b[48];
    std::snprintf(b, sizeof b, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return b;
}

void Notify(std::shared_ptr<NotifyRegistration> reg, const GUID& event, const GUID& cls, const std::u16string& link)
{
    std::u16string copy = link;
    UNICODE_STRING name;
    name.Buffer = (PWSTR)copy.c_str();
    name.Length = (USHORT)(copy.size() * 2);
    name.MaximumLength = (USHORT)(copy.size() * 2 + 2);
    DEVICE_INTERFACE_CHANGE_NOTIFICATION n;
    n.Version = 1;
    n.Size = sizeof n;
    n.Event = event;
    n.InterfaceClassGuid = cls;
    n.SymbolicLinkName = &name;
    reg->callback(&n, reg->context);
}

// Sends a create, cleanup or close request for a file object and waits for it.
NTSTATUS SendFileRequest(PDEVICE_OBJECT top, PFILE_OBJECT file, UCHAR major)
{
    PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    KEVENT done;
    IO_STATUS_BLOCK iosb;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    irp->UserEvent = &done;
    irp->UserIosb = &iosb;
    irp->SimPrivate = (PVOID)kIoManagerOwned;
    irp->Tail.Overlay.OriginalFileObject = file;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = major;
    sp->FileObject = file;
    NTSTATUS status = IofCallDriver(top, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        status = iosb.Status;
    }
    return status;
}

PFILE_OBJECT NewFileObject(PDEVICE_OBJECT device)
{
    auto* f = new FILE_OBJECT();
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_files.insert(f);
    }
    f->Type = IO_TYPE_FILE;
    f->Size = sizeof(FILE_OBJECT);
    f->DeviceObject = device;
    f->SimReferences = 1;
    return f;
}

void CloseFileObject(PFILE_OBJECT file)
{
    PDEVICE_OBJECT dev = file->DeviceObject;
    PDEVICE_OBJECT top = IoGetAttachedDevice(dev);
    SendFileRequest(top, file, IRP_MJ_CLEANUP);
    SendFileRequest(top, file, IRP_MJ_CLOSE);
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_files.erase(file);
    }
    delete file;
    ObfDereferenceObject(dev);
}

thread_local int t_adding = 0;
thread_local std::vector<DeviceRecord*>* t_added = nullptr;

}  // namespace io

using namespace io;

namespace detail {
void BeginAddDevice()
{
    if (t_adding++ == 0)
        t_added = new std::vector<DeviceRecord*>();
}

void EndAddDevice()
{
    if (--t_adding > 0)
        return;
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (DeviceRecord* r : *t_added)
        if (g_deviceRecords.count(r))
            r->initializing = false;
    delete t_added;
    t_added = nullptr;
}

void ResetIo()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_names.clear();
    g_links.clear();
    g_interfaces.clear();
    g_registrations.clear();
    g_holdNotifications = false;
    g_heldNotifications.clear();
    g_userHandles.clear();
    for (auto& d : g_drivers) {
        delete d.second;
        delete d.first;
    }
    g_drivers.clear();
    for (auto* r : g_deviceRecords)
        delete r;
    g_deviceRecords.clear();
    for (auto* f : g_files)
        delete f;
    g_files.clear();
    g_unloadReports.clear();
    g_irps = 0;
    g_interfaceInstance = 0;
}
}  // namespace detail

int64_t IrpsOutstanding() { return g_irps; }

void HoldNotifications(bool hold)
{
    std::vector<std::function<void()>> release;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_holdNotifications = hold;
        if (!hold)
            release.swap(g_heldNotifications);
    }
    for (auto& fn : release)
        detail::Defer(std::move(fn));
}

PDEVICE_OBJECT FindDevice(const std::string& name) { return ResolveName(name); }

std::string InterfaceLinkOf(PDEVICE_OBJECT pdo, const GUID& guid, bool* enabled)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto& i : g_interfaces)
        if (i.pdo == pdo && IsEqualGUID(&i.guid, &guid)) {
            if (enabled)
                *enabled = i.enabled;
            return Narrow(i.link);
        }
    return std::string();
}

void ForgetInterfacesOf(PDEVICE_OBJECT pdo)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto it = g_interfaces.begin(); it != g_interfaces.end();)
        it = it->pdo == pdo ? g_interfaces.erase(it) : it + 1;
}

}  // namespace sim

using namespace sim;
using namespace sim::io;

extern "C" {

// ---- requests --------------------------------------------------------------------------------
PIRP IoAllocateIrp(CHAR stackSize, BOOLEAN chargeQuota)
{
    if (stackSize < 1)
        Bugcheck("IoAllocateIrp with no stack location");
    size_t size = sizeof(IRP) + (size_t)stackSize * sizeof(IO_STACK_LOCATION);
    PIRP irp = (PIRP)ExAllocatePoolWithTag(NonPagedPool, size, kIrpTag);
    if (!irp)
        return NULL;
    memset(irp, 0, size);
    irp->Type = IO_TYPE_IRP;
    irp->Size = (USHORT)size;
    irp->StackCount = stackSize;
    irp->CurrentLocation = (CHAR)(stackSize + 1);
    irp->Tail.Overlay.CurrentStackLocation = (PIO_STACK_LOCATION)(irp + 1) + stackSize;
    InitializeListHead(&irp->ThreadListEntry);
    ++g_irps;
    return irp;
}

void IoReuseIrp(PIRP irp, NTSTATUS status)
{
    CHAR n = irp->StackCount;
    USHORT size = irp->Size;
    memset(irp, 0, size);
    irp->Type = IO_TYPE_IRP;
    irp->Size = size;
    irp->StackCount = n;
    irp->CurrentLocation = (CHAR)(n + 1);
    irp->Tail.Overlay.CurrentStackLocation = (PIO_STACK_LOCATION)(irp + 1) + n;
    irp->IoStatus.Status = status;
    InitializeListHead(&irp->ThreadListEntry);
}

void IoFreeIrp(PIRP irp)
{
    if (irp->Type != IO_TYPE_IRP)
        Bugcheck("IoFreeIrp of something that is not a request");
    irp->Type = 0;
    --g_irps;
    ExFreePool(irp);
}

NTSTATUS IofCallDriver(PDEVICE_OBJECT device, PIRP irp)
{
    if (!device)
        Bugcheck("IoCallDriver to no device");
    if (irp->Type != IO_TYPE_IRP)
        Bugcheck("IoCallDriver with a freed or bad request");
    irp->CurrentLocation--;
    if (irp->CurrentLocation <= 0)
        Bugcheck("NO_MORE_IRP_STACK_LOCATIONS");
    irp->Tail.Overlay.CurrentStackLocation--;
    PIO_STACK_LOCATION sp = irp->Tail.Overlay.CurrentStackLocation;
    sp->DeviceObject = device;
    PDRIVER_DISPATCH fn = device->DriverObject->MajorFunction[sp->MajorFunction];
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IoCallDriver above dispatch level");
    return fn(device, irp);
}

// The I/O manager's end of a request it built: copies buffered output, reports
// the status, signals the caller and frees the request.
static void FinishIoManagerRequest(PIRP irp)
{
    if ((irp->Flags & IRP_BUFFERED_IO) && irp->AssociatedIrp.SystemBuffer) {
        PIO_STACK_LOCATION top = (PIO_STACK_LOCATION)(irp + 1) + irp->StackCount - 1;
        ULONG outLength = top->Parameters.DeviceIoControl.OutputBufferLength;
        if ((irp->Flags & IRP_INPUT_OPERATION) && !NT_ERROR(irp->IoStatus.Status) && irp->UserBuffer) {
            ULONG_PTR n = irp->IoStatus.Information;
            if (n > outLength)
                Bugcheck("request completed with more output bytes than its buffer holds");
            memcpy(irp->UserBuffer, irp->AssociatedIrp.SystemBuffer, n);
        }
        if (irp->Flags & IRP_DEALLOCATE_BUFFER)
            ExFreePool(irp->AssociatedIrp.SystemBuffer);
    }
    if (irp->UserIosb)
        *irp->UserIosb = irp->IoStatus;
    PKEVENT event = irp->UserEvent;
    IoFreeIrp(irp);
    if (event)
        KeSetEvent(event, IO_NO_INCREMENT, FALSE);
}

void IofCompleteRequest(PIRP irp, CHAR priorityBoost)
{
    if (irp->Type != IO_TYPE_IRP)
        Bugcheck("IoCompleteRequest of a freed or bad request");
    if (irp->CurrentLocation > irp->StackCount + 1)
        Bugcheck("MULTIPLE_IRP_COMPLETE_REQUESTS");
    if (irp->IoStatus.Status == STATUS_PENDING)
        Bugcheck("IoCompleteRequest with STATUS_PENDING");
    if (__atomic_load_n(&irp->CancelRoutine, __ATOMIC_ACQUIRE))
        Bugcheck("IoCompleteRequest with a cancel routine still set");
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IoCompleteRequest above dispatch level");

    if (irp->CurrentLocation <= irp->StackCount) {
        PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
        for (;;) {
            irp->CurrentLocation++;
            irp->Tail.Overlay.CurrentStackLocation++;
            irp->PendingReturned = (sp->Control & SL_PENDING_RETURNED) != 0;
            const NTSTATUS st = irp->IoStatus.Status;
            const bool invoke =
                (NT_SUCCESS(st) && (sp->Control & SL_INVOKE_ON_SUCCESS)) ||
                (!NT_SUCCESS(st) && (sp->Control & SL_INVOKE_ON_ERROR)) ||
                (__atomic_load_n(&irp->Cancel, __ATOMIC_ACQUIRE) && (sp->Control & SL_INVOKE_ON_CANCEL));
            PIO_COMPLETION_ROUTINE routine = sp->CompletionRoutine;
            PVOID context = sp->Context;
            sp->Control = 0;
            sp->CompletionRoutine = NULL;
            sp->Context = NULL;
            if (invoke && routine) {
                PDEVICE_OBJECT dev =
                    irp->CurrentLocation <= irp->StackCount ? IoGetCurrentIrpStackLocation(irp)->DeviceObject : NULL;
                if (routine(dev, irp, context) == STATUS_MORE_PROCESSING_REQUIRED)
                    return;
            } else if (irp->CurrentLocation <= irp->StackCount && irp->PendingReturned) {
                IoMarkIrpPending(irp);
            }
            if (irp->CurrentLocation > irp->StackCount)
                break;
            ++sp;
        }
    }

    if (!((uintptr_t)irp->SimPrivate & kIoManagerOwned))
        Bugcheck("a driver's own request completed up to the I/O manager "
                 "(its completion routine must return STATUS_MORE_PROCESSING_REQUIRED)");
    FinishIoManagerRequest(irp);
}

void IoAcquireCancelSpinLock(PKIRQL irql) { KeAcquireSpinLock(&g_cancelLock, irql); }
void IoReleaseCancelSpinLock(KIRQL irql) { KeReleaseSpinLock(&g_cancelLock, irql); }

BOOLEAN IoCancelIrp(PIRP irp)
{
    if (irp->Type != IO_TYPE_IRP)
        Bugcheck("IoCancelIrp of a freed or bad request");
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    __atomic_store_n(&irp->Cancel, (BOOLEAN)TRUE, __ATOMIC_SEQ_CST);  // drivers look at it without a lock
    PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, NULL);
    if (routine) {
        irp->CancelIrql = irql;
        routine(IoGetCurrentIrpStackLocation(irp)->DeviceObject, irp);
        return TRUE;
    }
    IoReleaseCancelSpinLock(irql);
    return FALSE;
}

PIRP IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input, ULONG inputLength, PVOID output,
                                   ULONG outputLength, BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK iosb)
{
    PIRP irp = IoAllocateIrp(device->StackSize, FALSE);
    if (!irp)
        return NULL;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    sp->Parameters.DeviceIoControl.IoControlCode = code;
    sp->Parameters.DeviceIoControl.InputBufferLength = inputLength;
    sp->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
    switch (METHOD_FROM_CTL_CODE(code)) {
    case METHOD_NEITHER:
        sp->Parameters.DeviceIoControl.Type3InputBuffer = input;
        irp->UserBuffer = output;
        break;
    default: {  // buffered (the direct methods are not part of this kernel)
        ULONG n = inputLength > outputLength ? inputLength : outputLength;
        if (n) {
            irp->AssociatedIrp.SystemBuffer = ExAllocatePoolWithTag(NonPagedPool, n, kBufferTag);
            if (!irp->AssociatedIrp.SystemBuffer) {
                IoFreeIrp(irp);
                return NULL;
            }
            memset(irp->AssociatedIrp.SystemBuffer, 0, n);
            if (input && inputLength)
                memcpy(irp->AssociatedIrp.SystemBuffer, input, inputLength);
            irp->Flags = IRP_BUFFERED_IO | IRP_DEALLOCATE_BUFFER;
            if (output && outputLength)
                irp->Flags |= IRP_INPUT_OPERATION;
        }
        irp->UserBuffer = output;
        break;
    }
    }
    irp->UserIosb = iosb;
    irp->UserEvent = event;
    irp->SimPrivate = (PVOID)kIoManagerOwned;
    return irp;
}

// ---- device objects and names ----------------------------------------------------------------
NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name, ULONG type,
                        ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device)
{
    std::string n = name ? Narrow(name) : std::string();
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (!n.empty()) {
        std::string key = NormalizeObjectName(n);
        if (g_names.count(key) || g_links.count(key))
            return STATUS_OBJECT_NAME_COLLISION;
    }
    size_t size = sizeof(DEVICE_OBJECT) + extensionSize;
    PDEVICE_OBJECT d = (PDEVICE_OBJECT)ExAllocatePoolWithTag(NonPagedPool, size, kDeviceTag);
    if (!d)
        return STATUS_INSUFFICIENT_RESOURCES;
    memset(d, 0, size);
    d->Type = IO_TYPE_DEVICE;
    d->Size = (USHORT)size;
    d->DriverObject = driver;
    d->DeviceExtension = extensionSize ? (PVOID)(d + 1) : NULL;
    d->DeviceType = type;
    d->Characteristics = characteristics;
    d->StackSize = 1;
    d->Flags = DO_DEVICE_INITIALIZING;
    auto* rec = new DeviceRecord();
    rec->name = n;
    rec->initializing = t_adding > 0;
    if (t_adding > 0)
        t_added->push_back(rec);
    g_deviceRecords.insert(rec);
    auto drv = g_drivers.find(driver);
    if (drv != g_drivers.end())
        ++drv->second->liveDevices;
    d->SimPrivate = rec;
    if (!n.empty())
        g_names[NormalizeObjectName(n)] = d;
    d->NextDevice = driver->DeviceObject;
    driver->DeviceObject = d;
    *device = d;
    return STATUS_SUCCESS;
}

void IoDeleteDevice(PDEVICE_OBJECT device)
{
    if (device->SimAttachedTo)
        Bugcheck("IoDeleteDevice of a device still attached to a stack (IoDetachDevice first)");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    DeviceRecord* rec = RecordOf(device);
    if (rec->deletePending)
        Bugcheck("IoDeleteDevice twice");
    if (!rec->name.empty())
        g_names.erase(NormalizeObjectName(rec->name));
    for (PDEVICE_OBJECT* q = &device->DriverObject->DeviceObject; *q; q = &(*q)->NextDevice)
        if (*q == device) {
            *q = device->NextDevice;
            break;
        }
    rec->deletePending = true;
    // A device that another is still attached to goes when that one detaches
    // (the order of a removal: pass the request down, detach, delete).
    if (device->ReferenceCount == 0 && !device->AttachedDevice)
        FreeDeviceObject(device);
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::string key = NormalizeObjectName(Narrow(link));
    if (g_links.count(key) || g_names.count(key))
        return STATUS_OBJECT_NAME_COLLISION;
    g_links[key] = Narrow(target);
    return STATUS_SUCCESS;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING link)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_links.erase(NormalizeObjectName(Narrow(link))) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT device)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    while (device->AttachedDevice)
        device = device->AttachedDevice;
    return device;
}

PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT device)
{
    PDEVICE_OBJECT top = IoGetAttachedDevice(device);
    ObfReferenceObject(top);
    return top;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT source, PDEVICE_OBJECT target)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (RecordOf(target)->deletePending)
        return NULL;
    PDEVICE_OBJECT top = IoGetAttachedDevice(target);
    top->AttachedDevice = source;
    source->SimAttachedTo = top;
    source->StackSize = (CHAR)(top->StackSize + 1);
    return top;
}

void IoDetachDevice(PDEVICE_OBJECT target)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    PDEVICE_OBJECT upper = target->AttachedDevice;
    if (!upper)
        Bugcheck("IoDetachDevice of a device with nothing attached");
    upper->SimAttachedTo = NULL;
    target->AttachedDevice = NULL;
    if (RecordOf(target)->deletePending && target->ReferenceCount == 0)
        FreeDeviceObject(target);
}

NTSTATUS IoGetDeviceObjectPointer(PUNICODE_STRING name, ACCESS_MASK access, PFILE_OBJECT* file, PDEVICE_OBJECT* device)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IoGetDeviceObjectPointer above passive level");
    PDEVICE_OBJECT dev;
    {
        // Looked up and referenced in one step: a removal cannot free it in between.
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        dev = ResolveName(Narrow(name));
        if (dev && !RecordOf(dev)->deletePending && !RecordOf(dev)->initializing)
            ObfReferenceObject(dev);
        else
            dev = nullptr;
    }
    if (!dev)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    PFILE_OBJECT f = NewFileObject(dev);
    PDEVICE_OBJECT top = IoGetAttachedDevice(dev);
    NTSTATUS s = SendFileRequest(top, f, IRP_MJ_CREATE);
    if (!NT_SUCCESS(s)) {
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            g_files.erase(f);
        }
        delete f;
        ObfDereferenceObject(dev);
        return s;
    }
    *file = f;
    *device = top;
    return STATUS_SUCCESS;
}

void ObfReferenceObject(PVOID object)
{
    SHORT type = *(SHORT*)object;
    if (type == IO_TYPE_FILE)
        __atomic_add_fetch(&((PFILE_OBJECT)object)->SimReferences, 1, __ATOMIC_SEQ_CST);
    else if (type == IO_TYPE_DEVICE)
        __atomic_add_fetch(&((PDEVICE_OBJECT)object)->ReferenceCount, 1, __ATOMIC_SEQ_CST);
    else
        Bugcheck("ObReferenceObject of an unknown object");
}

void ObfDereferenceObject(PVOID object)
{
    SHORT type = *(SHORT*)object;
    if (type == IO_TYPE_FILE) {
        PFILE_OBJECT f = (PFILE_OBJECT)object;
        LONG left = __atomic_sub_fetch(&f->SimReferences, 1, __ATOMIC_SEQ_CST);
        if (left < 0)
            Bugcheck("file object dereferenced once too often");
        if (left == 0) {
            if (KeGetCurrentIrql() == PASSIVE_LEVEL)
                CloseFileObject(f);
            else
                detail::Defer([f] { CloseFileObject(f); });
        }
    } else if (type == IO_TYPE_DEVICE) {
        PDEVICE_OBJECT d = (PDEVICE_OBJECT)object;
        // Under the lock that name lookups reference under: the last reference
        // and a new one by name never cross.
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        LONG left = __atomic_sub_fetch(&d->ReferenceCount, 1, __ATOMIC_SEQ_CST);
        if (left < 0)
            Bugcheck("device object dereferenced once too often");
        if (left == 0 && RecordOf(d)->deletePending && !d->AttachedDevice)
            FreeDeviceObject(d);
    } else {
        Bugcheck("ObDereferenceObject of an unknown or freed object");
    }
}

NTSTATUS IoAllocateDriverObjectExtension(PDRIVER_OBJECT driver, PVOID id, ULONG size, PVOID* extension)
{
    *extension = NULL;
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_drivers.find(driver);
    if (it == g_drivers.end())
        return STATUS_INVALID_PARAMETER;
    for (auto& e : it->second->objectExtensions)
        if (e.first == id)
            return STATUS_OBJECT_NAME_COLLISION;
    PVOID block = ExAllocatePoolWithTag(NonPagedPool, size, TagOf("DrvX"));
    if (!block)
        return STATUS_INSUFFICIENT_RESOURCES;
    memset(block, 0, size);
    it->second->objectExtensions.emplace_back(id, block);
    *extension = block;
    return STATUS_SUCCESS;
}

PVOID IoGetDriverObjectExtension(PDRIVER_OBJECT driver, PVOID id)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_drivers.find(driver);
    if (it == g_drivers.end())
        return NULL;
    for (auto& e : it->second->objectExtensions)
        if (e.first == id)
            return e.second;
    return NULL;
}

// ---- device interfaces -------------------------------------------------------------------------
NTSTATUS IoRegisterDeviceInterface(PDEVICE_OBJECT pdo, const GUID* classGuid, PUNICODE_STRING reference,
                                   PUNICODE_STRING linkName)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IoRegisterDeviceInterface above passive level");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::u16string link;
    for (auto& i : g_interfaces)
        if (i.pdo == pdo && IsEqualGUID(&i.guid, classGuid))
            link = i.link;
    if (link.empty()) {
        char inst[64];
        std::snprintf(inst, sizeof inst, "\\??\\SIM#DEVICE#%d&0#", ++g_interfaceInstance);
        link = Utf16(inst + GuidText(*classGuid));
        if (reference && reference->Length)
            link += u"\\" + std::u16string(reference->Buffer, reference->Length / 2);
        g_interfaces.push_back(InterfaceRecord{*classGuid, link, pdo, false});
    }
    size_t bytes = link.size() * 2;
    linkName->Buffer = (PWSTR)ExAllocatePoolWithTag(PagedPool, bytes + 2, kStringTag);
    if (!linkName->Buffer)
        return STATUS_INSUFFICIENT_RESOURCES;
    memcpy(linkName->Buffer, link.c_str(), bytes + 2);
    linkName->Length = (USHORT)bytes;
    linkName->MaximumLength = (USHORT)(bytes + 2);
    return STATUS_SUCCESS;
}

NTSTATUS IoSetDeviceInterfaceState(PUNICODE_STRING linkName, BOOLEAN enable)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IoSetDeviceInterfaceState above passive level");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::u16string link(linkName->Buffer, linkName->Length / 2);
    for (auto& i : g_interfaces) {
        if (i.link != link)
            continue;
        if (i.enabled == (enable != 0))
            return STATUS_SUCCESS;
        i.enabled = enable != 0;
        // Notifications reach the watchers later, from the PnP manager's own thread.
        // The system does not synchronise them with IoUnregisterPlugPlayNotification:
        // one on its way is delivered even when the watcher unregisters meanwhile.
        for (auto& reg : g_registrations)
            if (reg->active && IsEqualGUID(&reg->guid, &i.guid)) {
                GUID event = enable ? kArrival : kRemoval, cls = i.guid;
                PostNotification([reg, event, cls, link] { Notify(reg, event, cls, link); });
            }
        return STATUS_SUCCESS;
    }
    return STATUS_OBJECT_NAME_NOT_FOUND;
}

NTSTATUS IoRegisterPlugPlayNotification(IO_NOTIFICATION_EVENT_CATEGORY category, ULONG flags, PVOID data,
                                        PDRIVER_OBJECT driver, PDRIVER_NOTIFICATION_CALLBACK_ROUTINE callback,
                                        PVOID context, PVOID* entry)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IoRegisterPlugPlayNotification above passive level");
    if (category != EventCategoryDeviceInterfaceChange)
        return STATUS_NOT_SUPPORTED;
    auto reg = std::make_shared<NotifyRegistration>();
    reg->guid = *(const GUID*)data;
    reg->driver = driver;
    reg->callback = callback;
    reg->context = context;
    reg->active = true;
    std::vector<std::u16string> existing;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_registrations.push_back(reg);
        if (flags & PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES)
            for (auto& i : g_interfaces)
                if (i.enabled && IsEqualGUID(&i.guid, &reg->guid))
                    existing.push_back(i.link);
    }
    *entry = reg.get();
    // Interfaces that exist already are reported at once, during this call.
    for (auto& link : existing)
        Notify(reg, kArrival, reg->guid, link);
    return STATUS_SUCCESS;
}

// Does not wait for callbacks that run now, and those already on their way still arrive.
NTSTATUS IoUnregisterPlugPlayNotification(PVOID entry)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "IoUnregisterPlugPlayNotification above passive level");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto it = g_registrations.begin(); it != g_registrations.end(); ++it)
        if (it->get() == entry) {
            (*it)->active = false;
            g_registrations.erase(it);
            return STATUS_SUCCESS;
        }
    return STATUS_INVALID_PARAMETER;
}

// ---- work items ----------------------------------------------------------------------------------
struct _IO_WORKITEM {
    PDEVICE_OBJECT device;
    bool queued;
};

PIO_WORKITEM IoAllocateWorkItem(PDEVICE_OBJECT device)
{
    auto* w = (PIO_WORKITEM)ExAllocatePoolWithTag(NonPagedPool, sizeof(_IO_WORKITEM), kWorkTag);
    if (!w)
        return NULL;
    w->device = device;
    w->queued = false;
    return w;
}

void IoQueueWorkItem(PIO_WORKITEM item, PIO_WORKITEM_ROUTINE routine, WORK_QUEUE_TYPE queue, PVOID context)
{
    if (item->queued)
        Bugcheck("work item queued twice");
    item->queued = true;
    // The device stays while its work item waits.
    ObfReferenceObject(item->device);
    detail::Defer([item, routine, context] {
        PDEVICE_OBJECT d = item->device;
        item->queued = false;
        routine(d, context);
        if (KeGetCurrentIrql() != PASSIVE_LEVEL)
            Bugcheck("work item returned above passive level");
        ObfDereferenceObject(d);
    });
}

void IoFreeWorkItem(PIO_WORKITEM item)
{
    if (item->queued)
        Bugcheck("IoFreeWorkItem of a queued work item");
    ExFreePool(item);
}

// ---- remove locks ----------------------------------------------------------------------------------
void IoInitializeRemoveLockEx(PIO_REMOVE_LOCK lock, ULONG tag, ULONG maxMinutes, ULONG highWatermark, ULONG size)
{
    lock->Removed = FALSE;
    lock->IoCount = 1;
    KeInitializeEvent(&lock->RemoveEvent, SynchronizationEvent, FALSE);
}

NTSTATUS IoAcquireRemoveLockEx(PIO_REMOVE_LOCK lock, PVOID tag, PCSTR file, ULONG line, ULONG size)
{
    InterlockedIncrement(&lock->IoCount);
    if (lock->Removed) {
        if (InterlockedDecrement(&lock->IoCount) == 0)
            KeSetEvent(&lock->RemoveEvent, IO_NO_INCREMENT, FALSE);
        return STATUS_DELETE_PENDING;
    }
    return STATUS_SUCCESS;
}

void IoReleaseRemoveLockEx(PIO_REMOVE_LOCK lock, PVOID tag, ULONG size)
{
    LONG n = InterlockedDecrement(&lock->IoCount);
    if (n < 0)
        Bugcheck("remove lock released once too often");
    if (n == 0)
        KeSetEvent(&lock->RemoveEvent, IO_NO_INCREMENT, FALSE);
}

void IoReleaseRemoveLockAndWaitEx(PIO_REMOVE_LOCK lock, PVOID tag, ULONG size)
{
    lock->Removed = TRUE;
    InterlockedDecrement(&lock->IoCount);
    if (InterlockedDecrement(&lock->IoCount) > 0)
        KeWaitForSingleObject(&lock->RemoveEvent, Executive, KernelMode, FALSE, NULL);
}

}  // extern "C"
