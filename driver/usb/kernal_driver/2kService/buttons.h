// Dravick's button-transition rule: which button flags of a mouse input record
// an event code gives, after the previous event's code. Plain C++ (no platform
// header), so that native tests reach it.
#pragma once

#include <stdint.h>

namespace dravick {

// The mouse input record's button flags (MOUSE_*_BUTTON_DOWN / _UP).
enum : uint16_t {
    BUTTON_LEFT_DOWN = 0x0001,
    BUTTON_LEFT_UP = 0x0002,
    BUTTON_RIGHT_DOWN = 0x0004,
    BUTTON_RIGHT_UP = 0x0008,
    BUTTON_MIDDLE_DOWN = 0x0010,
    BUTTON_MIDDLE_UP = 0x0020,
};

// Bit 0 of the code is the left button, bit 1 the right, bit 2 the middle; bits
// 3 to 7 are not looked at. Each button whose bit changed gives its DOWN flag if
// the bit is now set, its UP flag if it is now clear; the flags are combined.
uint16_t ButtonTransitions(uint32_t previousCode, uint32_t code);

}  // namespace dravick
