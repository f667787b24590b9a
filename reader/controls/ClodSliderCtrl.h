// The reader's skinned trackbars. CClodSliderCtrl draws its channel and thumb from a skin
// through the trackbar's custom-draw notifications, over the parent's skin background; shows
// its value in the trackbar's own tooltip; keeps a second tooltip for a description; and has a
// fine mode in which the control's position is ten times the value, with a pull to zero.
// CPngClodSliderCtrl is the same control drawing from a PNG with GDI+.
#pragma once

#include <afxcmn.h>

#include <string>

#include "ControlTooltips.h"
#include "draw_helpers.h"

class CClodSliderCtrl : public CSliderCtrl {
  DECLARE_DYNAMIC(CClodSliderCtrl)
 public:
  enum { TOOL_ID = 100 };

  CClodSliderCtrl();
  ~CClodSliderCtrl() override;

  // Skin geometry, in pixels of the skin image. A negative filledY means no filled row.
  void SetChannelGeometry(int sourceX, int leftCap, int middle, int rightCap, int plainY, int height, int filledY,
                          int margin);
  void SetThumbGeometry(int sourceX, int sourceY, int width, int height);
  bool HasValidGeometry() const;

  // Fine mode: control positions are ten times the value.
  void SetFineMode(bool fine) { m_fineMode = fine; }
  void SetValueDivisor(int divisor) { m_valueDivisor = divisor == 0 ? 1 : divisor; }
  void SetValueFormat(LPCTSTR format) { m_valueFormat = format ? format : L"%d"; }

  // The trackbar's own tooltip asks this control for its text (TTN_GETDISPINFO); the value
  // format becomes "%d".
  void EnableValueTip();
  // The description tooltip (tool 100); NULL removes it.
  void SetTooltip(LPCTSTR text);
  // The description tooltip window: made at the first mouse move over the slider.
  CToolTipCtrl& Tooltip() { return m_tooltip.Control(); }

  // Values: in fine mode the position divided by ten, rounded half away from zero.
  int GetPos() const;
  int GetRangeMax() const;
  void SetPos(int value);
  // The owner calls this for each WM_HSCROLL of the control.
  void OnScroll(UINT scrollCode);
  // The text the value tip shows now.
  std::wstring ValueText() const;

  virtual bool HasNoImage() const;
  // A transparent blit of the skin bitmap (magenta is see-through).
  virtual bool DrawImagePart(CDC* dc, int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
                             int sourceHeight);

  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  afx_msg void OnCustomDraw(NMHDR* pNotify, LRESULT* pResult);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  DECLARE_MESSAGE_MAP()

 private:
  bool SkinUsable() const { return !HasNoImage() && HasValidGeometry(); }
  CRect ThumbRect() const;
  void DrawThumb(CDC* dc);
  void DrawChannel(CDC& dc);

  draw_helpers::MemoryDC m_memory;
  draw_helpers::SkinBackgroundPainter m_painter;
  orv_controls::DeferredTooltip m_tooltip;
  bool m_relay = true;
  draw_helpers::SharedSkinBitmap* m_skinBitmap = nullptr;
  // Channel: source x, left cap, middle and right cap widths, plain row y, height, filled
  // row y, side margin.
  int m_channelX = -1, m_leftCap = -1, m_middle = -1, m_rightCap = -1;
  int m_plainY = -1, m_channelHeight = -1, m_filledY = -1, m_margin = -1;
  int m_thumbX = -1, m_thumbY = -1, m_thumbWidth = -1, m_thumbHeight = -1;
  bool m_fineMode = false;
  int m_snapLow = 0, m_snapHigh = 0;
  int m_valueDivisor = 1;
  std::wstring m_valueFormat;
};

class CPngClodSliderCtrl : public CClodSliderCtrl {
  DECLARE_DYNAMIC(CPngClodSliderCtrl)
 public:
  // The skin image (not owned; the owner keeps it for the control's life).
  void SetImage(Gdiplus::Image* image) { m_image = image; }
  // The reader's slider skin (image 616 of the language module): the image, its channel and
  // thumb geometry, and the value tip.
  void SetReaderSkin(Gdiplus::Image* image);
  bool HasNoImage() const override { return m_image == nullptr; }
  bool DrawImagePart(CDC* dc, int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
                     int sourceHeight) override;

 private:
  Gdiplus::Image* m_image = nullptr;
};
