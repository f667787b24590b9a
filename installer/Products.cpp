#include "Products.h"

#include "PluginText.h"
#include "ProductTables.h"

#include <cwchar>
#include <vector>

namespace orv_products {

CProd::CProd(const CProd& source) { MergeFrom(source); }

void CProd::MergeFrom(const CProd& source) {
  state = source.state;
  if (!source.label.empty()) label = source.label;
  if (!source.id.empty()) id = source.id;
  instURL = source.instURL;
  instFile = source.instFile;
  file = source.file;
  size = source.size;
  if (!source.description.empty()) description = source.description;
  version = source.version;
  extractFunction = source.extractFunction;
  weight = source.weight;
  productType = source.productType;
  if (source.row == -1) {
    row = -1;
    table = ProductTable::None;
    FindBuiltInRow();
  } else {
    row = source.row;
    table = source.table;
  }
}

bool CProd::CanTakeBits(std::uint32_t value) const {
  if ((value & PS_DOWNLOAD) && (instURL.empty() || size == 0)) return false;
  if ((value & PS_INSTALL) && instURL.empty() && instFile.empty()) return false;
  return true;
}

void CProd::SetStateIfPossible(std::uint32_t value, bool only_if_empty) {
  if (only_if_empty && state != 0) return;
  if (!CanTakeBits(value)) return;
  state = value;
}

std::uint32_t CProd::AddStateIfHasBits(std::uint32_t bits, std::uint32_t mask) {
  if (HasAllStateBits(mask) && CanTakeBits(bits)) state |= bits;
  return state;
}

void CProd::AddSizeIfHasBits(std::uint32_t mask, std::int64_t* total) const {
  if (total && HasAllStateBits(mask)) *total += size;
}

void CProd::AddWeightIfHasBits(std::uint32_t mask, int* total) const {
  if (total && HasAllStateBits(mask)) *total += weight;
}

bool CProd::IsVersionAtLeast16() const { return version >= VersionNumber(1, 6, 0, 0); }

void CProd::FindBuiltInRow() {
  if (row != -1) return;
  // The tables hold narrow ids; compare in the system code page. Ids are short: a buffer on
  // the stack serves all but unusual ones (records are copied by the thousand).
  char small[256];
  std::vector<char> large;
  char* narrow = small;
  const std::size_t bytes = 2 * (id.size() + 1);
  if (bytes > sizeof small) {
    large.resize(bytes);
    narrow = large.data();
  }
  if (!WideToNarrow(id.c_str(), static_cast<int>(bytes), CP_ACP, narrow)) return;

  if (id.compare(0, 6, L"VOICE_") != 0) {
    int found = gwplugin::FindApplicationRowById(narrow);
    if (found >= 0) {
      row = found;
      table = ProductTable::Application;
      return;
    }
    found = gwplugin::FindVoiceRowById(narrow, -1);
    if (found >= 0) {
      row = found;
      table = ProductTable::Voice;
    }
    return;
  }

  int family = IsVersionAtLeast16() ? 2 : 0;
  if (version == VersionNumber()) family = productType == L"Orvel 2 Vokant" ? 2 : 0;
  int found = gwplugin::FindVoiceRowById(narrow, family);
  if (found >= 0) {
    row = found;
    table = ProductTable::Voice;
  }
}

bool ProductIdEquals(const CProd& product, const std::wstring& id) {
  return _wcsicmp(product.id.c_str(), id.c_str()) == 0;
}

bool ProductsHaveSameId(const CProd& a, const CProd& b) { return a.id == b.id; }

bool GroupIdEquals(const CProdGroup& group, const std::wstring& id) { return group.id == id; }

bool StringEquals(const std::wstring& a, const std::wstring& b) { return a == b; }

CProdPtr FindProductById(const ProductList& products, const std::wstring& id) {
  for (const CProdPtr& product : products)
    if (product && product->id == id) return product;
  return nullptr;
}

CProdGroupPtr FindGroupById(const GroupList& groups, const std::wstring& id) {
  for (const CProdGroupPtr& group : groups)
    if (group && GroupIdEquals(*group, id)) return group;
  return nullptr;
}

}  // namespace orv_products
