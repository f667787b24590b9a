// Product records: the state-bit setters, merge-copy and the registry-table row look-up.
#include <ProductTables.h>
#include <Products.h>

#include <gtest/gtest.h>

using namespace orv_products;

namespace {

CProd Product(const wchar_t* url, const wchar_t* file, std::int64_t size, std::uint32_t state = 0) {
  CProd p;
  p.instURL = url;
  p.instFile = file;
  p.size = size;
  p.state = state;
  return p;
}

TEST(ProductState, SettersKeepTheSourceInvariants) {
  struct Case {
    const char* name;
    const wchar_t* url;
    const wchar_t* file;
    std::int64_t size;
    std::uint32_t start;
    std::uint32_t value;
    bool only_if_empty;
    std::uint32_t expected;
  } cases[] = {
      {"download with url and size", L"http://x", L"", 10, 0, PS_INSTALL | PS_DOWNLOAD, false, 0x05},
      {"url but size 0 refuses download", L"http://x", L"", 0, 0, PS_INSTALL | PS_DOWNLOAD, false, 0},
      {"size but no url refuses download", L"", L"c:\\f.exe", 10, 0, PS_DOWNLOAD, false, 0},
      {"install needs url or file", L"", L"", 10, 0, PS_INSTALL, false, 0},
      {"install from a file", L"", L"c:\\f.exe", 0, 0, PS_INSTALL | PS_INSTALL_CHECK, false, 0x03},
      {"only-if-empty marks an empty state", L"", L"", 0, 0, PS_NOT_AVAILABLE, true, 0x20},
      {"only-if-empty leaves a set state", L"http://x", L"", 10, 0x05, PS_NOT_AVAILABLE, true, 0x05},
      {"not only-if-empty replaces", L"http://x", L"", 10, 0x05, PS_NOT_AVAILABLE, false, 0x20},
  };
  for (const Case& c : cases) {
    CProd p = Product(c.url, c.file, c.size, c.start);
    p.SetStateIfPossible(c.value, c.only_if_empty);
    EXPECT_EQ(c.expected, p.state) << c.name << ": state 0x" << std::hex << p.state;
  }
}

TEST(ProductState, AddStateNeedsTheMaskAndTheSources) {
  CProd p = Product(L"http://x", L"", 0, PS_INSTALL);
  EXPECT_EQ(0x03u, p.AddStateIfHasBits(PS_INSTALL_CHECK, PS_INSTALL));
  EXPECT_EQ(0x03u, p.AddStateIfHasBits(PS_DOWNLOAD, PS_INSTALL)) << "size 0 must refuse PS_DOWNLOAD";
  EXPECT_EQ(0x03u, p.AddStateIfHasBits(PS_UPDATE, PS_REINSTALL)) << "mask not held";
  p.ClearStateBits(PS_INSTALL_CHECK);
  EXPECT_TRUE(p.HasNoStateBits(PS_INSTALL_CHECK));
  EXPECT_TRUE(p.HasAllStateBits(PS_INSTALL));
}

TEST(ProductState, SizeAndWeightAddOnlyWithTheMask) {
  CProd a = Product(L"u", L"", 5000000000LL, PS_INSTALL | PS_DOWNLOAD);
  CProd b = Product(L"u", L"", 7, PS_INSTALL);
  a.weight = 10;
  b.weight = 30;
  std::int64_t size = 0;
  int weight = 0;
  for (const CProd* p : {&a, &b}) {
    p->AddSizeIfHasBits(PS_DOWNLOAD, &size);
    p->AddWeightIfHasBits(PS_INSTALL, &weight);
  }
  EXPECT_EQ(5000000000LL, size);
  EXPECT_EQ(40, weight);
  a.AddSizeIfHasBits(PS_DOWNLOAD, nullptr);  // no total: nothing happens
}

TEST(ProductMerge, BuiltInDescriptorIntoCatalogueProduct) {
  CProd catalogue;
  catalogue.id = L"VOICE_WISLA";
  catalogue.label = L"Wisla";
  catalogue.description = L"<b>Polish</b>";
  catalogue.instURL = L"https://example.invalid/wisla.exe";
  catalogue.size = 1234;
  catalogue.weight = 20;
  catalogue.productType = L"Orvel 2 Vokant";
  catalogue.version = VersionNumber(1, 6, 2, 0);

  CProd descriptor;
  descriptor.id = L"VOICE_WISLA";
  descriptor.instFile = L"C:\\setup\\wisla.exe";
  descriptor.version = VersionNumber(1, 6, 3, 0);
  descriptor.extractFunction = 7;
  descriptor.state = PS_INSTALL;

  catalogue.MergeFrom(descriptor);
  EXPECT_EQ(L"Wisla", catalogue.label);
  EXPECT_EQ(L"<b>Polish</b>", catalogue.description);
  EXPECT_EQ(L"", catalogue.instURL);
  EXPECT_EQ(L"C:\\setup\\wisla.exe", catalogue.instFile);
  EXPECT_EQ(0, catalogue.size);
  EXPECT_EQ(15, catalogue.weight);
  EXPECT_EQ(L"", catalogue.productType);
  EXPECT_EQ(7, catalogue.extractFunction);
  EXPECT_EQ(VersionNumber(1, 6, 3, 0), catalogue.version);
  EXPECT_EQ(PS_INSTALL, catalogue.state);
  // The descriptor had no row: the row is looked up again from the id (version 1.6.3: family 2).
  ASSERT_GE(catalogue.VoiceRow(), 0);
  EXPECT_EQ(2, gwplugin::kVoiceTable[catalogue.VoiceRow()].family);
}

TEST(ProductMerge, CopySharesTheFileAndTakesTheRow) {
  CProd source;
  source.id = L"ORVEL_PARLON";
  source.FindBuiltInRow();
  source.file = FileHandlePtr(new FileHandleRecord(CreateEventW(nullptr, FALSE, FALSE, nullptr)));
  CProd copy(source);
  EXPECT_EQ(source.file.get(), copy.file.get());
  EXPECT_EQ(source.row, copy.row);
  EXPECT_EQ(ProductTable::Application, copy.table);
}

TEST(ProductRow, LookUpByFamilyThresholdAndType) {
  struct Case {
    const wchar_t* id;
    VersionNumber version;
    const wchar_t* type;
    ProductTable table;
    int family;  // expected voice family, or -1 for an application row / no row
  } cases[] = {
      {L"VOICE_WISLA", VersionNumber(1, 6, 0, 0), L"", ProductTable::Voice, 2},
      {L"VOICE_WISLA", VersionNumber(1, 5, 9, 9), L"", ProductTable::Voice, 0},
      {L"VOICE_WISLA", VersionNumber(), L"Orvel 2 Vokant", ProductTable::Voice, 2},
      {L"VOICE_WISLA", VersionNumber(), L"Orvel Vokant", ProductTable::Voice, 0},
      {L"VOICE_WISLA", VersionNumber(), L"", ProductTable::Voice, 0},
      {L"VOICE_WISLA", VersionNumber(), L"something else", ProductTable::Voice, 0},
      {L"VOICE_NOSUCH", VersionNumber(2, 0, 0, 0), L"", ProductTable::None, -1},
      {L"voice_wisla", VersionNumber(), L"", ProductTable::Voice, 2},  // not a "VOICE_" id: first row, any family
      {L"FONEXA_HERON", VersionNumber(), L"", ProductTable::Voice, 2},
      {L"orvel_parlon", VersionNumber(), L"", ProductTable::Application, -1},
  };
  for (const Case& c : cases) {
    CProd p;
    p.id = c.id;
    p.version = c.version;
    p.productType = c.type;
    p.FindBuiltInRow();
    const std::string name =
        testing::PrintToString(std::wstring(c.id)) + " " + testing::PrintToString(c.version.ToString());
    EXPECT_EQ(c.table, p.table) << name;
    if (c.table == ProductTable::Voice) {
      ASSERT_GE(p.VoiceRow(), 0) << name;
      EXPECT_EQ(c.family, gwplugin::kVoiceTable[p.VoiceRow()].family) << name;
      EXPECT_EQ(-1, p.ApplicationRow()) << name;
    }
  }
}

// An application's row number must never be read as a voice row: "ORVEL_HELM" is row 0 of
// the application table, and voice row 0 is a voice.
TEST(ProductRow, AnApplicationRowIsNotAVoiceRow) {
  CProd helm;
  helm.id = L"ORVEL_HELM";
  helm.FindBuiltInRow();
  EXPECT_EQ(0, helm.ApplicationRow());
  EXPECT_EQ(-1, helm.VoiceRow());
  CProd copy(helm);
  EXPECT_EQ(-1, copy.VoiceRow());
}

TEST(ProductRow, LookUpOnlyWhenNoRowIsSet) {
  CProd p;
  p.id = L"ORVEL_PARLON";
  p.row = 3;
  p.table = ProductTable::Application;
  p.FindBuiltInRow();
  EXPECT_EQ(3, p.row);
}

TEST(ProductVersion, AtLeast16ComparesPartByPart) {
  CProd p;
  for (auto [version, expected] : {std::pair{VersionNumber(1, 6, 0, 0), true},
                                   {VersionNumber(1, 5, 99, 99), false},
                                   {VersionNumber(2, 0, 0, 0), true},
                                   {VersionNumber(1, 10, 0, 0), true},
                                   {VersionNumber(0, 0, 0, 0), false}}) {
    p.version = version;
    EXPECT_EQ(expected, p.IsVersionAtLeast16()) << testing::PrintToString(version.ToString());
  }
}

TEST(ProductPredicates, IdComparisons) {
  CProd a, b;
  a.id = L"VOICE_ODRA";
  b.id = L"voice_odra";
  EXPECT_TRUE(ProductIdEquals(a, L"voice_odra"));
  EXPECT_FALSE(ProductsHaveSameId(a, b));
  CProdGroup group(L"OP_GROUP_PL_VOICES", L"Polish");
  EXPECT_TRUE(GroupIdEquals(group, L"OP_GROUP_PL_VOICES"));
  EXPECT_FALSE(GroupIdEquals(group, L"op_group_pl_voices"));
}

}  // namespace
