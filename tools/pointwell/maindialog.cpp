#include "maindialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "axistable.h"
#include "langtext.h"

namespace pointwell {
namespace {

using app::kIdCancel;
using app::kIdOk;
using app::kMbIconError;
using app::kMbOk;
using app::kSwShowNormal;
using app::kTbmGetPos;
using app::kTbmSetPos;
using app::kTbmSetRangeMax;
using app::kTbmSetRangeMin;
using app::kTbmSetTic;
using app::kWmClose;

// The pages' tab bands in design units (y), Mode, Data, Verify, Exit.
constexpr int kBands[4][2] = {{146, 184}, {202, 239}, {253, 297}, {313, 358}};
// Tab pictures: destination y (design units, scaled by sy) and height; source y.
constexpr int kTabDestY[4] = {140, 196, 251, 313};
constexpr int kTabDestH[4] = {49, 46, 47, 47};
constexpr int kTabSrcY[4] = {139, 194, 249, 310};
constexpr int kTabDestW = 92, kTabSrcW = 84, kTabSrcH = 46;

const char* const kPageFiles[3] = {"ModeMsg.txt", "DataMsg.txt", "VerifyMsg.txt"};
const int kModeControls[] = {IDC_MODEGROUP, IDC_UPMODE, IDC_DOWNMODE, IDC_DRAGMODE};
const int kDataControls[] = {IDC_BEEPBOX,    IDC_DISABLEBOX, IDC_STABILITYGROUP, IDC_SLIDERLOW,
                             IDC_SLIDERHIGH, IDC_SWAPXYBOX,  IDC_SWAPBUTTONBOX,  IDC_SLIDER};
// Every control ShowPage hides (all but the edit box and the never-shown radios).
const int kPagedControls[] = {IDC_CONFIG,     IDC_SAVE,     IDC_CLOSE,          IDC_MODEGROUP, IDC_UPMODE,
                              IDC_DOWNMODE,   IDC_DRAGMODE, IDC_STABILITYGROUP, IDC_SLIDER,    IDC_SLIDERLOW,
                              IDC_SLIDERHIGH, IDC_BEEPBOX,  IDC_DISABLEBOX,     IDC_SWAPXYBOX, IDC_SWAPBUTTONBOX};

int Trunc(double v) { return static_cast<int>(v); }

}  // namespace

int TabAt(double sx, double sy, int x, int y)
{
    if (!(Trunc(15 * sx) < x && x < Trunc(81 * sx)))
        return -1;
    for (int k = 0; k < 4; ++k)
        if (Trunc(kBands[k][0] * sy) < y && y < Trunc(kBands[k][1] * sy))
            return k;
    return -1;
}

bool InTitleArea(double sx, double sy, int x, int y)
{
    return Trunc(5 * sx) < x && x < Trunc(604 * sx) && Trunc(4 * sy) < y && y < Trunc(77 * sy);
}

MainDialog::MainDialog() : link_(this), calibration_(*this) {}

app::Window MainDialog::MainWindow() { return dialog_ ? dialog_->handle() : nullptr; }

// ---- start-up ----------------------------------------------------------------------------

void MainDialog::BeforeCreate()
{
    devicePresent_ = true;
    noLogo_ = NoLogoSkin();  // LangId is still 0 here: the "0409" section answers
    SelectLanguage();
}

bool MainDialog::OnInitDialog(app::Dialog& dialog, MainView& view)
{
    dialog_ = &dialog;
    view_ = &view;
    app::Platform& p = app::CurrentAppPlatform();
    // At most five button-swap utilities are closed.
    for (int i = 0; i < 5; ++i)
        if (app::Window w = p.FindWindow(nullptr, "Function"))
            p.SendMessage(w, kWmClose, 0, 0);
    osVersionCode_ = OsVersionCode();
    store_.DeleteRunEntry("Pointwell");
    view.SetIcons();
    if (!store_.KeyExists()) {
        char text[256];
        LangText(langkeys::ConfigDrv, text);
        p.MessageBox(dialog.handle(), text, "Prompt", kMbOk | kMbIconError);
    }
    InitControls();
    settings_.Load(store_);
    dialog.SetChecked(IDC_SWAPXYBOX, settings_.changexy == 1);
    dialog.SetChecked(IDC_DISABLEBOX, settings_.disabledev == 1);
    dialog.SetChecked(IDC_SWAPBUTTONBOX, settings_.chgbutton == 1);
    dialog.SetChecked(IDC_BEEPBOX, settings_.beep == 1);
    if (!link_.Open())
        devicePresent_ = false;
    if (devicePresent_) {
        dialog.Show(IDC_CONFIG, true);
        char isCfg[kTextValueBytes] = {};
        store_.ReadText("IsCfg", isCfg);
        const bool calibrated = (isCfg[0] == 'Y' || isCfg[0] == 'y') && (isCfg[1] == 'E' || isCfg[1] == 'e') &&
                                (isCfg[2] == 'S' || isCfg[2] == 's') && isCfg[3] == 0;
        if (!calibrated && p.SetTimer(dialog.handle(), kStartTimerId, kStartDelayMs))
            startTimerRunning_ = true;
    } else {
        dialog.Show(IDC_CONFIG, false);
    }
    LoadSkin();
    SetCaptions();
    return true;
}

void MainDialog::InitControls()
{
    app::Dialog& d = *dialog_;
    for (int id : {IDC_UPMODE, IDC_DOWNMODE, IDC_DRAGMODE})
        d.SetChecked(id, false);
    for (int id : {IDC_SERCLICKMODE, IDC_OEMMODE, IDC_HIDDENMODE})
        d.Show(id, false);
    char mode[kTextValueBytes] = {};
    store_.ReadText("doneMode", mode);
    settings_.mode = 0;
    if (std::strcmp(mode, "1") == 0) {
        d.SetChecked(IDC_UPMODE, true);
        settings_.mode = 1;
    } else if (std::strcmp(mode, "2") == 0) {
        d.SetChecked(IDC_DOWNMODE, true);
        settings_.mode = 2;
    } else if (std::strcmp(mode, "3") == 0) {
        d.SetChecked(IDC_DRAGMODE, true);
        settings_.mode = 3;
    }
    d.SendItemMessage(IDC_SLIDER, kTbmSetRangeMin, 0, 0);
    d.SendItemMessage(IDC_SLIDER, kTbmSetRangeMax, 0, 40);
    for (int tick = 1; tick <= 39; ++tick)
        d.SendItemMessage(IDC_SLIDER, kTbmSetTic, 0, tick);
    char slider[kTextValueBytes] = "30";
    store_.ReadText("moveSlider", slider);
    settings_.slider = std::atoi(slider);
    d.SendItemMessage(IDC_SLIDER, kTbmSetPos, 1, settings_.slider);
}

void MainDialog::LoadSkin()
{
    app::Dialog& d = *dialog_;
    const std::string mainPath = SkinImagePath("main.bmp", noLogo_);
    mainLoaded_ = !mainPath.empty() && main_.Load(mainPath.c_str()) == 1;
    const skin::Rect client = view_->ClientRect();
    if (mainLoaded_) {
        sx_ = double(client.right - client.left) * kScaleX;
        sy_ = double(client.bottom - client.top) * kScaleY;
        skin::DrawContext dc = view_->BeginDraw();
        main_.Draw(dc, 0, 0, int(client.right - client.left), int(client.bottom - client.top));
        view_->EndDraw(dc);
    }
    const std::string highlightPath = SkinImagePath("mainbk.bmp", noLogo_);
    highlightLoaded_ = !highlightPath.empty() && highlight_.Load(highlightPath.c_str()) == 1;
    skin::ClipWindowToClient(d.handle());
    for (int k = 0; k < 4; ++k)
        tabRects_[k] = skin::Rect{0, Trunc(kTabDestY[k] * sy_), kTabDestW, Trunc(kTabDestY[k] * sy_) + kTabDestH[k]};
}

void MainDialog::SetCaptions()
{
    struct Caption {
        int id;
        const LangKey& key;
    };
    const Caption captions[] = {
        {IDC_CONFIG, langkeys::ButtonVerify},      {IDC_SAVE, langkeys::ButtonApply},
        {IDC_MODEGROUP, langkeys::Mode},           {IDC_UPMODE, langkeys::UpDone},
        {IDC_DOWNMODE, langkeys::DownDone},        {IDC_DRAGMODE, langkeys::DragDone},
        {IDC_SERCLICKMODE, langkeys::SerClick},    {IDC_OEMMODE, langkeys::OemMode},
        {IDC_STABILITYGROUP, langkeys::Stability}, {IDC_SLIDERLOW, langkeys::Low},
        {IDC_SLIDERHIGH, langkeys::High},          {IDC_BEEPBOX, langkeys::Beep},
        {IDC_SWAPXYBOX, langkeys::ChangeXy},       {IDC_CLOSE, langkeys::Quit},
        {IDC_SWAPBUTTONBOX, langkeys::ChgButton},  {IDC_DISABLEBOX, langkeys::DisableDev},
    };
    char text[256];
    for (const Caption& c : captions) {
        LangText(c.key, text);
        dialog_->SetText(c.id, text);
    }
}

// ---- messages ----------------------------------------------------------------------------

void MainDialog::OnCommand(int id)
{
    switch (id) {
    case IDC_CONFIG:
        calibration_.RunCalibration();
        break;
    case IDC_SAVE:
        SaveSettings();
        break;
    case IDC_CLOSE:
        CloseTool();
        break;
    case kIdOk:
    case kIdCancel:
        dialog_->End(id);
        break;  // the framework's Enter and Escape: nothing stored
    default:
        break;
    }
}

void MainDialog::OnSliderReleased() { EnableSave(); }

void MainDialog::OnTimer(std::uintptr_t id)
{
    app::Platform& p = app::CurrentAppPlatform();
    if (id == kStartTimerId) {
        p.KillTimer(dialog_->handle(), kStartTimerId);
        startTimerRunning_ = false;
        // The first calibration starts once per run, however the timer fires.
        if (!startPosted_) {
            startPosted_ = true;
            p.PostMessage(dialog_->handle(), kStartCalibrationMessage, 0, 0);
        }
    } else if (id == kPollTimerId) {
        calibration_.PollDevice();
    }
}

void MainDialog::OnStartCalibration() { calibration_.RunCalibration(); }

void MainDialog::OnPaint(skin::DrawContext dc)
{
    if (view_->IsMinimized()) {
        view_->DrawIconCentred(dc);
        return;
    }
    // The page's controls are shown once per page: hiding and showing them on every
    // paint would invalidate the dialog again and repaint it without end.
    if (shownPage_ != page_)
        ShowPage();
    if (mainLoaded_) {
        const skin::Rect client = view_->ClientRect();
        main_.Draw(dc, 0, 0, int(client.right - client.left), int(client.bottom - client.top));
    }
}

void MainDialog::DrawTab(int k, bool highlighted)
{
    const BmpImage& image = highlighted ? highlight_ : main_;
    if (!(highlighted ? highlightLoaded_ : mainLoaded_))
        return;
    skin::DrawContext dc = view_->BeginDraw();
    const skin::Rect& r = tabRects_[k];
    image.DrawPart(dc, int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top), 0, kTabSrcY[k], kTabSrcW,
                   kTabSrcH);
    view_->EndDraw(dc);
}

