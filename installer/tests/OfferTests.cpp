// The product catalogue: the installer's own products (descriptors, data files), the built-in
// catalogue file, and the merge of all sources into the two offers with their state bits.
// Sizes are injected in place of the network probes.
#include <CatalogueDownload.h>
#include <FakeNsisHost.h>
#include <NsisStack.h>
#include <ProductCatalogue.h>

#include "PluginTestSupport.h"

#include <CatalogueReader.h>

#include <gtest/gtest.h>

#include <map>

using namespace gwplugin;
using namespace orv_products;
using gwplugin_test::CatalogueGroup;
using gwplugin_test::CatalogueProduct;
using gwplugin_test::CatalogueXml;
using gwplugin_test::TempFolder;

namespace {

std::string Hex(std::uint32_t state) {
  char text[16];
  snprintf(text, sizeof text, "0x%02x", state);
  return text;
}

// --------------------------------------------------------------------------------------------
// Descriptors

TEST(Descriptors, FieldsKeepTheirPlacesAndBadOnesAreSkipped) {
  struct Case {
    const wchar_t* descriptor;
    bool taken;
    const wchar_t* id;
    VersionNumber version;
    int extract;
    const wchar_t* file;
  } cases[] = {
      {L"VOICE_WISLA|1.2.0.0|0|C:\\w.exe", true, L"VOICE_WISLA", {1, 2, 0, 0}, 0, L"C:\\w.exe"},
      // Three parts: the installer file is extracted by the function, no path is given.
      {L"VOICE_WISLA|1.6.1.0|17", true, L"VOICE_WISLA", {1, 6, 1, 0}, 17, L""},
      {L"VOICE_ODRA||5|C:\\o.exe", true, L"VOICE_ODRA", {0, 0, 0, 0}, 5, L"C:\\o.exe"},
      {L"VOICE_ODRA|1.6|||", true, L"VOICE_ODRA", {1, 6, 0, 0}, 0, L""},
      {L"VOICE_ODRA|2|0||", true, L"VOICE_ODRA", {2, 0, 0, 0}, 0, L""},
      {L"ORVEL_HELM|3.0.1.2|9|C:\\h.exe|more|parts", true, L"ORVEL_HELM", {3, 0, 1, 2}, 9, L"C:\\h.exe"},
      {L"ORVEL_HELM", true, L"ORVEL_HELM", {0, 0, 0, 0}, 0, L""},
      {L"|1.0.0.0|0|C:\\x.exe", false, L"", {}, 0, L""},
      {L"", false, L"", {}, 0, L""},
      {L"VOICE_X|1.x|0|C:\\x.exe", false, L"", {}, 0, L""},
      {L"VOICE_X|1.2.3.4.5|0|C:\\x.exe", false, L"", {}, 0, L""},
      {L"VOICE_X|-1|0|C:\\x.exe", false, L"", {}, 0, L""},
      {L"VOICE_X| 1.0|0|C:\\x.exe", false, L"", {}, 0, L""},
  };
  for (const Case& c : cases) {
    ProductCatalogue catalogue;
    EXPECT_EQ(c.taken, catalogue.AddBuiltInDescriptor(c.descriptor))
        << testing::PrintToString(std::wstring(c.descriptor));
    ASSERT_EQ(c.taken ? 1u : 0u, catalogue.builtInProducts.size());
    if (!c.taken) continue;
    const CProd& p = *catalogue.builtInProducts[0];
    EXPECT_EQ(c.id, p.id);
    EXPECT_EQ(c.version, p.version) << testing::PrintToString(p.version.ToString());
    EXPECT_EQ(c.extract, p.extractFunction);
    EXPECT_EQ(c.file, p.instFile);
    EXPECT_EQ(0u, p.state);
    EXPECT_TRUE(p.instURL.empty());
  }
}

TEST(Descriptors, ReadFromTheStackUpToEnd) {
  struct Case {
    const char* name;
    std::vector<std::wstring> pushed;  // bottom first
    std::vector<std::wstring> ids;
    std::vector<std::wstring> left;  // top first
  } cases[] = {
      {"END is consumed, what lies below stays",
       {L"BELOW", L"END", L"VOICE_ODRA|1.0|0|C:\\o.exe", L"VOICE_WISLA|1.2.0.0|0|C:\\w.exe"},
       {L"VOICE_WISLA", L"VOICE_ODRA"},
       {L"BELOW"}},
      {"without END the stack is read empty", {L"VOICE_ODRA|1.0", L"bad|x"}, {L"VOICE_ODRA"}, {}},
      {"END only", {L"BELOW", L"END"}, {}, {L"BELOW"}},
      {"end in lower case is a descriptor", {L"END", L"end"}, {L"end"}, {}},
  };
  for (const Case& c : cases) {
    gwplugin_test::FakeNsisHost host;
    for (const std::wstring& text : c.pushed) host.Push(text);
    // The catalogue pops from the stack of the host's last call.
    host.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
      NsisEnterCall(size, vars, top, extra);
    });
    ProductCatalogue catalogue;
    catalogue.ReadBuiltInProducts(L"");
    std::vector<std::wstring> ids;
    for (const CProdPtr& p : catalogue.builtInProducts) ids.push_back(p->id);
    EXPECT_EQ(c.ids, ids) << c.name;
    EXPECT_EQ(c.left, host.Stack()) << c.name;
  }
}

