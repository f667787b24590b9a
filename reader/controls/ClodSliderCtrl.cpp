#include "ClodSliderCtrl.h"

#include <cwchar>

#include "ControlTooltips.h"

namespace {

// The last point relayed to a description tooltip by any skinned slider.
POINT g_lastRelayedPoint = {0, 0};

// The value tip's text; the tooltip reads it after the notification returns.
std::wstring g_valueTipText;

constexpr int kFine = 10;       // control units per value in fine mode
constexpr int kSnapToZero = 7;  // fine-mode positions this close to 0 settle at 0

int FineValue(int position) {
  // Half away from zero: -15 is -2, 14 is 1.
  return position >= 0 ? (position + kFine / 2) / kFine : -((-position + kFine / 2) / kFine);
}

}  // namespace

IMPLEMENT_DYNAMIC(CClodSliderCtrl, CSliderCtrl)
IMPLEMENT_DYNAMIC(CPngClodSliderCtrl, CClodSliderCtrl)

BEGIN_MESSAGE_MAP(CClodSliderCtrl, CSliderCtrl)
  ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CClodSliderCtrl::OnCustomDraw)
  ON_WM_MOUSEMOVE()
  ON_WM_SIZE()
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CClodSliderCtrl::CClodSliderCtrl()
    : m_painter(draw_helpers::SkinBackgroundPainter::kRedrawEveryPaint, this, &m_memory) {
  m_painter.SetDrawCallback([this](CDC& dc) { DrawChannel(dc); });
}

CClodSliderCtrl::~CClodSliderCtrl() { m_tooltip.Destroy(); }

void CClodSliderCtrl::SetChannelGeometry(int sourceX, int leftCap, int middle, int rightCap, int plainY, int height,
                                         int filledY, int margin) {
  m_channelX = sourceX;
  m_leftCap = leftCap;
  m_middle = middle;
  m_rightCap = rightCap;
  m_plainY = plainY;
  m_channelHeight = height;
  m_filledY = filledY;
  m_margin = margin;
}

void CClodSliderCtrl::SetThumbGeometry(int sourceX, int sourceY, int width, int height) {
  m_thumbX = sourceX;
  m_thumbY = sourceY;
  m_thumbWidth = width;
  m_thumbHeight = height;
}

bool CClodSliderCtrl::HasValidGeometry() const {
  return m_channelX >= 0 && m_leftCap > 0 && m_middle > 0 && m_rightCap > 0 && m_plainY >= 0 && m_channelHeight > 0 &&
         m_thumbX >= 0 && m_thumbY >= 0 && m_thumbWidth > 0 && m_thumbHeight > 0;
}

void CClodSliderCtrl::EnableValueTip() {
  m_valueFormat = L"%d";
  HWND tips = reinterpret_cast<HWND>(SendMessage(TBM_GETTOOLTIPS));
  if (!tips) return;
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  if (!::SendMessageW(tips, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info))) return;
  info.lpszText = LPSTR_TEXTCALLBACKW;
  ::SendMessageW(tips, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info));
}

void CClodSliderCtrl::SetTooltip(LPCTSTR text) {
  orv_controls::SetDescriptionTooltip(m_tooltip, this, TOOL_ID, text, false);
}

int CClodSliderCtrl::GetPos() const {
  const int position = static_cast<int>(SendMessage(TBM_GETPOS));
  return m_fineMode ? FineValue(position) : position;
}

int CClodSliderCtrl::GetRangeMax() const {
  const int maximum = static_cast<int>(SendMessage(TBM_GETRANGEMAX));
  return m_fineMode ? maximum / kFine : maximum;
}

void CClodSliderCtrl::SetPos(int value) { SendMessage(TBM_SETPOS, TRUE, m_fineMode ? value * kFine : value); }

