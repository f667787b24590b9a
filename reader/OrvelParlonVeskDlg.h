// The reader's main dialog, created from template 582 of the language module by the hidden
// main window: a skinned strip with the read and stop buttons, the voice list, the speed and
// volume sliders and the web links. It folds into a compact strip, keeps itself on a monitor and
// remembers its place. It is the reader's speech client: the read hot key and the read button
// capture the selected text of another application (CSelReaderDlg) and hand it to the speech
// framework, whose notifications drive the buttons.
#pragma once

#include <afxcmn.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ClodSliderCtrl.h"
#include "DialogSkin.h"
#include "HyperlinkStatic.h"
#include "SelReaderDlg.h"
#include "SkinButton.h"
#include "SpeechClientRegistration.h"
#include "SpeechProtocol.h"
#include "TTComboBox.h"
#include "UsageHint.h"
#include "draw_helpers.h"
#include "resource.h"

namespace VTTSFramework {
class CThSpeechControl;
}

namespace orv_reader {

// Where a window of `width` x `height` at (left, top) goes to lie inside `monitor`: pulled left
// when it sticks out on the right (else not left of the monitor), down when its top is above it,
// up when its bottom is below it.
POINT ClampedPosition(const RECT& window, const RECT& monitor);

// The speech settings the dialog starts with, from the stored registry values (-1: missing).
// A value outside its range counts as missing, so that the slider and the speech agree.
struct StartSettings {
  int volume = 100;  // 0..100
  int rate = 0;      // -10..10
};
StartSettings StartSettingsFrom(int storedVolume, int storedSpeed);

// The voice to select at start: the candidate when it names a valid entry of the list, else the
// first valid entry; -1 when the list has none.
int ChooseStartVoice(int candidate, const std::deque<VoiceInfo>& voices);

}  // namespace orv_reader

class COrvelParlonVeskDlg : public CSelReaderDlg {
 public:
  enum { IDD = IDD_ORVELPARLONVESK_DIALOG };
  enum : UINT_PTR { TIMER_HOTKEY_RELEASE = 623 };
  static constexpr UINT kHotKeyPollMs = 200;
  static constexpr UINT kFailedCaptureHintMs = 10000;
  // The read button's glyphs in the button sheet: read (idle, paused) and pause (speaking).
  static constexpr int kReadGlyphLeft = orv_reader::DialogSkin::kReadGlyphLeft;
  static constexpr int kPauseGlyphLeft = orv_reader::DialogSkin::kPauseGlyphLeft;

