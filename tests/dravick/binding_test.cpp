// Dravick's binding to Zelko and to the mouse class under the system's real
// habits: every client's open and close forwarded, Zelko going away with a
// button down, a queue full of events, a notification arriving after the
// removal, and Miravel reading from the same Zelko.
#include <algorithm>

#include "hid/miravel.h"
#include "harness.h"
#include "simkernel/hidclass.h"

namespace dravicktest {

using Strings = std::vector<std::string>;

class Binding : public DravickMachine {};

// A button that is down when Zelko goes away is released where the pointer was:
// the system would otherwise see a drag to wherever the next touch lands.
TEST_F(Binding, ZelkoGoingAwayWithTheButtonDownReleasesItAtTheLastPosition)
{
    Plug();
    CreateRoot();
    SetMode("3");
    ASSERT_TRUE(Touch(0x81, 100, 100));  // 0x80
    ASSERT_TRUE(Touch(0x82, 100, 100));  // 0x81: left pressed
    ASSERT_EQ(Shown(), (Strings{"80/0000@300,500", "81/0001@300,500"}));
    sim::usb::Unplug();
    EXPECT_EQ(Shown(), (Strings{"80/0000@300,500", "81/0001@300,500", "80/0002@300,500"}));
    EXPECT_EQ(dravick::lastCode, 0u);
    ExpectWellFormed();

    // Without a button down the end of the binding adds nothing.
    sim::mouclass::Clear();
    Plug();
    ASSERT_TRUE(Touch(0x81, 100, 100));
    sim::usb::Unplug();
    EXPECT_EQ(Shown(), Strings{"80/0000@300,500"});
}

// Ten events wait in Zelko's queue when Dravick starts reading: each read
// completes at once, and the loop must not nest a completion per event.
TEST_F(Binding, AFullQueueIsReadWithoutTheStackGrowing)
{
    Plug();
    CreateRoot();
    Dx()->settings.doneMode = zelko::DONEMODE_MOVE;         // one move per held report
    ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);  // the only client: reading stops
    ASSERT_FALSE(Dvx()->readActive);
    for (uint16_t i = 1; i <= 10; ++i)
        ASSERT_TRUE(Touch(0x82, i, i));

    std::vector<uintptr_t> depths;
    sim::mouclass::SetSink([&](const MOUSE_INPUT_DATA&, KIRQL) {
        volatile char here = 0;
        depths.push_back((uintptr_t)&here);
    });
    ASSERT_EQ(sim::mouclass::OpenPort(), STATUS_SUCCESS);
    sim::mouclass::SetSink(nullptr);
    ASSERT_EQ(depths.size(), 10u);
    auto spread = *std::max_element(depths.begin(), depths.end()) - *std::min_element(depths.begin(), depths.end());
    EXPECT_EQ(spread, 0u) << "every event is delivered at the same stack depth";
}

// The class forwards every client's open and close: the reads go on until the
// last client has closed.
TEST_F(Binding, ReadingGoesOnUntilTheLastClientCloses)
{
    Plug();
    CreateRoot();
    ASSERT_EQ(sim::mouclass::Clients(), 1);
    ASSERT_EQ(sim::mouclass::OpenPort(), STATUS_SUCCESS);  // a second client
    ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);
    EXPECT_TRUE(Dvx()->readActive);
    ASSERT_TRUE(Touch(0x81, 2, 3));
    EXPECT_EQ(Shown(), Strings{"80/0000@80,162"});
    ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);  // the last one
    EXPECT_FALSE(Dvx()->readActive);
}

// The system may deliver a notification after the watcher unregistered: one
// that was on its way when Dravick's device was removed finds it gone and does
// nothing (under AddressSanitizer a use of the freed device shows).
TEST_F(Binding, NotificationsArrivingAfterTheRemovalAreIgnored)
{
    Plug();
    CreateRoot();
    sim::HoldNotifications(true);
    ASSERT_EQ(sim::pnp::Stop(node), STATUS_SUCCESS);   // Zelko's interface removal, held
    ASSERT_EQ(sim::pnp::Start(node), STATUS_SUCCESS);  // and its arrival
    sim::pnp::Remove(root);
    root = nullptr;
    sim::HoldNotifications(false);
    sim::RunPending();
    EXPECT_EQ(sim::PoolUsageOf(DravickTag()).bytes, 0);
    EXPECT_EQ(sim::FindDevice("\\Device\\Zelko")->ReferenceCount, 0) << "nothing opened Zelko for the dead device";
}

// Dravick and Miravel both read from Zelko: Dravick ending its reads leaves
// Miravel's read in place, and the events go on reaching the HID class.
class WithMiravel : public DravickMachine {
protected:
    void SetUp() override
    {
        DravickMachine::SetUp();
        sim::pnp::InstallFunctionDriver("HID\\Vid_05E3&Pid_1205",
                                        {"Miravel", miravel::DriverEntry, miravel::MIRAVEL_TAG});
    }
    void TearDown() override
    {
        if (hid)
            sim::pnp::Remove(hid);
        sim::RunPending();
        EXPECT_EQ(sim::PoolUsageOf(miravel::MIRAVEL_TAG).bytes, 0);
        DravickMachine::TearDown();
    }
    sim::pnp::DevNode* hid = nullptr;
};

TEST_F(WithMiravel, OneConsumersCancelEndsOnlyItsOwnReads)
{
    Plug();
    CreateRoot();
    hid = sim::pnp::CreateRootDevice("HID\\Vid_05E3&Pid_1205");
    ASSERT_TRUE(hid && sim::pnp::Started(hid));
    sim::RunPending();
    ASSERT_TRUE(miravel::GetExtension(sim::hidclass::Fdo())->readPending);

    ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);  // Dravick ends its reads
    EXPECT_FALSE(Dvx()->readActive);
    EXPECT_TRUE(miravel::GetExtension(sim::hidclass::Fdo())->readPending) << "Miravel's read is not Dravick's to end";
    sim::hidclass::Clear();
    ASSERT_TRUE(Touch(0x81, 2, 3));
    EXPECT_EQ(sim::hidclass::Received().size(), 1u);
    EXPECT_TRUE(sim::mouclass::Received().empty());

    // And the other way round: Miravel's stop leaves Dravick's read in place.
    ASSERT_EQ(sim::mouclass::OpenPort(), STATUS_SUCCESS);
    ASSERT_TRUE(Dvx()->readActive);
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    EXPECT_TRUE(Dvx()->readActive);
    ASSERT_TRUE(Touch(0x81, 2, 3));
    EXPECT_EQ(Shown(), Strings{"80/0000@80,162"});
}

}  // namespace dravicktest
