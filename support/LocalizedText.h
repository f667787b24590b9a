// Named texts per language: each text name gets a negative id, each language a table id -> text.
// Copies share their language tables.
#pragma once

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <map>
#include <string>

#include <windows.h>

class LocalizedText {
 public:
  using TextTable = std::map<std::int32_t, std::wstring>;

  // The id of a known name; a new name gets the next id (-1, then -2, ...).
  std::int32_t InternName(const std::wstring& name);
  bool FindId(const std::wstring& name, std::int32_t& id) const;

  // False, keeping the old text, when the name already has a text in that language.
  bool AddText(const std::wstring& name, LANGID language, const std::wstring& text);
  // The same, taking the text over (it is left as it was when the name has a text already).
  bool AddText(const std::wstring& name, LANGID language, std::wstring&& text);

  bool GetText(std::int32_t id, LANGID language, std::wstring& text) const;
  bool GetText(const std::wstring& name, LANGID language, std::wstring& text) const;

  const std::map<std::wstring, std::int32_t>& Ids() const { return m_ids; }
  const std::map<LANGID, boost::shared_ptr<TextTable>>& Languages() const { return m_languages; }

 private:
  std::int32_t m_nextId = -1;
  std::map<std::wstring, std::int32_t> m_ids;
  std::map<LANGID, boost::shared_ptr<TextTable>> m_languages;
};
