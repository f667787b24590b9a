#include "LangFlagsDlg.h"

#include "InstallQueue.h"
#include "NsisStack.h"
#include "PluginApp.h"

#include <objidl.h>
#include <gdiplus.h>

#include <boost/tokenizer.hpp>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <vector>

namespace gwplugin {

using orv_products::CProd;
using orv_products::CProdGroupPtr;
using orv_products::CProdPtr;
using orv_products::ProductList;
using namespace orv_products;

const VoiceGroupRow kVoiceGroups[kVoiceGroupCount] = {
    {L"OP_GROUP_PL_VOICES", 0x01, 2015, 2031, 2014, 2003}, {L"OP_GROUP_UK_VOICES", 0x02, 2001, 2024, 2006, 2002},
    {L"OP_GROUP_US_VOICES", 0x04, 2003, 2025, 2007, 2001}, {L"OP_GROUP_RO_VOICES", 0x08, 2017, 2032, 2016, 2004},
    {L"OP_GROUP_ES_VOICES", 0x10, 2004, 2026, 2008, 2005}, {L"OP_GROUP_ES_US_VOICES", 0x20, 2005, 2027, 2009, 2016},
    {L"OP_GROUP_DE_VOICES", 0x40, 2011, 2029, 2010, 2017}, {L"OP_GROUP_FR_VOICES", 0x80, 2013, 2030, 2012, 2018},
};

namespace {

constexpr UINT kSpareFlagImage = 2014;  // loaded with the others, drawn nowhere

// A product the page offers: it can be chosen and is not installed in this version already.
bool IsOffered(const CProd& product) { return product.HasNoStateBits(PS_DISABLED | PS_NOT_AVAILABLE | PS_REINSTALL); }

bool GroupHasOfferedProduct(const CProdGroupPtr& group) {
  if (!group) return false;
  for (const CProdPtr& product : group->products)
    if (product && IsOffered(*product)) return true;
  return false;
}

CProdGroupPtr MergedGroup(int index) {
  return FindGroupById(ThePluginApp().catalogue.mergedOffer.groups, kVoiceGroups[index].groupId);
}

CProdPtr FindInGroup(const CProdGroupPtr& group, const std::wstring& id) {
  return group ? FindProductById(group->products, id) : nullptr;
}

int DefaultRandom() { return std::rand(); }

// The combo boxes are narrow beside their flags and check boxes: the open list is as wide as
// the longest voice name, so every name can be read in full there.
void FitDroppedWidth(CComboBox& combo) {
  HDC dc = ::GetDC(combo.m_hWnd);
  if (!dc) return;
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(combo.SendMessage(WM_GETFONT)));
  int widest = 0;
  std::vector<wchar_t> text;
  for (int i = 0; i < combo.GetCount(); ++i) {
    const int length = combo.GetLBTextLen(i);
    if (length <= 0) continue;
    text.assign(static_cast<std::size_t>(length) + 1, L'\0');
    combo.SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    SIZE size{};
    if (::GetTextExtentPoint32W(dc, text.data(), length, &size)) widest = std::max(widest, static_cast<int>(size.cx));
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(combo.m_hWnd, dc);
  RECT rect{};
  combo.GetWindowRect(&rect);
  const int margin = 2 * ::GetSystemMetrics(SM_CXEDGE) + ::GetSystemMetrics(SM_CXVSCROLL) + 8;
  combo.SendMessage(CB_SETDROPPEDWIDTH, static_cast<WPARAM>(std::max<LONG>(rect.right - rect.left, widest + margin)));
}

}  // namespace

IMPLEMENT_DYNAMIC(CLangFlagsDlg, CPluginPage)

BEGIN_MESSAGE_MAP(CLangFlagsDlg, CPluginPage)
  ON_WM_PAINT()
  ON_BN_CLICKED(2000, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2002, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2001, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2003, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2004, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2005, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2011, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2013, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2015, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2017, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2019, &CLangFlagsDlg::OnSelectionClicked)
  ON_BN_CLICKED(2021, &CLangFlagsDlg::OnSelectionClicked)
  // The combo boxes are 2024 to 2032; the size static (2028) among them sends no CBN_SELCHANGE.
  ON_CONTROL_RANGE(CBN_SELCHANGE, 2024, 2032, &CLangFlagsDlg::OnVoiceSelChange)
  ON_MESSAGE(WM_PAGE_LEAVING, &CLangFlagsDlg::OnPageLeaving)
  ON_MESSAGE(WM_PAGE_LEFT, &CLangFlagsDlg::OnPageLeft)
  ON_MESSAGE(WM_CONTENT_READY, &CLangFlagsDlg::OnContentReady)
END_MESSAGE_MAP()

CLangFlagsDlg::CLangFlagsDlg() = default;

CLangFlagsDlg::~CLangFlagsDlg() { ReleaseImages(); }

void CLangFlagsDlg::ReleaseImages() {
  for (PngResourceImage& image : m_flagImages) image.Release();
}

// ---------------------------------------------------------------------------------------------
// The NSIS stack.

void CLangFlagsDlg::ReadStackTexts() {
  std::wstring text;
  for (int i = 0; i < 2; ++i) {
    if (!NsisPopString(text)) break;
    if (_wcsicmp(text.c_str(), L"/END") == 0) break;
    if (i == 0) SetModeTexts(text);
  }
}

void CLangFlagsDlg::SetModeTexts(const std::wstring& text) {
  using Separator = boost::char_separator<wchar_t>;
  using Tokenizer = boost::tokenizer<Separator, std::wstring::const_iterator, std::wstring>;
  const Tokenizer parts(text, Separator(L"|"));  // empty parts are dropped
  int taken = 0;
  for (const std::wstring& part : parts) {
    if (taken == 2) break;
    m_modeTexts[taken++] = part;
  }
}

LRESULT CLangFlagsDlg::OnPageLeaving(WPARAM, LPARAM) {
  try {
    ReadSelection();
    if (m_userMode != 0) {
      NsisPushString(L"RS_USER");
    } else {
      if (!ThePluginApp().catalogue.HasBuiltInProducts()) NsisPushInt(m_downloadMb);
      NsisPushString(L"RS_LANG");
    }
  } catch (...) {
    AfxReportCaughtException("CLangFlagsDlg::OnPageLeaving");
  }
  return 1;  // the page never refuses to be left
}

LRESULT CLangFlagsDlg::OnPageLeft(WPARAM, LPARAM) { return 1; }

// ---------------------------------------------------------------------------------------------
// The rules.

int CLangFlagsDlg::LocaleSelectionBits(LCID lcid) {
  switch (lcid) {
    case 1031:
      return 0x40;
    case 1034:
    case 2058:
    case 3082:
    case 21514:
      return 0x30;
    case 1036:
      return 0x80;
    case 1045:
      return 0x01;
    case 1048:
      return 0x08;
    default:
      return 0;
  }
}

int CLangFlagsDlg::InitialSelection(int availability, bool built_in_products, LCID lcid) {
  if (built_in_products) return availability;
  // English is always proposed; the user's own language is proposed even where it is not
  // offered (its box is then disabled, and the first click reads the mask back).
  return (availability & 0x04) | (availability & 0x02) | LocaleSelectionBits(lcid) | (availability & kMaskApplication);
}

int CLangFlagsDlg::GetAvailableGroups(const ProductOffer& offer, bool applications_check_box) {
  int mask = 0;
  for (const VoiceGroupRow& row : kVoiceGroups)
    if (GroupHasOfferedProduct(FindGroupById(offer.groups, row.groupId))) mask |= row.mask;
  if (applications_check_box) {
    const CProdPtr reader = FindProductById(offer.products, kReaderApplication);
    if (reader && reader->HasNoStateBits(PS_DISABLED | PS_NOT_AVAILABLE)) mask |= kMaskApplication;
  }
  return mask;
}

CProdPtr CLangFlagsDlg::PickWeightedRandomVoice(const ProductList& products, const std::function<int()>& random) {
  // 64-bit: the weights come from the catalogue and may be anything.
  std::int64_t total = 0;
  for (const CProdPtr& product : products)
    if (product && product->HasAllStateBits(PS_INSTALL)) total += product->weight;
  if (total <= 0) return nullptr;
  const std::int64_t r = static_cast<std::int64_t>(random ? random() : DefaultRandom()) % total;
  std::int64_t sum = 0;
  for (const CProdPtr& product : products) {
    if (!product || !product->HasAllStateBits(PS_INSTALL)) continue;
    if (r < sum + product->weight) return product;
    sum += product->weight;
  }
  return nullptr;
}

std::int64_t CLangFlagsDlg::SelectedDownloadBytes(const ProductOffer& merged, int selection, int availability,
                                                  const ChosenVoices& chosen) {
  std::int64_t sum = 0;
  for (int i = 0; i < kVoiceGroupCount; ++i) {
    const int bit = kVoiceGroups[i].mask;
    if ((selection & bit) && (availability & bit) && chosen[i] && chosen[i]->HasAllStateBits(PS_DOWNLOAD))
      sum += chosen[i]->size;
  }
  const CProdGroupPtr applications = FindGroupById(merged.groups, kApplicationsGroup);
  if (applications) {
    if ((selection & kMaskApplication) && (availability & kMaskApplication)) {
      const CProdPtr reader = FindInGroup(applications, kReaderApplication);
      if (reader && reader->HasAllStateBits(PS_DOWNLOAD)) sum += reader->size;
    }
    for (const CProdPtr& product : applications->products) {
      // The reader application's box alone decides about it: the components page marks every
      // application, and a visit there must not count the reader a second time.
      if (!product || product->id == kReaderApplication) continue;
      product->AddSizeIfHasBits(PS_INSTALL | PS_INSTALL_CHECK | PS_DOWNLOAD, &sum);
    }
  }
  return sum;
}

CProdPtr CLangFlagsDlg::GetChosenVoice(int index) const {
  if (index < 0 || index >= kVoiceGroupCount) return nullptr;
  return m_chosen[index];
}

void CLangFlagsDlg::RebindChosenVoices() {
  for (int i = 0; i < kVoiceGroupCount; ++i) {
    if (!m_chosen[i]) continue;
    m_chosen[i] = FindInGroup(MergedGroup(i), m_chosen[i]->id);
  }
}

// ---------------------------------------------------------------------------------------------
// The dialog.

void CLangFlagsDlg::DoDataExchange(CDataExchange* pDX) {
  CPluginPage::DoDataExchange(pDX);
  DDX_Control(pDX, kIdRadioLang, m_radioLang);
  DDX_Control(pDX, kIdRadioUser, m_radioUser);
  for (int i = 0; i < kVoiceGroupCount; ++i) {
    DDX_Control(pDX, kVoiceGroups[i].checkBox, m_checkBoxes[i]);
    DDX_Control(pDX, kVoiceGroups[i].comboBox, m_comboBoxes[i]);
  }
  DDX_Control(pDX, kIdApplication, m_applicationBox);
}

BOOL CLangFlagsDlg::OnInitDialog() {
  CPluginPage::OnInitDialog();
  try {
    for (int i = 0; i < kVoiceGroupCount; ++i)
      if (!m_flagImages[i].Image()) m_flagImages[i].Load(kVoiceGroups[i].flagImage);
    if (!m_flagImages[kVoiceGroupCount].Image()) m_flagImages[kVoiceGroupCount].Load(kSpareFlagImage);

    const CGWPluginApp& app = ThePluginApp();
    if (m_applicationBox.m_hWnd) {
      if (!app.applicationsCheckBox) m_applicationBox.SetCheck(BST_UNCHECKED);
      m_applicationBox.ShowWindow(app.applicationsCheckBox ? SW_SHOW : SW_HIDE);
    }
    if (!m_modeTexts[0].empty() && m_radioLang.m_hWnd) m_radioLang.SetWindowText(m_modeTexts[0].c_str());
    if (!m_modeTexts[1].empty() && m_radioUser.m_hWnd) m_radioUser.SetWindowText(m_modeTexts[1].c_str());

    // Made once: the progress page reads its existence as "the flags page ran".
    if (!m_boldFont.GetSafeHandle()) {
      HFONT page_font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
      LOGFONTW face{};
      if (!page_font || !GetObjectW(page_font, sizeof face, &face))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
      face.lfWeight = FW_BOLD;
      m_boldFont.CreateFontIndirect(&face);
    }
    if (m_boldFont.GetSafeHandle())
      SendDlgItemMessage(kIdSizeText, WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(m_boldFont)), FALSE);

    SetUpChoices(false);
  } catch (...) {
    AfxReportCaughtException("CLangFlagsDlg::OnInitDialog");
  }
  return TRUE;
}

