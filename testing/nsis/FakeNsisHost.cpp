#include "FakeNsisHost.h"

#include <cwchar>

namespace gwplugin_test {

namespace {
// The host whose export call runs; the host's callbacks carry no context of their own.
FakeNsisHost* g_current = nullptr;
}  // namespace

FakeNsisHost::FakeNsisHost(int string_size)
    : string_size_(string_size), variables_(static_cast<size_t>(string_size) * nsis::kVarCount, L'\0') {
  flags_.plugin_api_version = nsis::kPluginApiVersion1;
  extra_.exec_flags = &flags_;
  extra_.ExecuteCodeSegment = &FakeNsisHost::ExecuteCodeSegment;
  extra_.validate_filename = &FakeNsisHost::ValidateFilename;
  extra_.RegisterPluginCallback = &FakeNsisHost::RegisterPluginCallback;
}

FakeNsisHost::~FakeNsisHost() {
  Clear();
  if (g_current == this) g_current = nullptr;
}

void FakeNsisHost::Push(const std::wstring& text) {
  auto* entry = static_cast<nsis::StackEntry*>(GlobalAlloc(GPTR, nsis::StackEntryBytes(string_size_)));
  lstrcpynW(entry->text, text.c_str(), string_size_);
  entry->next = top_;
  top_ = entry;
}

void FakeNsisHost::PushUnterminated(wchar_t fill) {
  auto* entry = static_cast<nsis::StackEntry*>(GlobalAlloc(GPTR, nsis::StackEntryBytes(string_size_)));
  wmemset(entry->text, fill, static_cast<size_t>(string_size_));
  entry->next = top_;
  top_ = entry;
}

bool FakeNsisHost::Pop(std::wstring& text) {
  text.clear();
  if (!top_) return false;
  nsis::StackEntry* entry = top_;
  top_ = entry->next;
  text.assign(entry->text, wcsnlen(entry->text, static_cast<size_t>(string_size_)));
  GlobalFree(entry);
  return true;
}

std::vector<std::wstring> FakeNsisHost::Stack() const {
  std::vector<std::wstring> texts;
  for (nsis::StackEntry* e = top_; e; e = e->next)
    texts.emplace_back(e->text, wcsnlen(e->text, static_cast<size_t>(string_size_)));
  return texts;
}

void FakeNsisHost::Clear() {
  std::wstring ignored;
  while (Pop(ignored)) {
  }
}

void FakeNsisHost::SetVariable(int index, const std::wstring& value) {
  lstrcpynW(&variables_[static_cast<size_t>(index) * string_size_], value.c_str(), string_size_);
}

void FakeNsisHost::Call(nsis::PluginExport function, HWND parent) {
  g_current = this;
  function(parent, string_size_, variables_.data(), &top_, &extra_);
}

void FakeNsisHost::CallWithoutStack(nsis::PluginExport function, HWND parent) {
  g_current = this;
  function(parent, string_size_, variables_.data(), nullptr, &extra_);
}

int __stdcall FakeNsisHost::ExecuteCodeSegment(int address, HWND parent) {
  if (g_current) g_current->codeSegmentCalls.emplace_back(address, parent);
  return 0;
}

void __stdcall FakeNsisHost::ValidateFilename(WCHAR*) {}

int __stdcall FakeNsisHost::RegisterPluginCallback(HMODULE, nsis::PluginCallback callback) {
  if (!g_current) return -1;
  ++g_current->callbackRegistrations;
  g_current->callback = callback;
  return 0;
}

}  // namespace gwplugin_test
