// BEEP.exe: the companion that makes a touch audible. Pointwell starts it from its own
// folder while its "Play Beep" switch is on and closes it by sending WM_CLOSE to the
// top-level window titled "beep". One instance runs; its hidden window carries that
// title, and a low-level mouse hook plays a short click on every left-button press
// anywhere (Windows 2000 and XP; Windows 98 has no such hook, and there the program
// just runs). The click is generated here, not read from a file.
#pragma once

#include <cstdint>
#include <vector>

#include "appplatform.h"

namespace beep {

constexpr const char* kWindowTitle = "beep";
constexpr const char* kMutexName = "beep";
// Answered by the window with the left presses heard (wParam 0) or the clicks that
// played (wParam 1): what a test bench asks to see the hook at work.
constexpr std::uint32_t kCountMessage = 0x8000 + 0xBE;  // WM_APP + 0xBE

// The click: 16-bit mono PCM at kSampleRate, a 2 kHz tone that dies away within
// kClickMs, as a whole RIFF WAVE image (44-byte header, then the samples).
constexpr std::uint32_t kSampleRate = 22050;
constexpr std::uint32_t kClickMs = 12;
std::vector<std::uint8_t> MakeClickWave();

class Companion {
public:
    explicit Companion(app::Platform& platform);
    ~Companion();
    Companion(const Companion&) = delete;
    Companion& operator=(const Companion&) = delete;

    // False when another instance runs (this one ends at once). Otherwise the hook is
    // set if the system has one, and the program runs either way.
    bool Start();
    // A left-button press anywhere: the click plays.
    void OnLeftPress();
    // The window has closed: the hook goes and the instance guard is given up.
    void Stop();

    bool hooked() const { return hooked_; }
    std::uint32_t presses() const { return presses_; }
    std::uint32_t played() const { return played_; }

private:
    static void HookThunk(void* self);

    app::Platform& platform_;
    std::vector<std::uint8_t> wave_;
    app::Handle mutex_ = nullptr;
    bool hooked_ = false;
    std::uint32_t presses_ = 0;
    std::uint32_t played_ = 0;
};

}  // namespace beep
