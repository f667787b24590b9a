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
#include "Settings.h"
#include "TTSMessages.h"
#include "ThSpeechControl.h"

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

// Moves every look of the button (not its busy animation) to another glyph of the same row.
void SetLooksSourceLeft(CSkinButton& button, int left) {
  for (int state = draw_helpers::BUTTON_NORMAL; state <= draw_helpers::BUTTON_DISABLED; ++state)
    for (const draw_helpers::DrawPtr& draw : button.Skin().lists[static_cast<size_t>(state)])
      if (draw) static_cast<draw_helpers::CDrawImageArea*>(draw.get())->SetSourceLeft(left);
}

// The looks of a button filled list by list: `rows` rows of the sheet, one per state from
// normal on, each centred in the button's box.
void AddLooks(CSkinButton& button, Gdiplus::Image* sheet, const CRect& source, CSize box, int rows) {
  if (!sheet) return;
  button.Skin().Clear();
  const CPoint at((box.cx - source.Width()) / 2, (box.cy - source.Height()) / 2);
  CRect row = source;
  const int states[] = {draw_helpers::BUTTON_NORMAL, draw_helpers::BUTTON_PRESSED, draw_helpers::BUTTON_HOT};
  for (int i = 0; i < rows && i < 3; ++i) {
    draw_helpers::AddDraw(button.Skin().lists, states[i],
                          std::make_shared<draw_helpers::CDrawImageArea>(sheet, row, at));
    row.OffsetRect(0, source.Height());
  }
}

// REG_SZ "exe-path" of the bigger reader product; empty when missing or too long.
std::wstring ReadProductProgram() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ | reader_settings::kView, &key) != ERROR_SUCCESS)
    return std::wstring();
  wchar_t path[kMaxProgramChars + 1] = {};
  DWORD type = 0, size = kMaxProgramChars * sizeof(wchar_t);
  const LONG rc = ::RegQueryValueExW(key, L"exe-path", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
  ::RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return std::wstring();
  path[std::min<DWORD>(size / sizeof(wchar_t), kMaxProgramChars)] = L'\0';  // terminated even when stored without
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
  m_painter.SetDrawCallback([this](CDC& dc) { DrawSkin(dc); });
}

COrvelParlonVeskDlg::~COrvelParlonVeskDlg() {
  // The window goes before the members it paints with and the client it speaks for.
  if (m_hWnd) DestroyWindow();
}

BOOL COrvelParlonVeskDlg::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  return CSelReaderDlg::Create(nIDTemplate, pParentWnd);
}

void COrvelParlonVeskDlg::DoDataExchange(CDataExchange* pDX) {
  CSelReaderDlg::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LANGUAGE_BUTTON, m_btnLanguage);
  DDX_Control(pDX, IDC_VOICE_COMBO, m_voiceCombo);
  DDX_Control(pDX, IDC_READ_BUTTON, m_btnRead);
  DDX_Control(pDX, IDC_STOP_BUTTON, m_btnStop);
  DDX_Control(pDX, IDC_LAUNCH_BUTTON, m_btnLaunch);
  DDX_Control(pDX, IDC_CLOSE_BUTTON, m_btnClose);
  DDX_Control(pDX, IDC_MINIMIZE_BUTTON, m_btnMinimize);
  DDX_Control(pDX, IDC_SPEED_SLIDER, m_speed);
  DDX_Control(pDX, IDC_VOLUME_SLIDER, m_volume);
  DDX_Control(pDX, IDC_FOLD_BUTTON, m_btnFold);
  DDX_Control(pDX, IDC_LEXICON_BUTTON, m_btnLexicon);
  DDX_Control(pDX, IDC_SITE_LINK, m_siteLink);
  DDX_Control(pDX, IDC_VOICE_LINK, m_voiceLink);
  DDX_Control(pDX, IDC_VOICE_TYPE_ICON, m_voiceTypeIcon);
}

// ---- Start-up ----------------------------------------------------------------------------------

