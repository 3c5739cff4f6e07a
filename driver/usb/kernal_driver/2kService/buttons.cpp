// Dravick's button-transition rule.
#include "buttons.h"

namespace dravick {

uint16_t ButtonTransitions(uint32_t previousCode, uint32_t code)
{
    static const struct {
        uint32_t bit;
        uint16_t down, up;
    } kButtons[] = {
        {0x1, BUTTON_LEFT_DOWN, BUTTON_LEFT_UP},
        {0x2, BUTTON_RIGHT_DOWN, BUTTON_RIGHT_UP},
        {0x4, BUTTON_MIDDLE_DOWN, BUTTON_MIDDLE_UP},
    };
    const uint32_t changed = previousCode ^ code;
    uint16_t flags = 0;
    for (const auto& b : kButtons)
        if (changed & b.bit)
            flags |= (code & b.bit) ? b.down : b.up;
    return flags;
}

}  // namespace dravick