// The offers, masks, flags, voices and size: on every run of the page, and again when the
// catalogue is rebuilt while the page is up. Then the user's choices are kept for the
// languages that were offered before and still are; the others start as a first run would.
void CLangFlagsDlg::SetUpChoices(bool keep_user_choices) {
  const CGWPluginApp& app = ThePluginApp();
  const ProductCatalogue& catalogue = app.catalogue;
  const bool built_in = catalogue.HasBuiltInProducts();
  const int previous_selection = m_selectionMask;
  const int previously_offered = m_offeredMask;

  RebindChosenVoices();
  m_availabilityMask =
      GetAvailableGroups(built_in ? catalogue.builtInOffer : catalogue.mergedOffer, app.applicationsCheckBox);
  m_selectionMask = InitialSelection(m_availabilityMask, built_in, GetUserDefaultLCID());
  if (keep_user_choices) {
    const int still_offered = previously_offered & GetAvailableGroups(catalogue.mergedOffer, app.applicationsCheckBox);
    m_selectionMask = (m_selectionMask & ~still_offered) | (previous_selection & still_offered);
  }
  UpdateControls();
  PickDefaultVoices();
  for (int i = 0; i < kVoiceGroupCount; ++i) FillVoiceCombo(i);
  UpdateDownloadSize();
  // UpdateControls has set Next by the rule the user's clicks see. On the page's first showing
  // Next goes by the first selection instead, which may hold the locale's language even when
  // no voice of it is offered; a refill keeps the clicks' rule, so that new content never takes
  // back what the last click allowed (their own choice of components with nothing checked).
  if (!keep_user_choices) EnableNsisButton(nsis::kIdNext, m_selectionMask != 0);
}

