// Product records: one CProd per application or voice that the plug-in knows of, held by
// shared reference and gathered in groups. The state bits carry every decision about a
// product from the catalogue build to the install queue.
#pragma once

#include <Files.h>
#include <VersionNumber.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace orv_products {

enum ProductState : std::uint32_t {
  PS_INSTALL = 0x01,        // can be installed (has a source)
  PS_INSTALL_CHECK = 0x02,  // chosen for installation
  PS_DOWNLOAD = 0x04,       // downloaded from InstURL before it runs
  PS_UPDATE = 0x08,         // installed in an older version than offered
  PS_DISABLED = 0x10,       // shown without a check box
  PS_NOT_AVAILABLE = 0x20,  // not offered
  PS_REINSTALL = 0x40,      // installed in the offered version or a newer one
  PS_UPGRADE = 0x80,        // installed below 1.6.0.0 while 1.6.0.0 or above is offered
};

// Which registry table a product's row number indexes. The application and voice tables
// are numbered separately, so a row number means nothing without its table.
enum class ProductTable { None, Application, Voice };

class CProd;
using CProdPtr = std::shared_ptr<CProd>;

class CProd {
 public:
  CProd() = default;
  // A copy made by merging the source into a new record (see MergeFrom).
  CProd(const CProd& source);
  CProd& operator=(const CProd&) = delete;

  // Merge assignment: state; label, id and description only when the source has them;
  // InstURL, InstFile (an empty source clears them), file, size, version, extract
  // function, weight and type always; the table row from the source, or looked up again
  // from this record's id when the source has none.
  void MergeFrom(const CProd& source);

  void ClearStateBits(std::uint32_t mask) { state &= ~mask; }
  bool HasNoStateBits(std::uint32_t mask) const { return (state & mask) == 0; }
  bool HasAllStateBits(std::uint32_t mask) const { return (state & mask) == mask; }

  // True when value may be set as far as the sources go: PS_DOWNLOAD needs an InstURL and
  // a known size, PS_INSTALL an InstURL or an InstFile.
  bool CanTakeBits(std::uint32_t value) const;
  // state = value when allowed (CanTakeBits) and, with only_if_empty, when state is 0.
  void SetStateIfPossible(std::uint32_t value, bool only_if_empty);
  // state |= bits when state holds every bit of mask and bits are allowed; returns state.
  std::uint32_t AddStateIfHasBits(std::uint32_t bits, std::uint32_t mask);
  // Adds size (weight) to *total when state holds every bit of mask.
  void AddSizeIfHasBits(std::uint32_t mask, std::int64_t* total) const;
  void AddWeightIfHasBits(std::uint32_t mask, int* total) const;

  // version >= 1.6.0.0
  bool IsVersionAtLeast16() const;

  // Looks the registry-table row up from the id (and, for "VOICE_" ids, the version and
  // type); only when no row is set yet.
  void FindBuiltInRow();
  // The row in the voice table, or -1 (also for an application row).
  int VoiceRow() const { return table == ProductTable::Voice ? row : -1; }
  // The row in the application table, or -1.
  int ApplicationRow() const { return table == ProductTable::Application ? row : -1; }

  std::uint32_t state = 0;
  int row = -1;                             // -1: no row
  ProductTable table = ProductTable::None;  // the table row indexes
  std::wstring label;
  std::wstring id;
  std::wstring instURL;
  std::wstring instFile;
  FileHandlePtr file;
  std::int64_t size = 0;
  std::wstring description;
  VersionNumber version;
  int extractFunction = 0;  // NSIS function address (called as address - 1); 0 none
  int weight = 15;
  std::wstring productType;  // "Orvel Vokant", "Orvel 2 Vokant" for voices
};

class CProdGroup {
 public:
  CProdGroup(std::wstring group_id, std::wstring group_label)
      : label(std::move(group_label)), id(std::move(group_id)) {}

  std::wstring label;
  std::wstring id;
  std::deque<CProdPtr> products;
};

using CProdGroupPtr = std::shared_ptr<CProdGroup>;
using ProductList = std::deque<CProdPtr>;
using GroupList = std::deque<CProdGroupPtr>;

// Predicates the lists are searched with.
bool ProductIdEquals(const CProd& product, const std::wstring& id);   // ignoring case
bool ProductsHaveSameId(const CProd& a, const CProd& b);              // case-sensitive
bool GroupIdEquals(const CProdGroup& group, const std::wstring& id);  // case-sensitive
bool StringEquals(const std::wstring& a, const std::wstring& b);      // case-sensitive

// The first product of a list with the id (case-sensitive), or null.
CProdPtr FindProductById(const ProductList& products, const std::wstring& id);
// The first group of a list with the id, or null.
CProdGroupPtr FindGroupById(const GroupList& groups, const std::wstring& id);

}  // namespace orv_products
