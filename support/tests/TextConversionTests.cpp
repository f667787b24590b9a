// Conversions between UTF-16, UTF-8 and the ANSI code pages, and their failures.
#include "TextConversion.h"
#include "XmlPropertyNode.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

std::string HexW(const std::wstring& text) {
  std::string out;
  char buf[8];
  for (wchar_t c : text) {
    snprintf(buf, sizeof(buf), "%04X ", static_cast<unsigned>(c));
    out += buf;
  }
  return out;
}

// The message of the std::runtime_error that f throws, or "" when it throws nothing.
template <typename F>
std::string FailureOf(F f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return std::string();
}

}  // namespace

TEST(WideToAnsi, EmptyAndRawAndZeroStart) {
  EXPECT_EQ("", WideToAnsi(std::wstring()));
  EXPECT_EQ("plain text", WideToAnsi(std::wstring(L"plain text")));

  const char raw[] = {'a', '\0', '\xFF', 'b'};
  EXPECT_EQ(std::string(raw, 4), WideToAnsi(MemoryView(raw, 4), TEXT_ENCODING_RAW));

  const wchar_t zeroFirst[] = {L'\0', L'a'};
  EXPECT_EQ("Conversion failed.",
            FailureOf([&] { WideToAnsi(MemoryView(zeroFirst, sizeof(zeroFirst)), TEXT_ENCODING_UTF16LE); }));

  const wchar_t cut[] = {L'o', L'k', L'\0', L'x'};
  EXPECT_EQ("ok", WideToAnsi(MemoryView(cut, sizeof(cut)), TEXT_ENCODING_UTF16LE));
  // An odd byte count drops the half character.
  EXPECT_EQ("o", WideToAnsi(MemoryView(cut, 3), TEXT_ENCODING_UTF16LE));
}

