// The last wizard page: it turns the language page's choice into products marked for
// installation, drives the install queue it owns on a timer, shows an optional animated
// banner cut from one wide image, and presses the NSIS Next button when the queue is done
// with every product installed. When one failed, it stays with the failure in view and
// Next enabled.
#pragma once

#include "InstallQueue.h"
#include "LangFlagsDlg.h"
#include "PluginPage.h"
#include "ProductCatalogue.h"

#include <afxcmn.h>
#include <afxwin.h>

#include <memory>
#include <string>

namespace Gdiplus {
class Image;
}

namespace gwplugin {

class CProgressDlg : public CPluginPage {
  DECLARE_DYNAMIC(CProgressDlg)
 public:
  enum : int { kIdProgress = 2011, kIdStatus = 2012, kIdBanner = 2013 };
  enum : UINT_PTR { IDT_QUEUE_STEP = 1671, IDT_BANNER_FRAME = 1672 };
  // The longest banner interval taken, in seconds (the timer counts milliseconds in 32 bits).
  static constexpr int kLongestBannerInterval = 3600;

  CProgressDlg();
  ~CProgressDlg() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

  // The queue timer's period: a second; tests and measurements shorten it.
  void SetStepInterval(UINT milliseconds) { m_stepInterval = milliseconds; }
  // The page's queue (configure it before the page runs to replace the plug-in's defaults).
  CInstallQueue& Queue() { return m_queue; }

  // In language mode the flags page's choice decides what is installed: the chosen voices
  // of the selected languages, every installable application except the reader, and the
  // reader when its box was checked. Everything else loses its mark.
  static void MarkLanguageChoice(const ProductOffer& merged, int selection, const ChosenVoices& chosen);
  // The marking as the page does it on opening: only when the flags page ran and was left in
  // language mode; otherwise the marks of the components page (or the merge) stand.
  static void MarkChosenProducts(CLangFlagsDlg& flags, const ProductOffer& merged);

  // Takes the banner: frame_width x frame_height pixel frames side by side in the image at
  // path, a new frame every interval seconds. A path that does not load, or frames less than
  // a pixel wide or high, give no banner.
  void LoadBanner(const std::wstring& path, int frame_width, int frame_height, int interval_seconds);
  // Releases the banner image (before GDI+ is shut down, and when the page is left).
  void ReleaseBanner();
  int FrameCount() const { return m_frameCount; }
  int CurrentFrame() const { return m_currentFrame; }
  // The banner timer's period in milliseconds, 0 when the banner does not move.
  UINT BannerPeriod() const { return m_bannerPeriod; }
  // Moves to the next frame, after the last back to the first (IDT_BANNER_FRAME).
  void NextBannerFrame();

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  afx_msg void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()

 private:
  // One step of the queue; true when it ended the page (cancelled).
  bool StepQueue();
  // Stops the queue's downloads with the unloading's bounded wait; one that still runs after
  // it keeps the plug-in loaded.
  void StopQueueDownloads();
  void PaintBanner();

  CStatic m_status;
  CProgressCtrl m_progress;
  int m_frameWidth = 0;
  int m_frameHeight = 0;
  int m_frameCount = 0;
  int m_currentFrame = 0;
  UINT m_bannerPeriod = 0;
  std::unique_ptr<Gdiplus::Image> m_banner;
  CInstallQueue m_queue;
  UINT m_stepInterval = 1000;
};

}  // namespace gwplugin