void CLangFlagsDlg::UpdateControls() {
  if (m_radioLang.m_hWnd) m_radioLang.SetCheck(m_userMode == 0 ? BST_CHECKED : BST_UNCHECKED);
  if (m_radioUser.m_hWnd) m_radioUser.SetCheck(m_userMode == 1 ? BST_CHECKED : BST_UNCHECKED);
  const CGWPluginApp& app = ThePluginApp();
  m_availabilityMask = GetAvailableGroups(app.catalogue.mergedOffer, app.applicationsCheckBox);
  m_offeredMask = m_availabilityMask;
  for (int i = 0; i < kVoiceGroupCount; ++i) {
    const int bit = kVoiceGroups[i].mask;
    const bool enabled = m_userMode == 0 && (m_availabilityMask & bit);
    const bool checked = (m_selectionMask & bit) && (m_availabilityMask & bit);
    if (m_checkBoxes[i].m_hWnd) {
      m_checkBoxes[i].EnableWindow(enabled);
      m_checkBoxes[i].SetCheck(checked ? BST_CHECKED : BST_UNCHECKED);
    }
    if (m_comboBoxes[i].m_hWnd) m_comboBoxes[i].EnableWindow(enabled && checked);
  }
  if (m_applicationBox.m_hWnd) {
    m_applicationBox.EnableWindow(m_userMode == 0 && (m_availabilityMask & kMaskApplication));
    m_applicationBox.SetCheck((m_selectionMask & m_availabilityMask & kMaskApplication) ? BST_CHECKED : BST_UNCHECKED);
  }
  EnableNsisButton(nsis::kIdNext, m_userMode == 1 || (m_availabilityMask & m_selectionMask) != 0);
}

