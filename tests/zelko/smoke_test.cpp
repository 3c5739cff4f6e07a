#include "harness.h"

namespace zelkotest {

TEST_F(ZelkoMachine, TapInClickAtLiftModeReachesTheTool)
{
    Plug();
    ASSERT_TRUE(sim::pnp::Started(node));
    ASSERT_TRUE(sim::usb::TransferHeld());
    EventRecord e = GetEvent();
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.bytes, 16u);
    EXPECT_EQ(e.x, 111u);
    EXPECT_EQ(e.code, 111u);
    ASSERT_TRUE(Touch(0x81, 800, 600));
    e = GetEvent();
    EXPECT_EQ(e.code, 0x80u);
    EXPECT_EQ(e.x, 32000u);
    EXPECT_EQ(e.y, 32400u);
}

}  // namespace zelkotest
