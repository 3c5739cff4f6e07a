// A calibration driven only by touches at the simulated frame: the simulated machine
// with Zelko and Dravick, the tool's calibration on the native platform, and a frame
// model that relates raw coordinates to the screen by a known linear map plus seeded
// noise. Four touches land on the targets as the screen shows them; PollDevice's
// injected press and release come back to the calibration window's logic through the
// native platform's mouse_event; the tables are stored and Zelko reloads them; then
// touches at nine points across the screen reach the mouse class through Zelko and
// Dravick, and their error in screen pixels is measured. A least-squares line
// through the same four touches, computed here only, is the reference beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "appplatform_native.h"
#include "axistable.h"
#include "calibration.h"
#include "scenario.h"
#include "simkernel/sim.h"
#include "zelkoioctl.h"

namespace pointwell {
namespace {

constexpr int kScreenW = 1024;
constexpr int kScreenH = 768;

// The frame: raw = a * screen + b per axis; Y runs the other way up.
struct FrameModel {
  double ax = 4.4, bx = 300.0;   // raw x 300 .. 4805 across the screen
  double ay = -5.5, by = 4700.0; // raw y 4700 .. 476 down the screen
  int noise = 0;                 // each sample is off by up to +-noise raw units
  std::mt19937 rng{20261208};

  int Jitter() {
    if (noise == 0) return 0;
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
  void End(std::intptr_t r) override {
    ended = true;
    result = r;
  }
  skin::Canvas canvas{kScreenW, kScreenH};
  bool ended = false;
  std::intptr_t result = 0;
};

// The tool around the calibration: the main window, the tool key, SaveSettings'
// tables and the dialogs, with the user's finger at the frame.
class Tool : public CalibrationHost {
 public:
  Tool(app::NativeAppPlatform& platform, zelkosim::Session& machine, FrameModel& frame)
      : platform_(platform), machine_(machine), frame_(frame), calibration_(*this) {
    ResetTouchEventMemory();  // a new run of the tool
    main_ = platform_.AddWindow("Pointwell");
    // The main window's timer 1028 is the poll.
    platform_.WindowOf(main_)->proc = [this](const app::Message& m) -> std::intptr_t {
      if (m.msg == app::kWmTimer && m.wParam == kPollTimerId) calibration_.PollDevice();
      return 0;
    };
    // A left release injected at the cursor reaches the calibration window.
    platform_.onMouseEvent = [this](const app::MouseCall& call) {
      if (call.flags & kMouseLeftUp) ++releases_;
    };
  }

  bool Open() { return link_.Open() == 1; }
  Calibration& calibration() { return calibration_; }

  // ---- CalibrationHost --------------------------------------------------------------
  bool DevicePresent() override { return true; }
  DeviceLink& Link() override { return link_; }
  int ReadTouchEvent(TouchEvent* e) override { return pointwell::ReadTouchEvent(link_, e); }
  app::Window MainWindow() override { return main_; }
  void EnsureKey() override { store_.EnsureKey(); }
  void WriteText(const char* name, const char* text) override { store_.WriteText(name, text); }
  void ReadText(const char* name, char* buffer) override { store_.ReadText(name, buffer); }
  void SetMapping(double kx, double ky, double cx, double cy) override {
    settings.kx = kx, settings.ky = ky, settings.cx = cx, settings.cy = cy;
  }
  void EnableSave() override {}
  // What SaveSettings does for the driver: the key, the values Zelko needs for a
  // complete read, both tables from the mapping, CMD_RELOAD.
  void SaveSettings() override {
    store_.EnsureKey();
    store_.WriteText("doneMode", "1");
    store_.WriteText("changexy", "0");
    store_.WriteText("disabledev", "0");
    store_.WriteText("moveSlider", "30");
    ComputeTables(settings, HalfScaleTables(OsVersionCode(), store_));
    store_.WriteBinary("XArray", settings.xTable.data(), 10000);
    store_.WriteBinary("YArray", settings.yTable.data(), 10000);
    link_.SendCommand(CMD_RELOAD);
    platform_.Sleep(500);
  }
  std::intptr_t RunCalibrationDialog(CalibrationScreen& screen) override {
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
      for (; releases_ > 0; --releases_) screen.OnStep(window);
    }
    screen.OnDestroy();
    return window.ended ? window.result : kResultEscape;
  }
  std::intptr_t RunVerifyDialog(VerifyCountdown&) override { return kResultEscape; }  // Ok

