// The demo build of vx.platutil.winrt.dll: a toast is a plain Win32 popup near
// the bottom-right corner of the work area, with the title in bold above the
// text. It goes away on the hide message (hidden), when its time runs out
// (timed out), on a left click (activated) or on a right click or Escape
// (dismissed).
#define VXTOASTBRIDGE_BUILDING
#include "vxtoastbridge.h"

#include <atomic>
#include <string>

#include "unique.h"

namespace {

using ZQ::Framework::secwstring;

constexpr wchar_t kWindowClass[] = L"VXToastPopup";
constexpr UINT_PTR kExpiryTimer = 1;
constexpr int kWidth = 360;
constexpr int kHeight = 110;
constexpr int kMargin = 16;

HINSTANCE g_module = nullptr;

// GDI objects of one popup, released with it.
struct Fonts {
  Fonts() {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW base = metrics.lfMessageFont;
    base.lfHeight = -15;
    text.reset(CreateFontIndirectW(&base));
    base.lfWeight = FW_BOLD;
    base.lfHeight = -17;
    title.reset(CreateFontIndirectW(&base));
  }
  // Released in reverse order: the text font first.
  zq::Unique<HFONT, DeleteObject> title;
  zq::Unique<HFONT, DeleteObject> text;
};

class PopupToast final : public ZQ::Framework::IVXToastNotification {
 public:
  PopupToast(secwstring title, secwstring text, bool longDuration)
      : title_(std::move(title)), text_(std::move(text)), expiryMs_(longDuration ? 25000 : 7000) {}

  HRESULT Display(int* exitReason) override {
    if (!exitReason) return E_POINTER;
    if (!RegisterClass()) return HRESULT_FROM_WIN32(GetLastError());
    RECT work = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Fonts fonts;
    fonts_ = &fonts;
    reason_ = VX_TOAST_EXIT_NONE;
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWindowClass, title_.c_str(), WS_POPUP | WS_BORDER,
                                  work.right - kWidth - kMargin, work.bottom - kHeight - kMargin, kWidth, kHeight,
                                  nullptr, nullptr, g_module, this);
    if (!window) {
      fonts_ = nullptr;
      return HRESULT_FROM_WIN32(GetLastError());
    }
    displayed_ = true;  // before anyone can see it, so a hide is never turned away
    SetTimer(window, kExpiryTimer, expiryMs_, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);

    MSG message;
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (message.hwnd == nullptr && message.message == kVXToastHideMessage) {
        Close(window, VX_TOAST_EXIT_HIDDEN);
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    displayed_ = false;
    fonts_ = nullptr;
    *exitReason = reason_;
    return S_OK;
  }

  HRESULT SetExpiration(unsigned int milliseconds) override {
    expiryMs_ = milliseconds;
    return S_OK;
  }

  bool IsDisplayed() override { return displayed_; }

 private:
  static bool RegisterClass() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(g_module, kWindowClass, &windowClass)) return true;
    windowClass.lpfnWndProc = &PopupToast::WindowProc;
    windowClass.hInstance = g_module;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_HAND);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_INFOBK);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }

  void Close(HWND window, int reason) {
    if (reason_ == VX_TOAST_EXIT_NONE) reason_ = reason;
    KillTimer(window, kExpiryTimer);
    DestroyWindow(window);
  }

  void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    InflateRect(&area, -14, -12);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    HGDIOBJ previous = SelectObject(dc, fonts_->title.get());
    RECT line = area;
    DrawTextW(dc, title_.c_str(), static_cast<int>(title_.size()), &line, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    area.top += 28;
    SelectObject(dc, fonts_->text.get());
    DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &area, DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, previous);
    EndPaint(window, &paint);
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PopupToast*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
      switch (message) {
        case WM_PAINT:
          self->Paint(window);
          return 0;
        case WM_TIMER:
          if (wParam == kExpiryTimer) self->Close(window, VX_TOAST_EXIT_TIMED_OUT);
          return 0;
        case WM_LBUTTONUP:
          self->Close(window, VX_TOAST_EXIT_ACTIVATED);
          return 0;
        case WM_RBUTTONUP:
          self->Close(window, VX_TOAST_EXIT_DISMISSED);
          return 0;
        case WM_KEYDOWN:
          if (wParam == VK_ESCAPE) self->Close(window, VX_TOAST_EXIT_DISMISSED);
          return 0;
        case WM_MOUSEACTIVATE:
          return MA_NOACTIVATE;
      }
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  secwstring title_;
  secwstring text_;
  unsigned int expiryMs_;
  Fonts* fonts_ = nullptr;
  int reason_ = VX_TOAST_EXIT_NONE;
  std::atomic<bool> displayed_{false};
};

}  // namespace

VXTOASTBRIDGE_API ZQ::Framework::IVXToastNotification* CreateToastNotification(secwstring first, secwstring second,
                                                                               bool flag) {
  return new PopupToast(std::move(first), std::move(second), flag);
}

VXTOASTBRIDGE_API PLATUTIL_UI_MODE GetUIMode() { return PLATUTIL_UI_MODE_DESKTOP; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = module;
  // The class goes with the module, so that a later load registers its own.
  if (reason == DLL_PROCESS_DETACH) UnregisterClassW(kWindowClass, module);
  return TRUE;
}
