#include "LocalizedText.h"

#include <boost/make_shared.hpp>

std::int32_t LocalizedText::InternName(const std::wstring& name) {
  auto it = m_ids.find(name);
  if (it != m_ids.end()) return it->second;
  const std::int32_t id = m_nextId;
  m_ids.emplace(name, id);
  --m_nextId;
  return id;
}

bool LocalizedText::FindId(const std::wstring& name, std::int32_t& id) const {
  auto it = m_ids.find(name);
  if (it == m_ids.end()) return false;
  id = it->second;
  return true;
}

bool LocalizedText::AddText(const std::wstring& name, LANGID language, const std::wstring& text) {
  return AddText(name, language, std::wstring(text));
}

bool LocalizedText::AddText(const std::wstring& name, LANGID language, std::wstring&& text) {
  const std::int32_t id = InternName(name);
  boost::shared_ptr<TextTable>& table = m_languages[language];
  if (!table) table = boost::make_shared<TextTable>();
  return table->try_emplace(id, std::move(text)).second;
}

bool LocalizedText::GetText(std::int32_t id, LANGID language, std::wstring& text) const {
  auto lang = m_languages.find(language);
  if (lang == m_languages.end() || !lang->second) return false;
  auto it = lang->second->find(id);
  if (it == lang->second->end()) return false;
  text = it->second;
  return true;
}

bool LocalizedText::GetText(const std::wstring& name, LANGID language, std::wstring& text) const {
  std::int32_t id = 0;
  return FindId(name, id) && GetText(id, language, text);
}