void CClodSliderCtrl::OnScroll(UINT scrollCode) {
  if (m_fineMode) {
    if (scrollCode == SB_LINELEFT) {
      SetPos(GetPos() - 1);  // the control keeps it at its minimum
    } else if (scrollCode == SB_LINERIGHT) {
      if (GetPos() < GetRangeMax()) SetPos(GetPos() + 1);
    } else {
      const int position = static_cast<int>(SendMessage(TBM_GETPOS));
      if (position >= -kSnapToZero && position <= kSnapToZero) SendMessage(TBM_SETPOS, TRUE, 0);
    }
  }
  switch (scrollCode) {
    case SB_LINELEFT:
    case SB_LINERIGHT:
    case SB_PAGELEFT:
    case SB_PAGERIGHT:
    case SB_LEFT:
    case SB_RIGHT: {
      // A click on the thumb ends the keyboard move as a drag would, so the control tells its
      // owner the final position (SB_THUMBPOSITION, SB_ENDSCROLL), which sends no click.
      const CPoint centre = ThumbRect().CenterPoint();
      const LPARAM at = MAKELPARAM(centre.x, centre.y);
      SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessage(WM_LBUTTONUP, 0, at);
      break;
    }
    default:
      break;
  }
}

std::wstring CClodSliderCtrl::ValueText() const {
  wchar_t text[64] = {};
  if (m_valueDivisor == 1)
    _snwprintf(text, 63, m_valueFormat.empty() ? L"%d" : m_valueFormat.c_str(), GetPos());
  else
    _snwprintf(text, 63, L"%.1f", static_cast<double>(GetPos()) / m_valueDivisor);
  return text;
}

bool CClodSliderCtrl::HasNoImage() const { return m_skinBitmap == nullptr || m_skinBitmap->bitmap == nullptr; }

bool CClodSliderCtrl::DrawImagePart(CDC* dc, int x, int y, int width, int height, int sourceX, int sourceY,
                                    int sourceWidth, int sourceHeight) {
  if (!dc || !m_skinBitmap) return false;
  return draw_helpers::TransparentBlitSkin(*m_skinBitmap, dc->m_hDC, x, y, width, height, sourceX, sourceY, sourceWidth,
                                           sourceHeight);
}

CRect CClodSliderCtrl::ThumbRect() const {
  CRect thumb;
  SendMessage(TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  return thumb;
}

void CClodSliderCtrl::DrawThumb(CDC* dc) {
  // Only draws: invalidating here would make every paint ask for the next one.
  const CPoint centre = ThumbRect().CenterPoint();
  DrawImagePart(dc, centre.x - m_thumbWidth / 2, centre.y - m_thumbHeight / 2, m_thumbWidth, m_thumbHeight, m_thumbX,
                m_thumbY, m_thumbWidth, m_thumbHeight);
}

void CClodSliderCtrl::DrawChannel(CDC& dc) {
  CRect window;
  GetWindowRect(&window);
  const int width = window.Width();
  const CRect thumb = ThumbRect();
  const int top = thumb.CenterPoint().y - m_channelHeight / 2;
  const int h = m_channelHeight;
  const int middleLeft = m_margin + m_leftCap;
  const int middleRight = width - m_margin - m_rightCap;
  const int middleColumn = m_channelX + m_leftCap;
  const bool filled = m_filledY >= 0;

  DrawImagePart(&dc, m_margin, top, m_leftCap, h, m_channelX, filled ? m_filledY : m_plainY, m_leftCap, h);
  if (!filled) {
    DrawImagePart(&dc, middleLeft, top, middleRight - middleLeft, h, middleColumn, m_plainY, m_middle, h);
  } else {
    // Filled from the left cap up to the thumb's centre, plain from there to the right cap.
    const int split = std::max(middleLeft, std::min(static_cast<int>(thumb.CenterPoint().x), middleRight));
    if (split > middleLeft)
      DrawImagePart(&dc, middleLeft, top, split - middleLeft, h, middleColumn, m_filledY, m_middle, h);
    if (middleRight > split)
      DrawImagePart(&dc, split, top, middleRight - split, h, middleColumn, m_plainY, m_middle, h);
  }
  DrawImagePart(&dc, middleRight, top, m_rightCap, h, middleColumn + m_middle, m_plainY, m_rightCap, h);
}

void CClodSliderCtrl::OnCustomDraw(NMHDR* pNotify, LRESULT* pResult) {
  auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(pNotify);
  switch (draw->dwDrawStage) {
    case CDDS_PREPAINT:
      // Without a usable skin the control draws itself entirely, its background included (the
      // erase stage would otherwise be skipped like every stage the skin replaces).
      *pResult = SkinUsable() ? CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
      return;
    case CDDS_ITEMPREPAINT:
      break;
    default:
      *pResult = CDRF_SKIPDEFAULT;
      return;
  }
  switch (draw->dwItemSpec) {
    case TBCD_TICS:
      *pResult = CDRF_DODEFAULT;
      return;
    case TBCD_THUMB:
      if (!SkinUsable()) {
        *pResult = CDRF_DODEFAULT;
        return;
      }
      DrawThumb(CDC::FromHandle(draw->hdc));
      *pResult = CDRF_SKIPDEFAULT;
      return;
    case TBCD_CHANNEL: {
      if (!SkinUsable()) {
        *pResult = CDRF_DODEFAULT;
        return;
      }
      CRect client;
      GetClientRect(&client);
      m_painter.Paint(CDC::FromHandle(draw->hdc), nullptr, nullptr, client.Width(), client.Height());
      *pResult = CDRF_SKIPDEFAULT;
      return;
    }
    default:
      *pResult = CDRF_SKIPDEFAULT;
      return;
  }
}

BOOL CClodSliderCtrl::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header && header->code == TTN_GETDISPINFOW) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    g_valueTipText = ValueText();
    info->lpszText = const_cast<LPWSTR>(g_valueTipText.c_str());
    info->hinst = nullptr;
    if (pResult) *pResult = 0;
    return TRUE;
  }
  return CSliderCtrl::OnNotify(wParam, lParam, pResult);
}

