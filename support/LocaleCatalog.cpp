#include "LocaleCatalog.h"

#include "SupportExceptions.h"

#include <algorithm>
#include <cwchar>
#include <stdexcept>

namespace {

LocaleCatalog* g_instance = nullptr;

// EnumSystemLocalesW passes no context to its callback, so the identifiers are gathered here.
std::vector<LCID> g_lcids;

BOOL CALLBACK CollectLocale(LPWSTR text) {
  try {
    g_lcids.push_back(static_cast<LCID>(std::wcstoul(text, nullptr, 16)));
    return TRUE;
  } catch (...) {
    // No exception may cross back into the system's enumeration.
    return FALSE;
  }
}

std::wstring LocaleString(LCID lcid, LCTYPE type) {
  wchar_t buffer[256];
  int n = GetLocaleInfoW(lcid, type, buffer, 256);
  if (n <= 1) return std::wstring();
  return std::wstring(buffer, static_cast<std::size_t>(n - 1));
}

}  // namespace

LocaleCatalog::LocaleCatalog() {
  g_lcids.clear();
  if (!EnumSystemLocalesW(CollectLocale, LCID_SUPPORTED)) throw std::runtime_error("EnumSystemLocalesW failed.");
  std::stable_sort(g_lcids.begin(), g_lcids.end());

  m_records.reserve(g_lcids.size());
  for (LCID lcid : g_lcids) {
    std::unique_ptr<LocaleRecord> record(new LocaleRecord);
    record->lcid = lcid;
    record->language = LocaleString(lcid, LOCALE_SISO639LANGNAME);
    record->country = LocaleString(lcid, LOCALE_SISO3166CTRYNAME);
    record->name = record->language + L"-" + record->country;
    m_records.push_back(std::move(record));
  }

  // Inserts never replace: for a name shared by several locales the smallest LCID wins.
  for (const auto& owned : m_records) {
    const LocaleRecord* record = owned.get();
    const LANGID langId = LANGIDFROMLCID(record->lcid);
    if (!record->language.empty()) {
      m_names.emplace(record->name, record);
      if (SUBLANGID(langId) == SUBLANG_DEFAULT) m_names.emplace(record->language, record);
    }
    m_lcids.emplace(record->lcid, record);
    if (record->lcid == langId) m_langIds.emplace(langId, record);
  }
  // Named only once complete, so a failed construction leaves no instance behind.
  g_instance = this;
}

LocaleCatalog::~LocaleCatalog() {
  if (g_instance == this) g_instance = nullptr;
}

LocaleCatalog* LocaleCatalog::Instance() { return g_instance; }

bool LocaleCatalog::FindLcid(const std::wstring& name, const LocaleRecord*& record) const {
  auto it = m_names.find(name);
  if (it == m_names.end()) return false;
  record = it->second;
  return true;
}

const LocaleRecord& LocaleCatalog::GetLcid(const std::wstring& name) const {
  const LocaleRecord* record = nullptr;
  if (!FindLcid(name, record)) throw LocaleException();
  return *record;
}

const LocaleRecord* LocaleCatalog::FindByLcid(LCID lcid) const {
  auto it = m_lcids.find(lcid);
  return it == m_lcids.end() ? nullptr : it->second;
}

const LocaleRecord* LocaleCatalog::FindByLangId(LANGID langId) const {
  auto it = m_langIds.find(langId);
  return it == m_langIds.end() ? nullptr : it->second;
}
