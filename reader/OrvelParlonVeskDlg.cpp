#include "OrvelParlonVeskDlg.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <vector>

#include "LanguageModule.h"
#include "LanguageTable.h"
#include "MakerLinks.h"
#include "OrvelTTSParams.h"
#include "ReaderTestHooks.h"
#include "Registry.h"
#include "Settings.h"
#include "TTSMessages.h"
#include "ThSpeechControl.h"
#include "UniqueHandle.h"

namespace orv_reader {

POINT ClampedPosition(const RECT& window, const RECT& monitor) {
  const LONG width = window.right - window.left, height = window.bottom - window.top;
  POINT at = {window.left, window.top};
  if (window.right > monitor.right)
    at.x = monitor.right - width;
  else
    at.x = std::max(window.left, monitor.left);
  if (window.top < monitor.top)
    at.y = monitor.top;
  else if (window.bottom > monitor.bottom)
    at.y = monitor.bottom - height;
  return at;
}

StartSettings StartSettingsFrom(int storedVolume, int storedSpeed) {
  StartSettings settings;
  if (storedVolume >= 0 && storedVolume <= 100) settings.volume = storedVolume;
  // The speed is stored as the rate plus 10.
  if (storedSpeed >= 0 && storedSpeed <= 20) settings.rate = storedSpeed - 10;
  return settings;
}

int ChooseStartVoice(int candidate, const std::deque<VoiceInfo>& voices) {
  if (candidate >= 0 && static_cast<size_t>(candidate) < voices.size() && voices[static_cast<size_t>(candidate)].valid)
    return candidate;
  for (size_t i = 0; i < voices.size(); ++i)
    if (voices[i].valid) return static_cast<int>(i);
  return -1;
}

}  // namespace orv_reader

