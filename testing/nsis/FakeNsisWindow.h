// An NSIS installer window for in-process page tests: a dialog with the page frame (1018)
// and the Next, Cancel and Back buttons, whose own dialog procedure behaves as NSIS's does
// where the pages rely on it: a click on Next asks to move on (WM_NOTIFY_OUTER_NEXT 1), one on
// Cancel asks to leave (120), and every move is accepted. Together with FakeNsisHost (the stack) it hosts the real
// pages.
#pragma once

#include <nsisplugin.h>

#include <windows.h>

#include <functional>
#include <vector>

namespace gwplugin_test {

class FakeNsisWindow {
 public:
  FakeNsisWindow();
  ~FakeNsisWindow();
  FakeNsisWindow(const FakeNsisWindow&) = delete;
  FakeNsisWindow& operator=(const FakeNsisWindow&) = delete;

  HWND Handle() const { return m_window; }
  HWND Button(int id) const { return GetDlgItem(m_window, id); }
  bool ButtonEnabled(int id) const { return IsWindowEnabled(Button(id)) != FALSE; }

  // The moves NSIS's own procedure was asked for (1 next, -1 back, 120 cancel).
  std::vector<WPARAM> moves;
  // WM_COMMAND of the enabled Cancel button (a click, or a page pressing it) seen by the window.
  int cancelCommands = 0;
  // Called when Next is clicked, before NSIS moves (the page is still up).
  std::function<void()> onNextClicked;

  // Asks NSIS to move as its buttons do (WM_NOTIFY_OUTER_NEXT to the window).
  void Move(WPARAM code) const { SendMessageW(m_window, nsis::kWmNotifyOuterNext, code, 0); }

  // A safety net for page runs: after milliseconds the window cancels the page (as NSIS's
  // Cancel would) and GaveUp() turns true. A new call restarts the time; 0 stops it.
  void GiveUpAfter(UINT milliseconds);
  bool GaveUp() const { return m_gaveUp; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND m_window = nullptr;
  bool m_gaveUp = false;
};

// Runs action once the thread's message loop (a page's) runs, from a thread timer.
void WhenLoopRuns(std::function<void()> action);

}  // namespace gwplugin_test
