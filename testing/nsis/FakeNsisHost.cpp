#include "FakeNsisHost.h"

#include <cwchar>

namespace gwplugin_test {

namespace {
// The host whose export call runs; the host's callbacks carry no context of their own.
FakeNsisHost* g_current = nullptr;
}  // namespace

FakeNsisHost::FakeNsisHost(int string_size)
    : m_stringSize(string_size), m_variables(static_cast<size_t>(string_size) * nsis::kVarCount, L'\0') {
  m_flags.plugin_api_version = nsis::kPluginApiVersion1;
  m_extra.exec_flags = &m_flags;
  m_extra.ExecuteCodeSegment = &FakeNsisHost::ExecuteCodeSegment;
  m_extra.validate_filename = &FakeNsisHost::ValidateFilename;
  m_extra.RegisterPluginCallback = &FakeNsisHost::RegisterPluginCallback;
}

FakeNsisHost::~FakeNsisHost() {
  Clear();
  if (g_current == this) g_current = nullptr;
}

void FakeNsisHost::Push(const std::wstring& text) {
  auto* entry = static_cast<nsis::StackEntry*>(GlobalAlloc(GPTR, nsis::StackEntryBytes(m_stringSize)));
  lstrcpynW(entry->text, text.c_str(), m_stringSize);
  entry->next = m_top;
  m_top = entry;
}

void FakeNsisHost::PushUnterminated(wchar_t fill) {
  auto* entry = static_cast<nsis::StackEntry*>(GlobalAlloc(GPTR, nsis::StackEntryBytes(m_stringSize)));
  wmemset(entry->text, fill, static_cast<size_t>(m_stringSize));
  entry->next = m_top;
  m_top = entry;
}

bool FakeNsisHost::Pop(std::wstring& text) {
  text.clear();
  if (!m_top) return false;
  nsis::StackEntry* entry = m_top;
  m_top = entry->next;
  text.assign(entry->text, wcsnlen(entry->text, static_cast<size_t>(m_stringSize)));
  GlobalFree(entry);
  return true;
}

std::vector<std::wstring> FakeNsisHost::Stack() const {
  std::vector<std::wstring> texts;
  for (nsis::StackEntry* e = m_top; e; e = e->next)
    texts.emplace_back(e->text, wcsnlen(e->text, static_cast<size_t>(m_stringSize)));
  return texts;
}

void FakeNsisHost::Clear() {
  std::wstring ignored;
  while (Pop(ignored)) {
  }
}

void FakeNsisHost::SetVariable(int index, const std::wstring& value) {
  lstrcpynW(&m_variables[static_cast<size_t>(index) * m_stringSize], value.c_str(), m_stringSize);
}

void FakeNsisHost::Call(nsis::PluginExport function, HWND parent) {
  g_current = this;
  function(parent, m_stringSize, m_variables.data(), &m_top, &m_extra);
}

void FakeNsisHost::CallWithoutStack(nsis::PluginExport function, HWND parent) {
  g_current = this;
  function(parent, m_stringSize, m_variables.data(), nullptr, &m_extra);
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