namespace {

constexpr UINT kSwallowedMessage = 0x952;
constexpr const wchar_t* kProductKey = L"SOFTWARE\\ORVEL\\Orvel Parlon";
constexpr DWORD kMaxProgramChars = 260;

CString ModuleString(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

// REG_SZ "exe-path" of the bigger reader product; empty when missing or too long.
std::wstring ReadProductProgram() {
  const win::RegistryKey key(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ | reader_settings::kView);
  std::wstring path;
  if (!key.ReadPlainString(L"exe-path", kMaxProgramChars, path)) return std::wstring();
  return path;
}

struct EditionTexts {
  CString edition;
  UINT label;
};

EditionTexts EditionOf(int type) {
  EditionTexts texts;
  switch (type) {
    case 2:
      texts.edition.Format(L"%s (%s)", ModuleString(IDS_EDITION_MAKER).GetString(),
                           ModuleString(IDS_EDITION_TYPE2).GetString());
      texts.label = IDS_LABEL_TYPE2;
      break;
    case 3:
      texts.edition = ModuleString(IDS_EDITION_TYPE3);
      texts.label = IDS_LABEL_TYPE3;
      break;
    case 4:
      texts.edition.Format(L"%s (%s)", ModuleString(IDS_EDITION_MAKER).GetString(),
                           ModuleString(IDS_EDITION_TYPE4).GetString());
      texts.label = IDS_LABEL_TYPE4_LIST;
      break;
    default:
      texts.edition = ModuleString(IDS_EDITION_OTHER);
      texts.label = IDS_LABEL_OTHER;
      break;
  }
  return texts;
}

}  // namespace

BEGIN_MESSAGE_MAP(COrvelParlonVeskDlg, CSelReaderDlg)
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_MESSAGE(WM_QUERYDRAGICON, &COrvelParlonVeskDlg::OnQueryDragIcon)
  ON_WM_LBUTTONDOWN()
  ON_BN_CLICKED(IDC_CLOSE_BUTTON, &COrvelParlonVeskDlg::OnCloseButton)
  ON_BN_CLICKED(IDC_MINIMIZE_BUTTON, &COrvelParlonVeskDlg::OnMinimizeButton)
  ON_BN_DOUBLECLICKED(IDC_LANGUAGE_BUTTON, &COrvelParlonVeskDlg::OnLanguagePage)
  ON_BN_CLICKED(IDC_READ_BUTTON, &COrvelParlonVeskDlg::OnReadButton)
  ON_BN_CLICKED(IDC_STOP_BUTTON, &COrvelParlonVeskDlg::OnStopButton)
  ON_BN_CLICKED(IDC_LAUNCH_BUTTON, &COrvelParlonVeskDlg::OnLaunchParlon)
  ON_BN_CLICKED(IDC_FOLD_BUTTON, &COrvelParlonVeskDlg::OnFoldButton)
  ON_BN_CLICKED(IDC_LEXICON_BUTTON, &COrvelParlonVeskDlg::OnLexiconButton)
  ON_CBN_SELCHANGE(IDC_VOICE_COMBO, &COrvelParlonVeskDlg::OnVoiceSelChange)
  ON_BN_CLICKED(IDC_VOICE_LINK, &COrvelParlonVeskDlg::OnVoiceProductLink)
  ON_MESSAGE(WM_SPEECH_VOICE_READY, &COrvelParlonVeskDlg::OnVoiceInitialized)
  ON_MESSAGE(WM_SPEECH_STARTED, &COrvelParlonVeskDlg::OnSpeechStarted)
  ON_MESSAGE(WM_SPEECH_FINISHED, &COrvelParlonVeskDlg::OnSpeechFinished)
  ON_MESSAGE(WM_SPEECH_ERROR, &COrvelParlonVeskDlg::OnSpeechError)
  ON_WM_HOTKEY()
  ON_WM_HSCROLL()
  ON_WM_DESTROY()
  ON_MESSAGE(WM_QUERYENDSESSION, &COrvelParlonVeskDlg::OnQueryEndSession)
  ON_MESSAGE(WM_ENDSESSION, &COrvelParlonVeskDlg::OnEndSession)
  ON_WM_CLOSE()
  ON_WM_TIMER()
  ON_WM_WINDOWPOSCHANGED()
END_MESSAGE_MAP()

COrvelParlonVeskDlg::Shell COrvelParlonVeskDlg::SystemShell() {
  Shell shell;
  shell.open = [](HWND owner, const wchar_t* verb, const std::wstring& file) {
    const auto result =
        reinterpret_cast<INT_PTR>(::ShellExecuteW(owner, verb, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
      wchar_t text[96];
      std::swprintf(text, 96, L"Orvel Murmelin: ShellExecute failed with %d\n", static_cast<int>(result));
      ::OutputDebugStringW(text);
    }
  };
  shell.messageBox = [](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
  };
  return shell;
}

COrvelParlonVeskDlg::COrvelParlonVeskDlg(VTTSFramework::CThSpeechControl* speech)
    : CSelReaderDlg(IDD, nullptr),
      m_shell(SystemShell()),
      m_pSpeech(speech),
      m_painter(draw_helpers::SkinBackgroundPainter::kCached, this, &m_memory) {
  m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
  m_painter.SetDrawCallback([this](CDC& dc) { m_skin.Draw(dc, *this, m_bFolded); });
}

COrvelParlonVeskDlg::~COrvelParlonVeskDlg() {
  // The window goes before the members it paints with and the client it speaks for.
  if (m_hWnd) DestroyWindow();
}

BOOL COrvelParlonVeskDlg::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  m_bStartFailed = false;
  if (!CSelReaderDlg::Create(nIDTemplate, pParentWnd)) return FALSE;
  if (!m_bStartFailed) return TRUE;
  DestroyWindow();
  return FALSE;
}

void COrvelParlonVeskDlg::DoDataExchange(CDataExchange* pDX) {
  CSelReaderDlg::DoDataExchange(pDX);
  orv_reader::DialogSkin::Bind(pDX, Controls());
}

// ---- Start-up ----------------------------------------------------------------------------------

BOOL COrvelParlonVeskDlg::OnInitDialog() {
  CSelReaderDlg::OnInitDialog();
  // The base's exchange does not tell a control the template lacks; a second one binds nothing
  // new and answers whether every control is bound. Without all of them the skin cannot work.
  if (!UpdateData(FALSE) || orv_reader::testhooks::FaultNamed(orv_reader::testhooks::FaultPoint::DialogStart)) {
    m_bStartFailed = true;
    return TRUE;
  }
  ModifyStyle(0, WS_SYSMENU | WS_MINIMIZEBOX);
  SetWindowText(L"Orvel Murmelin");
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  m_skin.Load();
  m_skin.Apply(Controls(), m_painter);
  m_nUnfoldedWidth = m_skin.LayOut(*this);
  m_voiceListRect = ChildRect(m_voiceCombo);
  SpeechStartUp();
  if (m_bStartFailed) return TRUE;

  int x = 0, y = 0;
  const bool stored = ReadWindowPos(x, y) != FALSE;
  SetWindowPos(nullptr, x, y, m_nUnfoldedWidth, m_skin.BodyHeight() + 1,
               SWP_NOZORDER | SWP_NOACTIVATE | (stored ? 0 : SWP_NOMOVE));
  ClampToMonitor();
  if (IsFirstRun()) ShowHint(1, true, 0);
  SetFolded(ReadFoldState() != FALSE);
  RegisterReadHotKey(CCfgData::Instance(), this);
  return TRUE;
}

orv_reader::DialogControls COrvelParlonVeskDlg::Controls() {
  return {m_btnLanguage, m_voiceCombo, m_btnRead, m_btnStop,    m_btnLaunch, m_btnClose,  m_btnMinimize,
          m_speed,       m_volume,     m_btnFold, m_btnLexicon, m_siteLink,  m_voiceLink, m_voiceTypeIcon};
}

CRect COrvelParlonVeskDlg::ChildRect(const CWnd& child) const {
  CRect r;
  child.GetWindowRect(&r);
  ScreenToClient(&r);
  return r;
}

void COrvelParlonVeskDlg::SpeechStartUp() {
  if (!m_pSpeech) return;
  VTTSFramework::CThSpeechControl* speech = m_pSpeech;
  // The control window exists once the thread sets its ready event.
  const bool registered = m_registration.Register(
      m_speechClient, m_hWnd, speech->m_readyEvent,
      [speech]() -> HWND {
        return speech->GetControlWindow() != nullptr ? speech->GetControlWindow()->GetSafeHwnd() : nullptr;
      },
      speech->m_hThread);
  // A speech thread that ended before it was ready leaves the reader nothing to read with: the
  // start ends (Create fails). One without a control window runs on, and every request fails.
  if (!registered && ::WaitForSingleObject(speech->m_hThread, 0) == WAIT_OBJECT_0) {
    m_bStartFailed = true;
    return;
  }

  // The voice: the maker's voice for the system's language on the first run, else the stored
  // one; either only when it names a voice of the list as it is now (voices come and go with
  // their products), else the list's first voice.
  std::deque<VoiceInfo> voices;
  VTTSFramework::CThSpeechControl::GetVoiceList(speech, voices);
  const int candidate = IsFirstRun() ? speech->GetVoiceManager().FindMakerVoiceForLanguage(::GetSystemDefaultLangID())
                                     : ReadCurrentVoice();
  const int voice = orv_reader::ChooseStartVoice(candidate, voices);
  if (voice != -1 && voice != CurrentVoice()) {
    m_speechClient.voiceIndex = voice;
    m_speechClient.reserved = 0;
    m_speechClient.resumeAfterVoiceChange = 0;
    SendSpeech(WM_SPEECH_SELECT_VOICE, ClientParam());
  }

  const orv_reader::StartSettings settings =
      orv_reader::StartSettingsFrom(ReadAppDword(L"cur_volume"), ReadAppDword(L"cur_speed"));
  m_speechClient.volume = settings.volume;
  SendSpeech(WM_SPEECH_APPLY_VOLUME, ClientParam());
  m_volume.SetPos(settings.volume);
  m_speechClient.rate = settings.rate;
  SendSpeech(WM_SPEECH_APPLY_RATE, ClientParam());
  m_speed.SetPos(settings.rate);

  FillVoiceCombo();
}

LRESULT COrvelParlonVeskDlg::SendSpeech(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND control = m_registration.ControlWindow();
  if (!control) return SPEECH_FAILED;
  return ::SendMessageW(control, message, wParam, lParam);
}

int COrvelParlonVeskDlg::CurrentVoice() {
  return m_registration.IsRegistered() ? static_cast<int>(SendSpeech(WM_SPEECH_GET_VOICE, 0)) : -1;
}

// ---- Voices ------------------------------------------------------------------------------------

void COrvelParlonVeskDlg::FillVoiceCombo() {
  std::deque<VoiceInfo> voices;
  VTTSFramework::CThSpeechControl::GetVoiceList(m_pSpeech, voices);
  const int current = CurrentVoice();
  m_voiceCombo.ResetContent();
  int selected = -1;
  for (size_t i = 0; i < voices.size(); ++i) {
    const VoiceInfo& voice = voices[i];
    if (!voice.valid) continue;
    const CString format =
        ModuleString(voice.engineKind == VOICE_ENGINE_SAPI5 ? IDS_VOICE_TIP_SAPI5 : IDS_VOICE_TIP_SAPI4);
    const EditionTexts texts = EditionOf(voice.type);
    CString tip;
    tip.Format(format.GetString(), voice.tokenId.c_str(), voice.name.c_str(), voice.vendor.c_str(),
               texts.edition.GetString());
    const CString label = ModuleString(texts.label);
    if (!label.IsEmpty()) {
      tip += L"\n\n";
      tip += label;
    }

    std::wstring code;
    if (const wchar_t* iso = LangIdToIsoCode(voice.language)) code = iso;
    if (!code.empty()) ::CharUpperBuffW(&code[0], static_cast<DWORD>(code.size()));
    CString text;
    text.Format(L"%s (%s)", voice.name.c_str(), code.c_str());

    const int item = m_voiceCombo.AddItem(text, tip);
    if (item < 0) continue;
    m_voiceCombo.SetItemData(item, static_cast<DWORD_PTR>(i));
    if (static_cast<int>(i) == current) selected = item;
  }
  if (m_voiceCombo.GetCount() > 0) m_voiceCombo.SetCurSel(selected >= 0 ? selected : 0);
  UpdateVoiceInfo();
}

void COrvelParlonVeskDlg::UpdateVoiceInfo() {
  const int item = m_voiceCombo.GetCurSel();
  VoiceInfo voice;
  if (item >= 0 && VTTSFramework::CThSpeechControl::GetVoiceInfo(
                       m_pSpeech, static_cast<int>(m_voiceCombo.GetItemData(item)), voice)) {
    UINT label = IDS_LABEL_OTHER;
    switch (voice.type) {
      case 2:
        label = IDS_LABEL_TYPE2;
        break;
      case 3:
        label = IDS_LABEL_TYPE3;
        break;
      case 4:
        label = IDS_LABEL_TYPE4_ICON;
        break;
      default:
        break;
    }
    const CString text = ModuleString(label);
    m_voiceTypeIcon.SetTooltip(text.IsEmpty() ? nullptr : text.GetString());
    m_skin.ShowVoiceType(m_voiceTypeIcon, voice.type, !voice.params || voice.params->secondGeneration);
  }
  m_voiceLink.ShowWindow(SW_SHOW);
  m_voiceCombo.SetWindowPos(nullptr, 0, 0, m_voiceListRect.Width(), m_voiceListRect.Height(),
                            SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void COrvelParlonVeskDlg::OnVoiceSelChange() {
  const int item = m_voiceCombo.GetCurSel();
  if (item < 0) return;
  const int voice = static_cast<int>(m_voiceCombo.GetItemData(item));
  if (voice == CurrentVoice()) return;
  m_speechClient.voiceIndex = voice;
  m_speechClient.reserved = 0;
  m_speechClient.resumeAfterVoiceChange = 1;
  // Until the new voice is ready (or has failed) another change would only queue up.
  if (SendSpeech(WM_SPEECH_SELECT_VOICE, ClientParam()) == SPEECH_DONE) m_voiceCombo.EnableWindow(FALSE);
}

LRESULT COrvelParlonVeskDlg::OnVoiceInitialized(WPARAM, LPARAM) {
  m_voiceCombo.EnableWindow(TRUE);
  UpdateVoiceInfo();
  return 0;
}

// ---- Reading -----------------------------------------------------------------------------------

void COrvelParlonVeskDlg::SetBusy(bool busy) {
  m_bCapturing = busy;
  m_btnRead.SetBusy(busy);
}

void COrvelParlonVeskDlg::OnCaptureFailed() { StartNotepadFallback(); }

void COrvelParlonVeskDlg::ShowUsageHint() { ShowHint(1, true, kFailedCaptureHintMs); }

void COrvelParlonVeskDlg::OnReadRequest() {
  // As the read button, but always a new capture: the reader may have begun to speak since the
  // failed capture started, and the button would then pause that speech instead of reading.
  m_hint.Hide();
  if (m_bCapturing) AbandonCapture();
  StartCapture();
}

void COrvelParlonVeskDlg::OnTextCaptured(const std::wstring& text) {
  SetBusy(false);
  SpeakArgs args;
  args.client = &m_speechClient;
  args.text = text.c_str();
  args.flags = SPEAKF_PURGE;
  SendSpeech(WM_SPEECH_SPEAK, reinterpret_cast<WPARAM>(&args));
}

void COrvelParlonVeskDlg::OnReadButton() {
  m_hint.Hide();
  // Pressing read again abandons the running capture and starts a new one.
  if (m_bCapturing) AbandonCapture();
  if (m_bIdle) {
    StartCapture();
    return;
  }
  const int paused = TogglePause(&m_speechClient);
  if (paused == -1) return;
  orv_reader::DialogSkin::ShowGlyph(m_btnRead, paused == 1 ? kReadGlyphLeft : kPauseGlyphLeft);
  m_btnRead.Invalidate(FALSE);
}

int COrvelParlonVeskDlg::ReadGlyph() const {
  const draw_helpers::DrawList& normal = const_cast<CSkinButton&>(m_btnRead).Skin().lists[draw_helpers::BUTTON_NORMAL];
  if (normal.empty() || !normal.front()) return -1;
  return static_cast<const draw_helpers::CDrawImageArea*>(normal.front().get())->Source().left;
}

LRESULT COrvelParlonVeskDlg::OnSpeechStarted(WPARAM, LPARAM) {
  m_bIdle = false;
  m_btnRead.SetWindowText(ModuleString(IDS_PAUSE));
  m_btnRead.EnableWindow(TRUE);
  orv_reader::DialogSkin::ShowGlyph(m_btnRead, kPauseGlyphLeft);
  m_btnRead.Invalidate(FALSE);
  m_btnStop.EnableWindow(TRUE);
  return 0;
}

LRESULT COrvelParlonVeskDlg::OnSpeechFinished(WPARAM, LPARAM) {
  m_bIdle = true;
  m_btnRead.SetWindowText(ModuleString(IDS_READ));
  orv_reader::DialogSkin::ShowGlyph(m_btnRead, kReadGlyphLeft);
  m_btnRead.Invalidate(FALSE);
  m_btnStop.EnableWindow(FALSE);
  return 0;
}

LRESULT COrvelParlonVeskDlg::OnSpeechError(WPARAM wParam, LPARAM lParam) {
  const int code = static_cast<int>(wParam);
  CString caption;
  caption.Format(L"Orvel Murmelin - %s", ModuleString(IDS_VOICE_ERROR_CAPTION).GetString());
  VoiceInfo voice;
  const bool known = VTTSFramework::CThSpeechControl::GetVoiceInfo(m_pSpeech, static_cast<int>(lParam), voice);
  // A maker voice reports its failures itself.
  if (!(known && voice.params)) {
    UINT text = 0;
    if (code == TTSERR_SPEAK_FAILED) text = IDS_SPEAK_FAILED;
    if (code == TTSERR_VOICE_NOT_FOUND) text = IDS_VOICE_NOT_FOUND;
    if (text && m_shell.messageBox)
      m_shell.messageBox(m_hWnd, ModuleString(text).GetString(), caption.GetString(), MB_ICONERROR);
  }
  m_voiceCombo.EnableWindow(TRUE);
  return 0;
}

void COrvelParlonVeskDlg::OnStopButton() { SendSpeech(WM_SPEECH_STOP, ClientParam()); }

void COrvelParlonVeskDlg::OnLexiconButton() {
  EngineDialogArgs args;
  args.kind = VTTSFramework::TTS_DIALOG_ADD_REMOVE_WORD;
  args.text = nullptr;
  SendSpeech(WM_SPEECH_SHOW_ENGINE_DIALOG, reinterpret_cast<WPARAM>(m_hWnd), reinterpret_cast<LPARAM>(&args));
}

void COrvelParlonVeskDlg::OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
  CWnd* source = reinterpret_cast<CWnd*>(pScrollBar);
  if (source == &m_speed) {
    m_speed.OnScroll(nSBCode);
    const int rate = m_speed.GetPos();
    if (rate >= -10 && rate <= 10 && m_registration.IsRegistered()) {
      m_speechClient.rate = rate;
      SendSpeech(WM_SPEECH_APPLY_RATE, ClientParam());
    }
  } else if (source == &m_volume) {
    m_volume.OnScroll(nSBCode);
    const int volume = m_volume.GetPos();
    if (volume >= 0 && volume <= 100 && m_registration.IsRegistered()) {
      m_speechClient.volume = volume;
      SendSpeech(WM_SPEECH_APPLY_VOLUME, ClientParam());
    }
  }
  CSelReaderDlg::OnHScroll(nSBCode, nPos, pScrollBar);
}

bool COrvelParlonVeskDlg::AnyKeyDown() {
  // The physical state of the keyboard, not the thread's own key state: that one follows only
  // the keyboard messages the thread takes from its queue, and the hot key reaches the dialog
  // while another application has the keyboard, so a key it once saw down would stay down and
  // the read would never run.
  for (int key = 1; key < 256; ++key)
    if (::GetAsyncKeyState(key) & 0x8000) return true;
  return false;
}

void COrvelParlonVeskDlg::OnHotKey(UINT nHotKeyId, UINT, UINT) {
  if (nHotKeyId != static_cast<UINT>(READ_HOTKEY_ID)) return;
  SetTimer(TIMER_HOTKEY_RELEASE, m_nHotKeyPollMs, nullptr);
}

void COrvelParlonVeskDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == TIMER_HOTKEY_RELEASE) {
    ++m_nHotKeyTicks;
    // Copy keys pressed while the user still holds the hot key's would make another shortcut.
    if (!AnyKeyDown()) {
      KillTimer(TIMER_HOTKEY_RELEASE);
      OnReadButton();
    }
  } else if (nIDEvent == TIMER_CAPTURE_TIMEOUT) {
    EndCaptureByTimeout();
  }
  CDialog::OnTimer(nIDEvent);
}

