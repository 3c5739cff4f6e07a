// A simulated machine with Zelko for the frame, Dravick for the root device
// "root\DRAVLINE" and the mouse class driver above Dravick, for the tests.
#pragma once

#include <deque>

#include "simkernel/mouclass.h"
#include "usb/kernal_driver/2kService/sermdep.h"
#include "zelko/harness.h"

namespace dravicktest {

using sim::mouclass::Record;

inline uint32_t DravickTag() { return sim::TagOf("Drvk"); }

// An internal device control sent straight to a device and waited for.
inline NTSTATUS SendInternal(PDEVICE_OBJECT device, ULONG code, const void* in, ULONG inLength, void* out,
                             ULONG outLength, ULONG_PTR* information = nullptr)
{
    KEVENT done;
    IO_STATUS_BLOCK iosb = {};
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(code, device, (PVOID)in, inLength, out, outLength, TRUE, &done, &iosb);
    if (IoCallDriver(device, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    if (information)
        *information = iosb.Information;
    return iosb.Status;
}

// "code/buttonflags@x,y" of a record, e.g. "81/0001@40080,43254".
inline std::string Show(const Record& r)
{
    char b[48];
    snprintf(b, sizeof b, "%02x/%04x@%d,%d", (unsigned)r.data.RawButtons, r.data.ButtonFlags, (int)r.data.LastX,
             (int)r.data.LastY);
    return b;
}

// An upper filter over Zelko (so the front of Zelko's stack, the device that
// Dravick opens). Passing through, it is invisible; holding, it keeps every read
// until the test completes it, and a cancel request ends the held reads before it
// goes on to Zelko.
struct ReadHolder {
    static ReadHolder*& Current()
    {
        static ReadHolder* current = nullptr;
        return current;
    }

    bool hold = false;
    std::deque<PIRP> held;
    PDEVICE_OBJECT self = nullptr, lower = nullptr;

    static NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp)
    {
        ReadHolder* h = Current();
        PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
        if (sp->MajorFunction == IRP_MJ_INTERNAL_DEVICE_CONTROL && h->hold) {
            if (sp->Parameters.DeviceIoControl.IoControlCode == IOCTL_ZELKO_READ_EVENT) {
                IoMarkIrpPending(irp);
                h->held.push_back(irp);
                return STATUS_PENDING;
            }
            if (sp->Parameters.DeviceIoControl.IoControlCode == IOCTL_ZELKO_CANCEL_READS)
                while (!h->held.empty())
                    h->Complete(STATUS_CANCELLED, nullptr, 0);
        }
        if (sp->MajorFunction == IRP_MJ_PNP && sp->MinorFunction == IRP_MN_REMOVE_DEVICE) {
            IoSkipCurrentIrpStackLocation(irp);
            NTSTATUS s = IoCallDriver(h->lower, irp);
            IoDetachDevice(h->lower);
            IoDeleteDevice(device);
            return s;
        }
        if (sp->MajorFunction == IRP_MJ_POWER)
            PoStartNextPowerIrp(irp);
        IoSkipCurrentIrpStackLocation(irp);
        return sp->MajorFunction == IRP_MJ_POWER ? PoCallDriver(h->lower, irp) : IoCallDriver(h->lower, irp);
    }

    static NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
    {
        ReadHolder* h = Current();
        IoCreateDevice(driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &h->self);
        h->lower = IoAttachDeviceToDeviceStack(h->self, pdo);
        h->self->Flags = (h->self->Flags & ~DO_DEVICE_INITIALIZING) | DO_BUFFERED_IO | DO_POWER_PAGABLE;
        return STATUS_SUCCESS;
    }

    static NTSTATUS NTAPI Entry(PDRIVER_OBJECT driver, PUNICODE_STRING)
    {
        for (auto& f : driver->MajorFunction)
            f = Dispatch;
        driver->DriverExtension->AddDevice = AddDevice;
        return STATUS_SUCCESS;
    }

    void Install()
    {
        Current() = this;
        sim::pnp::InstallUpperFilter("USB\\VID_5A53&PID_0001", {"ReadHolder", Entry, 0});
    }

    // Completes the oldest held read with this status and these bytes.
    void Complete(NTSTATUS status, const uint8_t* bytes, ULONG length)
    {
        PIRP irp = held.front();
        held.pop_front();
        if (length)
            memcpy(irp->AssociatedIrp.SystemBuffer, bytes, length);
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = length;
        KIRQL old = KfRaiseIrql(DISPATCH_LEVEL);
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        KfLowerIrql(old);
    }
};

class DravickMachine : public zelkotest::ZelkoMachine {
protected:
    void SetUp() override
    {
        ZelkoMachine::SetUp();
        sim::pnp::InstallFunctionDriver("root\\DRAVLINE", {"Dravick", dravick::DriverEntry, DravickTag()});
        if (WithClass())
            sim::mouclass::Install();
    }
    virtual bool WithClass() const { return true; }

    void TearDown() override
    {
        if (root)
            sim::pnp::Remove(root);
        sim::RunPending();
        EXPECT_EQ(sim::PoolUsageOf(DravickTag()).bytes, 0);
        ZelkoMachine::TearDown();
        ReadHolder::Current() = nullptr;
    }

    void CreateRoot()
    {
        root = sim::pnp::CreateRootDevice("root\\DRAVLINE");
        ASSERT_TRUE(root && sim::pnp::Started(root));
    }

    dravick::PDEVICE_EXTENSION Dvx()
    {
        PDRIVER_OBJECT d = sim::pnp::LoadedDriver("Dravick");
        return d && d->DeviceObject ? (dravick::PDEVICE_EXTENSION)d->DeviceObject->DeviceExtension : nullptr;
    }

    // The touch mode through the tool's settings and CMD_RELOAD.
    void SetMode(const char* mode)
    {
        WriteToolSettings(mode);
        ASSERT_EQ(Command(CMD_RELOAD), STATUS_SUCCESS);
    }

    // What the mouse class received, as Show() texts.
    static std::vector<std::string> Shown()
    {
        std::vector<std::string> v;
        for (auto& r : sim::mouclass::Received())
            v.push_back(Show(r));
        return v;
    }

    // Every record is absolute, from unit 0, with no button data, and reached
    // the class at dispatch level.
    static void ExpectWellFormed()
    {
        for (auto& r : sim::mouclass::Received()) {
            EXPECT_EQ(r.data.Flags, MOUSE_MOVE_ABSOLUTE);
            EXPECT_EQ(r.data.UnitId, 0);
            EXPECT_EQ(r.data.ButtonData, 0);
            EXPECT_EQ(r.data.ExtraInformation, 0u);
            EXPECT_EQ(r.irql, DISPATCH_LEVEL);
        }
    }

    sim::pnp::DevNode* root = nullptr;
    ReadHolder holder;  // installed by the tests that need it
};

}  // namespace dravicktest