BOOL CClodSliderCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (m_painter.HandleMessage(message, wParam, lParam, pResult)) return TRUE;
  return CSliderCtrl::OnWndMsg(message, wParam, lParam, pResult);
}

void CClodSliderCtrl::OnMouseMove(UINT nFlags, CPoint) {
  Default();
  if (!m_fineMode || !(nFlags & MK_LBUTTON) || m_snapLow == m_snapHigh) return;
  const int position = static_cast<int>(SendMessage(TBM_GETPOS));
  if (position > m_snapLow && position <= m_snapHigh)
    SendMessage(TBM_SETPOS, TRUE, m_snapLow + (m_snapHigh - m_snapLow) / 2);
}

void CClodSliderCtrl::OnSize(UINT, int, int) {
  Default();
  if (!m_tooltip.Control().m_hWnd) return;  // one made later takes the client area as it is then
  CRect client;
  GetClientRect(&client);
  m_tooltip.Control().SetToolRect(this, TOOL_ID, &client);
}

BOOL CClodSliderCtrl::OnEraseBkgnd(CDC*) { return TRUE; }  // the channel draw covers it

BOOL CClodSliderCtrl::PreTranslateMessage(MSG* pMsg) {
  if (m_relay) orv_controls::RelayMouseMove(m_tooltip, pMsg, g_lastRelayedPoint);
  return CSliderCtrl::PreTranslateMessage(pMsg);
}

// ---------------------------------------------------------------------------------------------
void CPngClodSliderCtrl::SetReaderSkin(Gdiplus::Image* image) {
  SetImage(image);
  SetChannelGeometry(2, 2, 1, 2, 3, 3, 6, 11);
  SetThumbGeometry(13, 1, 8, 8);
  EnableValueTip();
}

bool CPngClodSliderCtrl::DrawImagePart(CDC* dc, int x, int y, int width, int height, int sourceX, int sourceY,
                                       int sourceWidth, int sourceHeight) {
  if (!dc || !dc->m_hDC || !m_image) return false;
  Gdiplus::Graphics graphics(dc->m_hDC);
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQuality);
  graphics.SetCompositingQuality(Gdiplus::CompositingQualityHighQuality);
  graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
  return graphics.DrawImage(m_image, Gdiplus::Rect(x, y, width, height), sourceX, sourceY, sourceWidth, sourceHeight,
                            Gdiplus::UnitPixel) == Gdiplus::Ok;
}