// ---- Links and the bigger reader ---------------------------------------------------------------

void COrvelParlonVeskDlg::OnLanguagePage() {
  if (m_shell.open) m_shell.open(nullptr, nullptr, orv_reader::LanguagePageAddress(GetUiLanguageCode()));
}

void COrvelParlonVeskDlg::OnVoiceProductLink() {
  const int item = m_voiceCombo.GetCurSel();
  VoiceInfo voice;
  if (item >= 0)
    VTTSFramework::CThSpeechControl::GetVoiceInfo(m_pSpeech, static_cast<int>(m_voiceCombo.GetItemData(item)), voice);
  const std::wstring address = orv_reader::VoiceProductAddress(voice, GetUiLanguageCode());
  if (IsDiagnosticMode() && m_shell.messageBox)
    m_shell.messageBox(nullptr, address, L"OP Diagnostic", MB_ICONINFORMATION);
  if (m_shell.open) m_shell.open(nullptr, nullptr, address);
}

void COrvelParlonVeskDlg::OnLaunchParlon() {
  const std::wstring program = ReadProductProgram();
  if (!program.empty() && m_shell.open) m_shell.open(m_hWnd, L"open", program);
}

// ---- Skin, fold and placement ------------------------------------------------------------------

void COrvelParlonVeskDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    CRect client;
    GetClientRect(&client);
    const int x = (client.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
    return;
  }
  CPaintDC dc(this);
  CRect window;
  GetWindowRect(&window);
  m_painter.Paint(&dc, nullptr, nullptr, window.Width(), window.Height());
}