// --------------------------------------------------------------------------------------------
// Data files beside the installer: resource-only DLLs built with the tests (datafiles/).

std::wstring TestProgramFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

bool CopyDataFile(const wchar_t* built, const std::wstring& target) {
  std::wstring source = TestProgramFolder() + L"\\datafiles\\" + built;
  return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

std::int64_t FileSizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(DataFiles, VersionResourcesBecomeBuiltInProducts) {
  TempFolder exe_dir;
  const std::wstring data = exe_dir / L"data";
  ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr)) << GetLastError();
  struct File {
    const wchar_t* built;
    const wchar_t* name;
  } files[] = {
      {L"datafile_loire.dll", L"orvel_loire.dat"},
      {L"datafile_wisla.dll", L"orvel_wisla.dat"},  // same id as a descriptor: not added again
      {L"datafile_twopart.dll", L"orvelhelm.dat"},
      {L"datafile_noname.dll", L"orvel_noname.dat"},   // no internal name: skipped
      {L"datafile_noversion.dll", L"orvel_bare.dat"},  // no version resource: skipped
      {L"datafile_loire.dll", L"other_loire.dat"},     // not "orvel*.dat": not looked at
      {L"datafile_loire.dll", L"orvel_loire.bin"},
  };
  for (const File& f : files) ASSERT_TRUE(CopyDataFile(f.built, data + L"\\" + f.name)) << GetLastError();

  ProductCatalogue catalogue;
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"VOICE_WISLA|1.6.0.0|0|C:\\setup\\wisla.exe"));
  catalogue.ScanDataFiles(exe_dir.Path());

  std::map<std::wstring, CProdPtr> by_id;
  for (const CProdPtr& p : catalogue.builtInProducts) by_id[p->id] = p;
  ASSERT_EQ(3u, catalogue.builtInProducts.size());

  ASSERT_EQ(1u, by_id.count(L"VOICE_LOIRE")) << "the internal name is taken in upper case";
  const CProd& loire = *by_id[L"VOICE_LOIRE"];
  EXPECT_EQ(VersionNumber(1, 6, 2, 0), loire.version) << "three parts of the file version, the fourth 0";
  EXPECT_EQ(data + L"\\orvel_loire.dat", loire.instFile);
  EXPECT_EQ(FileSizeOf(loire.instFile), loire.size);
  EXPECT_GT(loire.size, 0);
  EXPECT_GE(loire.VoiceRow(), 0) << "a 1.6 voice finds its second-generation row";

  const CProd& wisla = *by_id[L"VOICE_WISLA"];
  EXPECT_EQ(L"C:\\setup\\wisla.exe", wisla.instFile) << "the descriptor stays, the data file is not added";
  EXPECT_EQ(0, wisla.size);

  ASSERT_EQ(1u, by_id.count(L"ORVEL_HELM"));
  EXPECT_EQ(VersionNumber(2, 5, 0, 0), by_id[L"ORVEL_HELM"]->version);
  EXPECT_EQ(0, by_id[L"ORVEL_HELM"]->ApplicationRow());
}

