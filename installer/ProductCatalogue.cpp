#include "ProductCatalogue.h"

#include <UniqueHandle.h>
#include "NsisStack.h"
#include "PluginLog.h"
#include "ProductTables.h"
#include "Utilities.h"

#include <CatalogueReader.h>
#include <Files.h>
#include <LocaleCatalog.h>
#include <TextConversion.h>

#include <cwchar>
#include <exception>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace gwplugin {

using orv_products::CProd;
using orv_products::CProdGroup;
using orv_products::CProdGroupPtr;
using orv_products::CProdPtr;

namespace {

// Every field in its place: "a||b" is {"a", "", "b"}.
std::vector<std::wstring> SplitFields(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(separator, start);
    if (end == std::wstring::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

// The tables' ids are plain ASCII.
std::wstring AnsiToWideOrEmpty(const char* text) {
  try {
    return AnsiToWide(std::string(text ? text : ""));
  } catch (const std::exception&) {
    return std::wstring();
  }
}

std::wstring What(const std::exception& e) { return WidenAscii(e.what()); }

}  // namespace

bool ProductCatalogue::AddBuiltInDescriptor(const std::wstring& descriptor) {
  const std::vector<std::wstring> fields = SplitFields(descriptor, L'|');
  auto field = [&fields](std::size_t i) { return i < fields.size() ? fields[i] : std::wstring(); };
  if (field(0).empty()) {
    LogLine(L"descriptor without an id skipped: \"" + descriptor + L"\"");
    return false;
  }
  auto product = std::make_shared<CProd>();
  product->id = field(0);
  if (!field(1).empty()) {
    try {
      product->version = VersionNumber::Parse(field(1));
    } catch (const std::exception&) {
      LogLine(L"descriptor with a bad version skipped: \"" + descriptor + L"\"");
      return false;
    }
  }
  if (!field(2).empty()) product->extractFunction = _wtoi(field(2).c_str());
  product->instFile = field(3);
  product->FindBuiltInRow();
  builtInProducts.push_back(product);
  return true;
}

void ProductCatalogue::ReadBuiltInProducts(const std::wstring& exe_dir) {
  std::wstring text;
  while (NsisPopString(text)) {
    if (text == L"END") break;
    AddBuiltInDescriptor(text);
  }
  ScanDataFiles(exe_dir);
}

namespace {

// FileVersion's first three numbers and InternalName (upper case) of a file; false when
// the file has no version resource or translation.
bool ReadDataFileVersion(const std::wstring& path, VersionNumber& version, std::wstring& id) {
  DWORD ignored = 0;
  DWORD bytes = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (bytes == 0) return false;
  std::vector<BYTE> block(bytes);
  if (!GetFileVersionInfoW(path.c_str(), 0, bytes, block.data())) return false;
  void* translations = nullptr;
  UINT translation_bytes = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translations, &translation_bytes) ||
      !translations || translation_bytes < 2 * sizeof(WORD))
    return false;
  // Only the first language and code page count.
  auto* first = static_cast<const WORD*>(translations);
  std::wstring file_version;
  std::int32_t parts[3] = {0, 0, 0};
  if (GetFileVersionString(block.data(), first, 2 * sizeof(WORD), L"FileVersion", file_version)) {
    std::vector<std::wstring> numbers = SplitFields(file_version, L'.');
    for (std::size_t i = 0; i < 3 && i < numbers.size(); ++i) parts[i] = _wtoi(numbers[i].c_str());
  }
  version = VersionNumber(parts[0], parts[1], parts[2], 0);
  id.clear();
  if (GetFileVersionString(block.data(), first, 2 * sizeof(WORD), L"InternalName", id)) {
    for (wchar_t& c : id) c = towupper(c);
  }
  return true;
}

bool FileLength(const std::wstring& path, std::int64_t& length) {
  win::UniqueFile file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size)) return false;
  length = size.QuadPart;
  return true;
}

}  // namespace

void ProductCatalogue::ScanDataFiles(const std::wstring& exe_dir) {
  if (exe_dir.empty()) return;
  std::wstring folder = exe_dir + L"\\data\\";
  WIN32_FIND_DATAW found;
  win::UniqueFind find(FindFirstFileW((folder + L"orvel*.dat").c_str(), &found));
  if (!find) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    auto product = std::make_shared<CProd>();
    product->instFile = folder + found.cFileName;
    if (!ReadDataFileVersion(product->instFile, product->version, product->id)) {
      LogLine(L"data file without a version resource skipped: " + std::wstring(found.cFileName));
      continue;
    }
    if (product->id.empty()) {
      LogLine(L"data file without an internal name skipped: " + std::wstring(found.cFileName));
      continue;
    }
    if (orv_products::FindProductById(builtInProducts, product->id)) continue;
    if (!FileLength(product->instFile, product->size)) continue;
    product->FindBuiltInRow();
    builtInProducts.push_back(product);
  } while (FindNextFileW(find.get(), &found));
}