BOOL COrvelParlonVeskDlg::OnEraseBkgnd(CDC*) { return TRUE; }  // the skin covers everything

LRESULT COrvelParlonVeskDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }

void COrvelParlonVeskDlg::SetFolded(bool folded) {
  const CRect fold = ChildRect(m_btnFold), minimize = ChildRect(m_btnMinimize), close = ChildRect(m_btnClose);
  CRect window;
  GetWindowRect(&window);
  const int width = folded ? fold.right + minimize.Width() + close.Width() + 10 : m_nUnfoldedWidth;
  if (folded)
    m_voiceCombo.ShowWindow(SW_HIDE);
  else
    m_voiceCombo.ShowWindow(SW_SHOW);
  SetWindowPos(nullptr, 0, 0, width, window.Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const int closeLeft = width - close.Width() - 3;
  m_btnClose.SetWindowPos(nullptr, closeLeft, 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_btnMinimize.SetWindowPos(nullptr, closeLeft - 13, minimize.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  orv_reader::DialogSkin::ShowGlyph(
      m_btnFold, folded ? orv_reader::DialogSkin::kUnfoldGlyphLeft : orv_reader::DialogSkin::kFoldGlyphLeft);
  m_btnFold.Invalidate(FALSE);

  const int show = folded ? SW_HIDE : SW_SHOW;
  for (CWnd* control :
       std::initializer_list<CWnd*>{&m_speed, &m_volume, &m_btnLexicon, &m_voiceCombo, &m_voiceTypeIcon})
    control->ShowWindow(show);

  ClampToMonitor();
  GetWindowRect(&window);
  win::UniqueRegion region(::CreateRoundRectRgn(0, 0, window.Width() + 1, window.Height() + 1, 5, 5));
  // The system owns the region once it is set.
  if (region && ::SetWindowRgn(m_hWnd, region.get(), TRUE)) region.release();
  m_bFolded = folded;
  m_painter.Invalidate();
  Invalidate(FALSE);
  UpdateWindow();
}

void COrvelParlonVeskDlg::OnFoldButton() { SetFolded(!m_bFolded); }

namespace {

struct ClampPass {
  HWND window;
  bool anyMonitor = false;
};

void MoveInto(HWND window, const RECT& monitor) {
  RECT r;
  if (!::GetWindowRect(window, &r)) return;
  const POINT at = orv_reader::ClampedPosition(r, monitor);
  if (at.x != r.left || at.y != r.top)
    ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CALLBACK ClampToOneMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
  auto* pass = reinterpret_cast<ClampPass*>(param);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (::GetMonitorInfoW(monitor, &info)) {
    pass->anyMonitor = true;
    MoveInto(pass->window, info.rcMonitor);
  }
  return TRUE;
}

}  // namespace

void COrvelParlonVeskDlg::ClampToMonitor() {
  CRect window;
  GetWindowRect(&window);
  ClampPass pass{m_hWnd};
  ::EnumDisplayMonitors(nullptr, &window, ClampToOneMonitor, reinterpret_cast<LPARAM>(&pass));
  if (pass.anyMonitor) return;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info))
    MoveInto(m_hWnd, info.rcMonitor);
}

void COrvelParlonVeskDlg::OnLButtonDown(UINT, CPoint) {
  // The body of the strip is its title bar: the user drags the window by it.
  ::ReleaseCapture();
  POINT cursor{};
  ::GetCursorPos(&cursor);
  SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(cursor.x, cursor.y));
  Default();
}

