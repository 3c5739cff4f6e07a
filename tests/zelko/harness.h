// A simulated machine with Zelko installed for the frame, for the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "simkernel/pnp.h"
#include "simkernel/sim.h"
#include "usb/kernal_driver/usb/zelko.h"
#include <wdmguid.h>

namespace zelkotest {

const char* const kToolKey = "HKLM\\SOFTWARE\\Veltran\\Pointwell";
const char* const kCopyKey = "\\REGISTRY\\Machine\\System\\CurrentControlSet\\Services\\Zelko\\Pointwell";

inline uint32_t ZelkoTag() { return sim::TagOf("Zelk"); }

// What one event record of IOCTL_ZELKO_GET_EVENT held.
struct EventRecord {
    bool ok = false;
    uint32_t bytes = 0;
    uint32_t reserved = 0, x = 0, y = 0, code = 0;
};

// A consumer driver's read (IOCTL_ZELKO_READ_EVENT) with a 10-byte buffer.
struct ConsumerRead {
    uint8_t buffer[10] = {};
    bool done = false;
    NTSTATUS status = STATUS_PENDING;
    ULONG_PTR information = 0;
    NTSTATUS returned = STATUS_PENDING;

    static NTSTATUS NTAPI Done(PDEVICE_OBJECT, PIRP irp, PVOID context)
    {
        auto* r = (ConsumerRead*)context;
        r->done = true;
        r->status = irp->IoStatus.Status;
        r->information = irp->IoStatus.Information;
        IoFreeIrp(irp);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }

    // Sends the read at the given IRQL (consumers read from passive and dispatch level).
    NTSTATUS Issue(ULONG outputLength = 10, KIRQL irql = PASSIVE_LEVEL, ULONG code = IOCTL_ZELKO_READ_EVENT)
    {
        PDEVICE_OBJECT top = IoGetAttachedDevice(sim::FindDevice("\\Device\\Zelko"));
        PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = code;
        next->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
        irp->AssociatedIrp.SystemBuffer = buffer;
        IoSetCompletionRoutine(irp, Done, this, TRUE, TRUE, TRUE);
        KIRQL old = KfRaiseIrql(irql);
        returned = IoCallDriver(top, irp);
        KfLowerIrql(old);
        return returned;
    }

    std::string Event() const
    {
        char b[48];
        snprintf(b, sizeof b, "%02x@%u,%u", buffer[0], ZelkoGetU16(buffer + 1), ZelkoGetU16(buffer + 3));
        return b;
    }
};

// Counts the arrivals and removals of Zelko's interface that a watcher sees.
struct InterfaceWatcher {
    int arrivals = 0;
    int removals = 0;
    PVOID entry = nullptr;

    static NTSTATUS NTAPI Callback(PVOID notification, PVOID context)
    {
        auto* n = (PDEVICE_INTERFACE_CHANGE_NOTIFICATION)notification;
        auto* w = (InterfaceWatcher*)context;
        if (IsEqualGUID(&n->Event, &GUID_DEVICE_INTERFACE_ARRIVAL))
            ++w->arrivals;
        else if (IsEqualGUID(&n->Event, &GUID_DEVICE_INTERFACE_REMOVAL))
            ++w->removals;
        return STATUS_SUCCESS;
    }

