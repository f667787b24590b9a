#include "ProgressDlg.h"

#include "NsisStack.h"
#include "PluginApp.h"
#include "PluginLog.h"
#include "PluginMessages.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <climits>

namespace gwplugin {

using namespace orv_products;

IMPLEMENT_DYNAMIC(CProgressDlg, CPluginPage)

BEGIN_MESSAGE_MAP(CProgressDlg, CPluginPage)
  ON_WM_TIMER()
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg() = default;

// The image is deleted here, where Gdiplus::Image is complete; the application releases it
// before GDI+ is shut down, so nothing is left for this point then.
CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::DoDataExchange(CDataExchange* pDX) {
  CPluginPage::DoDataExchange(pDX);
  DDX_Control(pDX, kIdStatus, m_status);
  DDX_Control(pDX, kIdProgress, m_progress);
}

void CProgressDlg::ReleaseBanner() {
  m_banner.reset();
  m_frameWidth = m_frameHeight = m_frameCount = m_currentFrame = 0;
  m_bannerPeriod = 0;
}

void CProgressDlg::LoadBanner(const std::wstring& path, int frame_width, int frame_height, int interval_seconds) {
  ReleaseBanner();
  m_frameWidth = frame_width;
  m_frameHeight = frame_height;
  // Frames under a pixel cannot be cut from the image (and a width of 0 would divide by it).
  if (path.empty() || frame_width < 1 || frame_height < 1) return;
  std::unique_ptr<Gdiplus::Image> image(Gdiplus::Image::FromFile(path.c_str()));
  if (!image || image->GetLastStatus() != Gdiplus::Ok || image->GetWidth() == 0) return;
  const UINT frames = image->GetWidth() / static_cast<UINT>(frame_width);
  m_frameCount = static_cast<int>(std::min<UINT>(frames, INT_MAX));
  if (m_frameCount == 0) return;
  m_banner = std::move(image);
  // A bad interval leaves the first frame standing rather than flickering.
  if (m_frameCount > 1 && interval_seconds >= 1)
    m_bannerPeriod = static_cast<UINT>(std::min(interval_seconds, kLongestBannerInterval)) * 1000u;
}

void CProgressDlg::NextBannerFrame() {
  m_currentFrame = m_currentFrame < m_frameCount - 1 ? m_currentFrame + 1 : 0;
  if (m_hWnd) InvalidateRect(nullptr, FALSE);
}

void CProgressDlg::MarkLanguageChoice(const ProductOffer& merged, int selection, const ChosenVoices& chosen) {
  for (const CProdPtr& product : merged.products)
    if (product) product->ClearStateBits(PS_INSTALL_CHECK);
  for (int index : {0, 2, 1, 3, 4, 5, 6, 7})
    if ((selection & (1 << index)) && chosen[index]) chosen[index]->AddStateIfHasBits(PS_INSTALL_CHECK, PS_INSTALL);
  const CProdGroupPtr applications = FindGroupById(merged.groups, kApplicationsGroup);
  if (!applications) return;
  for (const CProdPtr& product : applications->products)
    if (product) product->AddStateIfHasBits(PS_INSTALL_CHECK, PS_INSTALL);
  if (const CProdPtr reader = FindProductById(applications->products, kReaderApplication)) {
    reader->ClearStateBits(PS_INSTALL_CHECK);
    if (selection & CLangFlagsDlg::kMaskApplication) reader->AddStateIfHasBits(PS_INSTALL_CHECK, PS_INSTALL);
  }
}

void CProgressDlg::MarkChosenProducts(CLangFlagsDlg& flags, const ProductOffer& merged) {
  if (!flags.HasBoldFont() || flags.UserMode() != 0) return;
  flags.RebindChosenVoices();
  ChosenVoices chosen;
  for (int i = 0; i < kVoiceGroupCount; ++i) chosen[i] = flags.GetChosenVoice(i);
  MarkLanguageChoice(merged, flags.LanguageSelectionMask(), chosen);
}

BOOL CProgressDlg::OnInitDialog() {
  CPluginPage::OnInitDialog();
  try {
    std::wstring path;
    if (NsisStackHasEntries()) NsisPopString(path);
    if (!path.empty()) {
      const int frame_width = NsisPopInt();
      const int frame_height = NsisPopInt();
      const int interval = NsisPopInt();
      LoadBanner(path, frame_width, frame_height, interval);
    } else {
      ReleaseBanner();
    }
    if (m_bannerPeriod) SetTimer(IDT_BANNER_FRAME, m_bannerPeriod, nullptr);

    EnableNsisButton(nsis::kIdBack, false);
    EnableNsisButton(nsis::kIdNext, false);

    CGWPluginApp& app = ThePluginApp();
    MarkChosenProducts(app.flagsPage, app.catalogue.mergedOffer);
    m_queue.Prepare(app.catalogue.mergedOffer.products, this, &m_progress, &m_status);
  } catch (...) {
    AfxReportCaughtException("CProgressDlg::OnInitDialog");
  }
  // Also after a failure above: the first step then finds the queue done or cancelled, and
  // the wizard moves on rather than waiting on a page that does nothing.
  SetTimer(IDT_QUEUE_STEP, m_stepInterval, nullptr);
  return TRUE;
}

bool CProgressDlg::StepQueue() {
  const int result = m_queue.Step();
  if (result == kStepDone) {
    KillTimer(IDT_QUEUE_STEP);
    if (m_queue.FailedProducts().empty()) {
      ThePluginApp().ClickNsisNext();
    } else {
      // The status line names the products that did not install: the page stays until the
      // user has read it and goes on, by mouse or by Return. Next, disabled under the focus
      // while the queue ran, takes the keyboard as the default button.
      EnableNsisButton(nsis::kIdNext, true);
      FocusNsisButton(nsis::kIdNext);
    }
  } else if (result == kStepCancelled) {
    // The user gave up after a failed download: the script learns it from "CLOSE" under
    // the page's "cancel".
    KillTimer(IDT_QUEUE_STEP);
    NsisPushString(L"CLOSE");
    ThePluginApp().EndPage(kPageCancel);
    return true;
  }
  return false;
}

void CProgressDlg::StopQueueDownloads() {
  CGWPluginApp* app = PluginAppIfAny();
  if (m_queue.StopDownloads(app ? app->unloadWaitMs : 3000)) return;
  LogLine(L"a product download still runs after the progress page; the plug-in stays loaded");
  PinPluginModule();
}

void CProgressDlg::OnTimer(UINT_PTR id) {
  try {
    if (id == IDT_QUEUE_STEP) {
      if (StepQueue()) return;  // the page has ended: nothing else runs for this tick
    } else if (id == IDT_BANNER_FRAME) {
      NextBannerFrame();
    }
  } catch (...) {
    AfxReportCaughtException("CProgressDlg::OnTimer");
  }
  Default();
}

void CProgressDlg::PaintBanner() {
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  if (!dc) return;
  HWND place = ::GetDlgItem(m_hWnd, kIdBanner);
  if (place && m_banner) {
    RECT rect{};
    ::GetWindowRect(place, &rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(m_banner.get(), Gdiplus::Rect(rect.left, rect.top, m_frameWidth, m_frameHeight),
                       m_currentFrame * m_frameWidth, 0, m_frameWidth, m_frameHeight, Gdiplus::UnitPixel);
  }
  ::EndPaint(m_hWnd, &paint);
}

LRESULT CProgressDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_DISABLE_CANCEL:
        EnableNsisButton(nsis::kIdCancel, false);
        break;
      case WM_PAGE_LEFT:
        KillTimer(IDT_BANNER_FRAME);
        KillTimer(IDT_QUEUE_STEP);
        // Cancel means stop: nothing goes on downloading once the user has said so.
        if (wParam == kPageCancel) StopQueueDownloads();
        return 1;
      case WM_DESTROY:
        // However the page went (the installer ending under it too), nothing steps its queue
        // any more.
        StopQueueDownloads();
        break;
      case WM_PAINT:
        if (m_frameCount > 0) PaintBanner();
        break;
      default:
        break;
    }
  } catch (...) {
    AfxReportCaughtException("CProgressDlg::WindowProc");
  }
  return CPluginPage::WindowProc(message, wParam, lParam);
}

}  // namespace gwplugin