TEST(DataFiles, NoFolderNoProducts) {
  TempFolder exe_dir;
  ProductCatalogue catalogue;
  catalogue.ScanDataFiles(exe_dir.Path());
  catalogue.ScanDataFiles(L"");
  EXPECT_TRUE(catalogue.builtInProducts.empty());
}

// --------------------------------------------------------------------------------------------
// The built-in catalogue file: any failure means "no built-in catalogue", never an exception.

TEST(BuiltInCatalogue, AnyFailureLeavesItEmpty) {
  TempFolder folder;
  const std::string valid = CatalogueXml(
      {{"OP_GROUP_PL_VOICES", "Polish", {{"VOICE_WISLA", "1.6.0.0", "https://x.test/w.exe", "Wisla", "", "", ""}}}});
  struct Case {
    const char* name;
    const char* bytes;  // null: no file
    bool loaded;
    std::size_t groups;
  } cases[] = {
      {"missing file", nullptr, false, 0},
      {"empty file", "", false, 0},
      {"not XML", "this is not a catalogue", false, 0},
      {"invalid UTF-8",
       "<content protocol=\"1\"><prodgroup><label>\xC3\x28</label><descs/><products/></prodgroup></content>", false, 0},
      {"truncated", "<content protocol=\"1\"><prodgroup>", false, 0},
      {"another root", "<catalog protocol=\"1\"/>", false, 0},
      {"no protocol", "<content/>", false, 0},
      {"bad version",
       "<content protocol=\"1\"><prodgroup><label>G</label><descs/><products><prod><label>P</label>"
       "<version>1.x</version><file>f</file><os>7</os><descs/></prod></products></prodgroup></content>",
       false, 0},
      {"unknown language",
       "<content protocol=\"1\"><prodgroup><label>G</label><descs><name><transl lang=\"xx-YY\">x</transl>"
       "</name></descs><products/></prodgroup></content>",
       false, 0},
      {"no groups", "<content protocol=\"1\"/>", true, 0},
      {"valid", valid.c_str(), true, 1},
  };
  for (const Case& c : cases) {
    const std::wstring path = folder / L"catalogue.xml";
    DeleteFileW(path.c_str());
    if (c.bytes) {
      ASSERT_TRUE(gwplugin_test::WriteBytes(path, c.bytes));
    }
    ProductCatalogue catalogue;
    // Something from an earlier load must not survive a failed one.
    catalogue.builtInGroups.push_back(std::make_shared<CProdGroup>(L"OLD", L"old"));
    bool loaded = true;
    EXPECT_NO_THROW(loaded = catalogue.LoadBuiltInContent(path)) << c.name;
    EXPECT_EQ(c.loaded, loaded) << c.name;
    EXPECT_EQ(c.groups, catalogue.builtInGroups.size()) << c.name;
    EXPECT_EQ(c.groups, catalogue.builtInCatalogueProducts.size()) << c.name;
  }
}

// --------------------------------------------------------------------------------------------
// Catalogue records into groups and products.