void COrvelParlonVeskDlg::OnMinimizeButton() { ShowWindow(SW_MINIMIZE); }

void COrvelParlonVeskDlg::OnWindowPosChanged(WINDOWPOS* lpwndpos) {
  Default();
  if (lpwndpos && !(lpwndpos->flags & SWP_NOMOVE)) m_hint.FollowOwner(this);
}

void COrvelParlonVeskDlg::ShowHint(int type, bool show, UINT autoHideMs) {
  if (type != 1) return;
  if (show)
    m_hint.ShowBelow(this, autoHideMs);
  else
    m_hint.Hide();
}

// ---- The end -----------------------------------------------------------------------------------

CPoint COrvelParlonVeskDlg::PositionToSave() const {
  CRect window;
  GetWindowRect(&window);
  if (!IsIconic() && !IsZoomed()) return window.TopLeft();
  // A minimised window sits at (-32000, -32000); its place on the desktop is its normal
  // position, given in workspace coordinates: relative to the work area of its monitor.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  if (!::GetWindowPlacement(m_hWnd, &placement)) return window.TopLeft();
  CRect normal(placement.rcNormalPosition);
  if (!(GetExStyle() & WS_EX_TOOLWINDOW)) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoW(::MonitorFromRect(&normal, MONITOR_DEFAULTTOPRIMARY), &info))
      normal.OffsetRect(info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
  }
  return normal.TopLeft();
}

