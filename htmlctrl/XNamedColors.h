// Colours written in light markup (a colour word, #rrggbb or r,g,b) and the two text
// helpers the light HTML controls share.
#pragma once

#include <windows.h>

// One colour. A value with the top bit set stands for the system colour of its low bits,
// read when the colour is used, so it follows a change of the system colours.
class CXNamedColors {
 public:
  static constexpr COLORREF kSystemColour = 0x80000000;

  CXNamedColors() = default;
  explicit CXNamedColors(const wchar_t* text) { SetColorFromString(text); }
  virtual ~CXNamedColors() = default;

  // Black first; then r,g,b in decimal, a name from the table, or exactly "#rrggbb".
  // A missing text leaves the value as it was.
  void SetColorFromString(const wchar_t* text);
  COLORREF GetRGB() const;
  COLORREF GetValue() const { return m_value; }
  void SetValue(COLORREF value) { m_value = value; }

  // Rows of the name table (179), for the tests.
  static int TableSize();

 private:
  COLORREF m_value = 0;
};

// The first place where pattern occurs in text, without regard to case; an empty or missing
// pattern gives text itself, a missing text null.
const wchar_t* FindNoCase(const wchar_t* text, const wchar_t* pattern);

// Every occurrence of find (without regard to case) replaced; gives the new length, or 0
// (destination untouched) for missing arguments, an empty source or find, or no match.
// The destination holds capacity characters and the result is cut to fit (capacity - 1 and
// a terminator).
int ReplaceNoCase(const wchar_t* source, const wchar_t* find, const wchar_t* replacement, wchar_t* destination,
                  size_t capacity);