TEST(BuildFromContent, TextsInTheInstallerLanguageElseEnglish) {
  EnsureLocaleCatalog();
  std::string xml =
      "<content protocol=\"1.0\"><prodgroup><label>OP_GROUP_PL_VOICES</label><descs><name>"
      "<transl lang=\"en-US\">Polish voices</transl><transl lang=\"pl-PL\">Głosy polskie</transl></name></descs>"
      "<products>"
      "<prod><label>VOICE_WISLA</label><version>1.6.2.0</version><file>https://x.test/w.exe</file><os>7</os>"
      "<type>Orvel 2 Vokant</type><sg>30</sg><descs><name><transl lang=\"en-US\">Wisla</transl>"
      "<transl lang=\"pl-PL\">Wisła</transl></name><description><transl lang=\"en-US\">A voice</transl>"
      "<transl lang=\"pl-PL\"></transl></description></descs></prod>"
      "<prod><label>VOICE_ODRA</label><version>1.0</version><file>https://x.test/o.exe</file><os>7</os>"
      "<descs/></prod>"
      "</products></prodgroup></content>";
  ServiceContent2Ptr content = ParseCatalogue(MemoryView(xml.data(), static_cast<std::int32_t>(xml.size())));
  ASSERT_TRUE(content);
  struct Case {
    LANGID langid;
    const wchar_t* group;
    const wchar_t* wisla;
    const wchar_t* description;
  } cases[] = {
      {1045, L"Głosy polskie", L"Wisła", L"A voice"},  // an empty Polish text falls back to English
      {1033, L"Polish voices", L"Wisla", L"A voice"},
      {1031, L"Polish voices", L"Wisla", L"A voice"},
  };
  for (const Case& c : cases) {
    GroupList groups;
    ProductList products;
    ProductCatalogue::BuildFromContent(groups, *content, products, c.langid);
    ASSERT_EQ(1u, groups.size());
    ASSERT_EQ(2u, products.size());
    EXPECT_EQ(L"OP_GROUP_PL_VOICES", groups[0]->id);
    EXPECT_EQ(c.group, groups[0]->label) << c.langid;
    ASSERT_EQ(2u, groups[0]->products.size());
    EXPECT_EQ(products[0], groups[0]->products[0]) << "the group and the list share the records";
    const CProd& wisla = *products[0];
    EXPECT_EQ(c.wisla, wisla.label) << c.langid;
    EXPECT_EQ(c.description, wisla.description) << c.langid;
    EXPECT_EQ(L"VOICE_WISLA", wisla.id);
    EXPECT_EQ(L"https://x.test/w.exe", wisla.instURL);
    EXPECT_EQ(VersionNumber(1, 6, 2, 0), wisla.version);
    EXPECT_EQ(30, wisla.weight);
    EXPECT_EQ(L"Orvel 2 Vokant", wisla.productType);
    EXPECT_EQ(0u, wisla.state);
    EXPECT_EQ(-1, wisla.row) << "catalogue records get no table row";
    const CProd& odra = *products[1];
    EXPECT_EQ(L"", odra.label);
    EXPECT_EQ(10, odra.weight) << "sg defaults to 10";
  }
}

// --------------------------------------------------------------------------------------------
// The merge.

// A catalogue made of groups of products, as BuildFromContent makes them.
struct Source {
  const wchar_t* group;
  const wchar_t* id;
  const wchar_t* url;
  VersionNumber version;
};

void AddProducts(GroupList& groups, ProductList& products, const std::vector<Source>& sources) {
  for (const Source& s : sources) {
    CProdGroupPtr group = FindGroupById(groups, s.group);
    if (!group) {
      group = std::make_shared<CProdGroup>(s.group, std::wstring(s.group) + L" label");
      groups.push_back(group);
    }
    auto p = std::make_shared<CProd>();
    p->id = s.id;
    p->label = std::wstring(L"label of ") + s.id;
    p->description = std::wstring(L"about ") + s.id;
    p->instURL = s.url;
    p->version = s.version;
    p->weight = 20;
    group->products.push_back(p);
    products.push_back(p);
  }
}

CProdPtr Installed(const wchar_t* id, VersionNumber version) {
  auto p = std::make_shared<CProd>();
  p->id = id;
  p->version = version;
  return p;
}

