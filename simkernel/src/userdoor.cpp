// The user-mode door: CreateFile, DeviceIoControl and CloseHandle on a device's
// link, as a program calls them.
#include "iomanager.h"

namespace sim {

using namespace io;

namespace user {

NTSTATUS LastStatus() { return t_lastStatus; }

Handle CreateFile(const std::string& path)
{
    std::string p = path;
    if (p.rfind("\\\\.\\", 0) == 0)
        p = "\\??\\" + p.substr(4);
    // The name is looked up and the device referenced in one step, as the object
    // manager does: a removal on another thread cannot free it in between.
    PDEVICE_OBJECT dev;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        dev = ResolveName(p);
        if (dev && !RecordOf(dev)->deletePending && !RecordOf(dev)->initializing)
            ObfReferenceObject(dev);
        else
            dev = nullptr;
    }
    if (!dev) {
        t_lastStatus = STATUS_OBJECT_NAME_NOT_FOUND;
        return kInvalidHandle;
    }
    PFILE_OBJECT file = NewFileObject(dev);
    NTSTATUS s = SendFileRequest(IoGetAttachedDevice(dev), file, IRP_MJ_CREATE);
    if (!NT_SUCCESS(s)) {
        {
            std::lock_guard<std::recursive_mutex> lock(g_lock);
            g_files.erase(file);
        }
        delete file;
        ObfDereferenceObject(dev);
        t_lastStatus = s;
        return kInvalidHandle;
    }
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Handle h = g_nextUserHandle;
    g_nextUserHandle += 4;
    g_userHandles[h] = UserHandle{file};
    return h;
}

bool DeviceIoControl(Handle h, uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                     uint32_t* bytesReturned)
{
    PFILE_OBJECT file;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        auto it = g_userHandles.find(h);
        if (it == g_userHandles.end()) {
            t_lastStatus = STATUS_INVALID_PARAMETER;
            return false;
        }
        file = it->second.file;
    }
    if (bytesReturned)
        *bytesReturned = 0;
    PDEVICE_OBJECT top = IoGetAttachedDevice(file->DeviceObject);
    KEVENT done;
    IO_STATUS_BLOCK iosb;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(code, top, (PVOID)in, inLength, out, outLength, FALSE, &done, &iosb);
    if (!irp) {
        t_lastStatus = STATUS_INSUFFICIENT_RESOURCES;
        return false;
    }
    irp->RequestorMode = UserMode;
    irp->Tail.Overlay.OriginalFileObject = file;
    IoGetNextIrpStackLocation(irp)->FileObject = file;
    NTSTATUS status = IofCallDriver(top, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, UserMode, FALSE, NULL);
        status = iosb.Status;
    } else {
        status = iosb.Status;
    }
    if (NT_ERROR(status)) {
        t_lastStatus = status;
        return false;
    }
    if (bytesReturned)
        *bytesReturned = (uint32_t)iosb.Information;
    if (!NT_SUCCESS(status)) {
        t_lastStatus = status;  // a warning: data returned, call reported as failed
        return false;
    }
    return true;
}

bool CloseHandle(Handle h)
{
    PFILE_OBJECT file;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        auto it = g_userHandles.find(h);
        if (it == g_userHandles.end())
            return false;
        file = it->second.file;
        g_userHandles.erase(it);
    }
    ObfDereferenceObject(file);
    return true;
}

}  // namespace user

}  // namespace sim
