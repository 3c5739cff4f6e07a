// Touch report processing; see touch.h.
#include "touch.h"

namespace zelko {

namespace {

// |a - b| of two unsigned 16-bit values taken as signed integers.
inline int32_t Distance(uint16_t a, uint16_t b)
{
    int32_t d = (int32_t)a - (int32_t)b;
    return d < 0 ? -d : d;
}

}  // namespace

void SaveInputData(InputQueue& queue, uint8_t code, uint16_t x, uint16_t y)
{
    if (queue.count < QUEUE_LENGTH)
        ++queue.count;
    for (unsigned i = QUEUE_LENGTH - 1; i > 0; --i)
        queue.entries[i] = queue.entries[i - 1];
    queue.entries[0].code = code;
    queue.entries[0].unused = 0;
    queue.entries[0].x = x;
    queue.entries[0].y = y;
}

bool GetDataInput(InputQueue& queue, uint8_t* code, uint16_t* x, uint16_t* y)
{
    if (queue.count == 0)
        return false;
    if (queue.count > QUEUE_LENGTH)
        queue.count = QUEUE_LENGTH;
    const InputData& e = queue.entries[queue.count - 1];
    *code = e.code;
    *x = e.x;
    *y = e.y;
    --queue.count;
    return true;
}

void SetDefaultSettings(TouchSettings& settings)
{
    settings.doneMode = DONEMODE_UP;
    settings.moveSlider = 0;
    settings.changexy = 0;
    settings.disabledev = 0;
    settings.settingsLoaded = false;
}

void MapPoint(const TouchSettings& settings, uint16_t rawX, uint16_t rawY, uint16_t* x, uint16_t* y)
{
    if (settings.settingsLoaded) {
        *x = settings.XArray[rawX > RAW_POINTS - 1 ? RAW_POINTS - 1 : rawX];
        *y = settings.YArray[rawY > RAW_POINTS - 1 ? RAW_POINTS - 1 : rawY];
    } else {
        // Without calibration the frame's 0..4999 is stretched by fixed factors;
        // the products wrap at 16 bits.
        *x = (uint16_t)(rawX * 40u);
        *y = (uint16_t)(rawY * 54u);
    }
}

bool CheckLongPress(const TouchContext& ctx, uint16_t x, uint16_t y, uint8_t status, ReportResult& out)
{
    TouchState& s = ctx.state;
    if (s.longCounter == 0) {
        s.longAnchorX = x;
        s.longAnchorY = y;
        s.longCounter = 1;
        return false;
    }
    if (status == TOUCH_HOLD && Distance(s.longAnchorX, x) < 20 && Distance(s.longAnchorY, y) < 20) {
        if (s.longCounter <= 100) {
            ++s.longCounter;
            return false;
        }
        uint16_t mx, my;
        MapPoint(ctx.settings, x, y, &mx, &my);
        out.Queue(EVENT_RIGHT_DOWN, mx, my);
        out.Queue(EVENT_RELEASE, mx, my);
        s.rightClickDone = true;
        return true;
    }
    s.longCounter = 0;
    return false;
}

void StabilizePoint(const TouchContext& ctx, uint8_t status, uint16_t* x, uint16_t* y, const TouchClock& clock)
{
    TouchState& s = ctx.state;
    StabilityWindow& w = ctx.window;
    const uint32_t slider = ctx.settings.moveSlider;

    if (slider != w.windowForSlider) {
        w.window = (uint64_t)slider * 160000u + clock.tickLength;
        w.windowForSlider = slider;
    }

    // Every touch-down starts a new hold, whatever the previous touch left in
    // the counter: a quick tap lifted inside its window leaves the counter above
    // zero, and the next tap must be held at its own touch-down point all the same.
    if (status == TOUCH_DOWN) {
        s.stableAnchorX = *x;
        s.stableAnchorY = *y;
        s.stableCounter = 1;
        s.touchDownTime = clock.ticks;
        w.leftBox = false;
        return;
    }

    const uint64_t elapsed = (clock.ticks - s.touchDownTime) * clock.tickLength;
    if (elapsed > w.window) {
        s.stableCounter = 0;
        return;
    }
    // r = |3 * moveSlider| with moveSlider taken as a signed 32-bit value.
    int64_t r = 3 * (int64_t)(int32_t)slider;
    if (r < 0)
        r = -r;
    if (Distance(*x, s.stableAnchorX) <= r && Distance(*y, s.stableAnchorY) <= r) {
        if (!w.leftBox) {
            *x = s.stableAnchorX;
            *y = s.stableAnchorY;
        }
        ++s.stableCounter;
    } else {
        s.stableCounter = 0;
        w.leftBox = true;
    }
}

void InterpretReport(const TouchContext& ctx, const TouchReport& report, const TouchClock& clock, ReportResult& out)
{
    TouchSettings& set = ctx.settings;
    TouchState& s = ctx.state;
    out.count = 0;
    out.completeHeldRead = false;

    uint16_t x = report.RawX();
    uint16_t y = report.RawY();
    const uint8_t status = report.Status();

    if (set.disabledev == 1)
        return;

    if (set.changexy == 1) {
        uint16_t t = x;
        x = y;
        y = t;
    }

    if (s.rawMode) {
        // Calibration: the tool polls for raw points; consumers' reads stay held.
        out.Queue(status, x, y);
        return;
    }

    out.completeHeldRead = true;
    uint16_t mx, my;

    if (set.doneMode == DONEMODE_MOVE) {
        MapPoint(set, x, y, &mx, &my);
        if ((status & TOUCH_HOLD) == TOUCH_HOLD)
            out.Queue(EVENT_MOVE, mx, my);
        if ((status & TOUCH_UP) == TOUCH_UP)
            out.Queue(EVENT_MOVE, 0, 0);
        return;
    }

    if (s.rightClickDone) {
        if (status == TOUCH_UP) {
            s.rightClickDone = false;
            s.longCounter = 0;
        } else {
            MapPoint(set, x, y, &mx, &my);
            out.Queue(EVENT_MOVE, mx, my);
        }
        return;
    }

    if (CheckLongPress(ctx, x, y, status, out))
        return;

    if (set.moveSlider != 0)
        StabilizePoint(ctx, status, &x, &y, clock);
    MapPoint(set, x, y, &mx, &my);

    uint8_t pressOn;  // the status that presses the left button in this mode
    switch (set.doneMode) {
    case DONEMODE_UP:
        pressOn = TOUCH_UP;
        break;
    case DONEMODE_DOWN:
        pressOn = TOUCH_DOWN;
        break;
    default:  // drag: pressed while held, released by any other report
        if (status == TOUCH_HOLD)
            out.Queue(EVENT_LEFT_DOWN, mx, my);
        else
            out.Queue(EVENT_MOVE, mx, my);
        return;
    }
    if (status == pressOn)
        out.Queue(EVENT_LEFT_DOWN, mx, my);
    out.Queue(EVENT_MOVE, mx, my);
}

}  // namespace zelko
