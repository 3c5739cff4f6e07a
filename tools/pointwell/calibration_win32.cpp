// The calibration's windows under Windows: the dialog procedures of templates 131
// and 156 hand every event to the plain logic (CalibrationScreen, VerifyCountdown)
// and do only the drawing and window calls it asks for.
#include "calibration_win32.h"

#include <commctrl.h>

namespace pointwell {

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// The calibration window's calls.
class ScreenView : public CalibrationView {
 public:
  explicit ScreenView(HWND window) : window_(window) {}

  skin::Rect Maximise() override {
    ShowWindow(window_, SW_MAXIMIZE);
    RECT r{};
    GetWindowRect(window_, &r);
    return skin::Rect{r.left, r.top, r.right, r.bottom};
  }
  void PlaceTarget(int x, int y, int w, int h) override {
    HWND button = GetDlgItem(window_, IDC_TARGET);
    MoveWindow(button, x, y, w, h, TRUE);
    SetTargetIcon();
    UpdateWindow(button);
  }
  void SetTargetIcon() override {
    HICON icon = LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_TARGET));
    SendDlgItemMessageA(window_, IDC_TARGET, BM_SETIMAGE, IMAGE_ICON,
                        reinterpret_cast<LPARAM>(icon));
  }
  skin::DrawContext BeginDraw() override { return GetDC(window_); }
  void EndDraw(skin::DrawContext dc) override { ReleaseDC(window_, static_cast<HDC>(dc)); }
  void FillBackground(int w, int h) override {
    HDC dc = GetDC(window_);
    SetBkMode(dc, TRANSPARENT);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 55));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Rectangle(dc, 0, 0, w, h);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
    ReleaseDC(window_, dc);
  }
  void End(std::intptr_t result) override { EndDialog(window_, result); }

 private:
  HWND window_;
};

INT_PTR CALLBACK CalibrationProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* screen = reinterpret_cast<CalibrationScreen*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      ScreenView view(window);
      reinterpret_cast<CalibrationScreen*>(lParam)->OnInit(view);
      return TRUE;
    }
    case WM_PAINT: {
      if (!screen) break;
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      ScreenView view(window);
      screen->OnPaint(view);
      return TRUE;
    }
    case WM_LBUTTONUP:
      if (screen) {
        ScreenView view(window);
        screen->OnStep(view);
      }
      return FALSE;  // the default handling follows
    case WM_COMMAND:
      if (!screen) break;
      if (LOWORD(wParam) == IDC_TARGET && HIWORD(wParam) == BN_CLICKED) {
        ScreenView view(window);
        screen->OnStep(view);
        return TRUE;
      }
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      break;
    case WM_DESTROY:
      if (screen) screen->OnDestroy();
      break;
  }
  return FALSE;
}

// The Examination dialog's controls for the countdown.
class HwndDialog : public app::Dialog {
 public:
  explicit HwndDialog(HWND window) : window_(window) {}
  app::Window handle() override { return window_; }
  bool IsChecked(int id) override { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }
  void SetChecked(int id, bool checked) override {
    CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  std::string Text(int id) override {
    char text[256] = {};
    GetDlgItemTextA(window_, id, text, sizeof(text));
    return text;
  }
  void SetText(int id, const char* text) override { SetDlgItemTextA(window_, id, text); }
  void SetTitle(const char* text) override { SetWindowTextA(window_, text); }
  void Show(int id, bool visible) override {
    ShowWindow(GetDlgItem(window_, id), visible ? SW_SHOW : SW_HIDE);
  }
  bool IsVisible(int id) override { return IsWindowVisible(GetDlgItem(window_, id)) != FALSE; }
  void Enable(int id, bool enabled) override { EnableWindow(GetDlgItem(window_, id), enabled); }
  std::intptr_t SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam,
                                std::intptr_t lParam) override {
    return SendDlgItemMessageA(window_, id, msg, wParam, lParam);
  }
  skin::Rect WindowRect() override {
    RECT r{};
    GetWindowRect(window_, &r);
    return skin::Rect{r.left, r.top, r.right, r.bottom};
  }
  void Move(const skin::Rect& r, bool repaint) override {
    MoveWindow(window_, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
  }
  void Invalidate() override { InvalidateRect(window_, nullptr, TRUE); }
  void End(std::intptr_t result) override { EndDialog(window_, result); }

 private:
  HWND window_;
};

INT_PTR CALLBACK VerifyProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* countdown = reinterpret_cast<VerifyCountdown*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      HwndDialog dialog(window);
      reinterpret_cast<VerifyCountdown*>(lParam)->OnInit(dialog);
      SetForegroundWindow(window);
      // No control takes the focus, so that Enter is the dialog's own IDOK.
      SetFocus(window);
      return FALSE;
    }
    case WM_TIMER:
      if (countdown && wParam == kVerifyTimerId) {
        HwndDialog dialog(window);
        countdown->OnTick(dialog);
        return TRUE;
      }
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_VERIFY_OK:
          EndDialog(window, kResultEscape);
          return TRUE;
        case IDOK:
        case IDCANCEL:
          EndDialog(window, LOWORD(wParam));
          return TRUE;
      }
      break;
    case WM_DESTROY:
      KillTimer(window, kVerifyTimerId);
      break;
  }
  return FALSE;
}

}  // namespace

INT_PTR ShowCalibrationDialog(HWND owner, CalibrationScreen& screen) {
  return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_CALIBRATE), owner, CalibrationProc,
                         reinterpret_cast<LPARAM>(&screen));
}

INT_PTR ShowVerifyDialog(HWND owner, VerifyCountdown& countdown) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_VERIFY), owner, VerifyProc,
                         reinterpret_cast<LPARAM>(&countdown));
}

}  // namespace pointwell