BOOL COrvelParlonVeskDlg::OnInitDialog() {
  CSelReaderDlg::OnInitDialog();
  ModifyStyle(0, WS_SYSMENU | WS_MINIMIZEBOX);
  SetWindowText(L"Orvel Murmelin");
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  // Their backgrounds are the dialog's skin.
  for (CWnd* child : std::initializer_list<CWnd*>{&m_btnLanguage, &m_btnMinimize, &m_btnClose, &m_btnFold, &m_volume,
                                                  &m_speed, &m_btnRead, &m_btnStop, &m_btnLaunch, &m_btnLexicon,
                                                  &m_voiceTypeIcon, &m_voiceLink})
    m_painter.Register(child);

  // The link colour of a light page is lost on the dark strip.
  m_voiceLink.m_crLink = RGB(128, 192, 255);
  m_voiceLink.m_bFitToText = true;
  m_voiceLink.m_nMaxLines = 2;
  m_voiceLink.m_nTextAlign = 1;
  m_voiceLink.SetUp();

  LoadSkinImages();
  SkinControls();
  LayOut();
  SpeechStartUp();

  int x = 0, y = 0;
  const bool stored = ReadWindowPos(x, y) != FALSE;
  SetWindowPos(nullptr, x, y, m_nUnfoldedWidth, m_nBodyHeight + 1,
               SWP_NOZORDER | SWP_NOACTIVATE | (stored ? 0 : SWP_NOMOVE));
  ClampToMonitor();
  if (IsFirstRun()) ShowHint(1, true, 0);
  SetFolded(ReadFoldState() != FALSE);
  RegisterReadHotKey(CCfgData::Instance(), this);
  return TRUE;
}

void COrvelParlonVeskDlg::LoadSkinImages() {
  struct Image {
    UINT id;
    draw_helpers::ImageBuffer& buffer;
  };
  const Image images[] = {{IDB_SKIN_LEFT, m_imgLeft},           {IDB_SKIN_MIDDLE, m_imgMiddle},
                          {IDB_SKIN_RIGHT, m_imgRight},         {IDB_SKIN_SEPARATOR, m_imgSeparator},
                          {IDB_SKIN_SPEED, m_imgSpeed},         {IDB_SKIN_VOLUME, m_imgVolume},
                          {IDB_SKIN_BUTTONS, m_imgButtons},     {IDB_SKIN_SLIDER, m_imgSlider},
                          {IDB_VOICE_TYPES_1ST, m_imgTypes1st}, {IDB_VOICE_TYPES, m_imgTypes}};
  for (const Image& image : images) draw_helpers::LoadImageFromResource(image.id, L"PNG", image.buffer);
  // A module without the pieces keeps the skin's own sizes, so the layout still holds.
  if (m_imgSeparator.image) m_nSeparatorWidth = static_cast<int>(m_imgSeparator.image->GetWidth());
  if (m_imgMiddle.image) m_nBodyHeight = static_cast<int>(m_imgMiddle.image->GetHeight());
}

void COrvelParlonVeskDlg::SkinControls() {
  Gdiplus::Image* sheet = m_imgButtons.image;
  AddLooks(m_btnLanguage, sheet, CRect(139, 0, 192, 22), CSize(53, 22), 1);

  AddLooks(m_btnRead, sheet, CRect(kReadGlyphLeft, 0, kReadGlyphLeft + 22, 23), CSize(22, 33), 3);
  auto busy = std::make_shared<draw_helpers::CImageAnimation2>();
  if (busy->LoadStrip(IDB_READ_BUSY, L"PNG", 22, 22, 12)) {
    busy->Align(22, 33, 5);
    m_btnRead.SetBusyAnimation(busy);
  }
  m_btnRead.SetWindowText(ModuleString(IDS_READ));
  m_btnRead.SetTooltip(ModuleString(IDS_READ_TIP));

  if (sheet) m_btnStop.SetSkin(sheet, 3, false, 22, 33, CRect(44, 0, 66, 23));
  m_btnStop.EnableWindow(FALSE);
  if (sheet) m_btnLaunch.SetSkin(sheet, 2, false, 24, 22, CRect(202, 0, 226, 22));
  CString launchText;
  m_btnLaunch.GetWindowText(launchText);
  m_btnLaunch.SetTooltip(launchText);
  AddLooks(m_btnClose, sheet, CRect(108, 0, 117, 7), CSize(9, 7), 3);
  if (sheet) m_btnMinimize.SetSkin(sheet, 2, false, 10, 7, CRect(192, 0, 202, 7));
  AddLooks(m_btnFold, sheet, CRect(77, 0, 88, 20), CSize(11, 20), 3);
  if (sheet) m_btnLexicon.SetSkin(sheet, 2, true, 22, 22, CRect(117, 0, 139, 22));
  m_btnLexicon.SetTooltip(ModuleString(IDS_LEXICON_TIP));

  for (CPngClodSliderCtrl* slider : {&m_speed, &m_volume}) slider->SetReaderSkin(m_imgSlider.image);
  m_volume.SetRange(0, 100, TRUE);
  m_volume.SetValueFormat(L"%d %%");
  m_volume.SetTooltip(ModuleString(IDS_VOLUME_TIP));
  m_speed.SetFineMode(true);
  m_speed.SetRange(-100, 100, TRUE);
  // A trackbar may leave a position it already holds alone, thumb and all, when asked for it
  // again after a range change: the thumb of 0 would stay where 0 was in the old range.
  m_speed.SendMessage(TBM_SETPOS, FALSE, 100);
  m_speed.SetPos(0);
  m_speed.SetValueFormat(L"%d");
  m_speed.SetTooltip(ModuleString(IDS_SPEED_TIP));
}