void EnsureLocaleCatalog() {
  if (LocaleCatalog::Instance()) return;
  // Lives until the plug-in is unloaded; made again only if another catalogue took its
  // place and went.
  static std::unique_ptr<LocaleCatalog> owned;
  owned.reset();
  owned = std::make_unique<LocaleCatalog>();
}

bool ProductCatalogue::LoadBuiltInContent(const std::wstring& path) {
  builtInGroups.clear();
  builtInCatalogueProducts.clear();
  if (path.empty()) {
    LogLine(L"no built-in catalogue: no path given");
    return false;
  }
  try {
    EnsureLocaleCatalog();
    ByteBuffer bytes = ReadFileToBuffer(path);
    ServiceContent2Ptr content = ParseCatalogue(MemoryView(bytes));
    if (!content) {
      LogLine(L"no built-in catalogue: the file is not an XML document");
      return false;
    }
    orv_products::GroupList groups;
    orv_products::ProductList products;
    BuildFromContent(groups, *content, products, langid);
    builtInGroups.swap(groups);
    builtInCatalogueProducts.swap(products);
    return true;
  } catch (const FileMappingException& e) {
    LogLine(L"no built-in catalogue: the file cannot be mapped (empty?), error " + std::to_wstring(e.Error()));
  } catch (const FileException& e) {
    LogLine(L"no built-in catalogue: the file cannot be read, error " + std::to_wstring(e.Error()));
  } catch (const std::exception& e) {
    LogLine(L"no built-in catalogue: " + What(e));
  } catch (...) {
    LogLine(L"no built-in catalogue: unknown failure");
  }
  return false;
}

namespace {

// A catalogue text in the installer's language when it has a non-empty one, else English,
// else empty.
std::wstring CatalogueText(const LocalizedText& texts, const wchar_t* name, LANGID langid) {
  std::wstring text;
  if (texts.GetText(name, langid, text) && !text.empty()) return text;
  if (texts.GetText(name, 1033, text)) return text;
  return std::wstring();
}

}  // namespace

void ProductCatalogue::BuildFromContent(orv_products::GroupList& groups, const ServiceContent2& content,
                                        orv_products::ProductList& products, LANGID langid) {
  for (const ServiceContentProductGroup2Ptr& source_group : content.groups) {
    if (!source_group) continue;
    auto group =
        std::make_shared<CProdGroup>(source_group->label, CatalogueText(source_group->translations, L"name", langid));
    groups.push_back(group);
    for (const ServiceContentProduct2Ptr& source : source_group->products) {
      if (!source) continue;
      auto product = std::make_shared<CProd>();
      product->label = CatalogueText(source->translations, L"name", langid);
      product->description = CatalogueText(source->translations, L"description", langid);
      product->id = source->label;
      product->instURL = source->file;
      product->version = source->version;
      product->weight = source->sg;
      product->productType = source->type;
      group->products.push_back(product);
      products.push_back(product);
    }
  }
}

void ProductCatalogue::OnContentReady(const ServiceContent2Ptr& content) {
  downloadedGroups.clear();
  downloadedProducts.clear();
  if (content) BuildFromContent(downloadedGroups, *content, downloadedProducts, langid);
}

void ProductCatalogue::ReadInstalledVoiceVersions() {
  for (const InstalledRow& found : FindInstalledVoices()) {
    const VoiceRow& row = kVoiceTable[found.row];
    auto product = std::make_shared<CProd>();
    product->id = AnsiToWideOrEmpty(row.id);
    ReadProductVersion(found.key, product->version);
    product->FindBuiltInRow();
    if (row.family == 0 && !product->IsVersionAtLeast16() &&
        orv_products::FindProductById(installedProducts, product->id))
      continue;
    installedProducts.push_back(product);
  }
}

void ProductCatalogue::ReadInstalledApplicationVersions() {
  for (const InstalledRow& found : FindInstalledApplications()) {
    auto product = std::make_shared<CProd>();
    product->id = AnsiToWideOrEmpty(kApplicationTable[found.row].id);
    ReadProductVersion(found.key, product->version);
    product->FindBuiltInRow();
    installedProducts.push_back(product);
  }
}

void CopyGroupList(const orv_products::GroupList& source, ProductOffer& target) {
  for (const CProdGroupPtr& group : source) {
    auto copy = std::make_shared<CProdGroup>(group->id, group->label);
    for (const CProdPtr& product : group->products) {
      auto product_copy = std::make_shared<CProd>(*product);
      copy->products.push_back(product_copy);
      target.products.push_back(product_copy);
    }
    target.groups.push_back(copy);
  }
}

