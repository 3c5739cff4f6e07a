// Dravick's button-transition rule, as a table: the previous event's code, the
// event's code, and the button flags of its input record.
#include <gtest/gtest.h>

#include "usb/kernal_driver/2kService/buttons.h"

namespace {

struct Row {
    uint32_t previous, code;
    uint16_t flags;
};

TEST(ButtonTransitions, FlagsFollowTheChangedBitsOnly)
{
    const Row rows[] = {
        {0x80, 0x80, 0x0000},  // a move: no button changed
        {0x80, 0x81, 0x0001},  // left pressed
        {0x81, 0x80, 0x0002},  // left released
        {0x81, 0x02, 0x0006},  // the long press: left up and right down in one record
        {0x02, 0x00, 0x0008},  // right released
        {0x80, 0x02, 0x0004},  // right pressed after a move
        {0x00, 0x07, 0x0015},  // all three pressed
        {0x07, 0x00, 0x002A},  // all three released
        {0x05, 0x03, 0x0024},  // left kept, right pressed, middle released
        {0x00, 0x84, 0x0010},  // a raw touch status: its bit 2 reads as the middle button
        {0xF8, 0x00, 0x0000},  // bits 3 to 7 are not looked at
        {0x00, 0xF9, 0x0001},
    };
    for (const Row& r : rows)
        EXPECT_EQ(dravick::ButtonTransitions(r.previous, r.code), r.flags)
            << std::hex << "previous " << r.previous << ", code " << r.code;
}

}  // namespace
