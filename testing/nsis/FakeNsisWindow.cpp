#include "FakeNsisWindow.h"

namespace gwplugin_test {

namespace {

FakeNsisWindow* g_window = nullptr;  // the one window of the thread's test
constexpr UINT_PTR kGiveUpTimer = 0x6E5;

// An empty dialog template in memory (DLGTEMPLATE + menu, class, title, all empty).
struct alignas(4) EmptyTemplate {
  DLGTEMPLATE header{WS_POPUP | WS_CAPTION, 0, 0, 0, 0, 300, 190};
  WORD menu = 0, window_class = 0, title = 0;
};

std::function<void()>& PendingAction() {
  static std::function<void()> action;
  return action;
}

void CALLBACK RunPendingAction(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  std::function<void()> action = std::move(PendingAction());
  PendingAction() = nullptr;
  if (action) action();
}

}  // namespace

FakeNsisWindow::FakeNsisWindow() {
  static EmptyTemplate tmpl;
  g_window = this;
  m_window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &tmpl.header, nullptr, &DialogProc, 0);
  if (!m_window) return;
  // The frame has the size of NSIS's page area (266 x 130 dialog units of an 8-point font).
  CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 400, 212, m_window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(nsis::kIdPageFrame)), nullptr, nullptr);
  for (int id : {nsis::kIdNext, nsis::kIdCancel, nsis::kIdBack})
    CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10 + 80 * id, 240, 70, 22, m_window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

FakeNsisWindow::~FakeNsisWindow() {
  if (m_window) DestroyWindow(m_window);
  if (g_window == this) g_window = nullptr;
}

void FakeNsisWindow::GiveUpAfter(UINT milliseconds) {
  if (milliseconds == 0) {
    KillTimer(m_window, kGiveUpTimer);
    return;
  }
  SetTimer(m_window, kGiveUpTimer, milliseconds, nullptr);
}

INT_PTR CALLBACK FakeNsisWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_TIMER:
      if (wParam != kGiveUpTimer) return FALSE;
      KillTimer(window, kGiveUpTimer);
      if (g_window) {
        g_window->m_gaveUp = true;
        g_window->Move(nsis::kOuterCancel);
      }
      return TRUE;
    case WM_COMMAND: {
      // NSIS ignores the command of a disabled button (Escape, which the dialog manager turns
      // into Cancel's command whatever that button's state, included).
      HWND button = GetDlgItem(window, LOWORD(wParam));
      if (button && !IsWindowEnabled(button)) return TRUE;
      // It answers its Next button by asking itself to move on, and its Cancel button by asking
      // to leave.
      if (LOWORD(wParam) == nsis::kIdNext) {
        if (g_window && g_window->onNextClicked) g_window->onNextClicked();
        PostMessageW(window, nsis::kWmNotifyOuterNext, nsis::kOuterNext, 0);
      } else if (LOWORD(wParam) == nsis::kIdCancel && g_window) {
        ++g_window->cancelCommands;
        PostMessageW(window, nsis::kWmNotifyOuterNext, nsis::kOuterCancel, 0);
      }
      return TRUE;
    }
    default:
      if (message == static_cast<UINT>(nsis::kWmNotifyOuterNext)) {
        if (g_window) g_window->moves.push_back(wParam);
        return 0;  // accepted
      }
      return FALSE;
  }
}

void WhenLoopRuns(std::function<void()> action) {
  PendingAction() = std::move(action);
  SetTimer(nullptr, 0, 0, &RunPendingAction);
}

}  // namespace gwplugin_test
