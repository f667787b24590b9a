#include "draw_helpers.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace draw_helpers {

namespace {

std::atomic<long> g_liveImages{0};

// An image that counts itself, so that a leak shows in LiveImageCount.
class SkinImage : public Gdiplus::Image {
 public:
  explicit SkinImage(IStream* stream) : Gdiplus::Image(stream) { ++g_liveImages; }
  ~SkinImage() override { --g_liveImages; }
};

// A COM stream over the locked memory. It must not free the memory when it is released: the
// image reads from it for as long as it lives.
IStream* StreamOver(HGLOBAL memory) {
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, FALSE, &stream))) return nullptr;
  return stream;
}

void ReleaseMemory(ImageBuffer& buffer) {
  if (buffer.locked) GlobalUnlock(buffer.memory);
  if (buffer.memory) GlobalFree(buffer.memory);
  buffer.memory = nullptr;
  buffer.locked = nullptr;
  buffer.size = 0;
}

}  // namespace

ImageBuffer::~ImageBuffer() { FreeImageBuffer(*this); }

long LiveImageCount() { return g_liveImages.load(); }

void FreeImageBuffer(ImageBuffer& buffer) {
  // The image first: it may still read from the memory.
  if (buffer.image) {
    delete buffer.image;
    buffer.image = nullptr;
  }
  ReleaseMemory(buffer);
}

bool LoadImageFromResource(UINT id, LPCTSTR type, ImageBuffer& buffer) {
  FreeImageBuffer(buffer);
  HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEW(id), type);
  HRSRC info = module ? FindResourceW(module, MAKEINTRESOURCEW(id), type) : nullptr;
  if (!info) return false;
  const DWORD size = SizeofResource(module, info);
  HGLOBAL loaded = size ? LoadResource(module, info) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;

  buffer.memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!buffer.memory) return false;
  buffer.locked = GlobalLock(buffer.memory);
  if (!buffer.locked) {
    ReleaseMemory(buffer);
    return false;
  }
  std::memcpy(buffer.locked, data, size);
  buffer.size = size;

  IStream* stream = StreamOver(buffer.memory);
  if (!stream) {
    ReleaseMemory(buffer);
    return false;
  }
  // GDI+ objects come from GDI+'s own allocator, which answers NULL rather than throwing.
  Gdiplus::Image* image = new SkinImage(stream);
  stream->Release();
  if (!image || image->GetLastStatus() != Gdiplus::Ok) {
    delete image;
    ReleaseMemory(buffer);
    return false;
  }
  buffer.image = image;
  return true;
}

// ---------------------------------------------------------------------------------------------
void CDrawImageArea::Draw(Gdiplus::Graphics* graphics) {
  if (!graphics || !IsValid()) return;
  // A failure stays on the graphics object (GetLastStatus); drawing reports nothing.
  graphics->DrawImage(m_image, m_destination.x, m_destination.y, m_source.left, m_source.top, m_source.Width(),
                      m_source.Height(), Gdiplus::UnitPixel);
}

// ---------------------------------------------------------------------------------------------
CImageAnimation2::~CImageAnimation2() = default;  // the buffer frees the image and its memory

void CImageAnimation2::Draw(Gdiplus::Graphics* graphics) {
  if (!graphics || !m_buffer.image || m_currentFrame < 0 || m_frameCount < 0) return;
  if (m_multiFrameImage) {
    m_buffer.image->SelectActiveFrame(&Gdiplus::FrameDimensionTime, static_cast<UINT>(m_currentFrame));
    graphics->DrawImage(m_buffer.image, m_x, m_y, 0, 0, m_frameWidth, m_frameHeight, Gdiplus::UnitPixel);
    return;
  }
  graphics->DrawImage(m_buffer.image, m_x, m_y, m_currentFrame * m_frameWidth, 0, m_frameWidth, m_frameHeight,
                      Gdiplus::UnitPixel);
}

