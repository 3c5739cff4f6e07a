// Flipkey: the small always-on-top button that swaps the mouse buttons, so that the
// next touches act as right clicks. The logic lives here, on the programs' platform
// (app::Platform); flipkey_win32.cpp only turns window messages into these calls.
//
// Two windows: a hidden main window that takes the single-instance mutex and, one
// timer tick later, runs the button window; the button window ("Function") shows an
// arrow pointing left while the buttons are normal and one pointing right while they
// are swapped, and each click flips the system's button swap. The swap is set with
// kSpifSendChange only, never stored in the profile, and is set back to normal when
// the button window goes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "appplatform.h"

namespace flipkey {

// Resource ids and names (flipkey.rc uses the same numbers through resource.h).
constexpr int kPushButtonId = 1034;
constexpr int kBitmapLeft = 154;   // 48 x 46, arrow pointing left: buttons normal
constexpr int kBitmapRight = 149;  // 48 x 48, arrow pointing right: buttons swapped
constexpr const char* kMutexName = "flipkey";
constexpr const char* kButtonTitle = "Function";
constexpr const char* kStateLeft = "LeftKey";
constexpr const char* kStateRight = "RightKey";

constexpr std::uint32_t kMutexWaitMs = 3000;
constexpr std::uintptr_t kStartTimerId = 1;
constexpr std::uint32_t kStartTimerMs = 10;
constexpr std::uint32_t kStartMessage = 7890;

// The region keeps the push button's picture and cuts caption, frame and the button's
// own edge away: these many pixels go from each side of the button's rectangle.
constexpr long kInsetLeft = 9, kInsetTop = 8, kInsetRight = 10, kInsetBottom = 11;
// Where the button stands: this far from the right and bottom edges of the screen.
constexpr int kFromRight = 60, kFromBottom = 100;

// Win32 values the logic passes to the platform (wincodes.h).
using app::kBmSetImage;
using app::kImageBitmap;
using app::kSmCxScreen;
using app::kSmCyScreen;
using app::kSpifSendChange;
using app::kSpiSetMouseButtonSwap;
using app::kSwHide;
using app::kSwpHideWindow;
using app::kSwpNoMove;
using app::kSwpNoSize;
using app::kWaitAbandoned;
using app::kWaitObject0;
using app::kWaitTimeout;
using app::kWmLButtonDblClk;
using app::kWmLButtonDown;
using app::kWmLButtonUp;
using app::kWmRButtonDblClk;
using app::kWmRButtonDown;
using app::kWmRButtonUp;
// HWND_TOPMOST.
inline app::Window Topmost() { return reinterpret_cast<app::Window>(std::intptr_t(-1)); }

// Either physical button clicks the push button: a right-button message addressed to
// it becomes the matching left-button one before it is dispatched. True when the
// message was changed.
bool TranslateToLeftButton(app::Message& message, app::Window pushButton);

// The button window: swap state, picture and the swap it keeps the system in.
class ButtonWindow {
public:
    // Builds the window's state: "LeftKey" with bitmap 154 (no picture when it can't be
    // loaded; then nothing this window does changes the swap).
    explicit ButtonWindow(app::Platform& platform);
    ~ButtonWindow();  // releases the picture if the window never went through End
    ButtonWindow(const ButtonWindow&) = delete;
    ButtonWindow& operator=(const ButtonWindow&) = delete;

    // Dialog initialisation: the region around the push button's picture, then the
    // window moved near the bottom-right corner of the screen, topmost.
    void Init(app::Window self, app::Window pushButton);
    // Every paint (after the paint context is taken) and after each flip: the picture on
    // the push button, the push button updated, the system's swap set to the state.
    void ShowState();
    // A click of the push button, or a left or right button released on the window.
    void Flip();
    // The window is being closed or destroyed: the swap off, the picture released.
    void End();

    bool swapped() const { return right_; }
    std::string state() const { return right_ ? kStateRight : kStateLeft; }
    app::Handle picture() const { return picture_; }

private:
    app::Platform& platform_;
    app::Window self_ = nullptr;
    app::Window pushButton_ = nullptr;
    bool right_ = false;
    app::Handle picture_ = nullptr;
};

// The hidden main window: the single-instance guard and the delayed start of the
// button window. Each call returns whether the main window lives on (false: end it).
class MainWindow {
public:
    // Runs the button window as a modal dialog and returns when it has closed.
    using RunButtonWindow = std::function<void()>;

    MainWindow(app::Platform& platform, RunButtonWindow runButtonWindow);
    ~MainWindow();  // closes the mutex handle if it is still held

    // Takes the mutex "flipkey" (waiting up to 3 s for another instance), then makes the
    // window topmost, hidden and 0 x 0 and starts the 10 ms timer.
    bool Init(app::Window self);
    // The first tick: the timer stops and the start message is posted.
    bool OnTimer(std::uintptr_t id);
    // The start message: the main window hides, the button window runs; when it has
    // closed the mutex is released and the main window ends.
    bool OnStart();

    bool holdsMutex() const { return mutex_ != nullptr; }

private:
    void DropMutex();

    app::Platform& platform_;
    RunButtonWindow runButtonWindow_;
    app::Window self_ = nullptr;
    app::Handle mutex_ = nullptr;
    bool timerRunning_ = false;
    bool started_ = false;
};

}  // namespace flipkey
