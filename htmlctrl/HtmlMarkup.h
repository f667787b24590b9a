// What the HTML drawer reads: text preparation, tokens, attributes, entities, tag words,
// colours, lengths, value words, the style sheet and the style record with its stack.
// Nothing here draws; lengths that depend on the font take its measures as LengthMetrics.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// The current text style of the drawer; the stack of saved ones holds the same records.
struct HtmlStyle {
  std::wstring tag_name;
  int font_height = 16;
  int weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  bool overline = false;
  std::wstring font_face = L"Verdana";
  COLORREF text_colour = RGB(0, 0, 0);
  COLORREF background_colour = RGB(255, 255, 255);
  COLORREF border_light = RGB(0, 0, 0);
  COLORREF border_dark = RGB(0, 0, 0);
  COLORREF fill_middle = RGB(255, 255, 255);
  COLORREF fill_end = RGB(255, 255, 255);
  int background_mode = TRANSPARENT;
  int fill_effect = -1;
  std::wstring background_image;
  int horizontal_align = 0;  // 0 left, 1 center, 2 right, 3 justify
  int vertical_align = 3;    // 0 top, 1 middle, 2 bottom, 3 baseline
  int border_style = 0;      // 0 none, 1 solid, 2 dashed, 3 dotted, 6 double
  int border_width = 0;
  int width = 0;
  int height = 0;
  int text_transform = 0;  // 0 none, 1 upper, 2 lower, 3 capitalize
  int margin = 2;
  int padding = 0;
  int link_kind = 0;  // 0 none, 1 hyperlink, 2 message link
  std::wstring link_target;
};

// The measures of the current font and device that lengths in "ex", "em" and absolute
// units need.
struct LengthMetrics {
  int ex_height = 8;         // height of the extent of "x"
  int em_height = 16;        // tmHeight
  int pixels_per_inch = 96;  // LOGPIXELSY
};

enum HtmlTagKind {
  TAG_UNKNOWN = 0,
  TAG_BOLD,
  TAG_ITALIC,
  TAG_UNDERLINE,
  TAG_STRIKEOUT,
  TAG_FONT,
  TAG_HLINE,
  TAG_NEWLINE,
  TAG_TABULATION,
  TAG_LEFT,
  TAG_CENTER,
  TAG_RIGHT,
  TAG_JUSTIFY,
  TAG_BASELINE,
  TAG_TOP,
  TAG_VCENTER,
  TAG_BOTTOM,
  TAG_BITMAP,
  TAG_ICON,
  TAG_IMAGELIST,
  TAG_STRING,
  TAG_STYLE,
  TAG_SPAN,
  TAG_HYPERLINK,
};

struct HtmlToken {
  enum Kind { TEXT, TAG } kind = TEXT;
  std::wstring text;  // the run's text, or the tag's name without "/"
  bool closing = false;
  std::wstring attributes;  // attribute text, leading spaces removed
};

using HtmlAttributes = std::vector<std::pair<std::wstring, std::wstring>>;

// A tag found by ScanTag: where its "<" stands, its name (without "/") and attribute text.
struct TagScan {
  size_t begin = 0;
  std::wstring name;
  bool closing = false;
  std::wstring attributes;
};
// Moves pos past the next tag before end, reading tags as the tokenizer does ("<<" is a
// literal, an unterminated "<" no tag); false when there is none.
bool ScanTag(const std::wstring& text, size_t& pos, size_t end, TagScan& tag);

class HtmlMarkup {
 public:
  HtmlMarkup();

  // Entities replaced, carriage returns removed, newlines and tabs turned into tags (or
  // removed when newlines_break is false).
  std::wstring PrepareText(const std::wstring& text, bool newlines_break) const;

  // Reads the token at pos (below end) and moves pos past it; false at the end. Text runs
  // keep literal "<" (written "<<"); an unterminated tag is an empty tag.
  static bool NextToken(const std::wstring& text, size_t& pos, size_t end, HtmlToken& token);
  static HtmlAttributes ParseAttributes(const std::wstring& text);
  // The value of the last attribute of that name; found tells whether there is one.
  static std::wstring Attribute(const HtmlAttributes& attributes, const wchar_t* name, bool* found = nullptr);

  COLORREF ParseColour(const std::wstring& text, COLORREF fallback) const;
  static int ParseLength(int current, const std::wstring& text, bool font_size, const LengthMetrics& metrics);
  static int ParseFontStyle(const std::wstring& word, int current);
  static int ParseFontWeight(const std::wstring& word, int current);
  static int ParseTextAlign(const std::wstring& word, int current);
  static int ParseVerticalAlign(const std::wstring& word, int current);
  static int ParseTextTransform(const std::wstring& word, int current);
  static int ParseBorderStyle(const std::wstring& word, int current);
  static int ParseBorderWidth(const std::wstring& word, int current, const LengthMetrics& metrics);
  static void ApplyTextDecoration(const std::wstring& words, HtmlStyle& style);
  static std::wstring Transform(const std::wstring& text, int transform);
  static bool IsWrapChar(wchar_t c);

  // Null restores the built-in sheet.
  void SetStyleSheet(const wchar_t* text);
  const std::wstring& GetStyleSheet() const { return m_sheetSource; }
  const std::wstring* LookupRule(const std::wstring& selector) const;
  void ApplyRule(const std::wstring& selector, HtmlStyle& style, const LengthMetrics& metrics) const;
  void ApplyDeclarations(const std::wstring& text, HtmlStyle& style, const LengthMetrics& metrics) const;

  // Kind of a tag word (TAG_UNKNOWN when not in the table) and its style name.
  int TagKind(const std::wstring& word, std::wstring* style_name = nullptr) const;
  static bool IsContainer(int kind);
  // Opens or closes a container tag on the style record and stack; link_counter counts the
  // links of the pass and hot_link picks the one drawn with "a:hover". True when the style
  // changed (the font must be made again).
  bool ApplyContainerTag(int kind, const std::wstring& word, bool closing, const std::wstring& attributes,
                         HtmlStyle& current, std::vector<HtmlStyle>& stack, const LengthMetrics& metrics,
                         int& link_counter, int hot_link) const;

  void SetEnabled(bool enabled) { m_enabled = enabled; }
  bool IsEnabled() const { return m_enabled; }
  COLORREF DisabledColour() const { return m_disabledColour; }

  size_t EntityCount() const { return m_entities.size(); }
  size_t ColourCount() const { return m_colours.size(); }

 private:
  void ApplyFontTag(const HtmlAttributes& attributes, HtmlStyle& style, const LengthMetrics& metrics) const;
  void ApplyDeclaration(const std::wstring& property, const std::wstring& value, HtmlStyle& style,
                        const LengthMetrics& metrics) const;

  std::map<std::wstring, std::wstring> m_entities;
  std::map<std::wstring, std::pair<int, std::wstring>> m_tags;
  std::map<std::wstring, COLORREF> m_colours;
  std::map<std::wstring, std::wstring> m_sheet;
  std::wstring m_sheetSource;
  bool m_enabled = true;
  COLORREF m_disabledColour;
};