  // A finger at screen point (sx, sy): down, held a few polls, lifted, 5 ms apart as
  // the poll runs. A finger settles as it presses: its first two samples are two and
  // one raw units off the point it rests on; every sample carries the frame's noise
  // besides. The raw point of the lift goes to *rawX, *rawY.
  void TouchAt(double sx, double sy, int* rawX, int* rawY) {
    const struct {
      const char* status;
      int settle;
    } samples[] = {{"down", 2}, {"hold", 1}, {"hold", 0}, {"hold", 0}, {"up", 0}};
    for (const auto& s : samples) {
      const int rx = frame_.RawX(sx) + s.settle, ry = frame_.RawY(sy) + s.settle;
      Execute(std::string("touch ") + s.status + " " + std::to_string(rx) + " " +
              std::to_string(ry));
      platform_.Advance(kPollPeriodMs);
      *rawX = rx;
      *rawY = ry;
    }
    platform_.Advance(50);
  }
  void Execute(const std::string& line) {
    std::string reason;
    ASSERT_TRUE(machine_.Execute(line, &reason)) << line << ": " << reason;
  }

  struct Touched {
    double sx, sy;
    int rawX, rawY;
  };
  std::vector<Touched> touched;
  ToolSettings settings;

 private:
  app::NativeAppPlatform& platform_;
  zelkosim::Session& machine_;
  FrameModel& frame_;
  RegistryStore store_;
  DeviceLink link_;
  Calibration calibration_;
  app::Window main_ = nullptr;
  int releases_ = 0;
};

// screen = k * raw + c through the points, least squares.
void LeastSquares(const std::vector<double>& raw, const std::vector<double>& screen, double* k,
                  double* c) {
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
  void Add(double e, int n) {
    largest = std::max(largest, e);
    mean += e / n;
  }
};

struct Outcome {
  Errors product, reference;
  std::string isCfg;
};

// One calibration and nine touches with the given noise.
Outcome CalibrateAndMeasure(int noise) {
  app::NativeAppPlatform platform;
  platform.metrics = {{0, kScreenW}, {1, kScreenH}};
  app::Platform* previous = app::SetAppPlatform(&platform);
  std::ostringstream out;
  Outcome outcome;
  {
    zelkosim::Session machine(zelkosim::Consumer::Dravick, out);
    std::string reason;
    EXPECT_TRUE(machine.Execute("plug", &reason)) << reason;
    FrameModel frame;
    frame.noise = noise;
    Tool tool(platform, machine, frame);
    EXPECT_TRUE(tool.Open());
    tool.settings.screenWidth = kScreenW;
    tool.settings.screenHeight = kScreenH;

    tool.calibration().RunCalibration();
    char text[64] = {};
    tool.ReadText("IsCfg", text);
    outcome.isCfg = text;
    EXPECT_EQ(tool.touched.size(), 4u);

    // The reference: least squares over the same four touches.
    std::vector<double> rx, ry, sx, sy;
    for (const auto& t : tool.touched) {
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
        tool.Execute("touch down " + std::to_string(rx0) + " " + std::to_string(ry0));
        rawX = rx0, rawY = ry0;
        tool.Execute("touch up " + std::to_string(rx0) + " " + std::to_string(ry0));
        platform.Advance(50);
        unsigned x = 0, y = 0, buttons = 0, raw = 0;
        const std::string first = out.str().substr(0, out.str().find('\n'));
        EXPECT_EQ(std::sscanf(first.c_str(), "mouse buttons=0x%x raw=0x%x x=%u y=%u", &buttons,
                              &raw, &x, &y),
                  4)
            << "no pointer event for the touch at " << px << ", " << py << ": " << out.str();
        const double gx = x / 65535.0 * kScreenW, gy = y / 65535.0 * kScreenH;
        outcome.product.Add(std::hypot(gx - px, gy - py), 9);
        const double lx = lkx * rawX + lcx, ly = lky * rawY + lcy;
        outcome.reference.Add(std::hypot(lx - px, ly - py), 9);
      }
    }
    EXPECT_EQ(machine.Shutdown(), "");
  }
  app::SetAppPlatform(previous);
  return outcome;
}

TEST(FrameCalibration, TouchesAtTheFrameCalibrateTheScreen) {
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
    std::printf("+-%-10d %10.2f %8.2f  | %26.2f %8.2f\n", noise, o.product.largest,
                o.product.mean, o.reference.largest, o.reference.mean);
    EXPECT_EQ(o.isCfg, "YES");
    const double bound = std::hypot(2.0 * noise / 4.4 + 1.0, 2.0 * noise / 5.5 + 1.0);
    EXPECT_LE(o.product.largest, bound) << "noise " << noise;
    EXPECT_LE(o.product.mean, o.product.largest);
  }
}

}  // namespace
}  // namespace pointwell