    void Register()
    {
        static const GUID zelkoInterface = ZELKO_INTERFACE_GUID_INIT;
        IoRegisterPlugPlayNotification(EventCategoryDeviceInterfaceChange,
                                       PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES, (PVOID)&zelkoInterface,
                                       nullptr, Callback, this, &entry);
    }
    ~InterfaceWatcher()
    {
        if (entry)
            IoUnregisterPlugPlayNotification(entry);
    }
};

// IOCTL_ZELKO_CANCEL_READS as a consumer sends it for its file object: it ends
// that consumer's held reads (those sent with the same file object) only.
inline NTSTATUS CancelReads(PFILE_OBJECT file = nullptr)
{
    KEVENT done;
    IO_STATUS_BLOCK iosb;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(IOCTL_ZELKO_CANCEL_READS, sim::FindDevice("\\Device\\Zelko"), nullptr, 0,
                                             nullptr, 0, TRUE, &done, &iosb);
    IoGetNextIrpStackLocation(irp)->FileObject = file;
    NTSTATUS s = IoCallDriver(sim::FindDevice("\\Device\\Zelko"), irp);
    if (s == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
        s = iosb.Status;
    }
    return s;
}

class ZelkoMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::pnp::InstallFunctionDriver("USB\\VID_5A53&PID_0001", {"Zelko", zelko::DriverEntry, ZelkoTag()});
    }

    void TearDown() override
    {
        if (tool != sim::user::kInvalidHandle)
            sim::user::CloseHandle(tool);
        sim::usb::Unplug();
        sim::RunPending();
        EXPECT_EQ(sim::IrpsOutstanding(), 0);
        EXPECT_EQ(sim::pnp::UnloadReports(), "");
        sim::Reset();
    }

    void Plug(sim::usb::FrameDescription d = sim::usb::FrameDescription())
    {
        node = sim::usb::Plug(d);
        ASSERT_NE(node, nullptr);
    }

    zelko::PDEVICE_EXTENSION Dx()
    {
        PDEVICE_OBJECT d = sim::FindDevice("\\Device\\Zelko");
        return d ? (zelko::PDEVICE_EXTENSION)d->DeviceExtension : nullptr;
    }

    // The frame's report with status and raw point.
    static std::vector<uint8_t> Report(uint8_t status, uint16_t x, uint16_t y)
    {
        return {0, 0, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8), status, 0};
    }

    bool Touch(uint8_t status, uint16_t x, uint16_t y)
    {
        auto r = Report(status, x, y);
        bool ok = sim::usb::Report(r.data(), 8);
        sim::RunPending();
        return ok;
    }

    sim::user::Handle Tool()
    {
        if (tool == sim::user::kInvalidHandle)
            tool = sim::user::CreateFile("\\\\.\\Zelkode");
        return tool;
    }

    // IOCTL_ZELKO_COMMAND; returns the status.
    NTSTATUS Command(uint8_t command, uint32_t length = 16)
    {
        std::vector<uint8_t> record(length ? length : 1, 0);
        record[0] = command;
        uint32_t bytes = 0;
        bool ok = sim::user::DeviceIoControl(Tool(), IOCTL_ZELKO_COMMAND, record.data(), length, nullptr, 0, &bytes);
        sim::RunPending();
        return ok ? STATUS_SUCCESS : sim::user::LastStatus();
    }

    EventRecord GetEvent(uint32_t length = 16)
    {
        EventRecord e;
        std::vector<uint8_t> out(length + 4, 0xEE);
        e.ok = sim::user::DeviceIoControl(Tool(), IOCTL_ZELKO_GET_EVENT, nullptr, 0, out.data(), length, &e.bytes);
        if (e.ok && e.bytes == 16) {
            e.reserved = ZelkoGetU32(&out[0]);
            e.x = ZelkoGetU32(&out[4]);
            e.y = ZelkoGetU32(&out[8]);
            e.code = ZelkoGetU32(&out[12]);
        }
        return e;
    }

    static void PutString(const char* key, const char* name, const std::string& text)
    {
        sim::registry::SetString(key, name, text);
    }

    // XArray[i] = kx*i + cx, YArray[i] = ky*i + cy, clamped to 0..65535.
    static std::vector<uint8_t> Table(double k, double c, size_t entries = 5000)
    {
        std::vector<uint8_t> t(entries * 2);
        for (size_t i = 0; i < entries; ++i) {
            double v = k * (double)i + c;
            long n = v < 0 ? 0 : v > 65535 ? 65535 : (long)v;
            t[2 * i] = (uint8_t)n;
            t[2 * i + 1] = (uint8_t)(n >> 8);
        }
        return t;
    }

    static void WriteToolSettings(const char* doneMode = "1", const char* moveSlider = "0", bool withSlider = true)
    {
        auto x = Table(2, 100), y = Table(3, 200);
        sim::registry::SetValue(kToolKey, "XArray", REG_BINARY, x.data(), x.size());
        sim::registry::SetValue(kToolKey, "YArray", REG_BINARY, y.data(), y.size());
        PutString(kToolKey, "doneMode", doneMode);
        PutString(kToolKey, "changexy", "0");
        PutString(kToolKey, "disabledev", "0");
        if (withSlider)
            PutString(kToolKey, "moveSlider", moveSlider);
    }

    static std::string RegText(const char* key, const char* name)
    {
        sim::registry::Value v;
        if (!sim::registry::GetValue(key, name, &v))
            return "<missing>";
        std::string s;
        for (size_t i = 0; i + 1 < v.data.size() && (v.data[i] || v.data[i + 1]); i += 2)
            s += (char)v.data[i];
        return s;
    }

    sim::pnp::DevNode* node = nullptr;
    sim::user::Handle tool = sim::user::kInvalidHandle;
};

}  // namespace zelkotest