// Sizes the probes would have found: by URL, 0 for any other.
std::function<void(const ProductList&)> InjectedSizes(std::map<std::wstring, std::int64_t> sizes) {
  return [sizes](const ProductList& products) {
    for (const CProdPtr& p : products) {
      if (p->instURL.empty()) continue;
      auto it = sizes.find(p->instURL);
      p->size = it == sizes.end() ? 0 : it->second;
    }
  };
}

std::vector<std::pair<std::wstring, std::uint32_t>> StatesOf(const ProductOffer& offer) {
  std::vector<std::pair<std::wstring, std::uint32_t>> states;
  for (const CProdPtr& p : offer.products) states.emplace_back(p->id, p->state);
  return states;
}

std::string Describe(const std::vector<std::pair<std::wstring, std::uint32_t>>& states) {
  std::string text;
  for (const auto& s : states) text += testing::PrintToString(s.first) + "=" + Hex(s.second) + " ";
  return text;
}

TEST(Merge, BuiltInOnlyWithoutDownload) {
  ProductCatalogue catalogue;
  AddProducts(catalogue.builtInGroups, catalogue.builtInCatalogueProducts,
              {{L"OP_GROUP_PL_VOICES", L"VOICE_WISLA", L"", {1, 6, 0, 0}},
               {L"OP_GROUP_PL_VOICES", L"VOICE_ODRA", L"", {1, 6, 0, 0}},
               {L"OP_GROUP_APPLICATIONS", L"ORVEL_PARLON", L"https://x.test/p.exe", {2, 0, 0, 0}}});
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"VOICE_WISLA|1.6.1.0|4|C:\\setup\\wisla.exe"));
  catalogue.sizeProbe = InjectedSizes({{L"https://x.test/p.exe", 1000}});
  catalogue.MergeProductLists();

  using States = std::vector<std::pair<std::wstring, std::uint32_t>>;
  // Without a download every catalogue product is not available, unless the installer has it.
  const States expected{{L"VOICE_WISLA", 0x03}, {L"VOICE_ODRA", 0x20}, {L"ORVEL_PARLON", 0x20}};
  EXPECT_EQ(expected, StatesOf(catalogue.builtInOffer)) << Describe(StatesOf(catalogue.builtInOffer));
  EXPECT_EQ(expected, StatesOf(catalogue.mergedOffer)) << "nothing downloaded: the merged offer is the built-in one";
  const CProd& wisla = *catalogue.mergedOffer.products[0];
  EXPECT_EQ(L"label of VOICE_WISLA", wisla.label) << "the descriptor has no label: the catalogue's stays";
  EXPECT_EQ(L"C:\\setup\\wisla.exe", wisla.instFile);
  EXPECT_EQ(VersionNumber(1, 6, 1, 0), wisla.version);
  EXPECT_EQ(4, wisla.extractFunction);
  EXPECT_TRUE(ProductCatalogue::HasOfferedProduct(catalogue.builtInOffer.products));
  // The offers are copies: the sources keep their state.
  EXPECT_EQ(0u, catalogue.builtInCatalogueProducts[0]->state);
}