bool CImageAnimation2::LoadAnimated(UINT id, LPCTSTR type) {
  if (!LoadImageFromResource(id, type, m_buffer)) return false;
  Gdiplus::Image* image = m_buffer.image;
  const UINT dimensions = image->GetFrameDimensionsCount();
  std::vector<GUID> ids(dimensions ? dimensions : 1);
  UINT frames = 0;
  if (dimensions > 0 && image->GetFrameDimensionsList(ids.data(), dimensions) == Gdiplus::Ok)
    frames = image->GetFrameCount(&ids[0]);
  if (frames <= 1) {
    FreeImageBuffer(m_buffer);
    return false;
  }
  m_frameCount = static_cast<int>(frames);
  m_currentFrame = 0;
  m_multiFrameImage = true;
  m_frameWidth = static_cast<int>(image->GetWidth());
  m_frameHeight = static_cast<int>(image->GetHeight());
  m_frameDelays.clear();
  const UINT delaySize = image->GetPropertyItemSize(0x5100);  // PropertyTagFrameDelay
  if (delaySize > 0) {
    m_frameDelays.resize(delaySize);
    if (image->GetPropertyItem(0x5100, delaySize, reinterpret_cast<Gdiplus::PropertyItem*>(m_frameDelays.data())) !=
        Gdiplus::Ok)
      m_frameDelays.clear();
  }
  return true;
}

void CImageAnimation2::Align(int areaWidth, int areaHeight, UINT flags) {
  switch (flags & 3) {
    case 1:
      m_x = (areaWidth - m_frameWidth) / 2;
      break;
    case 2:
      m_x = areaWidth - m_frameWidth;
      break;
    default:
      m_x = 0;
      break;
  }
  switch (flags & 0xC) {
    case 4:
      m_y = (areaHeight - m_frameHeight) / 2;
      break;
    case 8:
      m_y = areaHeight - m_frameHeight;
      break;
    default:
      m_y = 0;
      break;
  }
}

void CImageAnimation2::NextFrame() {
  if (m_frameCount <= 0) return;
  if (!m_pingPong) {
    m_currentFrame = (m_currentFrame + 1) % m_frameCount;
    return;
  }
  if (m_frameCount == 1) {
    m_currentFrame = 0;
    return;
  }
  m_currentFrame += m_forward ? 1 : -1;
  m_currentFrame = std::max(0, std::min(m_currentFrame, m_frameCount - 1));
  if (m_currentFrame == 0 || m_currentFrame == m_frameCount - 1) m_forward = !m_forward;
}

bool CImageAnimation2::LoadStrip(UINT id, LPCTSTR type, int frameWidth, int frameHeight, int frameCount) {
  if (!LoadImageFromResource(id, type, m_buffer)) return false;
  m_multiFrameImage = false;
  m_frameDelays.clear();
  m_frameWidth = frameWidth;
  m_frameHeight = frameHeight;
  m_frameCount = frameCount;
  m_currentFrame = 0;
  m_forward = true;
  return true;
}

// ---------------------------------------------------------------------------------------------
HBITMAP CreateDib32(HDC dc, int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* memory = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  if (bits) *bits = memory;
  return bitmap;
}

bool MemoryDC::Create(CDC* target, int w, int h) {
  Release();
  if (!target || w <= 0 || h <= 0) return false;
  if (!dc.CreateCompatibleDC(target)) return false;
  // A 32-bit DIB section rather than a device bitmap: GDI+ draws into its memory directly, where
  // on a device bitmap every DrawImage goes through a copy of the destination (about nine times
  // slower under Wine), and GDI copies it to any screen DC.
  if (!bitmap.Attach(CreateDib32(target->m_hDC, w, h, nullptr))) {
    dc.DeleteDC();
    return false;
  }
  m_oldBitmap = dc.SelectObject(&bitmap);
  width = w;
  height = h;
  return true;
}

void MemoryDC::Release() {
  // The afx owners give their handles back now rather than at destruction: the same object is
  // made anew by the next Create.
  if (dc.m_hDC && m_oldBitmap) dc.SelectObject(m_oldBitmap);
  m_oldBitmap = nullptr;
  bitmap.DeleteObject();
  dc.DeleteDC();
  width = height = 0;
}

// ---------------------------------------------------------------------------------------------
void SkinBackgroundPainter::Register(CWnd* child) {
  if (!child || std::find(m_children.begin(), m_children.end(), child) != m_children.end()) return;
  m_children.push_back(child);
}

void SkinBackgroundPainter::Unregister(CWnd* child) {
  m_children.erase(std::remove(m_children.begin(), m_children.end(), child), m_children.end());
}

void SkinBackgroundPainter::Invalidate() {
  if (m_memory) m_memory->Release();
}

LRESULT SkinBackgroundSource::Store(WPARAM wParam, LPARAM lParam) {
  auto* memory = reinterpret_cast<MemoryDC*>(wParam);
  auto* corner = reinterpret_cast<const POINT*>(lParam);
  if (memory && corner) {
    source = memory;
    offset = *corner;
  }
  return TRUE;
}

