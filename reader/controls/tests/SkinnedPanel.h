// A window holding every skinned control, made from the main dialog's template of a real
// language module and bound, skinned and laid out by the main dialog's own skin.
#pragma once

#include <afxcmn.h>

#include <functional>

#include "DialogSkin.h"
#include "SkinSession.h"

namespace controls_test {

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
  // An empty background draws the reader's own skin.
  explicit CSkinnedPanel(Background background);
  ~CSkinnedPanel() override;

  BOOL Create(CWnd* parent = nullptr) { return CDialog::Create(582, parent); }
  // Paints the panel's background into the cache now, handing each child its part.
  void Compose();
  draw_helpers::SkinBackgroundPainter& Painter() { return m_painter; }
  Gdiplus::Image* ButtonSheet() const { return m_skin.ButtonSheet(); }
  Gdiplus::Image* SliderSheet() const { return m_skin.SliderSheet(); }
  draw_helpers::CImageAnimation2* ReadBusy() const { return m_skin.ReadBusy(); }

  CSkinButton m_language, m_read, m_stop, m_launch, m_close, m_minimise, m_fold, m_lexicon, m_voiceIcon;
  CPngClodSliderCtrl m_speed, m_volume;
  CTTComboBox m_voices;
  CHyperlinkStatic m_siteLink, m_voiceLink;
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
  orv_reader::DialogControls Controls();
  void PaintTo(CDC& dc);

  Background m_background;
  draw_helpers::MemoryDC m_memory;
  draw_helpers::SkinBackgroundPainter m_painter;
  orv_reader::DialogSkin m_skin;
};

}  // namespace controls_test