  // What the dialog does outside its window: open a document or address with the shell, and
  // show a message box. Tests replace them to see what would have been opened or shown.
  struct Shell {
    std::function<void(HWND owner, const wchar_t* verb, const std::wstring& file)> open;
    std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)> messageBox;
  };
  static Shell SystemShell();

  // The speech control thread that the dialog is a client of (the application's); NULL leaves
  // the dialog without speech.
  explicit COrvelParlonVeskDlg(VTTSFramework::CThSpeechControl* speech);
  ~COrvelParlonVeskDlg() override;

  BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr) override;

  void SetFolded(bool folded);
  void ClampToMonitor();

  // The capture's outcomes (CSelReaderDlg).
  void SetBusy(bool busy) override;
  void OnCaptureFailed() override;
  void OnTextCaptured(const std::wstring& text) override;

  // Shows (creating it) or fades out the usage hint of a type; autoHideMs 0 keeps it shown.
  void ShowHint(int type, bool show, UINT autoHideMs);

  // True from the client's registration until it is unregistered.
  bool IsClientRegistered() const { return m_registration.IsRegistered(); }
  const SpeechClient& Client() const { return m_speechClient; }
  bool IsIdle() const { return m_bIdle; }
  bool IsFolded() const { return m_bFolded; }
  bool IsCapturing() const { return m_bCapturing; }
  int UnfoldedWidth() const { return m_nUnfoldedWidth; }
  CUseHintDlg& Hint() { return m_hint; }
  // The left edge of the read button's looks in the button sheet (which glyph it shows).
  int ReadGlyph() const;
  // Ticks of the hot-key release wait so far.
  int HotKeyTicks() const { return m_nHotKeyTicks; }

  Shell m_shell;
  UINT m_nHotKeyPollMs = kHotKeyPollMs;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // Enter and Escape never close the dialog.
  void OnOK() override;
  void OnCancel() override;
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  afx_msg void OnPaint();
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg LRESULT OnQueryDragIcon(WPARAM, LPARAM);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnCloseButton();
  afx_msg void OnMinimizeButton();
  afx_msg void OnLanguagePage();
  afx_msg void OnReadButton();
  afx_msg void OnStopButton();
  afx_msg void OnLaunchParlon();
  afx_msg void OnFoldButton();
  afx_msg void OnLexiconButton();
  afx_msg void OnVoiceSelChange();
  afx_msg void OnVoiceProductLink();
  afx_msg LRESULT OnVoiceInitialized(WPARAM, LPARAM);
  afx_msg LRESULT OnSpeechStarted(WPARAM, LPARAM);
  afx_msg LRESULT OnSpeechFinished(WPARAM, LPARAM);
  afx_msg LRESULT OnSpeechError(WPARAM wParam, LPARAM lParam);
  afx_msg void OnHotKey(UINT nHotKeyId, UINT nKey1, UINT nKey2);
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg void OnDestroy();
  afx_msg LRESULT OnQueryEndSession(WPARAM, LPARAM);
  afx_msg LRESULT OnEndSession(WPARAM ending, LPARAM);
  afx_msg void OnClose();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  DECLARE_MESSAGE_MAP()

  // CSelReaderDlg: a failed capture (after the Notepad fallback, when there is one) shows the
  // usage hint for a while.
  void ShowUsageHint() override;
  // CSelReaderDlg: the fallback reads Notepad the way the read button starts a capture, so that
  // the hint fades as for any read; it never pauses.
  void OnReadRequest() override;

 private:
  orv_reader::DialogControls Controls();
  void SpeechStartUp();
  void FillVoiceCombo();
  void UpdateVoiceInfo();
  // The window's screen position to remember: its normal position while minimised or maximised.
  CPoint PositionToSave() const;
  // Write the position and the fold unless they are what was written last: the end of the
  // session saves them, and the teardown after it writes only what changed since.
  void SavePosition();
  void SaveFold();
  // Sends a request to the speech control window; SPEECH_FAILED when the client is not
  // registered.
  LRESULT SendSpeech(UINT message, WPARAM wParam, LPARAM lParam = 0);
  WPARAM ClientParam() { return reinterpret_cast<WPARAM>(&m_speechClient); }
  int CurrentVoice();
  CRect ChildRect(const CWnd& child) const;
  static bool AnyKeyDown();
  void Quit();

  VTTSFramework::CThSpeechControl* m_pSpeech;  // the application's; outlives the dialog
  HICON m_hIcon = nullptr;                     // icon 101 of the language module (shared)

  // Controls, in the order of their data exchange.
  CSkinButton m_btnLanguage;     // 1216
  CTTComboBox m_voiceCombo;      // 1177
  CSkinButton m_btnRead;         // 1204
  CSkinButton m_btnStop;         // 1205
  CSkinButton m_btnLaunch;       // 1226
  CSkinButton m_btnClose;        // 1027
  CSkinButton m_btnMinimize;     // 1029
  CPngClodSliderCtrl m_speed;    // 1001
  CPngClodSliderCtrl m_volume;   // 1000
  CSkinButton m_btnFold;         // 1030
  CSkinButton m_btnLexicon;      // 1214
  CHyperlinkStatic m_siteLink;   // 1221: bound, never shown
  CHyperlinkStatic m_voiceLink;  // 1222
  CSkinButton m_voiceTypeIcon;   // 1223

  CRect m_voiceListRect;  // client coordinates, taken after the layout
  bool m_bIdle = true;    // no speech of this client is running or paused
  bool m_bFolded = false;
  bool m_bCapturing = false;  // the read button shows the capture's busy animation
  int m_nUnfoldedWidth = 0;
  int m_nHotKeyTicks = 0;
  // Set by OnInitDialog when the dialog cannot start (Create then destroys it and fails).
  bool m_bStartFailed = false;

  // The skin: composed off screen, handed to the registered controls.
  draw_helpers::MemoryDC m_memory;
  draw_helpers::SkinBackgroundPainter m_painter;
  orv_reader::DialogSkin m_skin;

  CUseHintDlg m_hint;

  std::optional<CPoint> m_savedPosition;  // what SavePosition wrote last
  std::optional<bool> m_savedFold;        // what SaveFold wrote last

  // Read by the speech thread while registered.
  SpeechClient m_speechClient;
  // Declared after the client, so that it unregisters the client before the client goes.
  orv_reader::SpeechClientRegistration m_registration;
};
