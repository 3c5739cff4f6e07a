// The frame reports on one processor while the mouse class closes and reopens
// the port on another: Dravick's read loop ends and restarts under the reports
// without losing its request, reading twice at once or calling the class below
// dispatch level.
#include <atomic>
#include <thread>

#include "harness.h"

namespace dravicktest {

class ReadLoopConcurrency : public DravickMachine {};

TEST_F(ReadLoopConcurrency, CloseAndOpenWhileTheFrameReports)
{
    Plug();
    CreateRoot();
    Dx()->settings.doneMode = zelko::DONEMODE_MOVE;  // one move per held report

    std::atomic<bool> stop{false};
    std::atomic<int> reports{0};
    std::thread frame([&] {
        for (uint16_t i = 0; !stop.load(); i = (uint16_t)((i + 1) % 1000)) {
            auto r = Report(0x82, i, i);
            if (sim::usb::Report(r.data(), 8))
                reports.fetch_add(1);
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 300 || reports.load() < 3000; ++i) {
        ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);
        EXPECT_FALSE(Dvx()->readActive);
        EXPECT_EQ(Dvx()->readRequest, nullptr);
        ASSERT_EQ(sim::mouclass::OpenPort(), STATUS_SUCCESS);
    }
    stop = true;
    frame.join();

    EXPECT_TRUE(Dvx()->readActive);
    auto records = sim::mouclass::Received();
    EXPECT_FALSE(records.empty());
    for (auto& r : records) {
        EXPECT_EQ(r.irql, DISPATCH_LEVEL);
        EXPECT_EQ(r.data.RawButtons, 0x80u);
        EXPECT_EQ(r.data.LastX % 40, 0);
    }
    // A last touch still arrives: the loop survived.
    sim::mouclass::Clear();
    ASSERT_TRUE(Touch(0x82, 7, 7));
    EXPECT_EQ(Shown(), std::vector<std::string>{"80/0000@280,378"});
}

}  // namespace dravicktest
