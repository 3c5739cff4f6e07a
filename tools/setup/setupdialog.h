// SetupDialog's behaviour, apart from the window system: what happens at its start,
// on each control and on Start. The Win32 glue (main_win32.cpp) calls these from the
// dialog procedure; tests call them on a native dialog.
#pragma once

#include <string>

#include "appplatform.h"
#include "bmpimage.h"
#include "installer.h"

namespace setup {

class SetupDialog {
public:
    SetupDialog(app::Platform& os, SetupApi& api) : os_(os), installer_(os, api) {}

    // Dialog initialisation, after the icons are set: path field, language, banner,
    // licence, state, window region, group texts, captions.
    void Init(app::Dialog& dialog);
    void Agree(app::Dialog& dialog);
    void Disagree(app::Dialog& dialog);
    void Browse(app::Dialog& dialog);
    // Start: true when the dialog is to end (it then has been ended with result 0),
    // false when it stays open (invalid path, or Start pressed again while the
    // installation runs behind an ownerless box: that press is ignored).
    bool Start(app::Dialog& dialog);
    // WM_CLOSE and WM_DESTROY: the banner is released.
    void ReleaseBanner();

    bool bannerLoaded() const { return bannerLoaded_; }
    const BmpImage& banner() const { return banner_; }
    Installer& installer() { return installer_; }

private:
    bool Install(app::Dialog& dialog);  // Start's sequence
    void Restart();

    app::Platform& os_;
    Installer installer_;
    BmpImage banner_;
    bool bannerLoaded_ = false;
    bool installing_ = false;
};

// The banner's rectangle in the client area: 560 x 80 pixels from the origin.
constexpr int kBannerWidth = 560;
constexpr int kBannerHeight = 80;

}  // namespace setup
