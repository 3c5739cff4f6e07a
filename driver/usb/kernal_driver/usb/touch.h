// Touch report processing: the frame's 8-byte report in, zero to two pointer
// events out. Plain C++ on bytes, integers and a tick count: no platform header,
// no allocation, no locks. The driver glue (zelko.cpp) owns the locking of the
// event queue and the hand-off to the held consumer reads.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace zelko {

// Touch status values of byte 6 of a report.
enum : uint8_t {
    TOUCH_DOWN = 0x81,
    TOUCH_HOLD = 0x82,
    TOUCH_UP = 0x84,
};

// Touch modes (`doneMode`); every value not listed behaves as DONEMODE_DRAG.
enum : int32_t {
    DONEMODE_UP = 1,
    DONEMODE_DOWN = 2,
    DONEMODE_DRAG = 3,
    DONEMODE_MOVE = 6,
};

// Event codes produced by the touch modes and the long press.
enum : uint8_t {
    EVENT_MOVE = 0x80,
    EVENT_LEFT_DOWN = 0x81,
    EVENT_RIGHT_DOWN = 0x02,
    EVENT_RELEASE = 0x00,
};

const unsigned RAW_POINTS = 5000;  // raw coordinates 0..4999 per axis
const unsigned TABLE_BYTES = RAW_POINTS * 2;
const unsigned QUEUE_LENGTH = 10;
const unsigned REPORT_BYTES = 8;

// The frame's report, exactly as the interrupt pipe delivers it.
struct TouchReport {
    uint8_t bytes[REPORT_BYTES];

    uint16_t RawX() const { return (uint16_t)(bytes[2] | (bytes[3] << 8)); }
    uint16_t RawY() const { return (uint16_t)(bytes[4] | (bytes[5] << 8)); }
    uint8_t Status() const { return bytes[6]; }
};

// One pointer event (6 bytes: code, unused byte, x, y).
struct InputData {
    uint8_t code;
    uint8_t unused;
    uint16_t x;
    uint16_t y;
};

// Ten events, entry 0 the newest, entry count-1 the oldest.
struct InputQueue {
    InputData entries[QUEUE_LENGTH];
    uint32_t count;
};

// Push one event; a full queue loses its oldest entry.
void SaveInputData(InputQueue& queue, uint8_t code, uint16_t x, uint16_t y);
// Pop the oldest event; false (outputs untouched) when the queue is empty.
bool GetDataInput(InputQueue& queue, uint8_t* code, uint16_t* x, uint16_t* y);

// The six registry settings as the driver holds them.
struct TouchSettings {
    uint16_t XArray[RAW_POINTS];
    uint16_t YArray[RAW_POINTS];
    int32_t doneMode;     // 1 before any load
    uint32_t moveSlider;  // compared as unsigned; 0 switches the stability filter off
    int32_t changexy;
    int32_t disabledev;
    bool settingsLoaded;  // while clear, mapping uses the fixed factors
};

// Per-device touch state; all zero at device creation.
struct TouchState {
    bool rawMode;
    // long press
    uint16_t longAnchorX;
    uint16_t longAnchorY;
    uint16_t longCounter;
    bool rightClickDone;
    // stability
    uint16_t stableAnchorX;
    uint16_t stableAnchorY;
    uint32_t stableCounter;  // informational: counts the reports held still; nothing reads it
    uint64_t touchDownTime;  // tick count
};

// Stability window state kept once for the whole driver (shared by its devices).
struct StabilityWindow {
    uint64_t window;           // 100-ns units
    uint32_t windowForSlider;  // moveSlider the window was computed for
    bool leftBox;
};

// The clock as the report path sees it: the current tick count and the length
// of one tick in 100-ns units.
struct TouchClock {
    uint64_t ticks;
    uint32_t tickLength;
};

// What one report produces: at most two events, and whether the oldest held
// consumer read is to be completed afterwards.
struct ReportResult {
    InputData events[2];
    unsigned count;
    bool completeHeldRead;

    void Queue(uint8_t code, uint16_t x, uint16_t y)
    {
        events[count].code = code;
        events[count].unused = 0;
        events[count].x = x;
        events[count].y = y;
        ++count;
    }
};

// Everything the report path reads and writes for one device.
struct TouchContext {
    TouchSettings& settings;
    TouchState& state;
    StabilityWindow& window;
};

void SetDefaultSettings(TouchSettings& settings);

// Decode, swap, long press, stability, mapping and touch mode for one report.
// The events are returned in queue order; the caller pushes them with
// SaveInputData and then completes a held read when completeHeldRead is set.
void InterpretReport(const TouchContext& ctx, const TouchReport& report, const TouchClock& clock, ReportResult& out);

void MapPoint(const TouchSettings& settings, uint16_t rawX, uint16_t rawY, uint16_t* x, uint16_t* y);
bool CheckLongPress(const TouchContext& ctx, uint16_t x, uint16_t y, uint8_t status, ReportResult& out);
void StabilizePoint(const TouchContext& ctx, uint8_t status, uint16_t* x, uint16_t* y, const TouchClock& clock);

}  // namespace zelko