void MainDialog::OnLButtonDown(int x, int y)
{
    app::Platform& p = app::CurrentAppPlatform();
    const int tab = TabAt(sx_, sy_, x, y);
    if (tab >= 0 && tab <= 2) {
        page_ = tab + 1;
        ShowPage();
        DrawTab(tab, false);
        p.Sleep(kTabFlashMs);
        DrawTab(tab, true);
        return;
    }
    if (tab == 3) {
        DrawTab(3, false);
        p.Sleep(kTabFlashMs);
        DrawTab(3, true);
        main_.Clear();
        highlight_.Clear();
        mainLoaded_ = highlightLoaded_ = false;
        page_ = 4;
        CloseTool();
        return;
    }
    if (InTitleArea(sx_, sy_, x, y)) {
        dragging_ = true;
        dragX_ = x, dragY_ = y;
        view_->ClientToScreen(&dragX_, &dragY_);
        view_->SetCapture();
    }
}

void MainDialog::OnMouseMove(int x, int y)
{
    const int tab = TabAt(sx_, sy_, x, y);
    if (tab >= 0) {
        // The cursor replaced is the one from before the first tab: moving from tab to
        // tab must not take the tab cursor for it.
        void* previous = view_->SetTabCursor();
        if (!replacedCursor_)
            replacedCursor_ = previous;
        for (int k = 0; k < 4; ++k)
            if (k != tab)
                DrawTab(k, false);
        DrawTab(tab, true);
        return;
    }
    if (replacedCursor_) {
        view_->RestoreCursor(replacedCursor_);
        replacedCursor_ = nullptr;
    }
    if (dragging_) {
        int sxp = x, syp = y;
        view_->ClientToScreen(&sxp, &syp);
        if (sxp != dragX_ || syp != dragY_) {
            skin::Rect r = dialog_->WindowRect();
            const long dx = sxp - dragX_, dy = syp - dragY_;
            r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
            dialog_->Move(r, true);
            dragX_ = sxp, dragY_ = syp;
        }
    }
}

