#include "DialogTemplates.h"

namespace gwplugin {

namespace {

struct TemplateRow {
  LANGID langid;
  DialogTemplates templates;
};

constexpr TemplateRow kTemplateRows[] = {
    {1031, {2026, 2023, 2029, 2021}}, {1033, {2017, 2019, 2015, 2014}}, {1034, {2027, 2024, 2030, 2020}},
    {1036, {2028, 2025, 2031, 2022}}, {1045, {2000, 2006, 2012, 2011}},
};

constexpr LANGID kEnglish = 1033;

const TemplateRow* FindRow(LANGID langid) {
  for (const TemplateRow& row : kTemplateRows)
    if (row.langid == langid) return &row;
  return nullptr;
}

}  // namespace

DialogTemplates TemplatesForLanguage(LANGID langid) {
  const TemplateRow* row = FindRow(langid);
  return (row ? row : FindRow(kEnglish))->templates;
}

bool HasOwnTemplates(LANGID langid) { return FindRow(langid) != nullptr; }

LANGID ResourceLanguage(LANGID langid) {
  if (!HasOwnTemplates(langid)) return kEnglish;
  return langid == 1034 ? 3082 : langid;
}

}  // namespace gwplugin
