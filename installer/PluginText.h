// Conversions between UTF-16 and narrow text into caller's buffers. Kept in a library of
// their own (orv_plugin_text) because the HTML controls use them as well.
#pragma once

#include <windows.h>

// Converts text (terminated) into out, a buffer of capacity bytes, in the given code page.
// Null when either pointer is null or the conversion fails (then out holds an empty text
// when capacity > 0); otherwise out. Callers pass 2 * (length + 1) bytes.
char* WideToNarrow(const wchar_t* text, int capacity, UINT code_page, char* out);

// The same from narrow text into a buffer of capacity characters.
wchar_t* NarrowToWide(const char* text, int capacity, UINT code_page, wchar_t* out);
