#include "PluginText.h"

char* WideToNarrow(const wchar_t* text, int capacity, UINT code_page, char* out) {
  if (!text || !out) return nullptr;
  if (capacity <= 0) return nullptr;
  out[0] = '\0';
  if (WideCharToMultiByte(code_page, 0, text, -1, out, capacity, nullptr, nullptr) == 0) {
    out[0] = '\0';
    return nullptr;
  }
  return out;
}

wchar_t* NarrowToWide(const char* text, int capacity, UINT code_page, wchar_t* out) {
  if (!text || !out) return nullptr;
  if (capacity <= 0) return nullptr;
  out[0] = L'\0';
  if (MultiByteToWideChar(code_page, 0, text, -1, out, capacity) == 0) {
    out[0] = L'\0';
    return nullptr;
  }
  return out;
}
