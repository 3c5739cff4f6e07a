#include "flipkey.h"

#include <utility>

namespace flipkey {

bool TranslateToLeftButton(app::Message& message, app::Window pushButton)
{
    if (pushButton == nullptr || message.window != pushButton)
        return false;
    switch (message.msg) {
    case kWmRButtonDown:
        message.msg = kWmLButtonDown;
        return true;
    case kWmRButtonUp:
        message.msg = kWmLButtonUp;
        return true;
    // The push button takes a double click as a press; without this the second of two
    // quick right clicks would be lost while a quick left pair flips twice.
    case kWmRButtonDblClk:
        message.msg = kWmLButtonDblClk;
        return true;
    default:
        return false;
    }
}

// ---- the button window ----------------------------------------------------------

ButtonWindow::ButtonWindow(app::Platform& platform)
    : platform_(platform), picture_(platform.LoadBitmapResource(kBitmapLeft))
{
}

ButtonWindow::~ButtonWindow()
{
    if (picture_)
        platform_.DeleteObject(picture_);
}

void ButtonWindow::Init(app::Window self, app::Window pushButton)
{
    self_ = self;
    pushButton_ = pushButton;
    // The window still stands at (0, 0), so the button's screen rectangle is also its
    // place in window coordinates, which the region is measured in.
    skin::Rect button;
    if (platform_.WindowRect(pushButton, &button)) {
        const skin::Rect inner{button.left + kInsetLeft, button.top + kInsetTop, button.right - kInsetRight,
                               button.bottom - kInsetBottom};
        platform_.SetWindowRegion(self, inner);
    }
    const int x = platform_.SystemMetric(kSmCxScreen) - kFromRight;
    const int y = platform_.SystemMetric(kSmCyScreen) - kFromBottom;
    platform_.SetWindowPos(self, Topmost(), x, y, 0, 0, kSwpNoSize);
}

void ButtonWindow::ShowState()
{
    if (!picture_)
        return;
    if (pushButton_) {
        platform_.SendMessage(pushButton_, kBmSetImage, kImageBitmap, reinterpret_cast<std::intptr_t>(picture_));
        platform_.UpdateWindow(pushButton_);
    }
    platform_.SystemParametersInfo(kSpiSetMouseButtonSwap, right_ ? 1 : 0, nullptr, kSpifSendChange);
}

void ButtonWindow::Flip()
{
    if (picture_) {
        // The new picture is loaded before the old one goes: when it can't be loaded the
        // window keeps its picture and its state, so what it shows and the system's swap
        // still agree.
        app::Handle next = platform_.LoadBitmapResource(right_ ? kBitmapLeft : kBitmapRight);
        if (!next)
            return;
        platform_.DeleteObject(std::exchange(picture_, next));
    }
    right_ = !right_;
    ShowState();
}

void ButtonWindow::End()
{
    platform_.SystemParametersInfo(kSpiSetMouseButtonSwap, 0, nullptr, kSpifSendChange);
    if (picture_)
        platform_.DeleteObject(std::exchange(picture_, nullptr));
}

// ---- the main window ------------------------------------------------------------

MainWindow::MainWindow(app::Platform& platform, RunButtonWindow runButtonWindow)
    : platform_(platform), runButtonWindow_(std::move(runButtonWindow))
{
}

MainWindow::~MainWindow() { DropMutex(); }

void MainWindow::DropMutex()
{
    if (mutex_)
        platform_.CloseHandle(std::exchange(mutex_, nullptr));
}

bool MainWindow::Init(app::Window self)
{
    self_ = self;
    bool existed = false;
    mutex_ = platform_.CreateMutex(kMutexName, false, &existed);
    if (!mutex_)
        return false;
    const std::uint32_t wait = platform_.WaitForObject(mutex_, kMutexWaitMs);
    // An abandoned mutex (an instance that died) is ours all the same.
    if (wait != kWaitObject0 && wait != kWaitAbandoned) {
        DropMutex();
        return false;
    }
    platform_.SetWindowPos(self, Topmost(), 0, 0, 0, 0, kSwpHideWindow);
    timerRunning_ = platform_.SetTimer(self, kStartTimerId, kStartTimerMs) != 0;
    return true;
}

bool MainWindow::OnTimer(std::uintptr_t id)
{
    if (id != kStartTimerId || !timerRunning_)
        return true;
    platform_.KillTimer(self_, kStartTimerId);
    timerRunning_ = false;
    platform_.PostMessage(self_, kStartMessage, 0, 0);
    return true;
}

bool MainWindow::OnStart()
{
    // Only the message this window posted itself starts the button window, once.
    if (started_ || !mutex_)
        return true;
    started_ = true;
    platform_.ShowWindow(self_, kSwHide);
    if (runButtonWindow_)
        runButtonWindow_();
    platform_.ReleaseMutex(mutex_);
    DropMutex();
    return false;
}

}  // namespace flipkey
