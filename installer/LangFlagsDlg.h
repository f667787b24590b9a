// The first wizard page: voice languages offered by flag. Eight language check boxes, each
// with its flag and a combo box of that language's voices, a check box for the reader
// application, and two radio buttons that choose between this language selection and the
// user's own choice of components on the next page. The later pages read the chosen voices
// and the selection from the page object, which lives as long as the application object.
#pragma once

#include "PluginPage.h"
#include "ProductCatalogue.h"
#include "Utilities.h"

#include <afxwin.h>

#include <cstdint>
#include <functional>
#include <string>

namespace gwplugin {

// The page's voice groups, by VoiceGroupIndex: the catalogue group each offers, its bit in
// LanguageSelectionMask and its controls.
struct VoiceGroupRow {
  const wchar_t* groupId;
  int mask;
  int checkBox;
  int comboBox;
  int flagStatic;
  UINT flagImage;  // PNG resource
};

constexpr int kVoiceGroupCount = 8;
extern const VoiceGroupRow kVoiceGroups[kVoiceGroupCount];

constexpr const wchar_t* kApplicationsGroup = L"OP_GROUP_APPLICATIONS";
constexpr const wchar_t* kReaderApplication = L"ORVEL_PARLON";

// The chosen voice of each group (empty: none).
using ChosenVoices = orv_products::CProdPtr[kVoiceGroupCount];

class CLangFlagsDlg : public CPluginPage {
  DECLARE_DYNAMIC(CLangFlagsDlg)
 public:
  enum : int {
    kIdRadioLang = 2000,
    kIdRadioUser = 2002,
    kIdApplication = 2019,
    kIdSpareCheck = 2021,
    kIdSizeText = 2028,
  };
  enum : int { kMaskApplication = 0x100, kMaskAll = 0x1FF };
  enum : UINT { IDS_DOWNLOAD_SIZE = 2020, IDS_VOICES_INSTALLED = 2024 };

  CLangFlagsDlg();
  ~CLangFlagsDlg() override;

  // Pops up to two strings, stopping after "/END" (any case; consumed); the first popped
  // string gives the radio texts.
  void ReadStackTexts();
  // Splits at "|", dropping empty parts: the first part is the top radio's text, the second
  // the bottom radio's.
  void SetModeTexts(const std::wstring& text);
  const std::wstring& ModeText(int index) const { return m_modeTexts[index & 1]; }

  // 0: the languages decide (top radio); 1: the user picks components (bottom radio).
  int UserMode() const { return m_userMode; }
  int LanguageSelectionMask() const { return m_selectionMask; }
  orv_products::CProdPtr GetChosenVoice(int index) const;
  // The bold font is made by the page's first set-up and kept: its existence tells the
  // progress page that this page ran and its choice counts.
  bool HasBoldFont() const { return m_boldFont.GetSafeHandle() != nullptr; }

  // After the offers were rebuilt the chosen voices are records of the old offer: each is
  // replaced by the record with the same id in its group of the merged offer, or dropped.
  void RebindChosenVoices();

  // Where the default voices draw their random numbers. Without one, rand() after
  // srand(time) on every pick.
  void SetRandomSource(std::function<int()> random) { m_random = std::move(random); }

  // Releases the flag images (before GDI+ is shut down).
  void ReleaseImages();

  // The rules of the page, over given lists.
  static int LocaleSelectionBits(LCID lcid);
  // The first LanguageSelectionMask for an availability mask.
  static int InitialSelection(int availability, bool built_in_products, LCID lcid);
  // The groups of the offer that offer a product (and 0x100 for an offered reader
  // application when the application check box is shown).
  static int GetAvailableGroups(const ProductOffer& offer, bool applications_check_box);
  // One product among those with PS_INSTALL, each as likely as its weight; random() gives
  // the one number drawn (only when the total weight is positive).
  static orv_products::CProdPtr PickWeightedRandomVoice(const orv_products::ProductList& products,
                                                        const std::function<int()>& random);
  // Bytes downloaded for the selection: the chosen voices of the selected available groups,
  // the reader application when its box is checked, and the other applications already
  // marked for installation.
  static std::int64_t SelectedDownloadBytes(const ProductOffer& merged, int selection, int availability,
                                            const ChosenVoices& chosen);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

 protected:
  afx_msg void OnPaint();
  afx_msg void OnSelectionClicked();
  afx_msg void OnVoiceSelChange(UINT id);
  afx_msg LRESULT OnPageLeaving(WPARAM, LPARAM);
  afx_msg LRESULT OnPageLeft(WPARAM, LPARAM);
  afx_msg LRESULT OnContentReady(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void SetUpChoices(bool keep_user_choices);
  void UpdateControls();
  void ReadSelection();
  void PickDefaultVoices();
  void FillVoiceCombo(int index);
  void UpdateDownloadSize();

  int m_userMode = 0;
  std::wstring m_modeTexts[2];
  int m_selectionMask = 0;
  int m_availabilityMask = kMaskAll;
  // What the merged offer offered at the last set-up (the availability mask above follows
  // the enabled check boxes, which are all disabled in user mode).
  int m_offeredMask = 0;
  ChosenVoices m_chosen;
  CButton m_radioLang;
  CButton m_radioUser;
  CButton m_checkBoxes[kVoiceGroupCount];
  CComboBox m_comboBoxes[kVoiceGroupCount];
  CButton m_applicationBox;
  PngResourceImage m_flagImages[kVoiceGroupCount + 1];  // by group, then the spare one
  int m_downloadMb = 0;
  CFont m_boldFont;
  std::function<int()> m_random;
};

}  // namespace gwplugin
