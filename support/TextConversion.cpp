#include "TextConversion.h"

#include <climits>
#include <cstring>
#include <memory>
#include <stdexcept>

const char* const kConversionFailed = "Conversion failed.";
const char* const kConversionNotExact = "Conversion not exact.";
const char* const kInvalidCharactersDetected = "Invalid characters detected.";

namespace {

int CheckedLength(std::size_t length) {
  if (length > static_cast<std::size_t>(INT_MAX)) throw std::length_error("Text too long to convert.");
  return static_cast<int>(length);
}

UINT ResolveCodePage(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
      return GetACP();
    case CP_OEMCP:
      return GetOEMCP();
    default:
      return codePage;
  }
}

// Code pages for which WideCharToMultiByte refuses every flag and the default-character arguments.
bool RefusesFlags(UINT cp) {
  return cp == 42 || cp == CP_UTF7 || (cp >= 50220 && cp <= 50229) || (cp >= 57002 && cp <= 57011);
}

// Code pages that take WC_ERR_INVALID_CHARS but no default-character arguments.
bool TakesOnlyInvalidCharsFlag(UINT cp) { return cp == CP_UTF8 || cp == 54936; }

std::wstring ToWide(UINT codePage, const char* text, std::size_t maxLength, void* scratch, std::size_t scratchBytes) {
  // One pass finds the end and whether the text is plain ASCII (most names and values are),
  // whose UTF-16 form is the bytes widened.
  std::size_t length = 0;
  unsigned char bits = 0;
  while (length < maxLength && text[length] != '\0') bits |= static_cast<unsigned char>(text[length++]);
  if (length == 0) return std::wstring();
  const int bytes = CheckedLength(length);
  if (codePage == CP_UTF8 && bits < 0x80) return std::wstring(text, text + length);
  // A conversion never yields more UTF-16 units than there are bytes, so a scratch buffer
  // of twice the byte count needs no sizing pass.
  if (scratch != nullptr && scratchBytes / sizeof(wchar_t) >= length) {
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, bytes, static_cast<wchar_t*>(scratch),
                                static_cast<int>(scratchBytes / sizeof(wchar_t)));
    if (n == 0) throw std::runtime_error(kInvalidCharactersDetected);
    return std::wstring(static_cast<wchar_t*>(scratch), static_cast<std::size_t>(n));
  }
  int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, bytes, nullptr, 0);
  if (n == 0) throw std::runtime_error(kInvalidCharactersDetected);
  std::unique_ptr<wchar_t[]> heap(new wchar_t[static_cast<std::size_t>(n)]);
  int m = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, bytes, heap.get(), n);
  if (m == 0) throw std::runtime_error(kInvalidCharactersDetected);
  return std::wstring(heap.get(), static_cast<std::size_t>(m));
}

}  // namespace

std::string WideToCodePage(const wchar_t* text, std::size_t length, UINT codePage) {
  if (length == 0) throw std::runtime_error(kConversionFailed);
  const UINT cp = ResolveCodePage(codePage);
  const int chars = CheckedLength(length);

  DWORD flags = 0;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultPtr = nullptr;
  if (TakesOnlyInvalidCharsFlag(cp)) {
    flags = WC_ERR_INVALID_CHARS;
  } else if (!RefusesFlags(cp)) {
    // No best-fit look-alikes: a character either has its own byte sequence or is reported.
    flags = WC_NO_BEST_FIT_CHARS;
    usedDefaultPtr = &usedDefault;
  }

  int n = WideCharToMultiByte(cp, flags, text, chars, nullptr, 0, nullptr, usedDefaultPtr);
  if (n == 0) {
    if (GetLastError() == ERROR_NO_UNICODE_TRANSLATION) throw std::runtime_error(kConversionNotExact);
    throw std::runtime_error(kConversionFailed);
  }
  std::string result(static_cast<std::size_t>(n), '\0');
  usedDefault = FALSE;
  if (WideCharToMultiByte(cp, flags, text, chars, &result[0], n, nullptr, usedDefaultPtr) != n)
    throw std::runtime_error(kConversionFailed);
  if (usedDefault) throw std::runtime_error(kConversionNotExact);

  // The way back must give the same text; this also covers the code pages that cannot
  // report a default character.
  int back = MultiByteToWideChar(cp, 0, result.data(), n, nullptr, 0);
  if (back != chars) throw std::runtime_error(kConversionNotExact);
  std::wstring roundTrip(static_cast<std::size_t>(back), L'\0');
  if (MultiByteToWideChar(cp, 0, result.data(), n, &roundTrip[0], back) != back ||
      roundTrip.compare(0, length, text, length) != 0)
    throw std::runtime_error(kConversionNotExact);
  return result;
}

std::string WideToAnsi(const MemoryView& bytes, int encoding) {
  if (encoding != TEXT_ENCODING_UTF16LE) return std::string(bytes.Chars(), static_cast<std::size_t>(bytes.Length()));

  // The bytes need not be aligned for wchar_t: take the characters out one by one.
  const std::size_t units = static_cast<std::size_t>(bytes.Length()) / 2;
  std::wstring text;
  text.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    wchar_t c = static_cast<wchar_t>(bytes.Data()[2 * i] | (bytes.Data()[2 * i + 1] << 8));
    if (c == L'\0') break;
    text.push_back(c);
  }
  return WideToCodePage(text.data(), text.size(), CP_ACP);
}

std::string WideToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  // Characters after an embedded zero are not part of the text.
  return WideToCodePage(text.data(), wcsnlen(text.data(), text.size()), CP_ACP);
}

std::wstring Utf8ToWide(const char* text, std::size_t maxLength, void* scratch, std::size_t scratchBytes) {
  return ToWide(CP_UTF8, text, maxLength, scratch, scratchBytes);
}

std::wstring Utf8ToWide(const std::string& text, void* scratch, std::size_t scratchBytes) {
  if (text.empty()) return std::wstring();
  return ToWide(CP_UTF8, text.c_str(), text.size(), scratch, scratchBytes);
}

std::wstring AnsiToWide(const char* text, std::size_t maxLength) { return ToWide(CP_ACP, text, maxLength, nullptr, 0); }

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  return ToWide(CP_ACP, text.c_str(), text.size(), nullptr, 0);
}
