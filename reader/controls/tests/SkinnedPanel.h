// A window holding every skinned control, made from the main dialog's template of a real
// language module and skinned from that module's images the way the main dialog does it.
// Shared by the controls' tests and the controls' benchmark.
#pragma once

#include <afxcmn.h>

#include <functional>
#include <memory>

#include "ClodSliderCtrl.h"
#include "HyperlinkStatic.h"
#include "SkinButton.h"
#include "TTComboBox.h"
#include "draw_helpers.h"

namespace controls_test {

// GDI+ started and a language module made the resource module, for the life of the object.
class SkinSession {
 public:
  explicit SkinSession(const std::wstring& modulePath);
  ~SkinSession();
  SkinSession(const SkinSession&) = delete;
  SkinSession& operator=(const SkinSession&) = delete;
  bool ok() const { return m_module != nullptr && m_gdiplus != 0; }
  HMODULE module() const { return m_module; }

 private:
  ULONG_PTR m_gdiplus = 0;
  HMODULE m_module = nullptr;
  HINSTANCE m_previous = nullptr;
};

// The folder of the running program, trailing backslash kept.
std::wstring ProgramFolder();

// A 32-bit top-down DIB section selected into a memory DC: something to draw into and read
// pixels back from.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill = RGB(0, 0, 0));
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc() const { return m_dc; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  COLORREF Pixel(int x, int y) const;  // as RGB(); 0xFFFFFFFF outside
  void Fill(COLORREF colour);
  bool SavePng(const std::wstring& path) const;

 private:
  HDC m_dc = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_old = nullptr;
  DWORD* m_bits = nullptr;
  int m_width;
  int m_height;
};

// The skinned main-dialog controls on a background the test chooses.
class CSkinnedPanel : public CDialog {
 public:
  // Fills the panel's background (the dialog's skin in the reader).
  using Background = std::function<void(CDC& dc, int width, int height)>;
  // An empty background draws the reader's own skin (edges, middle and separators).
  // skinned = false keeps the template's controls as the system draws them (owner-drawn
  // buttons become push buttons), for comparisons.
  explicit CSkinnedPanel(Background background, bool skinned = true);
  ~CSkinnedPanel() override;

  BOOL Create(CWnd* parent = nullptr) { return CDialog::Create(582, parent); }
  // Paints the panel's background into the cache now, handing each child its part.
  void Compose();
  draw_helpers::SkinBackgroundPainter& Painter() { return m_painter; }
  Gdiplus::Image* ButtonSheet() const { return m_sheet.image; }
  Gdiplus::Image* SliderSheet() const { return m_sliderSheet.image; }

  CSkinButton m_language, m_read, m_stop, m_launch, m_close, m_minimise, m_fold, m_lexicon, m_voiceIcon;
  CPngClodSliderCtrl m_speed, m_volume;
  CTTComboBox m_voices;
  CHyperlinkStatic m_siteLink, m_voiceLink;
  std::shared_ptr<draw_helpers::CImageAnimation2> m_busy;
  int m_hscrolls = 0;  // WM_HSCROLL messages from the sliders

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}
  afx_msg void OnPaint();
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  DECLARE_MESSAGE_MAP()

 private:
  void Skin();
  void LayOut();
  void PaintTo(CDC& dc);
  void DrawBackground(CDC& dc, int width, int height);
  void DrawReaderSkin(CDC& dc, int width, int height);

  Background m_background;
  bool m_skinned;
  draw_helpers::MemoryDC m_memory;
  draw_helpers::SkinBackgroundPainter m_painter;
  draw_helpers::ImageBuffer m_sheet;        // 608: every button's looks
  draw_helpers::ImageBuffer m_sliderSheet;  // 616: channel and thumb
  draw_helpers::ImageBuffer m_left, m_middle, m_right, m_separator, m_speedIcon, m_volumeIcon;
};

}  // namespace controls_test
