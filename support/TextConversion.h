// Conversions between UTF-16, UTF-8 and the system ANSI code page.
// Failures are std::runtime_error with the texts below; nothing is returned then.
#pragma once

#include "MemoryView.h"

#include <windows.h>

#include <cstddef>
#include <string>

// Encodings understood by the MemoryView overload of WideToAnsi.
enum TextEncoding {
  TEXT_ENCODING_RAW = 0,      // bytes copied unchanged
  TEXT_ENCODING_UTF16LE = 2,  // UTF-16LE text converted to the ANSI code page
};

// Message of the conversion failures.
extern const char* const kConversionFailed;           // "Conversion failed."
extern const char* const kConversionNotExact;         // "Conversion not exact."
extern const char* const kInvalidCharactersDetected;  // "Invalid characters detected."

// UTF-16LE bytes (encoding 2; length / 2 characters, cut at the first zero character) to the
// ANSI code page; any other encoding copies the bytes unchanged (raw mode).
// The conversion is exact or it fails: a character that the code page cannot represent
// throws kConversionNotExact (never a substitute character); an empty result throws
// kConversionFailed.
std::string WideToAnsi(const MemoryView& bytes, int encoding);
// Empty gives empty; otherwise as above over the string's characters.
std::string WideToAnsi(const std::wstring& text);

// The exact conversion to any code page (WideToAnsi uses CP_ACP). Works for code pages that
// refuse WC_NO_BEST_FIT_CHARS or a default character (UTF-8, GB18030, ISO-2022 ...): each
// result is checked by converting it back.
std::string WideToCodePage(const wchar_t* text, std::size_t length, UINT codePage);

// UTF-8 to UTF-16. The text runs to its first zero byte, at most maxLength bytes.
// Invalid UTF-8 throws kInvalidCharactersDetected. The characters are converted in the
// scratch buffer when it holds them (scratchBytes >= 2 x characters), else on the heap.
std::wstring Utf8ToWide(const char* text, std::size_t maxLength, void* scratch, std::size_t scratchBytes);
std::wstring Utf8ToWide(const std::string& text, void* scratch = nullptr, std::size_t scratchBytes = 0);

// ANSI code page to UTF-16; fails only on invalid multi-byte sequences.
std::wstring AnsiToWide(const char* text, std::size_t maxLength);
std::wstring AnsiToWide(const std::string& text);