void MergeGroupList(const orv_products::GroupList& source, ProductOffer& target) {
  if (source.empty()) return;
  // Indexes keep the merge linear in the number of products: the first group of each id,
  // the product ids of each of those groups, and the ids of the offer's product list. Their
  // keys point into the records, which outlive the merge and whose ids it does not change.
  std::unordered_map<std::wstring_view, CProdGroup*> groups;
  std::unordered_map<const CProdGroup*, std::unordered_set<std::wstring_view>> group_ids;
  std::unordered_set<std::wstring_view> offer_ids;
  groups.reserve(target.groups.size() + source.size());
  offer_ids.reserve(target.products.size());
  auto index_group = [&](CProdGroup& group) {
    if (!groups.emplace(group.id, &group).second) return;
    auto& ids = group_ids[&group];
    ids.reserve(group.products.size());
    for (const CProdPtr& product : group.products) ids.insert(product->id);
  };
  for (const CProdGroupPtr& group : target.groups) index_group(*group);
  for (const CProdPtr& product : target.products) offer_ids.insert(product->id);

  for (const CProdGroupPtr& group : source) {
    auto existing = groups.find(group->id);
    if (existing == groups.end()) {
      orv_products::GroupList one{group};
      const std::size_t before = target.products.size();
      CopyGroupList(one, target);
      for (std::size_t i = before; i < target.products.size(); ++i) offer_ids.insert(target.products[i]->id);
      index_group(*target.groups.back());
      continue;
    }
    auto& ids = group_ids[existing->second];
    for (const CProdPtr& product : group->products) {
      if (ids.count(product->id)) continue;
      auto copy = std::make_shared<CProd>(*product);
      existing->second->products.push_back(copy);
      ids.insert(copy->id);
      if (offer_ids.insert(copy->id).second) target.products.push_back(copy);
    }
  }
}

void ProductCatalogue::MergeProductGroupList(ProductOffer& offer, bool with_download) const {
  using namespace orv_products;
  offer.groups.clear();
  offer.products.clear();
  if (with_download && !downloadedProducts.empty()) {
    CopyGroupList(downloadedGroups, offer);
    for (const CProdPtr& p : offer.products) p->SetStateIfPossible(PS_INSTALL | PS_DOWNLOAD, false);
    MergeGroupList(builtInGroups, offer);
    for (const CProdPtr& p : offer.products) p->SetStateIfPossible(PS_NOT_AVAILABLE, true);
  } else {
    CopyGroupList(builtInGroups, offer);
    for (const CProdPtr& p : offer.products) p->SetStateIfPossible(PS_NOT_AVAILABLE, false);
  }

  // The installer's own and the installed products, by id, in their list order. Every offered
  // product of an id takes the decisions made for that id (a catalogue that lists a product
  // twice must not offer one copy as new and the other as installed); each product takes all
  // built-in merges first, then the installed versions, as whole passes over the list would.
  std::unordered_map<std::wstring_view, std::vector<const CProd*>> own, installed;
  own.reserve(builtInProducts.size());
  installed.reserve(installedProducts.size());
  for (const CProdPtr& p : builtInProducts) own[p->id].push_back(p.get());
  for (const CProdPtr& p : installedProducts) installed[p->id].push_back(p.get());
  if (own.empty() && installed.empty()) return;

  for (const CProdPtr& product : offer.products) {
    // Both look-ups come before the merge assigns the id (to the same text).
    const auto found = own.find(product->id);
    const auto versions = installed.find(product->id);
    if (found != own.end()) {
      for (const CProd* builtIn : found->second) {
        product->MergeFrom(*builtIn);
        if (!product->instURL.empty() || !product->instFile.empty()) product->state = PS_INSTALL | PS_INSTALL_CHECK;
      }
    }
    if (versions == installed.end()) continue;
    for (const CProd* record : versions->second) {
      if (record->version < product->version) {
        if (product->IsVersionAtLeast16() && !record->IsVersionAtLeast16())
          product->state |= PS_UPGRADE;
        else
          product->state |= PS_UPDATE;
      } else {
        product->ClearStateBits(PS_INSTALL | PS_INSTALL_CHECK);
        product->state |= PS_REINSTALL;
      }
    }
  }
}

void ProductCatalogue::MergeProductLists() {
  if (sizeProbe) sizeProbe(downloadedProducts);
  MergeProductGroupList(builtInOffer, false);
  MergeProductGroupList(mergedOffer, true);
}

bool ProductCatalogue::HasOfferedProduct(const orv_products::ProductList& products) {
  for (const CProdPtr& product : products)
    if (product && product->HasNoStateBits(orv_products::PS_NOT_AVAILABLE)) return true;
  return false;
}

int ProductCatalogue::CountOfferedProducts(const orv_products::ProductList& products) {
  int count = 0;
  for (const CProdPtr& product : products)
    if (product && product->HasNoStateBits(orv_products::PS_NOT_AVAILABLE)) ++count;
  return count;
}

}  // namespace gwplugin
