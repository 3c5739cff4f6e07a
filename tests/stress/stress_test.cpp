// The drivers under stress, on a bus that completes on its own thread: the frame
// reports (and now and then a read fails) on one thread, the tool polls and
// commands on another, while PnP stops and starts Zelko, pulls the frame out
// and plugs it in again, stops and starts the consumers and their clients open
// and close. Nothing may crash, leak pool or leave a request behind, and every
// event reaches at most one reader. Bounded by iterations.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "hid/miravel.h"
#include "miravel/harness.h"
#include "simkernel/hidclass.h"
#include "simkernel/mouclass.h"
#include "simkernel/pnp.h"
#include "simkernel/sim.h"
#include "usb/kernal_driver/2kService/sermdep.h"
#include "usb/kernal_driver/usb/zelko.h"

namespace {

const char* const kZelkoId = "USB\\VID_5A53&PID_0001";
const char* const kDravickId = "root\\DRAVLINE";
const char* const kMiravelId = "HID\\Vid_05E3&Pid_1205";
const char* const kCopyKey = "\\REGISTRY\\Machine\\System\\CurrentControlSet\\Services\\Zelko\\Pointwell";

enum Consumers { kNone = 0, kDravick = 1, kMiravel = 2, kBoth = 3 };

// Every event a reader received, by its point: raw (x, y) through identity
// tables, one point per report, so a point seen twice was delivered twice.
struct Delivered {
    std::mutex lock;
    std::vector<uint32_t> points;
    void Add(uint32_t x, uint32_t y)
    {
        std::lock_guard<std::mutex> l(lock);
        points.push_back(x | (y << 16));
    }
};

class Stress : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::pnp::InstallFunctionDriver(kZelkoId, {"Zelko", zelko::DriverEntry, sim::TagOf("Zelk")});
        sim::pnp::InstallFunctionDriver(kDravickId, {"Dravick", dravick::DriverEntry, sim::TagOf("Drvk")});
        sim::mouclass::Install(kDravickId);
        sim::pnp::InstallFunctionDriver(kMiravelId, {"Miravel", miravel::DriverEntry, miravel::MIRAVEL_TAG});
        // Identity tables (one event per report at its raw point) in the move-only mode.
        miraveltest::WriteIdentitySettings();
        sim::registry::SetString(kCopyKey, "doneMode", "6");