void CLangFlagsDlg::ReadSelection() {
  m_userMode = m_radioLang.m_hWnd && m_radioLang.GetCheck() == BST_CHECKED ? 0 : 1;
  m_selectionMask = 0;
  m_availabilityMask = 0;
  for (int i = 0; i < kVoiceGroupCount; ++i) {
    if (!m_checkBoxes[i].m_hWnd) continue;
    if (m_checkBoxes[i].GetCheck() == BST_CHECKED) m_selectionMask |= kVoiceGroups[i].mask;
    if (m_checkBoxes[i].IsWindowEnabled()) m_availabilityMask |= kVoiceGroups[i].mask;
  }
  if (m_applicationBox.m_hWnd) {
    if (m_applicationBox.GetCheck() == BST_CHECKED) m_selectionMask |= kMaskApplication;
    if (m_applicationBox.IsWindowEnabled()) m_availabilityMask |= kMaskApplication;
  }
}

void CLangFlagsDlg::PickDefaultVoices() {
  if (!m_random) std::srand(static_cast<unsigned>(static_cast<std::uint64_t>(_time64(nullptr)) & 0xFFFFFFFFu));
  for (int i = 0; i < kVoiceGroupCount; ++i) {
    if (m_chosen[i]) continue;
    const CProdGroupPtr group = MergedGroup(i);
    if (!group) continue;
    m_chosen[i] = PickWeightedRandomVoice(group->products, m_random);
  }
}

