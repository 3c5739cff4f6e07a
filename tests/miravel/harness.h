// A simulated machine with Zelko for the frame and Miravel for its HID device,
// for the tests. Zelko's copy of the settings holds identity tables, so that a
// frame report at raw (x, y) becomes an event at (x, y); in touch mode 1 a
// touch-down queues (0x80, x, y) and a lift (0x81, x, y) then (0x80, x, y).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "hid/miravel.h"
#include "simkernel/hidclass.h"
#include "simkernel/pnp.h"
#include "simkernel/sim.h"
#include "usb/kernal_driver/usb/zelko.h"

namespace miraveltest {

const char* const kHidId = "HID\\Vid_05E3&Pid_1205";
const char* const kZelkoCopyKey = "\\REGISTRY\\Machine\\System\\CurrentControlSet\\Services\\Zelko\\Pointwell";
const uint8_t kDown = 0x81, kLift = 0x84;

inline uint32_t SserTag() { return sim::TagOf("sser"); }

// Counts what reaches one dispatch routine of a driver object, then passes it on.
struct DispatchSpy {
    static DispatchSpy* zelko;  // IRP_MJ_INTERNAL_DEVICE_CONTROL and IRP_MJ_CLOSE of Zelko
    static DispatchSpy* root;   // IRP_MJ_PNP of the root bus under Miravel

    PDRIVER_DISPATCH original[IRP_MJ_MAXIMUM_FUNCTION + 1] = {};
    std::atomic<int> readEvents{0}, cancelReads{0}, closes{0};
    std::vector<UCHAR> pnpMinors;  // in arrival order
    int failMinor = -1;            // the root bus fails this PnP request (STATUS_UNSUCCESSFUL)

    static NTSTATUS NTAPI Zelko(PDEVICE_OBJECT device, PIRP irp)
    {
        PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
        if (sp->MajorFunction == IRP_MJ_CLOSE)
            ++zelko->closes;
        else if (sp->Parameters.DeviceIoControl.IoControlCode == IOCTL_ZELKO_READ_EVENT)
            ++zelko->readEvents;
        else if (sp->Parameters.DeviceIoControl.IoControlCode == IOCTL_ZELKO_CANCEL_READS)
            ++zelko->cancelReads;
        return zelko->original[sp->MajorFunction](device, irp);
    }

    static NTSTATUS NTAPI Root(PDEVICE_OBJECT device, PIRP irp)
    {
        UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
        root->pnpMinors.push_back(minor);
        if (minor == root->failMinor) {
            irp->IoStatus.Status = STATUS_UNSUCCESSFUL;
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            return STATUS_UNSUCCESSFUL;
        }
        return root->original[IRP_MJ_PNP](device, irp);
    }

