#include "NsisStack.h"

#include <cwchar>

namespace gwplugin {

NsisCall& Nsis() {
  static NsisCall call;
  return call;
}

void NsisEnterCall(int string_size, WCHAR* variables, nsis::StackEntry** stacktop, nsis::ExtraParameters* extra) {
  NsisCall& call = Nsis();
  call.string_size = string_size;
  call.variables = variables;
  call.stacktop = stacktop;
  call.extra = extra;
}

namespace {

// Length of an entry's text: the host terminates it within the string size, but a text
// that is not terminated must not lead us past the entry.
std::size_t EntryTextLength(const WCHAR* text, int string_size) {
  return string_size > 0 ? wcsnlen(text, static_cast<std::size_t>(string_size)) : 0;
}

// Unlinks the top entry; the caller frees it with GlobalFree.
nsis::StackEntry* UnlinkTop() {
  NsisCall& call = Nsis();
  if (!call.stacktop || !*call.stacktop) return nullptr;
  nsis::StackEntry* top = *call.stacktop;
  *call.stacktop = top->next;
  return top;
}

}  // namespace

bool NsisPushString(const wchar_t* text) {
  NsisCall& call = Nsis();
  if (!call.stacktop || call.string_size <= 0) return false;
  auto* entry = static_cast<nsis::StackEntry*>(GlobalAlloc(GPTR, nsis::StackEntryBytes(call.string_size)));
  if (!entry) return false;
  lstrcpynW(entry->text, text ? text : L"", call.string_size);
  entry->next = *call.stacktop;
  *call.stacktop = entry;
  return true;
}

bool NsisPushString(const std::wstring& text) { return NsisPushString(text.c_str()); }

bool NsisPushInt(int value) {
  wchar_t buffer[32];
  wsprintfW(buffer, L"%d", value);
  return NsisPushString(buffer);
}

bool NsisPopString(std::wstring& text) {
  text.clear();
  nsis::StackEntry* top = UnlinkTop();
  if (!top) return false;
  text.assign(top->text, EntryTextLength(top->text, Nsis().string_size));
  GlobalFree(top);
  return true;
}

bool NsisPopString(wchar_t* buffer, std::size_t capacity) {
  if (!buffer || capacity == 0) return false;
  wmemset(buffer, L'\0', capacity);
  nsis::StackEntry* top = UnlinkTop();
  if (!top) return false;
  std::size_t length = EntryTextLength(top->text, Nsis().string_size);
  if (length > capacity - 1) length = capacity - 1;
  wmemcpy(buffer, top->text, length);
  GlobalFree(top);
  return true;
}

int NsisPopInt() {
  wchar_t buffer[128];
  NsisPopString(buffer, 128);
  return NsisAtoi(buffer);
}

bool NsisStackHasEntries() {
  const NsisCall& call = Nsis();
  return call.stacktop && *call.stacktop;
}

int NsisAtoi(const wchar_t* text) {
  if (!text) return 0;
  unsigned value = 0;
  const wchar_t* p = text;
  if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) {
    for (p += 2;; ++p) {
      unsigned digit;
      if (*p >= L'0' && *p <= L'9')
        digit = *p - L'0';
      else if (*p >= L'a' && *p <= L'f')
        digit = *p - L'a' + 10;
      else if (*p >= L'A' && *p <= L'F')
        digit = *p - L'A' + 10;
      else
        break;
      value = value * 16 + digit;
    }
    return static_cast<int>(value);
  }
  if (p[0] == L'0' && p[1] >= L'0' && p[1] <= L'7') {
    for (++p; *p >= L'0' && *p <= L'7'; ++p) value = value * 8 + (*p - L'0');
    return static_cast<int>(value);
  }
  bool negative = false;
  if (*p == L'-') {
    negative = true;
    ++p;
  }
  for (; *p >= L'0' && *p <= L'9'; ++p) value = value * 10 + (*p - L'0');
  return static_cast<int>(negative ? 0u - value : value);
}

std::wstring NsisGetVariable(int index) {
  const NsisCall& call = Nsis();
  if (!call.variables || call.string_size <= 0 || index < 0 || index >= nsis::kVarCount) return std::wstring();
  const WCHAR* slot = call.variables + static_cast<std::size_t>(index) * call.string_size;
  return std::wstring(slot, EntryTextLength(slot, call.string_size));
}

int NsisExecuteCodeSegment(int address, HWND parent) {
  const NsisCall& call = Nsis();
  if (!call.extra || !call.extra->ExecuteCodeSegment) return -1;
  return call.extra->ExecuteCodeSegment(address - 1, parent);
}

}  // namespace gwplugin