void CLangFlagsDlg::FillVoiceCombo(int index) {
  CComboBox& combo = m_comboBoxes[index];
  CButton& check = m_checkBoxes[index];
  if (!combo.m_hWnd) return;
  combo.ResetContent();
  const CProdGroupPtr group = MergedGroup(index);
  if (!group) {
    combo.EnableWindow(FALSE);
    if (check.m_hWnd) check.EnableWindow(FALSE);
    return;
  }
  bool installed_voices = false;
  for (std::size_t p = 0; p < group->products.size(); ++p) {
    const CProdPtr& product = group->products[p];
    if (!product) continue;
    if (product->HasAllStateBits(PS_REINSTALL)) installed_voices = true;
    if (!IsOffered(*product)) continue;
    const std::wstring& label = product->label.empty() ? product->id : product->label;
    const int item = combo.AddString(label.c_str());
    if (item < 0) continue;
    combo.SetItemData(item, static_cast<DWORD_PTR>(p));
    if (product == m_chosen[index]) combo.SetCurSel(item);
  }
  FitDroppedWidth(combo);
  if (installed_voices && combo.GetCount() == 0) {
    std::wstring text;
    LoadLangString(IDS_VOICES_INSTALLED, ThePluginApp().langid, text);
    const int item = combo.AddString(text.c_str());
    if (item >= 0) {
      combo.SetItemData(item, static_cast<DWORD_PTR>(-1));
      combo.SetCurSel(item);
    }
  }
}

void CLangFlagsDlg::UpdateDownloadSize() {
  const std::int64_t bytes =
      SelectedDownloadBytes(ThePluginApp().catalogue.mergedOffer, m_selectionMask, m_availabilityMask, m_chosen);
  m_downloadMb = static_cast<int>(bytes / 0x100000);
  if (!m_hWnd) return;
  std::wstring format;
  LoadLangString(IDS_DOWNLOAD_SIZE, ThePluginApp().langid, format);
  SetDlgItemText(kIdSizeText, FormatText(format, {std::to_wstring(m_downloadMb)}).c_str());
}

void CLangFlagsDlg::OnSelectionClicked() {
  try {
    ReadSelection();
    UpdateControls();
    UpdateDownloadSize();
  } catch (...) {
    AfxReportCaughtException("CLangFlagsDlg::OnSelectionClicked");
  }
}

void CLangFlagsDlg::OnVoiceSelChange(UINT id) {
  try {
    int index = -1;
    for (int i = 0; i < kVoiceGroupCount; ++i)
      if (kVoiceGroups[i].comboBox == static_cast<int>(id)) index = i;
    if (index < 0 || !m_comboBoxes[index].m_hWnd) return;
    const CProdGroupPtr group = MergedGroup(index);
    if (!group) return;
    const int selection = m_comboBoxes[index].GetCurSel();
    if (selection < 0 || static_cast<std::size_t>(selection) >= group->products.size()) return;
    const INT_PTR position = static_cast<INT_PTR>(m_comboBoxes[index].GetItemData(selection));
    // The "voices installed" entry carries -1.
    if (position < 0 || static_cast<std::size_t>(position) >= group->products.size()) return;
    m_chosen[index] = group->products[static_cast<std::size_t>(position)];
    UpdateDownloadSize();
  } catch (...) {
    AfxReportCaughtException("CLangFlagsDlg::OnVoiceSelChange");
  }
}

LRESULT CLangFlagsDlg::OnContentReady(WPARAM, LPARAM) {
  try {
    ReadSelection();
    SetUpChoices(true);
  } catch (...) {
    AfxReportCaughtException("CLangFlagsDlg::OnContentReady");
  }
  return 0;
}

void CLangFlagsDlg::OnPaint() {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  if (!dc) return;
  try {
    Gdiplus::Graphics graphics(dc);
    for (int i = 0; i < kVoiceGroupCount; ++i) {
      Gdiplus::Image* image = m_flagImages[i].Image();
      HWND place = ::GetDlgItem(m_hWnd, kVoiceGroups[i].flagStatic);
      if (!image || !place) continue;
      RECT rect{};
      ::GetWindowRect(place, &rect);
      ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
      graphics.DrawImage(image, static_cast<INT>(rect.left), static_cast<INT>(rect.top),
                         static_cast<INT>(image->GetWidth()), static_cast<INT>(image->GetHeight()));
    }
  } catch (...) {
    // Drawing reports nothing; the flags are simply missing.
  }
  ::EndPaint(m_hWnd, &paint);
}

}  // namespace gwplugin