TEST(WideToAnsi, ExactOrFailsPerCodePage) {
  struct Case {
    UINT codePage;
    std::wstring text;
    std::string expected;  // empty: the conversion must fail as not exact
  };
  const Case cases[] = {
      {1252, L"https://example.test/a?b=1", "https://example.test/a?b=1"},
      {1252, L"caf\u00E9", "caf\xE9"},
      {1252, L"\u0141\u00F3d\u017A", ""},  // no L-stroke in 1252
      {1252, L"\u0100", ""},               // best fit would give "A"
      {1252, L"\u221E", ""},               // best fit would give "8"
      {1250, L"\u0141\u00F3d\u017A",
       "\xA3\xF3"
       "d\x9F"},
      {1251, L"\u0416", "\xC6"},
      {1251, L"\u00E9", ""},
      {65001, L"\u0141\u00F3d\u017A",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA"},
      {65001,
       std::wstring(L"a\xD800"
                    L"b"),
       ""},  // lone surrogate
      {932, L"\u65E5\u672C", "\x93\xFA\x96\x7B"},
      {932, L"\u0141", ""},
  };
  for (const Case& c : cases) {
    const std::string failure = FailureOf([&] { WideToCodePage(c.text.data(), c.text.size(), c.codePage); });
    if (c.expected.empty()) {
      EXPECT_EQ("Conversion not exact.", failure) << "code page " << c.codePage << " text " << HexW(c.text);
    } else {
      ASSERT_EQ("", failure) << "code page " << c.codePage << " text " << HexW(c.text);
      const std::string got = WideToCodePage(c.text.data(), c.text.size(), c.codePage);
      EXPECT_EQ(c.expected, got) << "code page " << c.codePage << ": " << Hex(got);
    }
  }
}

TEST(WideToAnsi, AnsiCodePageNeverSubstitutes) {
  // Whatever the system's ANSI code page is, a text either comes back exactly or fails.
  const std::wstring texts[] = {L"plain", L"\u0141\u00F3d\u017A", L"\u65E5\u672C", L"\u221E", L"\u20AC"};
  for (const std::wstring& text : texts) {
    std::string narrow;
    const std::string failure = FailureOf([&] { narrow = WideToAnsi(text); });
    if (!failure.empty()) {
      EXPECT_EQ("Conversion not exact.", failure) << "ACP " << GetACP() << " " << HexW(text);
      continue;
    }
    EXPECT_EQ(text, AnsiToWide(narrow)) << "ACP " << GetACP() << " " << Hex(narrow);
  }
}

TEST(Utf8ToWide, ConvertsAndRefusesInvalidBytes) {
  struct Case {
    std::string bytes;
    std::wstring expected;
    bool valid;
  };
  const Case cases[] = {
      {"abc", L"abc", true},
      {"\xC5\x81\xC3\xB3", L"\u0141\u00F3", true},
      {"\xF0\x9F\x98\x80", L"\xD83D\xDE00", true},
      {"\xEF\xBB\xBF", L"\uFEFF", true},
      {"\xFF", L"", false},
      {"a\xC3", L"", false},             // cut sequence
      {"\xC0\x80", L"", false},          // overlong
      {"\xE0\x80\xAF", L"", false},      // overlong
      {"\xED\xA0\x80", L"", false},      // surrogate
      {"\xF4\x90\x80\x80", L"", false},  // above U+10FFFF
      {"\x80", L"", false},
  };
  char scratch[64];
  for (const Case& c : cases) {
    const std::string failure = FailureOf([&] { Utf8ToWide(c.bytes, scratch, sizeof(scratch)); });
    if (!c.valid) {
      EXPECT_EQ("Invalid characters detected.", failure) << Hex(c.bytes);
    } else {
      ASSERT_EQ("", failure) << Hex(c.bytes);
      EXPECT_EQ(c.expected, Utf8ToWide(c.bytes, scratch, sizeof(scratch))) << Hex(c.bytes);
      EXPECT_EQ(c.expected, Utf8ToWide(c.bytes)) << "heap path " << Hex(c.bytes);
    }
    // The pre-parse check agrees with the system's conversion.
    EXPECT_EQ(c.valid, IsValidUtf8(c.bytes.data(), c.bytes.size())) << Hex(c.bytes);
  }
}

TEST(Utf8ToWide, LongTextUsesTheHeapWithTheSameResult) {
  std::string text;
  std::wstring expected;
  for (int i = 0; i < 3000; ++i) {
    text += "\xC5\x81x";
    expected += L"\u0141x";
  }
  char scratch[1024];
  EXPECT_EQ(expected, Utf8ToWide(text, scratch, sizeof(scratch)));
  EXPECT_EQ(expected, Utf8ToWide(text));
  EXPECT_EQ(L"\u0141x", Utf8ToWide(text.c_str(), 3, scratch, sizeof(scratch))) << "maximum length";
  EXPECT_EQ(L"ab", Utf8ToWide(std::string("ab\0cd", 5))) << "cut at the zero byte";
  EXPECT_EQ(L"", Utf8ToWide(std::string()));
}

TEST(AnsiToWide, ConvertsFromTheAnsiCodePage) {
  EXPECT_EQ(L"ascii", AnsiToWide(std::string("ascii")));
  EXPECT_EQ(L"as", AnsiToWide("ascii", 2));
  EXPECT_EQ(L"", AnsiToWide(std::string()));
}

TEST(IsValidUtf8, AgreesWithTheSystemOnEveryTwoByteSequence) {
  // Every lead byte with every second byte, and the three-byte edges.
  int mismatches = 0;
  for (int a = 0x80; a < 0x100; ++a) {
    for (int b = 0; b < 0x100; b += 1) {
      for (int c : {0x80, 0xBF}) {
        const char bytes[4] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                               static_cast<char>(0x80)};
        const int lengths[] = {2, 3, 4};
        for (int n : lengths) {
          if (b == 0) continue;
          const bool system = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, n, nullptr, 0) != 0;
          if (system != IsValidUtf8(bytes, static_cast<std::size_t>(n)) && ++mismatches < 10)
            ADD_FAILURE() << "bytes " << Hex(std::string(bytes, static_cast<std::size_t>(n))) << " system " << system;
        }
      }
    }
  }
  EXPECT_EQ(0, mismatches);
}
