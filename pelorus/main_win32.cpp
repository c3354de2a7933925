// pelorus.exe: keeps the logged-in user's minutes while the session lasts.
//
// The login starts it minimised, without arguments. "/minute=SECONDS" makes
// every SECONDS from the start one minute, for demos and tests. The program
// has one window of its own, the notice: a small topmost window captioned
// "Nox" whose static control holds the text ("5 minutes left today"), shown
// without taking the focus from the user's work.
#include <string>

#include "pelorus/minute_keeper.h"
#include "pelorus/minute_ticker.h"
#include "pelorus/service_minutes.h"
#include "platform/win32/win32_api.h"

namespace {

constexpr const char* kNoticeClass = "NoxPelorusNotice";
constexpr const char* kProductName = "Nox";
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 250;
// The expired message waits for its OK; the log-off comes after this anyway.
constexpr UINT_PTR kGraceTimer = 2;
constexpr UINT kGraceMs = 60000;
constexpr int kNoticeWidth = 280;
constexpr int kNoticeHeight = 100;

struct App {
  nox::MinuteKeeper* keeper = nullptr;
  nox::ServiceMinutes* watcher = nullptr;  // set when the service keeps the minutes
  nox::MinuteTicker* ticker = nullptr;
  HWND notice = nullptr;
  HWND notice_text = nullptr;
  bool busy = false;  // a minute is being counted (its message boxes pump timers too)
};

App* AppOf(HWND window) { return reinterpret_cast<App*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

void OnPoll(App& app) {
  if (app.busy || !app.ticker->MinutePassed()) return;
  app.busy = true;
  const bool kept = app.watcher != nullptr ? app.watcher->Poll() : app.keeper->CountMinute();
  app.busy = false;
  if (!kept) PostQuitMessage(0);
}

LRESULT CALLBACK NoticeProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  App* app = AppOf(window);
  switch (message) {
    case WM_TIMER:
      if (app != nullptr && wparam == kPollTimer) OnPoll(*app);
      if (app != nullptr && wparam == kGraceTimer) app->keeper->ForceLogOff();
      return 0;
    case WM_CLOSE:  // the user closes the notice; the keeping goes on
      ShowWindow(window, SW_HIDE);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

bool CreateNotice(HINSTANCE instance, App& app) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = NoticeProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kNoticeClass;
  if (RegisterClassA(&window_class) == 0) return false;
  RECT work = {0, 0, 800, 600};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  app.notice = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kNoticeClass, kProductName,
                               WS_POPUP | WS_CAPTION | WS_SYSMENU, work.right - kNoticeWidth - 8,
                               work.bottom - kNoticeHeight - 8, kNoticeWidth, kNoticeHeight,
                               nullptr, nullptr, instance, nullptr);
  if (app.notice == nullptr) return false;
  app.notice_text = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_CENTER, 8, 20,
                                    kNoticeWidth - 24, 24, app.notice, nullptr, instance, nullptr);
  SetWindowLongPtrA(app.notice, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&app));
  // The program was started minimised: this first ShowWindow takes that state,
  // so the notices below are shown with explicit, unaffected calls.
  ShowWindow(app.notice, SW_HIDE);
  return true;
}

void ShowNotice(const App& app, const std::string& text) {
  SetWindowTextA(app.notice_text, text.c_str());
  ShowWindow(app.notice, SW_SHOWNOACTIVATE);
  SetWindowPos(app.notice, HWND_TOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  App app;
  if (!CreateNotice(instance, app)) return 1;
  nox::MinuteKeeper keeper({[&app](const std::string& text) { ShowNotice(app, text); },
                            [&app] { SetTimer(app.notice, kGraceTimer, kGraceMs, nullptr); },
                            nullptr});
  app.keeper = &keeper;
  nox::MinuteTicker ticker(nox::MinuteSwitch(GetCommandLineA()).value_or(0));
  app.ticker = &ticker;
  nox::ServiceMinutes watcher([&app](const std::string& text) { ShowNotice(app, text); });
  switch (watcher.Start()) {
    case nox::ServiceMinutes::Watch::kMinutes:
      app.watcher = &watcher;
      break;
    case nox::ServiceMinutes::Watch::kNothing:
      return 0;
    case nox::ServiceMinutes::Watch::kNoService:
      if (!keeper.Start()) return 0;
      break;
  }
  SetTimer(app.notice, kPollTimer, kPollMs, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
