// The product lists the pages offer, and the sources they are made of: the installer's
// own products (descriptors from the script and data files beside the installer), the
// built-in and downloaded catalogues, and the products already installed.
// Used on the NSIS thread only.
#pragma once

#include "Products.h"

#include <CatalogueContent.h>

#include <windows.h>

#include <functional>
#include <string>

namespace gwplugin {

// Groups and the products of those groups, in group order.
struct ProductOffer {
  orv_products::GroupList groups;
  orv_products::ProductList products;
};

class ProductCatalogue {
 public:
  // Pops descriptors "id|version|extract function|installer file" from the NSIS stack up
  // to "END" (consumed) or the empty stack, then adds the "data\orvel*.dat" files of
  // exe_dir whose internal name is not given yet.
  void ReadBuiltInProducts(const std::wstring& exe_dir);
  // Adds one descriptor. Fields keep their places (an empty field means "not given" and
  // leaves the default). A descriptor without an id, or whose version is given but is not a
  // version, is skipped (and logged); false then.
  bool AddBuiltInDescriptor(const std::wstring& descriptor);
  // Adds the data files of exe_dir.
  void ScanDataFiles(const std::wstring& exe_dir);

  // Reads the built-in catalogue file into the built-in groups and catalogue products.
  // Whatever goes wrong (missing or empty file, not UTF-8, not XML, not a catalogue, a bad
  // version or an unknown language inside) leaves both empty, is logged, and answers false.
  bool LoadBuiltInContent(const std::wstring& path);

  // Appends the groups and products of a parsed catalogue; texts in langid, else English.
  static void BuildFromContent(orv_products::GroupList& groups, const ServiceContent2& content,
                               orv_products::ProductList& products, LANGID langid);
  // Makes the downloaded groups and products afresh from content (empty without one).
  void OnContentReady(const ServiceContent2Ptr& content);

  // Records of the installed voices and applications, from the registry.
  void ReadInstalledVoiceVersions();
  void ReadInstalledApplicationVersions();

  // Probes the sizes of the downloaded products (sizeProbe), then rebuilds both offers.
  void MergeProductLists();
  // One offer: from the downloaded catalogue (with_download, when it has products) merged
  // with the built-in one, else from the built-in catalogue alone.
  void MergeProductGroupList(ProductOffer& offer, bool with_download) const;

  bool HasBuiltInProducts() const { return !builtInProducts.empty(); }
  static bool HasOfferedProduct(const orv_products::ProductList& products);
  static int CountOfferedProducts(const orv_products::ProductList& products);

  // The installer's language, for the catalogue's texts.
  LANGID langid = 0;
  // Sets the sizes of the products with an InstURL; tests put known sizes in its place.
  std::function<void(const orv_products::ProductList&)> sizeProbe;

  orv_products::GroupList downloadedGroups;
  orv_products::ProductList downloadedProducts;
  orv_products::GroupList builtInGroups;
  orv_products::ProductList builtInCatalogueProducts;
  orv_products::ProductList installedProducts;
  orv_products::ProductList builtInProducts;
  ProductOffer builtInOffer;
  ProductOffer mergedOffer;
};

// Deep copy of groups (and their products, appended to the offer's product list).
void CopyGroupList(const orv_products::GroupList& source, ProductOffer& target);
// Merges groups by id: missing products (by id) are deep-copied into matching groups,
// missing groups are appended as deep copies.
void MergeGroupList(const orv_products::GroupList& source, ProductOffer& target);

// Makes sure the system's locale catalogue exists (catalogue texts name their languages).
void EnsureLocaleCatalog();

}  // namespace gwplugin
