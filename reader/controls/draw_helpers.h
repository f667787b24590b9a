// The drawing layer the reader's skinned windows share: skin images loaded from the language
// module as GDI+ images, draw objects and draw lists, a frame animation, memory DCs for double
// buffering, the background painter that composes a window's skin off screen, and the
// WM_SKIN_PAINT_BACKGROUND protocol by which a skinned parent hands its composed background to
// its skinned children, so that their transparent parts show the parent's skin.
//
// Everything here runs on the UI thread, except the DC cache, which any thread may use.
#pragma once

#include "SkinGdiplus.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// Sent by a painter to each registered child after composing: wParam the sender's MemoryDC,
// lParam a pointer to the child's top-left corner (POINT) in the sender's client coordinates.
// A receiver keeps both as its own painter's background and answers TRUE.
#define WM_SKIN_PAINT_BACKGROUND 0x5AF

namespace draw_helpers {

// ---------------------------------------------------------------------------------------------
// Images from the resource module.

// A resource image and the memory GDI+ reads it from. The memory stays locked while the image
// lives, because GDI+ decodes lazily from it.
struct ImageBuffer {
  HGLOBAL memory = nullptr;         // movable global memory holding a copy of the resource
  DWORD size = 0;                   // its size in bytes
  Gdiplus::Image* image = nullptr;  // owned; made from the memory
  void* locked = nullptr;           // the locked address of the memory

  ImageBuffer() = default;
  ~ImageBuffer();
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;
};

// Loads resource (id, type) of the current resource module (the language module) into the
// buffer, freeing what it held. False, with nothing left allocated, when the resource is
// missing, empty, or not a decodable image.
bool LoadImageFromResource(UINT id, LPCTSTR type, ImageBuffer& buffer);
// Deletes the image, then unlocks and frees its memory, and clears the fields.
void FreeImageBuffer(ImageBuffer& buffer);
// Images made by LoadImageFromResource and not deleted yet (for leak checks).
long LiveImageCount();

// ---------------------------------------------------------------------------------------------
// Draw objects and lists.

class CBaseDraw {
 public:
  CBaseDraw() = default;
  virtual ~CBaseDraw() = default;
  CBaseDraw(const CBaseDraw&) = delete;
  CBaseDraw& operator=(const CBaseDraw&) = delete;

  virtual void Draw(Gdiplus::Graphics* graphics) = 0;
  virtual bool IsValid() const = 0;
};

using DrawPtr = std::shared_ptr<CBaseDraw>;
using DrawList = std::deque<DrawPtr>;

// Appends the draw object to list `index` of the set; answers its position in that list, or -1
// for an index outside the set.
template <size_t N>
int AddDraw(std::array<DrawList, N>& lists, int index, DrawPtr draw) {
  if (index < 0 || static_cast<size_t>(index) >= N) return -1;
  lists[static_cast<size_t>(index)].push_back(std::move(draw));
  return static_cast<int>(lists[static_cast<size_t>(index)].size()) - 1;
}

// A piece of an image (not owned), drawn unscaled at a point.
class CDrawImageArea : public CBaseDraw {
 public:
  CDrawImageArea(Gdiplus::Image* image, const CRect& source, CPoint destination)
      : m_image(image), m_source(source), m_destination(destination) {}

  void Draw(Gdiplus::Graphics* graphics) override;
  bool IsValid() const override { return m_image != nullptr && !m_source.IsRectEmpty(); }

  // Moves the source horizontally so that its left edge is x, keeping its width (one glyph of
  // a sprite row for another).
  void SetSourceLeft(int x) { m_source.MoveToX(x); }
  const CRect& Source() const { return m_source; }

 private:
  Gdiplus::Image* m_image;
  CRect m_source;
  CPoint m_destination;
};

// ---------------------------------------------------------------------------------------------
// Frame animation.

class CImageAnimation : public CBaseDraw {};

// Frames of one image: a strip of frames side by side (LoadStrip) or the frames of a
// multi-frame image (LoadAnimated).
class CImageAnimation2 : public CImageAnimation {
 public:
  CImageAnimation2() = default;
  ~CImageAnimation2() override;

  void Draw(Gdiplus::Graphics* graphics) override;
  bool IsValid() const override { return m_buffer.image != nullptr; }
  virtual bool IsAnimated() const { return IsValid() && m_frameCount > 1; }
  virtual bool LoadAnimated(UINT id, LPCTSTR type);
  virtual CSize GetFrameSize() const { return CSize(m_frameWidth, m_frameHeight); }
  virtual int GetCurrentFrame() const { return m_currentFrame; }
  // Places the frame in an area: flags bits 0-1 horizontal (0 left, 1 centre, 2 right),
  // bits 2-3 vertical (0 top, 4 centre, 8 bottom).
  virtual void Align(int areaWidth, int areaHeight, UINT flags);
  // One frame on; wraps to 0 after the last, or turns at either end in ping-pong.
  virtual void NextFrame();
  virtual UINT GetFramePeriod() const { return m_framePeriod; }
  virtual bool LoadStrip(UINT id, LPCTSTR type, int frameWidth, int frameHeight, int frameCount);

  void SetFramePeriod(UINT milliseconds) { m_framePeriod = milliseconds; }
  void SetPingPong(bool pingPong) { m_pingPong = pingPong; }
  CPoint GetOffset() const { return CPoint(m_x, m_y); }

