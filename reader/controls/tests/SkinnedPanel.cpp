#include "SkinnedPanel.h"

#include <vector>

namespace controls_test {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// ---------------------------------------------------------------------------------------------
Canvas::Canvas(int width, int height, COLORREF fill) : m_width(width), m_height(height) {
  void* bits = nullptr;
  m_bitmap = draw_helpers::CreateDib32(nullptr, width, height, &bits);
  m_bits = static_cast<DWORD*>(bits);
  m_dc = CreateCompatibleDC(nullptr);
  m_old = SelectObject(m_dc, m_bitmap);
  Fill(fill);
}

Canvas::~Canvas() {
  SelectObject(m_dc, m_old);
  DeleteDC(m_dc);
  DeleteObject(m_bitmap);
}

COLORREF Canvas::Pixel(int x, int y) const {
  if (!m_bits || x < 0 || y < 0 || x >= m_width || y >= m_height) return 0xFFFFFFFF;
  GdiFlush();
  const DWORD p = m_bits[y * m_width + x];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void Canvas::Fill(COLORREF colour) {
  const RECT all = {0, 0, m_width, m_height};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(m_dc, &all, brush);
  DeleteObject(brush);
}

bool Canvas::SavePng(const std::wstring& path) const {
  CLSID png{};
  UINT count = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<BYTE> buffer(size);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, encoders);
  bool found = false;
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(encoders[i].MimeType, L"image/png") == 0) {
      png = encoders[i].Clsid;
      found = true;
    }
  }
  if (!found) return false;
  GdiFlush();
  Gdiplus::Bitmap bitmap(m_bitmap, nullptr);
  return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// ---------------------------------------------------------------------------------------------
BEGIN_MESSAGE_MAP(CSkinnedPanel, CDialog)
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_WM_HSCROLL()
END_MESSAGE_MAP()

CSkinnedPanel::CSkinnedPanel(Background background)
    : m_background(std::move(background)), m_painter(draw_helpers::SkinBackgroundPainter::kCached, this, &m_memory) {}

CSkinnedPanel::~CSkinnedPanel() {
  if (m_hWnd) DestroyWindow();
}

orv_reader::DialogControls CSkinnedPanel::Controls() {
  return {m_language, m_voices, m_read, m_stop,    m_launch,   m_close,     m_minimise,
          m_speed,    m_volume, m_fold, m_lexicon, m_siteLink, m_voiceLink, m_voiceIcon};
}

void CSkinnedPanel::DoDataExchange(CDataExchange* pDX) { orv_reader::DialogSkin::Bind(pDX, Controls()); }

BOOL CSkinnedPanel::OnInitDialog() {
  CDialog::OnInitDialog();
  m_skin.Load();
  m_skin.Apply(Controls(), m_painter);
  const int width = m_skin.LayOut(*this);
  SetWindowPos(nullptr, 0, 0, width, m_skin.BodyHeight() + 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // What the speech settings and voices give the dialog: a list of voices with their tips, the
  // first chosen (a maker's voice of the second generation), and the volume.
  m_voices.AddItem(L"Agata", L"SAPI 5 voice\nName: Agata");
  m_voices.AddItem(L"Kacper", L"SAPI 5 voice\nName: Kacper");
  m_voices.AddItem(L"Anna (high-fidelity edition, 22 kHz)", L"SAPI 5 voice\nName: Anna");
  m_voices.SetCurSel(0);
  m_skin.ShowVoiceType(m_voiceIcon, 2, true);
  m_volume.SetPos(80);
  return TRUE;
}

void CSkinnedPanel::PaintTo(CDC& dc) {
  CRect client;
  GetClientRect(&client);
  m_painter.Paint(
      &dc,
      [this, client](CDC& memory) {
        if (m_background)
          m_background(memory, client.Width(), client.Height());
        else
          m_skin.Draw(memory, *this, false);
      },
      nullptr, client.Width(), client.Height());
}

void CSkinnedPanel::Compose() {
  m_painter.Invalidate();
  CClientDC dc(this);
  PaintTo(dc);
}

void CSkinnedPanel::OnPaint() {
  CPaintDC dc(this);
  PaintTo(dc);
}

BOOL CSkinnedPanel::OnEraseBkgnd(CDC*) { return TRUE; }  // the background covers everything

void CSkinnedPanel::OnHScroll(UINT nSBCode, UINT, CScrollBar* pScrollBar) {
  ++m_hscrolls;
  CWnd* control = reinterpret_cast<CWnd*>(pScrollBar);
  if (control == &m_speed) m_speed.OnScroll(nSBCode);
  if (control == &m_volume) m_volume.OnScroll(nSBCode);
}

}  // namespace controls_test
