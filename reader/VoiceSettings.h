// The reader's values that the speech framework writes for it when a speaker stops: the first run
// is over ("first"), the voice in use ("cur_voice"), and through WriteAppDword the volume
// ("cur_volume") and rate ("cur_speed"). They live under the reader's application key, in the
// 32-bit registry view in both builds. A write to a missing key does nothing.
#pragma once

#include <windows.h>

// The application key, spelled once for the reader; the macro lets other keys of the reader
// be written as its subkeys (literals joined by the compiler).
#define ORV_READER_APP_KEY L"SOFTWARE\\Orvel\\Orvel Murmelin"

namespace reader_settings {
constexpr const wchar_t* kAppKey = ORV_READER_APP_KEY;
// The registry view of the reader's keys: the 32-bit one, which the 32-bit reader and installer
// use. Tests and other code that write these keys use it too.
constexpr REGSAM kView = KEY_WOW64_32KEY;
}  // namespace reader_settings

// A REG_DWORD value of the application key.
void WriteAppDword(LPCWSTR name, DWORD value);
void WriteFirstRunDone();
void WriteCurrentVoice(int index);