 private:
  ImageBuffer m_buffer;
  int m_frameCount = -1;
  int m_currentFrame = -1;
  std::vector<BYTE> m_frameDelays;  // the image's frame-delay property (0x5100), if any
  bool m_multiFrameImage = false;   // frames are the image's own (LoadAnimated), not a strip
  int m_x = 0;
  int m_y = 0;
  int m_frameWidth = 0;
  int m_frameHeight = 0;
  bool m_pingPong = false;
  bool m_forward = true;
  UINT m_framePeriod = 100;
};

// ---------------------------------------------------------------------------------------------
// Off-screen drawing.

// A memory DC with a bitmap of the target's size selected into it.
struct MemoryDC {
  CDC dc;
  CBitmap bitmap;
  int width = 0;
  int height = 0;

  MemoryDC() = default;
  ~MemoryDC() { Release(); }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;

  // Replaces an earlier DC and bitmap with new ones compatible with the target.
  bool Create(CDC* target, int w, int h);
  bool IsValid() const { return dc.m_hDC != nullptr; }
  // Deselects and deletes the bitmap and the DC.
  void Release();

 private:
  HGDIOBJ m_oldBitmap = nullptr;
};

// The composed background a skinned parent handed over with WM_SKIN_PAINT_BACKGROUND.
struct SkinBackgroundSource {
  MemoryDC* source = nullptr;  // the parent's; lives as long as the parent
  CPoint offset;               // this window's top-left corner in it

  // Keeps both when both are given; answers TRUE, as the message's receivers do.
  LRESULT Store(WPARAM wParam, LPARAM lParam);
  // For a receiver's OnWndMsg: true (with *pResult set) when the message was this one.
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // Copies this window's part (width x height) to (x, y) of dc; false without a source.
  bool CopyTo(CDC& dc, int x, int y, int width, int height) const;
};

// Composes one skinned window off screen and hands the result to its registered children.
class SkinBackgroundPainter {
 public:
  enum Mode { kCached = 0, kRedrawEveryPaint = 1 };
  using DrawCallback = std::function<void(CDC& dc)>;

  SkinBackgroundPainter(int mode, CWnd* owner, MemoryDC* memory) : m_mode(mode), m_owner(owner), m_memory(memory) {}
  SkinBackgroundPainter(const SkinBackgroundPainter&) = delete;
  SkinBackgroundPainter& operator=(const SkinBackgroundPainter&) = delete;

  void SetDrawCallback(DrawCallback draw) { m_draw = std::move(draw); }
  // A registered child must stay (or be unregistered) as long as the painter paints.
  void Register(CWnd* child);
  void Unregister(CWnd* child);

  // Paints width x height onto target: composes (mode 1 always, mode 0 when nothing is cached)
  // and copies the composition to the target at (0, 0). Without a draw callback (given here or
  // set before) nothing happens.
  void Paint(CDC* target, const DrawCallback& draw, const DrawCallback& background, int width, int height);
  // Drops a cached composition, so that the next paint composes again.
  void Invalidate();

  // WM_SKIN_PAINT_BACKGROUND from the parent's painter: keeps its memory DC and this window's
  // offset in it (see SkinBackgroundSource::HandleMessage).
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    return m_background.HandleMessage(message, wParam, lParam, pResult);
  }

 private:
  void Compose(const DrawCallback& draw, const DrawCallback& background);

  int m_mode;
  DrawCallback m_draw;
  CWnd* m_owner;
  SkinBackgroundSource m_background;
  MemoryDC* m_memory;  // this window's; owned by the window
  std::deque<CWnd*> m_children;
  bool m_excludeChildren = false;
};

// ---------------------------------------------------------------------------------------------
// GDI transparent blits of a skin bitmap whose magenta (0xFF00FF) pixels are see-through.

struct SharedSkinBitmap {
  HBITMAP bitmap = nullptr;  // not owned
  HDC dc = nullptr;          // a cached memory DC while in use
  int useCount = 0;
  HGDIOBJ oldObject = nullptr;  // what the DC held before the bitmap
};

// Nested uses share one memory DC: the first selects the bitmap into a cached DC, the last
// gives the DC back.
class SkinBitmapUse {
 public:
  explicit SkinBitmapUse(SharedSkinBitmap& skin);
  ~SkinBitmapUse();
  SkinBitmapUse(const SkinBitmapUse&) = delete;
  SkinBitmapUse& operator=(const SkinBitmapUse&) = delete;
  HDC dc() const { return m_skin.dc; }

 private:
  SharedSkinBitmap& m_skin;
};

bool TransparentBlitSkin(SharedSkinBitmap& skin, HDC target, int x, int y, int width, int height, int sourceX,
                         int sourceY, int sourceWidth, int sourceHeight);

// A 32-bit top-down DIB section of width x height; *bits receives its memory (may be NULL).
HBITMAP CreateDib32(HDC dc, int width, int height, void** bits);

// Four process-wide slots of spare memory DCs.
namespace dc_cache {
HDC Take();             // a cached DC, or a new memory DC when all slots are empty
void GiveBack(HDC dc);  // into the first empty slot; deleted when all four are full
long CreatedCount();    // memory DCs Take has created so far
}  // namespace dc_cache

}  // namespace draw_helpers