void MainDialog::OnLButtonUp()
{
    if (dragging_)
        view_->ReleaseCapture();
    dragging_ = false;
}

// The release of the button goes to the window that took the capture: the drag ends
// here, or the window would follow the mouse with its button up.
void MainDialog::OnCaptureLost() { dragging_ = false; }

void MainDialog::OnDestroy() {}

// ---- pages ---------------------------------------------------------------------------------

void MainDialog::ShowPage()
{
    if (page_ < 1 || page_ > 3)
        return;
    app::Dialog& d = *dialog_;
    std::string folder;
    ProgramFolder(&folder);
    const std::string path = folder + "\\" + LangFolder + "\\" + kPageFiles[page_ - 1];
    if (std::FILE* f = app::CurrentAppPlatform().OpenFile(path.c_str(), "rb")) {
        static char buffer[10240];
        std::memset(buffer, 0, sizeof buffer);
        const size_t n = std::fread(buffer, 1, kPageTextMax, f);
        if (n > 0)
            d.SetText(IDC_PAGETEXT, buffer);
        std::fclose(f);
    } else {
        d.SetText(IDC_PAGETEXT, "");
    }
    d.Show(IDC_PAGETEXT, false);
    for (int id : kPagedControls)
        d.Show(id, false);
    for (int id : {IDC_UPMODE, IDC_DOWNMODE, IDC_DRAGMODE})
        d.Show(id, false);
    if (page_ == 1)
        for (int id : kModeControls)
            d.Show(id, true);
    if (page_ == 2)
        for (int id : kDataControls)
            d.Show(id, true);
    if (page_ == 3)
        d.Show(IDC_CONFIG, true);
    d.Show(IDC_PAGETEXT, true);
    shownPage_ = page_;
}