bool SkinBackgroundSource::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message != WM_SKIN_PAINT_BACKGROUND) return false;
  const LRESULT r = Store(wParam, lParam);
  if (pResult) *pResult = r;
  return true;
}

bool SkinBackgroundSource::CopyTo(CDC& dc, int x, int y, int width, int height) const {
  if (!source || !source->IsValid()) return false;
  return dc.BitBlt(x, y, width, height, &source->dc, offset.x, offset.y, SRCCOPY) != FALSE;
}

namespace {

// The child's rectangle in the owner's client coordinates.
CRect ChildRect(const CWnd* owner, const CWnd* child) {
  CRect r;
  ::GetWindowRect(child->m_hWnd, &r);
  ::MapWindowPoints(nullptr, owner->m_hWnd, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

void SkinBackgroundPainter::Compose(const DrawCallback& draw, const DrawCallback& background) {
  CDC& dc = m_memory->dc;
  m_background.CopyTo(dc, 0, 0, m_memory->width, m_memory->height);
  if (background) background(dc);
  draw(dc);
  for (CWnd* child : m_children) {
    if (!child->m_hWnd || !m_owner || !m_owner->m_hWnd) continue;
    POINT topLeft = ChildRect(m_owner, child).TopLeft();
    child->SendMessage(WM_SKIN_PAINT_BACKGROUND, reinterpret_cast<WPARAM>(m_memory),
                       reinterpret_cast<LPARAM>(&topLeft));
  }
}

void SkinBackgroundPainter::Paint(CDC* target, const DrawCallback& draw, const DrawCallback& background, int width,
                                  int height) {
  const DrawCallback& drawing = draw ? draw : m_draw;
  if (!m_memory || !target || !target->m_hDC || !drawing) return;
  if (m_mode == kRedrawEveryPaint) {
    if (!m_memory->Create(target, width, height)) return;
    Compose(drawing, background);
    if (m_excludeChildren && m_owner && m_owner->m_hWnd) {
      for (CWnd* child : m_children)
        if (child->m_hWnd) target->ExcludeClipRect(ChildRect(m_owner, child));
    }
  } else if (m_mode == kCached) {
    if (!m_memory->IsValid()) {
      if (!m_memory->Create(target, width, height)) return;
      Compose(drawing, background);
    }
  } else {
    return;
  }
  target->BitBlt(0, 0, width, height, &m_memory->dc, 0, 0, SRCCOPY);
}

// ---------------------------------------------------------------------------------------------
namespace dc_cache {

namespace {
HDC volatile g_slots[4] = {};
std::atomic<long> g_created{0};
}  // namespace

HDC Take() {
  for (HDC volatile& slot : g_slots) {
    HDC dc = static_cast<HDC>(InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&slot), nullptr));
    if (dc) return dc;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc) ++g_created;
  return dc;
}

void GiveBack(HDC dc) {
  if (!dc) return;
  for (HDC volatile& slot : g_slots) {
    dc = static_cast<HDC>(InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&slot), dc));
    if (!dc) return;
  }
  // All four slots were full: the one left over goes. The slots are swapped lock-free as raw
  // handles, so no owner holds it.
  DeleteDC(dc);
}

long CreatedCount() { return g_created.load(); }

}  // namespace dc_cache

SkinBitmapUse::SkinBitmapUse(SharedSkinBitmap& skin) : m_skin(skin) {
  if (m_skin.useCount++ > 0) return;
  m_skin.dc = dc_cache::Take();
  if (m_skin.dc) m_skin.oldObject = SelectObject(m_skin.dc, m_skin.bitmap);
}

SkinBitmapUse::~SkinBitmapUse() {
  if (--m_skin.useCount > 0) return;
  if (m_skin.dc) {
    SelectObject(m_skin.dc, m_skin.oldObject);
    dc_cache::GiveBack(m_skin.dc);
  }
  m_skin.dc = nullptr;
  m_skin.oldObject = nullptr;
}

bool TransparentBlitSkin(SharedSkinBitmap& skin, HDC target, int x, int y, int width, int height, int sourceX,
                         int sourceY, int sourceWidth, int sourceHeight) {
  if (!skin.bitmap || !target) return false;
  SkinBitmapUse use(skin);
  if (!use.dc()) return false;
  return TransparentBlt(target, x, y, width, height, use.dc(), sourceX, sourceY, sourceWidth, sourceHeight,
                        RGB(0xFF, 0x00, 0xFF)) != FALSE;
}

}  // namespace draw_helpers
