// The light HTML drawer: one line of light markup (bold, italic, underline, strike-out,
// bigger and smaller text, subscript, superscript, font colour, background, face and size,
// and one link) drawn into a rectangle; its entity table; and link opening.
#pragma once

#include <UniqueHandle.h>
#include <windows.h>

#include <string>
#include <vector>

#include "LinkOpen.h"

// The draw settings of one light HTML text; the tree keeps one per item.
struct XHTMLDRAWPARAMS {
  COLORREF text_colour = CLR_INVALID;  // -1: COLOR_WINDOWTEXT
  COLORREF link_colour = RGB(0, 0, 255);
  COLORREF background_colour = CLR_INVALID;       // -1: COLOR_WINDOW
  COLORREF text_background_colour = CLR_INVALID;  // -1: text drawn transparently
  // The cached copy of the background (see Cleanup).
  win::UniqueMemoryDC memory_dc;
  win::UniqueBitmap bitmap;
  HGDIOBJ old_bitmap = nullptr;
  int forced_colour = 0;    // colour attributes of the markup leave the text colour alone
  int background_copy = 0;  // keep a copy of the background under the rectangle
  int bold = 0, italic = 0, underline = 0, strike_out = 0;
  int end_ellipsis = 0;
  int own_font = 0;  // use font below
  // Written by drawing.
  int link_drawn = 0;
  int link_hot = 0;
  UINT format = DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER;
  std::wstring link_target;
  int right_x = 0;
  LOGFONTW font = {};
  RECT rect = {};
  RECT link_rect = {};

  XHTMLDRAWPARAMS() = default;
  XHTMLDRAWPARAMS(const XHTMLDRAWPARAMS&) = delete;
  XHTMLDRAWPARAMS& operator=(const XHTMLDRAWPARAMS&) = delete;
  ~XHTMLDRAWPARAMS() { Cleanup(); }
  // Releases the background copy and the link target.
  void Cleanup();
};

namespace htmlctrl {

// Character entities of the light controls. In a text being parsed each entity becomes the
// pair kEntityMark, kFirstEntityCode + row: the codes lie in the private use area, so that
// neither they nor the mark can be taken for a tag bracket, a space or a line break.
constexpr wchar_t kEntityMark = 0x0001;
constexpr wchar_t kFirstEntityCode = 0xE100;
struct LightEntity {
  const wchar_t* text;
  wchar_t character;
};
int LightEntityCount();
const LightEntity& LightEntityAt(int row);
// Entities (matched without regard to case) replaced by their placeholder pairs; marks
// already in the text are dropped first, so a text cannot forge a placeholder.
std::wstring InsertEntityPlaceholders(const std::wstring& text);
// Placeholder pairs turned into their characters (an unknown code gives a space; a mark at
// the very end is dropped).
std::wstring ResolveEntityPlaceholders(const std::wstring& text);

// The attributes of a light "<FONT ...>" tag.
struct LightFontAttributes {
  bool has_colour = false, has_background = false, has_face = false, has_size = false;
  COLORREF colour = 0, background = 0;
  std::wstring face;
  int size = 0;
};
// Reads COLOR, BGCOLOR, FACE and SIZE (words compared without regard to case, values quoted
// or not) from the text between "<FONT" and ">".
LightFontAttributes ReadLightFontAttributes(const std::wstring& attributes);
// Sets the face name, cut to what the field holds with its terminator (31 characters).
void SetFaceName(LOGFONTW& font, const std::wstring& face);

// Helpers of the two light tag readers: a tag word at a position (without regard to case),
// a counter that never goes below 0, and a font height changed by step in magnitude (within
// +-300 pixels, as no label needs more).
bool StartsNoCase(const std::wstring& text, size_t at, const wchar_t* literal);
void DecreaseCounter(int& counter);
void ChangeFontHeight(LOGFONTW& font, int step);
// The font of a run: the base font with the weight, italic, underline and strike-out that the
// open tags ask for.
LOGFONTW StyledFont(const LOGFONTW& base, bool bold, bool italic, bool underline, bool strike);
// A tag that counts up (step 1) or down (never below 0) while it is open.
struct CounterTag {
  const wchar_t* text;
  int* counter;
  int step;
};
// Consumes the first of the tags found at position at; false when none is there.
bool ConsumeCounterTag(const std::wstring& text, size_t& at, const CounterTag* tags, size_t count);
template <size_t N>
bool ConsumeCounterTag(const std::wstring& text, size_t& at, const CounterTag (&tags)[N]) {
  return ConsumeCounterTag(text, at, tags, N);
}

// Opens a link's target: "APP:" commands registered by the program, else the shell, else the
// browser registered for ".htm".
class CXHtmlDrawLink {
 public:
  CXHtmlDrawLink();
  virtual ~CXHtmlDrawLink();
  CXHtmlDrawLink(const CXHtmlDrawLink&) = delete;
  CXHtmlDrawLink& operator=(const CXHtmlDrawLink&) = delete;

  // "APP:name" (also "\"APP:name\"") runs the command; anything else is opened.
  BOOL GotoURL(const wchar_t* url, LPARAM lparam = 0);
  // Sends the first live command named so (without regard to case; one leading and one
  // trailing double quote removed).
  BOOL ProcessAppCommand(const wchar_t* name, LPARAM lparam = 0);
  void AddAppCommand(HWND window, UINT message, WPARAM wparam, const std::wstring& name);
  void ClearAppCommands() { m_commands.clear(); }
  HCURSOR GetHandCursor() const { return m_handCursor.get(); }

 private:
  struct AppCommand {
    HWND window;
    UINT message;
    WPARAM wparam;
    std::wstring name;
  };
  std::vector<AppCommand> m_commands;
  HandCursor m_handCursor;
};

}  // namespace htmlctrl

class CXHtmlDraw {
 public:
  static constexpr size_t kMaxText = 1000;

  CXHtmlDraw() = default;
  virtual ~CXHtmlDraw() = default;

  // Draws text into params.rect of a visible window's DC; 0 always. A nested call (a paint
  // inside a paint) returns at once.
  int Draw(HDC dc, const wchar_t* text, XHTMLDRAWPARAMS* params, BOOL hot_link);
  // Tags removed, then entities decoded; copies at most out_size - 1 characters into out
  // (when given) and gives the length copied, or without out the plain length.
  static int GetPlainText(const wchar_t* text, wchar_t* out, int out_size);
  static std::wstring GetPlainText(const std::wstring& text);
  // Kept for the callers' habit: the placeholder codes are fixed.
  static void InitCharEntities() {}
};
