#include "ComponentRules.h"

#include <cwchar>

namespace gwplugin {

using namespace orv_products;

namespace {

struct GroupImageRow {
  const wchar_t* groupId;
  int image;
};

// The pictures of res/make_page_images.py's strip, by group.
constexpr GroupImageRow kGroupImages[] = {
    {L"OP_GROUP_PL_VOICES", 0},     {L"OP_GROUP_UK_VOICES", 1},     {L"OP_GROUP_US_VOICES", 2},
    {L"OP_GROUP_RO_VOICES", 3},     {L"OP_GROUP_ES_VOICES", 6},     {L"OP_GROUP_ES_US_VOICES", 7},
    {L"OP_GROUP_DE_VOICES", 8},     {L"OP_GROUP_FR_VOICES", 9},     {L"OP_GROUP_CY_EN_VOICES", 10},
    {L"OP_GROUP_CY_VOICES", 11},    {L"OP_GROUP_AU_VOICES", 12},    {L"OP_GROUP_IT_VOICES", 13},
    {L"OP_GROUP_PT_BR_VOICES", 14}, {L"OP_GROUP_NL_NL_VOICES", 15}, {L"OP_GROUP_DA_DK_VOICES", 16},
    {L"OP_GROUP_IS_IS_VOICES", 17}, {L"OP_GROUP_SE_VOICES", 18},    {L"OP_GROUP_RU_RU_VOICES", 19},
    {L"OP_GROUP_PT_PT_VOICES", 20}, {L"OP_GROUP_KR_VOICES", 21},    {L"OP_GROUP_JP_JP_VOICES", 22},
    {L"OP_GROUP_FR_CA_VOICES", 23},
};

struct AnnotationRow {
  std::uint32_t state;
  UINT downloaded;  // with PS_DOWNLOAD
  UINT local;       // without
};

// The first row whose state bit the product has decides; a product with none of them is
// annotated only when it is downloaded.
constexpr AnnotationRow kAnnotations[] = {
    {PS_UPGRADE, 2023, 2022},
    {PS_UPDATE, 2010, 2009},
    {PS_REINSTALL, 2013, 2012},
};
constexpr UINT kAvailableForDownload = 2011;

// Catalogue names are text, not markup: "&" or "<" in a name must show as itself.
std::wstring EscapeMarkup(const std::wstring& text) {
  std::wstring escaped;
  escaped.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'&':
        escaped += L"&amp;";
        break;
      case L'<':
        escaped += L"&lt;";
        break;
      case L'>':
        escaped += L"&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace

int GroupTreeImage(const std::wstring& group_id) {
  for (const GroupImageRow& row : kGroupImages)
    if (group_id == row.groupId) return row.image;
  return kNoTreeImage;
}

int ProductTreeImage(std::uint32_t state) {
  if (state & PS_DOWNLOAD) return 5;
  if (state & (PS_INSTALL | PS_REINSTALL)) return 4;
  return kNoTreeImage;
}

UINT ProductAnnotationId(std::uint32_t state) {
  if (state & PS_DISABLED) return 0;
  const bool downloaded = (state & PS_DOWNLOAD) != 0;
  for (const AnnotationRow& row : kAnnotations)
    if (state & row.state) return downloaded ? row.downloaded : row.local;
  return downloaded ? kAvailableForDownload : 0;
}

std::wstring ProductItemHtml(const std::wstring& label, const std::wstring& annotation) {
  if (annotation.empty()) return EscapeMarkup(label) + L" ";
  return EscapeMarkup(label) + L" <font color=\"gray\">" + EscapeMarkup(annotation) + L"</font>";
}

std::wstring ProductItemLabel(const std::wstring& label, const std::wstring& annotation) {
  return label + L" " + annotation;
}

std::wstring ProductToolTipHtml(const std::wstring& label, const std::wstring& description) {
  // The description is the catalogue's own HTML and stays as it is.
  return L"<h2><font color=black>" + EscapeMarkup(label) +
         L"</font></h2><br><hr color=lightsteelblue><br>"
         L"<table><tr><td> </td><td width=400>" +
         description + L"</td></tr></table>";
}

std::int64_t ProductDownloadBytes(const CProd& product) {
  // The whole 64-bit size: one voice package may pass 2 GiB, and so may a selection.
  if (product.HasAllStateBits(PS_DOWNLOAD) && product.HasNoStateBits(PS_NOT_AVAILABLE)) return product.size;
  return 0;
}

std::int64_t WholeMegabytes(std::int64_t bytes) { return bytes / 1048576; }

}  // namespace gwplugin