        sim::mouclass::SetSink([this](const MOUSE_INPUT_DATA& d, KIRQL) {
            if (d.RawButtons == 0x80 && !d.ButtonFlags)
                delivered.Add(d.LastX, d.LastY);
        });
        sim::hidclass::SetSink([this](const uint8_t* r, size_t n) {
            if (n == 5 && r[0] == 0x80)
                delivered.Add(ZelkoGetU16(r + 1), ZelkoGetU16(r + 3));
        });
    }

    void TearDown() override
    {
        sim::mouclass::SetSink(nullptr);
        sim::hidclass::SetSink(nullptr);
        sim::Reset();
    }

    // The frame: held reports with points never used before; every 97th report
    // a read fails instead (a data error, a failure that resets the port, or a
    // time-out).
    void FrameLoop()
    {
        static const NTSTATUS kFailures[] = {STATUS_DEVICE_DATA_ERROR, STATUS_UNSUCCESSFUL, STATUS_IO_TIMEOUT};
        uint32_t n = 0;
        while (!stop.load()) {
            ++n;
            if (n % 97 == 0) {
                sim::usb::FailTransfer(kFailures[(n / 97) % 3]);
            } else {
                uint16_t x = (uint16_t)(n % 4000 + 1), y = (uint16_t)(n / 4000 % 4000 + 1);
                uint8_t r[8] = {0, 0, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8), 0x82, 0};
                if (sim::usb::Report(r, 8))
                    ++reports;
            }
            std::this_thread::yield();
        }
    }

    // The tool: opens Zelko when it can, polls events, sends commands.
    void ToolLoop()
    {
        sim::user::Handle h = sim::user::kInvalidHandle;
        for (uint32_t i = 0; !stop.load(); ++i) {
            if (h == sim::user::kInvalidHandle) {
                h = sim::user::CreateFile("\\\\.\\Zelkode");
                std::this_thread::yield();
                continue;
            }
            uint8_t record[16] = {};
            uint32_t bytes = 0;
            if (i % 5 == 0) {
                record[0] = (i % 10 == 0) ? 7 : CMD_RAW_OFF;
                sim::user::DeviceIoControl(h, IOCTL_ZELKO_COMMAND, record, 16, nullptr, 0, &bytes);
            } else if (sim::user::DeviceIoControl(h, IOCTL_ZELKO_GET_EVENT, nullptr, 0, record, 16, &bytes) &&
                       bytes == 16 && ZelkoGetU32(record + 12) == 0x80) {
                delivered.Add(ZelkoGetU32(record + 4), ZelkoGetU32(record + 8));
                ++toolEvents;
            }
            if (i % 50 == 49) {  // the tool closes and opens again
                sim::user::CloseHandle(h);
                h = sim::user::kInvalidHandle;
            }
            std::this_thread::yield();
        }
        if (h != sim::user::kInvalidHandle)
            sim::user::CloseHandle(h);
    }

    void Run(Consumers consumers, int cycles, unsigned seed)
    {
        sim::usb::SetAsync(true, 100, seed);
        sim::pnp::DevNode* frame = sim::usb::Plug();
        ASSERT_NE(frame, nullptr);
        sim::pnp::DevNode* root = (consumers & kDravick) ? sim::pnp::CreateRootDevice(kDravickId) : nullptr;
        sim::pnp::DevNode* hid = (consumers & kMiravel) ? sim::pnp::CreateRootDevice(kMiravelId) : nullptr;

        std::thread frameThread([this] { FrameLoop(); });
        std::thread toolThread([this] { ToolLoop(); });
        for (int i = 0; i < cycles; ++i) {
            switch (i % 6) {
            case 0:  // Zelko stopped and started again
                if (frame && sim::pnp::Started(frame)) {
                    sim::pnp::Stop(frame);
                    sim::pnp::Start(frame);
                }
                break;
            case 1:  // the frame pulled out and plugged in again
                sim::usb::Unplug();
                frame = sim::usb::Plug();
                break;
            case 2:  // the consumers' clients close and open
                if (root) {
                    sim::mouclass::ClosePort();
                    sim::mouclass::OpenPort();
                    sim::mouclass::OpenPort();
                    sim::mouclass::ClosePort();
                }
                if (hid) {
                    sim::hidclass::SetReadStream(false);
                    sim::hidclass::SetReadStream(true);
                }
                break;
            case 3:  // the consumers stopped and started
                if (root) {
                    sim::pnp::Stop(root);
                    sim::pnp::Start(root);
                }
                if (hid) {
                    sim::pnp::Stop(hid);
                    sim::pnp::Start(hid);
                }
                break;
            case 4:  // the consumers removed and added again
                if (root) {
                    sim::pnp::Remove(root);
                    root = sim::pnp::CreateRootDevice(kDravickId);
                }
                if (hid) {
                    sim::pnp::Remove(hid);
                    hid = sim::pnp::CreateRootDevice(kMiravelId);
                }
                break;
            case 5:  // surprise removal of the frame with everything running, then back
                sim::usb::Unplug();
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                frame = sim::usb::Plug();
                break;
            }
            // Some reports between two steps (a bounded wait: a step may leave the
            // frame without a read for a while).
            const uint32_t wanted = reports.load() + 25;
            for (int w = 0; w < 200 && reports.load() < wanted; ++w)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        stop = true;
        frameThread.join();
        toolThread.join();

        // Everything goes; nothing may be left behind.
        if (root)
            sim::pnp::Remove(root);
        if (hid)
            sim::pnp::Remove(hid);
        sim::usb::Unplug();
        sim::usb::SetAsync(false);
        sim::RunPending();
        EXPECT_EQ(sim::IrpsOutstanding(), 0);
        for (const char* tag : {"Zelk", "Drvk", "sser"})
            EXPECT_EQ(sim::PoolUsageOf(sim::TagOf(tag)).bytes, 0) << tag;
        EXPECT_EQ(sim::pnp::UnloadReports(), "");
        EXPECT_EQ(sim::FindDevice("\\Device\\Zelko"), nullptr);

        std::set<uint32_t> unique(delivered.points.begin(), delivered.points.end());
        EXPECT_EQ(unique.size(), delivered.points.size()) << "an event reached two readers, or one twice";
        EXPECT_GT(reports.load(), 0u);
        RecordProperty("reports", (int)reports.load());
        RecordProperty("delivered", (int)delivered.points.size());
        std::printf("%d PnP cycles: %u reports, %zu events delivered (%u to the tool)\n", cycles, reports.load(),
                    delivered.points.size(), toolEvents.load());
    }

    std::atomic<bool> stop{false};
    std::atomic<uint32_t> reports{0}, toolEvents{0};
    Delivered delivered;
};

TEST_P(Stress, ZelkoAlone) { Run(kNone, 36, 100 + GetParam()); }
TEST_P(Stress, WithDravick) { Run(kDravick, 36, 200 + GetParam()); }
TEST_P(Stress, WithMiravel) { Run(kMiravel, 36, 300 + GetParam()); }
TEST_P(Stress, WithBoth) { Run(kBoth, 36, 400 + GetParam()); }

INSTANTIATE_TEST_SUITE_P(Seeds, Stress, ::testing::Values(1, 2));

}  // namespace