TEST(Merge, DownloadedProductsWithProbedSizes) {
  ProductCatalogue catalogue;
  AddProducts(catalogue.downloadedGroups, catalogue.downloadedProducts,
              {{L"OP_GROUP_PL_VOICES", L"VOICE_WISLA", L"https://x.test/w.exe", {1, 6, 2, 0}},
               {L"OP_GROUP_PL_VOICES", L"VOICE_ODRA", L"https://x.test/o.exe", {1, 6, 2, 0}},
               {L"OP_GROUP_PL_VOICES", L"VOICE_WARTA", L"https://x.test/a.exe", {1, 6, 2, 0}},
               {L"OP_GROUP_UK_VOICES", L"VOICE_THAMES", L"", {1, 6, 2, 0}}});
  AddProducts(catalogue.builtInGroups, catalogue.builtInCatalogueProducts,
              {{L"OP_GROUP_PL_VOICES", L"VOICE_WISLA", L"", {1, 6, 0, 0}},
               {L"OP_GROUP_PL_VOICES", L"VOICE_SOWA", L"", {1, 6, 0, 0}},
               {L"OP_GROUP_APPLICATIONS", L"ORVEL_PARLON", L"", {2, 0, 0, 0}}});
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"VOICE_WARTA|1.6.0.0|0|C:\\setup\\warta.exe"));
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"ORVEL_PARLON|2.0.0.0|0|C:\\setup\\parlon.exe"));
  // Odra's probe found no length: it is not probed as far as the offer goes.
  catalogue.sizeProbe = InjectedSizes({{L"https://x.test/w.exe", 5000}, {L"https://x.test/a.exe", 7000}});
  catalogue.MergeProductLists();

  using States = std::vector<std::pair<std::wstring, std::uint32_t>>;
  const States merged{
      {L"VOICE_WISLA", 0x05},   // downloaded, sized
      {L"VOICE_ODRA", 0x20},    // downloaded but not sized: never downloadable
      {L"VOICE_WARTA", 0x03},   // downloaded and built-in: installed from the local file
      {L"VOICE_THAMES", 0x20},  // no address
      {L"VOICE_SOWA", 0x20},    // from the built-in catalogue only, not in the installer
      {L"ORVEL_PARLON", 0x03},  // a built-in group the download lacks
  };
  EXPECT_EQ(merged, StatesOf(catalogue.mergedOffer)) << Describe(StatesOf(catalogue.mergedOffer));
  const CProd& warta = *catalogue.mergedOffer.products[2];
  EXPECT_TRUE(warta.instURL.empty()) << "a built-in product is not downloaded";
  EXPECT_EQ(L"C:\\setup\\warta.exe", warta.instFile);
  EXPECT_EQ(L"label of VOICE_WARTA", warta.label);
  EXPECT_EQ(L"about VOICE_WARTA", warta.description);
  EXPECT_EQ(VersionNumber(1, 6, 0, 0), warta.version) << "the installer's own version counts";

  ASSERT_EQ(3u, catalogue.mergedOffer.groups.size());
  EXPECT_EQ(4u, catalogue.mergedOffer.groups[0]->products.size()) << "Sowa joins the Polish group";
  EXPECT_EQ(L"OP_GROUP_APPLICATIONS", catalogue.mergedOffer.groups[2]->id);

  const States built_in{{L"VOICE_WISLA", 0x20}, {L"VOICE_SOWA", 0x20}, {L"ORVEL_PARLON", 0x03}};
  EXPECT_EQ(built_in, StatesOf(catalogue.builtInOffer)) << Describe(StatesOf(catalogue.builtInOffer));
}

TEST(Merge, InstalledVersionsDecideUpdateUpgradeAndReinstall) {
  struct Case {
    const char* name;
    VersionNumber offered;
    VersionNumber installed;
    std::uint32_t state;
  } cases[] = {
      {"not installed", {1, 6, 2, 0}, {}, 0x05},
      {"same version", {1, 6, 2, 0}, {1, 6, 2, 0}, 0x44},
      {"newer installed", {1, 6, 2, 0}, {1, 7, 0, 0}, 0x44},
      {"upgrade across 1.6.0.0", {1, 6, 2, 0}, {1, 5, 0, 0}, 0x85},
      {"upgrade from just below", {1, 6, 0, 0}, {1, 5, 99, 99}, 0x85},
      {"update within 1.6", {1, 6, 2, 0}, {1, 6, 0, 0}, 0x0D},
      {"update below 1.6", {1, 5, 0, 0}, {1, 2, 0, 0}, 0x0D},
      {"update from an unreadable version", {1, 6, 2, 0}, {0, 0, 0, 0}, 0x85},
  };
  for (const Case& c : cases) {
    ProductCatalogue catalogue;
    AddProducts(catalogue.downloadedGroups, catalogue.downloadedProducts,
                {{L"OP_GROUP_PL_VOICES", L"VOICE_WISLA", L"https://x.test/w.exe", c.offered}});
    if (c.installed != VersionNumber() || std::string(c.name).find("unreadable") != std::string::npos) {
      catalogue.installedProducts.push_back(Installed(L"VOICE_WISLA", c.installed));
    }
    catalogue.installedProducts.push_back(Installed(L"VOICE_OTHER", {9, 0, 0, 0}));  // not offered: no effect
    catalogue.sizeProbe = InjectedSizes({{L"https://x.test/w.exe", 100}});
    catalogue.MergeProductLists();
    ASSERT_EQ(1u, catalogue.mergedOffer.products.size()) << c.name;
    EXPECT_EQ(Hex(c.state), Hex(catalogue.mergedOffer.products[0]->state)) << c.name;
  }
}