CRect COrvelParlonVeskDlg::ChildRect(const CWnd& child) const {
  CRect r;
  child.GetWindowRect(&r);
  ScreenToClient(&r);
  return r;
}

void COrvelParlonVeskDlg::LayOut() {
  const int T = m_nSeparatorWidth, H = m_nBodyHeight;
  // Places a control; a width or height of 0 keeps the control's own, a top of -1 centres it
  // in the dialog's height.
  auto place = [this, H](CWnd& control, int x, int y, int w, int h) -> CRect {
    const CRect now = ChildRect(control);
    if (w <= 0) w = now.Width();
    if (h <= 0) h = now.Height();
    if (y == -1) y = (H + 1 - h) / 2;
    control.SetWindowPos(nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    return CRect(x, y, x + w, y + h);
  };
  const int speedIcon = m_imgSpeed.image ? static_cast<int>(m_imgSpeed.image->GetWidth()) : 16;
  const int volumeIcon = m_imgVolume.image ? static_cast<int>(m_imgVolume.image->GetWidth()) : 16;

  CRect r = place(m_btnLanguage, 7, 5, 53, 22);
  r = place(m_btnRead, T + r.right + 14, 0, 22, 33);
  r = place(m_btnStop, r.right + 14, 0, 22, 33);
  r = place(m_btnLaunch, T + r.right + 14, (H - 21) / 2, 24, 22);
  m_btnLaunch.ShowWindow(SW_SHOW);
  r = place(m_btnFold, T + r.right + 14, (H - 19) / 2, 11, 20);
  r = place(m_voiceTypeIcon, r.right + 7, (H - 23) / 2, 24, 24);
  r = place(m_voiceCombo, r.right + 7, -1, 0, 0);
  m_voiceListRect = ChildRect(m_voiceCombo);
  r = place(m_voiceLink, r.right + 7, -1, 0, 0);
  r = place(m_btnLexicon, r.right + 7, (H - 21) / 2, 22, 22);
  const int speedHeight = ChildRect(m_speed).Height();
  r = place(m_speed, speedIcon + T + r.right + 7, (H + 1 - speedHeight) / 2 - 2, 0, 0);
  const int volumeHeight = ChildRect(m_volume).Height();
  r = place(m_volume, volumeIcon + T + r.right, (H + 1 - volumeHeight) / 2 - 2, 0, 0);
  m_nUnfoldedWidth = r.right + 24;
  const CRect close = place(m_btnClose, r.right + 12, 3, 9, 7);
  place(m_btnMinimize, close.left - 13, close.top, 10, 7);
}

void COrvelParlonVeskDlg::SpeechStartUp() {
  if (!m_pSpeech) return;
  VTTSFramework::CThSpeechControl* speech = m_pSpeech;
  // The control window exists once the thread sets its ready event.
  m_registration.Register(m_speechClient, m_hWnd, speech->m_readyEvent, [speech]() -> HWND {
    return speech->GetControlWindow() != nullptr ? speech->GetControlWindow()->GetSafeHwnd() : nullptr;
  });

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
    int cell = 4;
    switch (voice.type) {
      case 2:
        label = IDS_LABEL_TYPE2;
        cell = 0;
        break;
      case 3:
        label = IDS_LABEL_TYPE3;
        cell = 2;
        break;
      case 4:
        label = IDS_LABEL_TYPE4_ICON;
        cell = 1;
        break;
      default:
        break;
    }
    const CString text = ModuleString(label);
    m_voiceTypeIcon.SetTooltip(text.IsEmpty() ? nullptr : text.GetString());
    const bool secondSheet = !voice.params || voice.params->secondGeneration;
    Gdiplus::Image* icons = secondSheet ? m_imgTypes.image : m_imgTypes1st.image;
    if (icons) m_voiceTypeIcon.SetSkin(icons, 0, true, 24, 24, CRect(24 * cell, 0, 24 * cell + 24, 24));
    m_voiceTypeIcon.Invalidate(FALSE);
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

void COrvelParlonVeskDlg::OnReadRequest() { OnReadButton(); }

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
  SetLooksSourceLeft(m_btnRead, paused == 1 ? kReadGlyphLeft : kPauseGlyphLeft);
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
  SetLooksSourceLeft(m_btnRead, kPauseGlyphLeft);
  m_btnRead.Invalidate(FALSE);
  m_btnStop.EnableWindow(TRUE);
  return 0;
}

LRESULT COrvelParlonVeskDlg::OnSpeechFinished(WPARAM, LPARAM) {
  m_bIdle = true;
  m_btnRead.SetWindowText(ModuleString(IDS_READ));
  SetLooksSourceLeft(m_btnRead, kReadGlyphLeft);
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

void COrvelParlonVeskDlg::DrawSkin(CDC& dc) {
  CRect window;
  GetWindowRect(&window);
  const int W = window.Width(), H = window.Height();
  // The row and column the skin's pieces leave uncovered take the body's darkest colour.
  dc.FillSolidRect(0, 0, W, H, RGB(16, 22, 32));
  if (!m_imgLeft.image || !m_imgMiddle.image || !m_imgRight.image) return;
  Gdiplus::Graphics g(dc.m_hDC);
  const int left = static_cast<int>(m_imgLeft.image->GetWidth());
  const int right = static_cast<int>(m_imgRight.image->GetWidth());
  const int body = static_cast<int>(m_imgMiddle.image->GetHeight());
  g.DrawImage(m_imgLeft.image, 0, 0, left, static_cast<int>(m_imgLeft.image->GetHeight()));
  {
    // One pixel column stretched: no filtering across its edges.
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.DrawImage(m_imgMiddle.image, Gdiplus::Rect(5, 0, W - left - right, body), 0, 0, 1, body, Gdiplus::UnitPixel);
    g.SetInterpolationMode(Gdiplus::InterpolationModeDefault);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeDefault);
  }
  g.DrawImage(m_imgRight.image, W - right - 1, 0, right, static_cast<int>(m_imgRight.image->GetHeight()));
  if (!m_imgSeparator.image) return;
  const int T = m_nSeparatorWidth;
  const int separatorHeight = static_cast<int>(m_imgSeparator.image->GetHeight());
  auto separator = [&](int x) { g.DrawImage(m_imgSeparator.image, x, 0, T, separatorHeight); };
  const int first = ChildRect(m_btnLanguage).right + 7;
  const int second = first + ChildRect(m_btnRead).Width() + 14;
  const int third = second + ChildRect(m_btnStop).Width() + T + 14;
  separator(first);
  separator(second);
  separator(third);
  if (m_bFolded) return;  // the rest lies beyond the folded strip
  const int fourth = ChildRect(m_btnLexicon).right + 7;
  separator(fourth);
  if (m_imgSpeed.image) {
    const int h = static_cast<int>(m_imgSpeed.image->GetHeight());
    g.DrawImage(m_imgSpeed.image, fourth + T + 7, (H - h) / 2, static_cast<int>(m_imgSpeed.image->GetWidth()), h);
  }
  const int speedRight = ChildRect(m_speed).right;
  separator(speedRight);
  if (m_imgVolume.image) {
    const int h = static_cast<int>(m_imgVolume.image->GetHeight());
    g.DrawImage(m_imgVolume.image, speedRight + T + 7, (H - h) / 2, static_cast<int>(m_imgVolume.image->GetWidth()), h);
  }
}

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
  SetLooksSourceLeft(m_btnFold, folded ? 66 : 77);
  m_btnFold.Invalidate(FALSE);

  const int show = folded ? SW_HIDE : SW_SHOW;
  for (CWnd* control :
       std::initializer_list<CWnd*>{&m_speed, &m_volume, &m_btnLexicon, &m_voiceCombo, &m_voiceTypeIcon})
    control->ShowWindow(show);

  ClampToMonitor();
  GetWindowRect(&window);
  HRGN region = ::CreateRoundRectRgn(0, 0, window.Width() + 1, window.Height() + 1, 5, 5);
  // The system owns the region once it is set.
  if (region && !::SetWindowRgn(m_hWnd, region, TRUE)) ::DeleteObject(region);
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

void COrvelParlonVeskDlg::OnDestroy() {
  const CPoint position = PositionToSave();
  WriteWindowPos(position.x, position.y);
  KillTimer(TIMER_HOTKEY_RELEASE);
  UnregisterReadHotKey(CCfgData::Instance(), m_hWnd);
  RemoveFocusHook();
  // A dialog destroyed without passing through Quit (the system ending the session, for
  // example) must still leave the speech thread with no pointer to its client.
  m_registration.Unregister();
  CSelReaderDlg::OnDestroy();
  WriteFoldState(m_bFolded ? TRUE : FALSE);
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
