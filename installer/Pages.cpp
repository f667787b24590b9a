#include "Pages.h"

#include "NsisStack.h"
#include "PluginApp.h"

#include <cwchar>

namespace gwplugin {

namespace {

void EnableNsisButton(int id, bool enable) {
  HWND parent = ThePluginApp().parentWindow();
  if (!parent) return;
  if (HWND button = ::GetDlgItem(parent, id)) ::EnableWindow(button, enable ? TRUE : FALSE);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CLangFlagsDlg, CPluginPage)

BEGIN_MESSAGE_MAP(CLangFlagsDlg, CPluginPage)
  ON_MESSAGE(WM_PAGE_LEAVING, &CLangFlagsDlg::OnPageLeaving)
  ON_MESSAGE(WM_PAGE_LEFT, &CLangFlagsDlg::OnPageLeft)
END_MESSAGE_MAP()

void CLangFlagsDlg::ReadStackTexts() {
  std::wstring text;
  for (int i = 0; i < 2; ++i) {
    if (!NsisPopString(text)) break;
    if (_wcsicmp(text.c_str(), L"/END") == 0) break;
    if (i == 0) SetModeTexts(text);
  }
}

void CLangFlagsDlg::SetModeTexts(const std::wstring& text) {
  int taken = 0;
  std::size_t start = 0;
  while (start <= text.size() && taken < 2) {
    std::size_t end = text.find(L'|', start);
    if (end == std::wstring::npos) end = text.size();
    if (end > start) mode_texts_[taken++] = text.substr(start, end - start);
    start = end + 1;
  }
}

int CLangFlagsDlg::LocaleSelectionBits(LCID lcid) {
  switch (lcid) {
    case 1031: return 0x40;
    case 1034: case 2058: case 3082: case 21514: return 0x30;
    case 1036: return 0x80;
    case 1045: return 0x01;
    case 1048: return 0x08;
    default: return 0;
  }
}

BOOL CLangFlagsDlg::OnInitDialog() {
  CPluginPage::OnInitDialog();
  shown_ = true;
  if (!mode_texts_[0].empty()) SetDlgItemText(kIdRadioLang, mode_texts_[0].c_str());
  if (!mode_texts_[1].empty()) SetDlgItemText(kIdRadioUser, mode_texts_[1].c_str());
  CheckDlgButton(kIdRadioLang, user_mode_ == 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(kIdRadioUser, user_mode_ == 1 ? BST_CHECKED : BST_UNCHECKED);
  // No catalogue groups offer anything yet: the masks start from the user's locale.
  const ProductCatalogue& catalogue = ThePluginApp().catalogue;
  availability_mask_ = 0;
  if (catalogue.HasBuiltInProducts())
    selection_mask_ = availability_mask_;
  else
    selection_mask_ = LocaleSelectionBits(GetUserDefaultLCID());
  EnableNsisButton(nsis::kIdNext, selection_mask_ != 0);
  return TRUE;
}

void CLangFlagsDlg::ReadSelection() {
  user_mode_ = IsDlgButtonChecked(kIdRadioLang) == BST_CHECKED ? 0 : 1;
  // Only the offered groups have check boxes; none is offered without a catalogue.
  selection_mask_ = 0;
  availability_mask_ = 0;
}

LRESULT CLangFlagsDlg::OnPageLeaving(WPARAM, LPARAM) {
  ReadSelection();
  if (user_mode_ != 0) {
    NsisPushString(L"RS_USER");
  } else {
    if (!ThePluginApp().catalogue.HasBuiltInProducts()) NsisPushInt(0);
    NsisPushString(L"RS_LANG");
  }
  return 1;
}

LRESULT CLangFlagsDlg::OnPageLeft(WPARAM, LPARAM) { return 1; }

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CComponentsDlg, CPluginPage)

BEGIN_MESSAGE_MAP(CComponentsDlg, CPluginPage)
  ON_MESSAGE(WM_PAGE_LEAVING, &CComponentsDlg::OnPageLeaving)
  ON_MESSAGE(WM_PAGE_LEFT, &CComponentsDlg::OnPageLeft)
END_MESSAGE_MAP()

BOOL CComponentsDlg::OnInitDialog() {
  CPluginPage::OnInitDialog();
  // Next is enabled while a product is checked; with nothing offered nothing is.
  EnableNsisButton(nsis::kIdNext, false);
  return TRUE;
}

LRESULT CComponentsDlg::OnPageLeaving(WPARAM, LPARAM) {
  if (!ThePluginApp().catalogue.HasBuiltInProducts())
    NsisPushInt(static_cast<int>(static_cast<std::int32_t>(SelectedSize() & 0xFFFFFFFF) / 1048576));
  return 1;
}

LRESULT CComponentsDlg::OnPageLeft(WPARAM, LPARAM) { return 1; }

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CProgressDlg, CPluginPage)

BEGIN_MESSAGE_MAP(CProgressDlg, CPluginPage)
  ON_WM_TIMER()
END_MESSAGE_MAP()

BOOL CProgressDlg::OnInitDialog() {
  CPluginPage::OnInitDialog();
  banner_path_.clear();
  frame_width_ = frame_height_ = banner_interval_ = 0;
  if (NsisStackHasEntries()) NsisPopString(banner_path_);
  if (!banner_path_.empty()) {
    frame_width_ = NsisPopInt();
    frame_height_ = NsisPopInt();
    banner_interval_ = NsisPopInt();
  }
  EnableNsisButton(nsis::kIdBack, false);
  EnableNsisButton(nsis::kIdNext, false);
  SetTimer(IDT_QUEUE_STEP, step_interval_, nullptr);
  return TRUE;
}

void CProgressDlg::OnTimer(UINT_PTR id) {
  if (id == IDT_QUEUE_STEP) {
    // Nothing is queued without offered products: the queue is done at its first step.
    KillTimer(IDT_QUEUE_STEP);
    ThePluginApp().ClickNsisNext();
    return;
  }
  Default();
}

LRESULT CProgressDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DISABLE_CANCEL) {
    EnableNsisButton(nsis::kIdCancel, false);
  } else if (message == WM_PAGE_LEFT) {
    KillTimer(IDT_BANNER_FRAME);
    return 1;
  }
  return CPluginPage::WindowProc(message, wParam, lParam);
}

}  // namespace gwplugin