TEST(Merge, InstalledBuiltInProductOfTheSameVersionIsNotChosen) {
  ProductCatalogue catalogue;
  AddProducts(catalogue.builtInGroups, catalogue.builtInCatalogueProducts,
              {{L"OP_GROUP_PL_VOICES", L"VOICE_WISLA", L"", {1, 6, 0, 0}}});
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"VOICE_WISLA|1.6.1.0|0|C:\\setup\\wisla.exe"));
  catalogue.installedProducts.push_back(Installed(L"VOICE_WISLA", {1, 6, 1, 0}));
  catalogue.MergeProductLists();
  ASSERT_EQ(1u, catalogue.builtInOffer.products.size());
  EXPECT_EQ(Hex(PS_REINSTALL), Hex(catalogue.builtInOffer.products[0]->state))
      << "the queue must not take it unless a page checks it again";
}

TEST(Merge, DuplicateIdsTakeTheSameDecisions) {
  ProductCatalogue catalogue;
  // The same voice listed in two groups, and twice in one.
  AddProducts(catalogue.downloadedGroups, catalogue.downloadedProducts,
              {{L"OP_GROUP_PL_VOICES", L"VOICE_WISLA", L"https://x.test/w.exe", {1, 6, 2, 0}},
               {L"OP_GROUP_NEW", L"VOICE_WISLA", L"https://x.test/w.exe", {1, 6, 2, 0}},
               {L"OP_GROUP_NEW", L"VOICE_WISLA", L"https://x.test/w.exe", {1, 6, 2, 0}},
               {L"OP_GROUP_PL_VOICES", L"VOICE_ODRA", L"https://x.test/o.exe", {1, 6, 2, 0}}});
  // A built-in group with the same id twice, and one product listed twice.
  AddProducts(catalogue.builtInGroups, catalogue.builtInCatalogueProducts,
              {{L"OP_GROUP_PL_VOICES", L"VOICE_SOWA", L"", {1, 6, 0, 0}},
               {L"OP_GROUP_PL_VOICES", L"VOICE_SOWA", L"", {1, 6, 0, 0}}});
  catalogue.builtInGroups.push_back(std::make_shared<CProdGroup>(L"OP_GROUP_PL_VOICES", L"again"));
  catalogue.builtInGroups.back()->products.push_back(std::make_shared<CProd>());
  catalogue.builtInGroups.back()->products.back()->id = L"VOICE_NAREW";
  // Two descriptors of one id: the later one is merged last.
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"VOICE_ODRA|1.6.0.0|0|C:\\first.exe"));
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"VOICE_ODRA|1.6.1.0|0|C:\\second.exe"));
  catalogue.installedProducts.push_back(Installed(L"VOICE_WISLA", {1, 6, 2, 0}));
  catalogue.sizeProbe = InjectedSizes({{L"https://x.test/w.exe", 100}, {L"https://x.test/o.exe", 100}});
  catalogue.MergeProductLists();

  using States = std::vector<std::pair<std::wstring, std::uint32_t>>;
  const States expected{{L"VOICE_WISLA", 0x44}, {L"VOICE_ODRA", 0x03}, {L"VOICE_WISLA", 0x44},
                        {L"VOICE_WISLA", 0x44}, {L"VOICE_SOWA", 0x20}, {L"VOICE_NAREW", 0x20}};
  EXPECT_EQ(expected, StatesOf(catalogue.mergedOffer)) << Describe(StatesOf(catalogue.mergedOffer));
  EXPECT_EQ(L"C:\\second.exe", catalogue.mergedOffer.products[1]->instFile);
  ASSERT_EQ(2u, catalogue.mergedOffer.groups.size());
  EXPECT_EQ(4u, catalogue.mergedOffer.groups[0]->products.size())
      << "Sowa once, Narew from the second built-in group of the same id";
}

