// A dialog that reads the text the user has selected in another application: it remembers the
// window of another process that last took the keyboard focus, brings it to the front, presses
// Ctrl+C for the user, watches the clipboard for the change and hands the Unicode text to the
// derived dialog. When that fails, the derived dialog may fall back on Notepad once per request.
#pragma once

#include <afxwin.h>

#include <string>

// Posted by the dialog to itself when the text of a capture has been read.
constexpr UINT WM_SELTEXT_READY = WM_USER + 0x310;

class CSelReaderDlg : public CDialog {
  DECLARE_DYNAMIC(CSelReaderDlg)
 public:
  enum : UINT_PTR { TIMER_CAPTURE_TIMEOUT = 1436 };
  static constexpr UINT kDefaultCaptureTimeoutMs = 1000;

  // Bounds of the waits of one capture and of the Notepad fallback. The system may refuse
  // synthesised input or the foreground switch, Notepad may not start or have no edit window:
  // every wait ends, and the capture then fails the ordinary way.
  struct Bounds {
    UINT keyDelayMs = 100;         // after each synthesised key event
    UINT keyStateWaitMs = 1000;    // until the key shows the state just sent
    UINT foregroundWaitMs = 1000;  // until the target is the foreground window
    UINT notepadIdleWaitMs = 10000;
    UINT notepadEditWaitMs = 5000;  // search for Notepad's edit window, every 100 ms
  };

  CSelReaderDlg();
  explicit CSelReaderDlg(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CSelReaderDlg() override;

  virtual void SetBusy(bool busy);
  virtual void OnCaptureFailed();
  virtual void OnTextCaptured(const std::wstring& text);

  // TRUE when the copy keys were sent. Either way a capture is under way until the text
  // arrives or the time-out ("wait", else 1000 ms) ends it.
  bool StartCapture();
  // Simulates Ctrl+C; false when a key never showed the state sent (the keys were refused).
  bool SendCopyKeys();
  // TRUE when non-empty Unicode text was read from the clipboard.
  static bool ReadClipboardText(std::wstring& text);
  // The text of a locked clipboard block of `bytes` bytes: up to its first terminator, and
  // never past the block, since another process need not have terminated it.
  static void CopyBoundedText(const void* data, SIZE_T bytes, std::wstring& text);

  static HWND LastFocusWnd();
  static void SetLastFocusWnd(HWND window);

  bool InClipboardChain() const { return m_bInChain != 0; }
  bool HasFocusHook() const { return m_hFocusHook != nullptr; }
  bool IsFallbackRunning() const { return m_bFallbackRunning; }

  Bounds m_bounds;

 protected:
  BOOL OnInitDialog() override;
  afx_msg void OnChangeCbChain(HWND hWndRemove, HWND hWndAfter);
  afx_msg void OnDrawClipboard();
  afx_msg LRESULT OnTextReady(WPARAM, LPARAM);
  afx_msg void OnDestroy();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  DECLARE_MESSAGE_MAP()

  // Ends a capture by its time-out: kills the timer, leaves the chain, SetBusy(false) and
  // OnCaptureFailed. The main dialog's own timer handler calls it for timer 1436.
  void EndCaptureByTimeout();
  // Abandons a running capture for a new request of the user: kills the timer, leaves the
  // chain and SetBusy(false). A fallback the capture belonged to ends with it, so that the new
  // request may fall back on Notepad again.
  void AbandonCapture();

  // The Notepad fallback after a failed capture (the main dialog's OnCaptureFailed calls it).
  // With "notepad_mode" 1 it starts Notepad when none runs (with "notepad_default_txt" when
  // that file opens), selects the whole text of the first Notepad's edit window and reads it
  // through OnReadRequest. It runs once per user request: when the capture it started fails
  // too, or a bound is reached, the usage hint is shown instead.
  void StartNotepadFallback();
  // The dialog's read action on LastFocusWnd; base: StartCapture.
  virtual void OnReadRequest();
  // A failed capture's end for the user; base: nothing. The main dialog shows the usage hint.
  virtual void ShowUsageHint();

  void InstallFocusHook();
  void RemoveFocusHook();
  // Leaves the clipboard viewer chain when the dialog is in it.
  void LeaveClipboardChain();

 private:
  static void CALLBACK OnFocusWinEvent(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG idObject, LONG idChild,
                                       DWORD thread, DWORD time);
  void JoinClipboardChain();
  bool BringToForeground(HWND window);
  UINT CaptureTimeout() const;
  bool RunNotepadFallback();

  HWINEVENTHOOK m_hFocusHook = nullptr;
  int m_bInChain = 0;
  HWND m_hNextViewer = nullptr;
  std::wstring m_capturedText;
  // The running (or just failed) capture was started by the fallback: its failure must not
  // start another one. Each capture's start sets or clears it; abandoning the capture or reading
  // its text clears it.
  bool m_bFallbackRunning = false;
  // The fallback's read request is under way: the capture it starts is the fallback's.
  bool m_bFallbackReading = false;
};

namespace notepad {
// A process named "notepad.exe" (any case) runs.
bool IsRunning();
// The first window of class "EDIT" (any case) under the top-level windows of the first Notepad
// process's threads; null when there is none.
HWND FindEdit();
}  // namespace notepad
