// The system's locales, looked up by name ("en-US", or "en" for a language's default locale),
// by LCID and by language identifier. One instance exists while the plug-in runs; it is built
// once on the plug-in's main thread and then only read.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

struct LocaleRecord {
  LCID lcid = 0;
  std::wstring language;  // ISO 639, lower case as the system reports it
  std::wstring country;   // ISO 3166, upper case
  std::wstring name;      // language "-" country
};

class LocaleCatalog {
 public:
  // Lists the system's locales; names the new object as the process-wide instance.
  LocaleCatalog();
  ~LocaleCatalog();
  LocaleCatalog(const LocaleCatalog&) = delete;
  LocaleCatalog& operator=(const LocaleCatalog&) = delete;

  // The instance while one exists, else null.
  static LocaleCatalog* Instance();

  // The record of that name (case-sensitive) and true, or false.
  bool FindLcid(const std::wstring& name, const LocaleRecord*& record) const;
  // The record of that name, or throws LocaleException.
  const LocaleRecord& GetLcid(const std::wstring& name) const;

  const std::vector<std::unique_ptr<LocaleRecord>>& Records() const { return m_records; }
  const LocaleRecord* FindByLcid(LCID lcid) const;
  const LocaleRecord* FindByLangId(LANGID langId) const;

 private:
  std::vector<std::unique_ptr<LocaleRecord>> m_records;  // ascending LCID
  std::map<std::wstring, const LocaleRecord*> m_names;
  std::map<LCID, const LocaleRecord*> m_lcids;
  std::map<LANGID, const LocaleRecord*> m_langIds;
};