    bool Saw(UCHAR minor) const
    {
        for (UCHAR m : pnpMinors)
            if (m == minor)
                return true;
        return false;
    }
};
inline DispatchSpy* DispatchSpy::zelko = nullptr;
inline DispatchSpy* DispatchSpy::root = nullptr;

// Zelko's copy of the settings with identity tables in touch mode 1: a frame
// report at raw (x, y) becomes an event at (x, y).
inline void WriteIdentitySettings()
{
    std::vector<uint8_t> table(zelko::TABLE_BYTES);
    for (unsigned i = 0; i < zelko::RAW_POINTS; ++i) {
        table[2 * i] = (uint8_t)i;
        table[2 * i + 1] = (uint8_t)(i >> 8);
    }
    sim::registry::SetValue(kZelkoCopyKey, "XArray", REG_BINARY, table.data(), table.size());
    sim::registry::SetValue(kZelkoCopyKey, "YArray", REG_BINARY, table.data(), table.size());
    sim::registry::SetString(kZelkoCopyKey, "doneMode", "1");
    sim::registry::SetString(kZelkoCopyKey, "changexy", "0");
    sim::registry::SetString(kZelkoCopyKey, "disabledev", "0");
    sim::registry::SetString(kZelkoCopyKey, "moveSlider", "0");
}

class MiravelMachine : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::pnp::InstallFunctionDriver("USB\\VID_5A53&PID_0001", {"Zelko", zelko::DriverEntry, sim::TagOf("Zelk")});
        sim::pnp::InstallFunctionDriver(kHidId, {"Miravel", miravel::DriverEntry, miravel::MIRAVEL_TAG});
        WriteIdentitySettings();
    }

    void TearDown() override
    {
        if (hid)
            sim::pnp::Remove(hid);
        sim::usb::Unplug();
        sim::RunPending();
        EXPECT_EQ(sim::IrpsOutstanding(), 0);
        EXPECT_EQ(sim::PoolUsageOf(SserTag()).allocations, 0);
        EXPECT_EQ(sim::PoolUsageOf(SserTag()).bytes, 0);
        EXPECT_EQ(sim::pnp::UnloadReports(), "");
        DispatchSpy::zelko = DispatchSpy::root = nullptr;
        sim::Reset();
    }

    // The frame plugged in: Zelko starts and announces its interface.
    void PlugFrame()
    {
        frame = sim::usb::Plug();
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(sim::pnp::Started(frame));
        SpyOnZelko();
    }

    // Miravel's root device with its hardware id: added by the class driver and started.
    void AddMiravel()
    {
        hid = sim::pnp::CreateRootDevice(kHidId);
        ASSERT_NE(hid, nullptr);
        if (!spyRoot.original[IRP_MJ_PNP]) {
            PDRIVER_OBJECT root = sim::pnp::Pdo(hid)->DriverObject;
            spyRoot.original[IRP_MJ_PNP] = root->MajorFunction[IRP_MJ_PNP];
            root->MajorFunction[IRP_MJ_PNP] = DispatchSpy::Root;
            DispatchSpy::root = &spyRoot;
        }
    }

    void SpyOnZelko()
    {
        PDRIVER_OBJECT z = sim::pnp::LoadedDriver("Zelko");
        ASSERT_NE(z, nullptr);
        if (z->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] == DispatchSpy::Zelko)
            return;
        for (UCHAR major : {(UCHAR)IRP_MJ_INTERNAL_DEVICE_CONTROL, (UCHAR)IRP_MJ_CLOSE}) {
            spyZelko.original[major] = z->MajorFunction[major];
            z->MajorFunction[major] = DispatchSpy::Zelko;
        }
        DispatchSpy::zelko = &spyZelko;
    }

    static miravel::PDEVICE_EXTENSION Ext() { return (miravel::PDEVICE_EXTENSION)sim::hidclass::MiniDeviceExtension(); }

    // One frame report; false when Zelko held no transfer.
    static bool Frame(uint8_t status, uint16_t x, uint16_t y)
    {
        uint8_t r[8] = {0, 0, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8), status, 0};
        bool ok = sim::usb::Report(r, 8);
        sim::RunPending();
        return ok;
    }

    // Zelko's consumer reads held now (Miravel's among them).
    static int ZelkoHeldReads()
    {
        KIRQL irql;
        KeAcquireSpinLock(&zelko::g_zelko.pendingReadLock, &irql);
        int n = 0;
        for (PLIST_ENTRY e = zelko::g_zelko.pendingReadList.Flink; e != &zelko::g_zelko.pendingReadList; e = e->Flink)
            ++n;
        KeReleaseSpinLock(&zelko::g_zelko.pendingReadLock, irql);
        return n;
    }

    // Zelko completes the oldest held consumer read with this status and event.
    static bool ZelkoCompletes(NTSTATUS status, ULONG_PTR information = 0, uint8_t code = 0, uint16_t x = 0,
                               uint16_t y = 0)
    {
        PLIST_ENTRY e = ExInterlockedRemoveHeadList(&zelko::g_zelko.pendingReadList, &zelko::g_zelko.pendingReadLock);
        if (!e)
            return false;
        auto* entry = CONTAINING_RECORD(e, zelko::PENDING_READ, links);
        PIRP irp = entry->irp;
        ExFreePool(entry);
        auto* b = (uint8_t*)irp->AssociatedIrp.SystemBuffer;
        if (information) {
            b[0] = code;
            ZelkoPutU16(b + 1, x);
            ZelkoPutU16(b + 3, y);
        }
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = information;
        {
            KIRQL irql;
            KeRaiseIrql(DISPATCH_LEVEL, &irql);
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            KeLowerIrql(irql);
        }
        sim::RunPending();
        return true;
    }

    static std::shared_ptr<sim::hidclass::Request> ReadReport(ULONG length = 5, bool withBuffer = true)
    {
        auto r = sim::hidclass::Send(IOCTL_HID_READ_REPORT, length, nullptr, 0, withBuffer);
        sim::RunPending();
        return r;
    }

    static std::vector<uint8_t> Bytes(std::initializer_list<int> b) { return std::vector<uint8_t>(b.begin(), b.end()); }

    // A report as Miravel delivers it.
    static std::vector<uint8_t> HidReport(uint8_t code, uint16_t x, uint16_t y)
    {
        return {code, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8)};
    }

    sim::pnp::DevNode* frame = nullptr;
    sim::pnp::DevNode* hid = nullptr;
    DispatchSpy spyZelko, spyRoot;
};

}  // namespace miraveltest