// ---- storing -------------------------------------------------------------------------------

std::string MainDialog::CompanionPath(const char* exe) const
{
    const std::string module = app::CurrentAppPlatform().ModuleFileName();
    const auto cut = module.rfind('\\');
    return (cut == std::string::npos ? std::string() : module.substr(0, cut + 1)) + exe;
}

void MainDialog::StartCompanion(const char* exe, const char* title)
{
    app::Platform& p = app::CurrentAppPlatform();
    if (p.FindWindow(nullptr, title))
        return;
    p.ShellExecute(dialog_->handle(), "open", CompanionPath(exe).c_str(), nullptr, nullptr, kSwShowNormal);
}

void MainDialog::CloseCompanion(const char* title)
{
    app::Platform& p = app::CurrentAppPlatform();
    if (app::Window w = p.FindWindow(nullptr, title))
        p.SendMessage(w, kWmClose, 0, 0);
}

void MainDialog::SaveSettings()
{
    app::Dialog& d = *dialog_;
    store_.EnsureKey();
    if (d.IsChecked(IDC_UPMODE)) {
        store_.WriteText("doneMode", "1");
        settings_.mode = 1;
    } else if (d.IsChecked(IDC_DOWNMODE)) {
        store_.WriteText("doneMode", "2");
        settings_.mode = 2;
    } else if (d.IsChecked(IDC_DRAGMODE)) {
        store_.WriteText("doneMode", "3");
        settings_.mode = 3;
    }
    if (d.IsChecked(IDC_SWAPBUTTONBOX)) {
        store_.WriteText("chgbutton", "1");
        settings_.chgbutton = 1;
        store_.SetRunEntry("ChgFile", CompanionPath("flipkey.exe").c_str());
        StartCompanion("flipkey.exe", "Function");
    } else {
        store_.WriteText("chgbutton", "0");
        settings_.chgbutton = 0;
        store_.DeleteRunEntry("ChgFile");
        CloseCompanion("Function");
    }
    settings_.changexy = d.IsChecked(IDC_SWAPXYBOX) ? 1 : 0;
    store_.WriteText("changexy", settings_.changexy ? "1" : "0");
    settings_.disabledev = d.IsChecked(IDC_DISABLEBOX) ? 1 : 0;
    store_.WriteText("disabledev", settings_.disabledev ? "1" : "0");
    if (d.IsChecked(IDC_BEEPBOX)) {
        store_.SetRunEntry("beep", CompanionPath("BEEP.exe").c_str());
        store_.WriteText("beep", "1");
        settings_.beep = 1;
        StartCompanion("BEEP.exe", "beep");
    } else {
        store_.DeleteRunEntry("beep");
        store_.WriteText("beep", "0");
        settings_.beep = 0;
        CloseCompanion("beep");
    }
    settings_.slider = int(d.SendItemMessage(IDC_SLIDER, kTbmGetPos, 0, 0));
    char text[16];
    std::snprintf(text, sizeof text, "%d", settings_.slider);
    store_.WriteText("moveSlider", text);
    ComputeTables(settings_, HalfScaleTables(osVersionCode_, store_));
    store_.WriteBinary("XArray", settings_.xTable.data(), kTableBytes);
    store_.WriteBinary("YArray", settings_.yTable.data(), kTableBytes);
    if (devicePresent_)
        link_.SendCommand(CMD_RELOAD);
    d.Enable(IDC_SAVE, false);
    app::CurrentAppPlatform().Sleep(kSaveWaitMs);
}

void MainDialog::CloseTool()
{
    if (mainLoaded_) {
        main_.Clear();
        mainLoaded_ = false;
    }
    if (highlightLoaded_) {
        highlight_.Clear();
        highlightLoaded_ = false;
    }
    SaveSettings();
    if (devicePresent_)
        link_.Close();
    dialog_->End(0);
}

// ---- what the calibration borrows ------------------------------------------------------------

void MainDialog::SetMapping(double kx, double ky, double cx, double cy)
{
    settings_.kx = kx, settings_.ky = ky, settings_.cx = cx, settings_.cy = cy;
}

void MainDialog::EnableSave() { dialog_->Enable(IDC_SAVE, true); }

std::intptr_t MainDialog::RunCalibrationDialog(CalibrationScreen& screen)
{
    return view_->RunCalibrationDialog(screen);
}

std::intptr_t MainDialog::RunVerifyDialog(VerifyCountdown& countdown) { return view_->RunVerifyDialog(countdown); }

void MainDialog::Show(const LangKey& message)
{
    char text[256];
    LangText(message, text);
    app::CurrentAppPlatform().MessageBox(nullptr, text, "Error", kMbOk | kMbIconError);
}

}  // namespace pointwell
