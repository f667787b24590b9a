// The skinned controls' cost on screen: the main dialog's template with every skinned control
// (buttons, sliders, voice list, links) drawn from the English module's skin, against the same
// template drawn by the system's own controls. For each: WM_PAINTs and CPU time per second of
// an idle window, and the time to paint the whole window once (median of many, the two windows
// taking turns so the machine's load falls on both alike). Prints the figures and the ratios
// skinned / plain (goals: no paints while idle; a full paint within 4 times the plain one).
#include <afxcmn.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "DialogSkin.h"
#include "SkinSession.h"
#include "resource.h"

namespace {

// The English module beside the reader of this build.
std::wstring EnglishModule() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"..\\reader\\bin\\lang\\english.dll";
}

// The main dialog's template with its controls bound, skinned and laid out by the dialog's skin,
// or (skinned = false) with the template's controls drawn by the system, in the same places.
class CStrip : public CDialog {
 public:
  explicit CStrip(bool skinned)
      : m_skinned(skinned), m_painter(draw_helpers::SkinBackgroundPainter::kCached, this, &m_memory) {
    m_painter.SetDrawCallback([this](CDC& dc) { m_skin.Draw(dc, *this, false); });
  }
  ~CStrip() override {
    if (m_hWnd) DestroyWindow();
  }
  BOOL Create() { return CDialog::Create(582, nullptr); }
  draw_helpers::SkinBackgroundPainter& Painter() { return m_painter; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    if (m_skinned) orv_reader::DialogSkin::Bind(pDX, Controls());
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_skin.Load();
    if (m_skinned) {
      m_skin.Apply(Controls(), m_painter);
      m_voices.AddItem(L"Agata", L"SAPI 5 voice\nName: Agata");
      m_voices.AddItem(L"Kacper", L"SAPI 5 voice\nName: Kacper");
      m_voices.AddItem(L"Anna (high-fidelity edition, 22 kHz)", L"SAPI 5 voice\nName: Anna");
      m_voices.SetCurSel(0);
      m_skin.ShowVoiceType(m_voiceIcon, 2, true);
      m_volume.SetPos(80);
    } else {
      for (int id : {IDC_LANGUAGE_BUTTON, IDC_READ_BUTTON, IDC_STOP_BUTTON, IDC_LAUNCH_BUTTON, IDC_CLOSE_BUTTON,
                     IDC_MINIMIZE_BUTTON, IDC_FOLD_BUTTON, IDC_LEXICON_BUTTON, IDC_VOICE_TYPE_ICON})
        SendDlgItemMessage(id, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      for (const wchar_t* voice : {L"Agata", L"Kacper", L"Anna (high-fidelity edition, 22 kHz)"})
        SendDlgItemMessage(IDC_VOICE_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(voice));
      SendDlgItemMessage(IDC_VOICE_COMBO, CB_SETCURSEL, 0);
      SendDlgItemMessage(IDC_VOLUME_SLIDER, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
      SendDlgItemMessage(IDC_VOLUME_SLIDER, TBM_SETPOS, TRUE, 80);
    }
    const int width = m_skin.LayOut(*this);
    SetWindowPos(nullptr, 0, 0, width, m_skin.BodyHeight() + 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
  }
  void OnOK() override {}
  void OnCancel() override {}
  afx_msg void OnPaint() {
    if (!m_skinned) {
      Default();  // the plain yardstick paints as any dialog does
      return;
    }
    CPaintDC dc(this);
    CRect window;
    GetWindowRect(&window);
    m_painter.Paint(&dc, nullptr, nullptr, window.Width(), window.Height());
  }
  afx_msg BOOL OnEraseBkgnd(CDC*) { return m_skinned ? TRUE : static_cast<BOOL>(Default()); }
  afx_msg void OnHScroll(UINT nSBCode, UINT, CScrollBar* pScrollBar) {
    CWnd* control = reinterpret_cast<CWnd*>(pScrollBar);
    if (m_skinned && control == &m_speed) m_speed.OnScroll(nSBCode);
    if (m_skinned && control == &m_volume) m_volume.OnScroll(nSBCode);
  }
  DECLARE_MESSAGE_MAP()

 private:
  orv_reader::DialogControls Controls() {
    return {m_language, m_voices, m_read, m_stop,    m_launch,   m_close,     m_minimise,
            m_speed,    m_volume, m_fold, m_lexicon, m_siteLink, m_voiceLink, m_voiceIcon};
  }

  bool m_skinned;
  CSkinButton m_language, m_read, m_stop, m_launch, m_close, m_minimise, m_fold, m_lexicon, m_voiceIcon;
  CPngClodSliderCtrl m_speed, m_volume;
  CTTComboBox m_voices;
  CHyperlinkStatic m_siteLink, m_voiceLink;
  draw_helpers::MemoryDC m_memory;
  draw_helpers::SkinBackgroundPainter m_painter;
  orv_reader::DialogSkin m_skin;
};

BEGIN_MESSAGE_MAP(CStrip, CDialog)
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_WM_HSCROLL()
END_MESSAGE_MAP()

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  const auto value = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

// Pumps for `seconds`, answering the WM_PAINTs seen.
int Pump(double seconds) {
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  int paints = 0;
  for (QueryPerformanceCounter(&now); Seconds(start, now) < seconds; QueryPerformanceCounter(&now)) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      continue;
    }
    if (msg.message == WM_PAINT) ++paints;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return paints;
}

struct Idle {
  double paintsPerSecond = 0;
  double cpuMsPerSecond = 0;
};

Idle MeasureIdle(CStrip& panel, double seconds) {
  panel.ShowWindow(SW_SHOWNOACTIVATE);
  panel.UpdateWindow();
  Pump(0.3);  // the first paints settle
  const double cpu = ThreadCpuSeconds();
  const int paints = Pump(seconds);
  Idle idle;
  idle.paintsPerSecond = paints / seconds;
  idle.cpuMsPerSecond = (ThreadCpuSeconds() - cpu) * 1000.0 / seconds;
  panel.ShowWindow(SW_HIDE);
  Pump(0.1);
  return idle;
}

double PaintOnce(CStrip& panel) {
  panel.Painter().Invalidate();  // a whole paint composes the skin again
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  panel.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  QueryPerformanceCounter(&end);
  return Seconds(start, end) * 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  SkinSession session(EnglishModule());
  if (!session.ok()) {
    std::printf("english.dll or GDI+ missing (error %lu)\n", GetLastError());
    return 1;
  }
  CStrip skinned(true), plain(false);
  if (!skinned.Create() || !plain.Create()) {
    std::printf("template 582 did not make the windows (error %lu)\n", GetLastError());
    return 1;
  }
  skinned.SetWindowPos(nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  plain.SetWindowPos(nullptr, 20, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  const Idle idleSkinned = MeasureIdle(skinned, 2.0);
  const Idle idlePlain = MeasureIdle(plain, 2.0);

  skinned.ShowWindow(SW_SHOWNOACTIVATE);
  plain.ShowWindow(SW_SHOWNOACTIVATE);
  Pump(0.3);
  std::vector<double> timesSkinned, timesPlain;
  for (int i = 0; i < 60; ++i) {
    timesSkinned.push_back(PaintOnce(skinned));
    timesPlain.push_back(PaintOnce(plain));
  }
  const double paintSkinned = Median(timesSkinned), paintPlain = Median(timesPlain);
  std::printf("idle paints per second:   skinned %.1f, plain %.1f\n", idleSkinned.paintsPerSecond,
              idlePlain.paintsPerSecond);
  std::printf("idle CPU ms per second:   skinned %.2f, plain %.2f (ratio %.2f)\n", idleSkinned.cpuMsPerSecond,
              idlePlain.cpuMsPerSecond,
              idlePlain.cpuMsPerSecond > 0 ? idleSkinned.cpuMsPerSecond / idlePlain.cpuMsPerSecond : 0.0);
  std::printf("one whole paint (median): skinned %.0f us, plain %.0f us (ratio %.2f; goal <= 4)\n", paintSkinned,
              paintPlain, paintPlain > 0 ? paintSkinned / paintPlain : 0.0);
  return 0;
}
