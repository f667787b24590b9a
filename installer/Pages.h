// The three wizard pages as far as the NSIS stack protocol goes: what each pops before it
// shows and pushes when it is left. Their product views are filled from the catalogue.
#pragma once

#include "PluginMessages.h"
#include "PluginPage.h"

#include <string>

namespace gwplugin {

// Language flags page.
class CLangFlagsDlg : public CPluginPage {
  DECLARE_DYNAMIC(CLangFlagsDlg)
 public:
  enum : int { kIdRadioLang = 2000, kIdRadioUser = 2002, kIdSizeText = 2028, kMaskApplication = 0x100 };

  // Pops up to two strings, stopping after "/END" (any case; consumed); the first popped
  // string gives the radio texts.
  void ReadStackTexts();
  // Splits at "|", dropping empty parts: the first part is the top radio's text, the
  // second the bottom radio's.
  void SetModeTexts(const std::wstring& text);
  const std::wstring& ModeText(int index) const { return mode_texts_[index & 1]; }

  int UserMode() const { return user_mode_; }
  int LanguageSelectionMask() const { return selection_mask_; }
  // True once the page has been shown (its choices then count for the progress page).
  bool WasShown() const { return shown_; }

  // The groups preselected for a user locale.
  static int LocaleSelectionBits(LCID lcid);

  BOOL OnInitDialog() override;

 protected:
  afx_msg LRESULT OnPageLeaving(WPARAM, LPARAM);
  afx_msg LRESULT OnPageLeft(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void ReadSelection();
  int user_mode_ = 0;
  std::wstring mode_texts_[2];
  int selection_mask_ = 0;
  int availability_mask_ = 0x1FF;
  bool shown_ = false;
};

// Components page.
class CComponentsDlg : public CPluginPage {
  DECLARE_DYNAMIC(CComponentsDlg)
 public:
  enum : int { kIdDescription = 2012, kIdSizeText = 2017 };
  BOOL OnInitDialog() override;
  // Bytes of the checked products that are downloaded.
  long long SelectedSize() const { return 0; }

 protected:
  afx_msg LRESULT OnPageLeaving(WPARAM, LPARAM);
  afx_msg LRESULT OnPageLeft(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()
};

// Progress page.
class CProgressDlg : public CPluginPage {
  DECLARE_DYNAMIC(CProgressDlg)
 public:
  enum : int { kIdProgress = 2011, kIdStatus = 2012, kIdBanner = 2013 };
  enum : UINT_PTR { IDT_QUEUE_STEP = 1671, IDT_BANNER_FRAME = 1672 };

  BOOL OnInitDialog() override;
  // The queue timer's period; tests shorten it.
  void SetStepInterval(UINT milliseconds) { step_interval_ = milliseconds; }

  std::wstring BannerPath() const { return banner_path_; }
  int FrameWidth() const { return frame_width_; }
  int FrameHeight() const { return frame_height_; }
  int BannerInterval() const { return banner_interval_; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  afx_msg void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()

 private:
  UINT step_interval_ = 1000;
  std::wstring banner_path_;
  int frame_width_ = 0;
  int frame_height_ = 0;
  int banner_interval_ = 0;
};

}  // namespace gwplugin