void COrvelParlonVeskDlg::SavePosition() {
  const CPoint position = PositionToSave();
  if (m_savedPosition == position) return;
  WriteWindowPos(position.x, position.y);
  m_savedPosition = position;
}

void COrvelParlonVeskDlg::SaveFold() {
  if (m_savedFold == m_bFolded) return;
  WriteFoldState(m_bFolded ? TRUE : FALSE);
  m_savedFold = m_bFolded;
}

void COrvelParlonVeskDlg::OnDestroy() {
  // A dialog that never started has no place or fold of its own to remember.
  if (m_bStartFailed) return CSelReaderDlg::OnDestroy();
  SavePosition();
  KillTimer(TIMER_HOTKEY_RELEASE);
  UnregisterReadHotKey(CCfgData::Instance(), m_hWnd);
  RemoveFocusHook();
  // A dialog destroyed without passing through Quit (the system ending the session, for
  // example) must still leave the speech thread with no pointer to its client.
  m_registration.Unregister();
  CSelReaderDlg::OnDestroy();
  SaveFold();
}

// The reader never stands in the way of a log-off or shut-down.
LRESULT COrvelParlonVeskDlg::OnQueryEndSession(WPARAM, LPARAM) { return TRUE; }

LRESULT COrvelParlonVeskDlg::OnEndSession(WPARAM ending, LPARAM) {
  // The system may end the process as soon as this returns, without the exit path: save now what
  // that path saves, in its order, the speech settings through the same close of the control
  // window (which, as at the exit, drops the reads still waiting: the session is ending). That
  // close waits on no voice: one inside its engine's dialog would hold the log-off up.
  if (ending) {
    SavePosition();
    SaveFold();
    SendSpeech(WM_SPEECH_CLOSE, 1, SPEECH_CLOSE_SAVE_AT_ONCE);
  }
  return 0;
}

void COrvelParlonVeskDlg::Quit() {
  m_registration.Unregister();
  AfxPostQuitMessage(0);
}

void COrvelParlonVeskDlg::OnCloseButton() { Quit(); }

void COrvelParlonVeskDlg::OnClose() {
  Quit();
  if (m_hint.m_hWnd) m_hint.DestroyWindow();
  // The default turns WM_CLOSE into IDCANCEL, which does nothing: the dialog is destroyed
  // with the main window when the application ends.
  CSelReaderDlg::OnClose();
}

void COrvelParlonVeskDlg::OnOK() {}

void COrvelParlonVeskDlg::OnCancel() {}

BOOL COrvelParlonVeskDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == kSwallowedMessage) {
    if (pResult) *pResult = 0;
    return TRUE;
  }
  return CSelReaderDlg::OnWndMsg(message, wParam, lParam, pResult);
}
