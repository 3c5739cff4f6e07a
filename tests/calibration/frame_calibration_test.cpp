// A calibration driven only by touches at the simulated frame: the simulated machine
// with Zelko and Dravick, the tool (its main dialog, started on a key that was never
// calibrated) on the native platform, and a frame model that relates raw coordinates
// to the screen by a known linear map plus seeded noise. Four touches land on the
// targets as the screen shows them; PollDevice's injected press and release come back
// to the calibration window's logic through the native platform's mouse_event; the
// main dialog's SaveSettings stores the tables and Zelko reloads them; then
// touches at nine points across the screen reach the mouse class through Zelko and
// Dravick, and their error in screen pixels is measured. A least-squares line
// through the same four touches, computed here only, is the reference beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "appplatform_native.h"
#include "calibration.h"
#include "headlessview.h"
#include "langtext.h"
#include "maindialog.h"
#include "scenario.h"

namespace pointwell {
namespace {

constexpr int kScreenW = 1024;
constexpr int kScreenH = 768;

// The frame: raw = a * screen + b per axis; Y runs the other way up.
struct FrameModel {
    double ax = 4.4, bx = 300.0;    // raw x 300 .. 4805 across the screen
    double ay = -5.5, by = 4700.0;  // raw y 4700 .. 476 down the screen
    int noise = 0;                  // each sample is off by up to +-noise raw units
    std::mt19937 rng{20261208};

    int Jitter()
    {
        if (noise == 0)
            return 0;
        return std::uniform_int_distribution<int>(-noise, noise)(rng);
    }
    int RawX(double sx) { return static_cast<int>(std::lround(ax * sx + bx)) + Jitter(); }
    int RawY(double sy) { return static_cast<int>(std::lround(ay * sy + by)) + Jitter(); }
};

// The calibration window as the machine shows it: a full screen that records when
// it was ended.
class ScreenWindow : public CalibrationView {
public:
    skin::Rect Maximise() override { return skin::Rect{0, 0, kScreenW, kScreenH}; }
    void PlaceTarget(int, int, int, int) override {}
    void SetTargetIcon() override {}
    skin::DrawContext BeginDraw() override { return &canvas; }
    void EndDraw(skin::DrawContext) override {}
    void FillBackground(int, int) override {}
    void End(std::intptr_t r) override
    {
        ended = true;
        result = r;
    }
    skin::Canvas canvas{kScreenW, kScreenH};
    bool ended = false;
    std::intptr_t result = 0;
};

// The main window's own calls, with the user at the frame: the calibration screen
// is touched target by target, and the Examination dialog is confirmed with Ok. The
// main window itself shows nothing.
class FingerAtTheFrame : public HeadlessView {
public:
    FingerAtTheFrame(app::NativeAppPlatform& platform, zelkosim::Session& machine, FrameModel& frame)
        : platform_(platform), machine_(machine), frame_(frame)
    {
        // A left release injected at the cursor reaches the calibration window.
        platform_.onMouseEvent = [this](const app::MouseCall& call) {
            if (call.flags & kMouseLeftUp)
                ++releases_;
        };
    }

    std::intptr_t RunCalibrationDialog(CalibrationScreen& screen) override
    {
        ScreenWindow window;
        screen.OnInit(window);
        // The user touches each target as it shows, then lifts the finger.
        for (int guard = 0; guard < 8 && !window.ended; ++guard) {
            double sx, sy;
            TargetPoint(screen.index(), screen.width(), screen.height(), &sx, &sy);
            touched.push_back({sx, sy, 0, 0});
            TouchAt(sx, sy, &touched.back().rawX, &touched.back().rawY);
            // Each release the poll injected comes back to the window as a left-button
            // release on it (the target button under the cursor takes it the same way).
            for (; releases_ > 0; --releases_)
                screen.OnStep(window);
        }
        screen.OnDestroy();
        return window.ended ? window.result : kResultEscape;
    }
    std::intptr_t RunVerifyDialog(VerifyCountdown&) override { return kResultEscape; }  // Ok