TEST(Merge, RebuildingStartsFromScratch) {
  ProductCatalogue catalogue;
  AddProducts(catalogue.downloadedGroups, catalogue.downloadedProducts,
              {{L"OP_GROUP_PL_VOICES", L"VOICE_WISLA", L"https://x.test/w.exe", {1, 6, 2, 0}}});
  catalogue.sizeProbe = InjectedSizes({{L"https://x.test/w.exe", 100}});
  catalogue.MergeProductLists();
  catalogue.mergedOffer.products[0]->state |= PS_INSTALL_CHECK;  // a page's choice
  catalogue.MergeProductLists();
  ASSERT_EQ(1u, catalogue.mergedOffer.products.size());
  ASSERT_EQ(1u, catalogue.mergedOffer.groups.size());
  EXPECT_EQ(Hex(0x05), Hex(catalogue.mergedOffer.products[0]->state));
  EXPECT_EQ(0u, catalogue.downloadedProducts[0]->state) << "the downloaded records are not changed";
}

TEST(Merge, EmptyCatalogueOffersNothing) {
  ProductCatalogue catalogue;
  ASSERT_TRUE(catalogue.AddBuiltInDescriptor(L"VOICE_WISLA|1.6.1.0|0|C:\\setup\\wisla.exe"));
  catalogue.MergeProductLists();
  EXPECT_TRUE(catalogue.builtInOffer.products.empty()) << "only a catalogue group can offer a product";
  EXPECT_FALSE(ProductCatalogue::HasOfferedProduct(catalogue.mergedOffer.products));
}

// --------------------------------------------------------------------------------------------
// The catalogue request.

TEST(CatalogueRequest, AddressAndLanguageCode) {
  gwplugin_test::ScopedEnvironment no_hook(L"ORV_GW_TEST_GATEWAY", nullptr);
  const std::wstring maker = std::wstring(L"https://") + kGatewayHost + kCatalogueRequest;
  EXPECT_EQ(
      L"https://gateway.orvelspeech.com/orvadmin/modules/orvapi/orv.gateway.orvapi.php"
      L"?action=content&protocol=1.0&pgroup=1",
      maker);
  struct Case {
    LANGID langid;
    const wchar_t* code;
  } cases[] = {{1045, L"pl"}, {1033, L"en"}, {2057, L"en"},   {1031, L"de"},  {3082, L"es"},
               {1036, L"fr"}, {1048, L"ro"}, {0x0000, L"en"}, {0x03FF, L"en"}};
  for (const Case& c : cases) EXPECT_EQ(maker + L"&lang=" + c.code, CatalogueAddress(c.langid)) << c.langid;

  gwplugin_test::ScopedEnvironment hook(L"ORV_GW_TEST_GATEWAY", L"https://127.0.0.1:9/c.php?a=1");
  EXPECT_EQ(L"https://127.0.0.1:9/c.php?a=1&lang=pl", CatalogueAddress(1045));
}

TEST(CatalogueRequest, WaitLimitFollowsTheTimeouts) {
  DownloadTimeouts defaults;
  EXPECT_EQ(120000u, CatalogueWaitLimit(defaults)) << "two connection phases and one stall period";
  DownloadTimeouts small;
  small.connectMilliseconds = 200;
  small.lowSpeedSeconds = 1;
  EXPECT_EQ(1400u, CatalogueWaitLimit(small));
}

}  // namespace