    // A finger at screen point (sx, sy): down, held a few polls, lifted, 5 ms apart as
    // the poll runs. A finger settles as it presses: its first two samples are two and
    // one raw units off the point it rests on; every sample carries the frame's noise
    // besides. The raw point of the lift goes to *rawX, *rawY.
    void TouchAt(double sx, double sy, int* rawX, int* rawY)
    {
        const struct {
            const char* status;
            int settle;
        } samples[] = {{"down", 2}, {"hold", 1}, {"hold", 0}, {"hold", 0}, {"up", 0}};
        for (const auto& s : samples) {
            const int rx = frame_.RawX(sx) + s.settle, ry = frame_.RawY(sy) + s.settle;
            Execute(std::string("touch ") + s.status + " " + std::to_string(rx) + " " + std::to_string(ry));
            platform_.Advance(kPollPeriodMs);
            *rawX = rx;
            *rawY = ry;
        }
        platform_.Advance(50);
    }
    void Execute(const std::string& line)
    {
        std::string reason;
        ASSERT_TRUE(machine_.Execute(line, &reason)) << line << ": " << reason;
    }

    struct Touched {
        double sx, sy;
        int rawX, rawY;
    };
    std::vector<Touched> touched;

private:
    app::NativeAppPlatform& platform_;
    zelkosim::Session& machine_;
    FrameModel& frame_;
    int releases_ = 0;
};

// screen = k * raw + c through the points, least squares.
void LeastSquares(const std::vector<double>& raw, const std::vector<double>& screen, double* k, double* c)
{
    const double n = static_cast<double>(raw.size());
    double sr = 0, ss = 0, srr = 0, srs = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        sr += raw[i], ss += screen[i], srr += raw[i] * raw[i], srs += raw[i] * screen[i];
    }
    *k = (n * srs - sr * ss) / (n * srr - sr * sr);
    *c = (ss - *k * sr) / n;
}

struct Errors {
    double largest = 0, mean = 0;
    void Add(double e, int n)
    {
        largest = std::max(largest, e);
        mean += e / n;
    }
};

struct Outcome {
    Errors product, reference;
    std::string isCfg;
};

// One calibration and nine touches with the given noise.
Outcome CalibrateAndMeasure(int noise)
{
    app::NativeAppPlatform platform;
    platform.metrics = {{0, kScreenW}, {1, kScreenH}};
    platform.modulePath = "C:\\Tool\\Pointwell.exe";
    app::Platform* previous = app::SetAppPlatform(&platform);
    ResetTouchEventMemory();  // a new run of the tool
    LangId = 0;
    std::ostringstream out;
    Outcome outcome;
    {
        zelkosim::Session machine(zelkosim::Consumer::Dravick, out);
        FrameModel frame;
        frame.noise = noise;
        FingerAtTheFrame finger(platform, machine, frame);
        finger.Execute("plug");
        // The key as the installer leaves it: never calibrated, touch mode 1, switches
        // off, the slider at 30.
        for (const char* line : {"reg sz IsCfg no", "reg sz doneMode 1", "reg sz changexy 0", "reg sz disabledev 0",
                                 "reg sz moveSlider 30"})
            finger.Execute(line);

        // The tool starts; its message loop hands the main window its timers, and the
        // private message 9999 that the 100 ms start timer posts starts the calibration.
        MainDialog tool;
        app::NativeDialog dialog(platform, "Pointwell");
        bool startRequested = false;
        dialog.proc() = [&](const app::Message& m) -> std::intptr_t {
            if (m.msg == app::kWmTimer)
                tool.OnTimer(m.wParam);
            if (m.msg == kStartCalibrationMessage)
                startRequested = true;
            return 0;
        };
        tool.BeforeCreate();
        tool.OnInitDialog(dialog, finger);
        EXPECT_TRUE(platform.messageBoxes.empty());
        platform.Advance(100);
        EXPECT_TRUE(startRequested);
        if (startRequested)
            tool.OnStartCalibration();
        std::string isCfg;
        platform.RegistryText(app::kHkeyLocalMachine, "SOFTWARE\\Veltran\\Pointwell", "IsCfg", &isCfg);
        outcome.isCfg = isCfg;
        const auto& touched = finger.touched;
        EXPECT_EQ(touched.size(), 4u);

        // The reference: least squares over the same four touches.
        std::vector<double> rx, ry, sx, sy;
        for (const auto& t : touched) {
            rx.push_back(t.rawX), ry.push_back(t.rawY), sx.push_back(t.sx), sy.push_back(t.sy);
        }
        double lkx, lcx, lky, lcy;
        LeastSquares(rx, sx, &lkx, &lcx);
        LeastSquares(ry, sy, &lky, &lcy);

        // Nine points across the screen, each touched once; the mouse class's first
        // absolute position of the touch is where the pointer went.
        const double fractions[3] = {0.1, 0.5, 0.9};
        for (double fy : fractions) {
            for (double fx : fractions) {
                const double px = fx * kScreenW, py = fy * kScreenH;
                out.str("");
                int rawX = 0, rawY = 0;
                const int rx0 = frame.RawX(px), ry0 = frame.RawY(py);
                finger.Execute("touch down " + std::to_string(rx0) + " " + std::to_string(ry0));
                rawX = rx0, rawY = ry0;
                finger.Execute("touch up " + std::to_string(rx0) + " " + std::to_string(ry0));
                platform.Advance(50);
                unsigned x = 0, y = 0, buttons = 0, raw = 0;
                const std::string first = out.str().substr(0, out.str().find('\n'));
                EXPECT_EQ(std::sscanf(first.c_str(), "mouse buttons=0x%x raw=0x%x x=%u y=%u", &buttons, &raw, &x, &y),
                          4)
                    << "no pointer event for the touch at " << px << ", " << py << ": " << out.str();
                const double gx = x / 65535.0 * kScreenW, gy = y / 65535.0 * kScreenH;
                outcome.product.Add(std::hypot(gx - px, gy - py), 9);
                const double lx = lkx * rawX + lcx, ly = lky * rawY + lcy;
                outcome.reference.Add(std::hypot(lx - px, ly - py), 9);
            }
        }
        tool.Link().Close();
        EXPECT_EQ(machine.Shutdown(), "");
    }
    app::SetAppPlatform(previous);
    return outcome;
}

TEST(FrameCalibration, TouchesAtTheFrameCalibrateTheScreen)
{
    // The frame's scale is 4.4 raw units a pixel across and 5.5 down. A target
    // touched n raw units off puts that end of a diagonal's line n / 4.4 pixels off in
    // X at most; between the targets (where all nine points lie) a line is off no more
    // than at its ends, and the average of two lines no more than either. The touch
    // measured is off by as much again, and the tables round to whole pixels and then
    // to the 0-65535 scale, the frame model to whole raw units: one pixel more. So
    // each point is within hypot(2 n / 4.4 + 1, 2 n / 5.5 + 1) pixels.
    std::printf("noise (raw)  largest px  mean px  | least squares: largest px  mean px\n");
    for (int noise : {0, 5, 20}) {
        const Outcome o = CalibrateAndMeasure(noise);
        std::printf("+-%-10d %10.2f %8.2f  | %26.2f %8.2f\n", noise, o.product.largest, o.product.mean,
                    o.reference.largest, o.reference.mean);
        EXPECT_EQ(o.isCfg, "YES");
        const double bound = std::hypot(2.0 * noise / 4.4 + 1.0, 2.0 * noise / 5.5 + 1.0);
        EXPECT_LE(o.product.largest, bound) << "noise " << noise;
        EXPECT_LE(o.product.mean, o.product.largest);
    }
}

}  // namespace
}  // namespace pointwell
