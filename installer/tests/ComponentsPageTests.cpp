// The components page hosted in a fake NSIS window with the merged offer set by hand: the
// tree it builds from the products' states, a group checked with a disabled product in it,
// what Next and Back keep, selections past 2 GiB, new catalogue content arriving while the page
// is up, and the page's texts in the five installer languages.
#include "PageTestSupport.h"

#include <ClientShot.h>
#include <ComponentRules.h>
#include <DialogTemplates.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using gwplugin::CComponentsDlg;
using gwplugin::CComponentsTreeCtrl;
using gwplugin::CGWPluginApp;
using gwplugin::ProductOffer;
using gwplugin::ThePluginApp;
using gwplugin_test::WhenLoopRuns;
using orv_products::CProdPtr;
using page_test::AddGroup;
using page_test::kDownload;
using page_test::kMB;
using page_test::Product;
using page_test::Text;
using Texts = std::vector<std::wstring>;
using namespace orv_products;

namespace {

constexpr int kNoImage = gwplugin::kNoTreeImage;

// One tree item as the user sees it.
struct ItemRow {
  int depth;
  std::wstring label;
  std::wstring html;
  int image;
  bool checked;
  bool enabled;
  int stateImage;  // 1 unchecked, 2 checked, 3 some checked; + 4 disabled
  bool bold;
  bool tooltip;
};

std::vector<ItemRow> TreeRows(CComponentsTreeCtrl& tree) {
  std::vector<ItemRow> rows;
  for (HTREEITEM item = tree.GetRootItem(); item; item = tree.GetNextTreeItem(item)) {
    const XHTMLTREEDATA* record = tree.GetItemDataStruct(item);
    int image = -1, selected = -1;
    tree.GetItemImage(item, image, selected);
    rows.push_back({tree.GetParentItem(item) ? 1 : 0, tree.GetItemText(item).GetString(),
                    record ? record->strHtmlText.GetString() : L"<no record>", image, tree.GetCheck(item) != FALSE,
                    record && record->bEnabled, tree.GetStateImage(item), record && record->ds.bold,
                    !std::wstring(tree.GetItemToolTipText(item).GetString()).empty()});
  }
  return rows;
}

class ComponentsPage : public page_test::PageTest {
 protected:
  int RunComponents(std::function<void(HWND page)> action, LANGID langid = 1033) {
    CGWPluginApp& app = ThePluginApp();
    app.langid = langid;
    return Run(app.componentsPage, gwplugin::TemplatesForLanguage(langid).components, std::move(action));
  }
  CComponentsTreeCtrl& Tree() { return ThePluginApp().componentsPage.Tree(); }
  ProductOffer& Offer() { return ThePluginApp().catalogue.mergedOffer; }
  HTREEITEM FindLabel(const std::wstring& prefix) {
    for (HTREEITEM item = Tree().GetRootItem(); item; item = Tree().GetNextTreeItem(item))
      if (std::wstring(Tree().GetItemText(item).GetString()).compare(0, prefix.size(), prefix) == 0) return item;
    return nullptr;
  }
  // Selects an item and types a space into the tree, through the page's message loop; then
  // runs next once the key has been handled.
  void PressSpaceOn(const std::wstring& label, std::function<void()> next) {
    const HTREEITEM item = FindLabel(label);
    ASSERT_NE(nullptr, item) << "no item " << std::string(label.begin(), label.end());
    Tree().SelectItem(item);
    PostMessageW(Tree().m_hWnd, WM_CHAR, L' ', 0);
    WhenLoopRuns(std::move(next));
  }
  std::wstring SizeText(HWND page) { return Text(GetDlgItem(page, CComponentsDlg::kIdSizeText)); }
};

// Every group and product as the states and annotations ask, and the description panel
// following the mouse.
TEST_F(ComponentsPage, TheTreeShowsStatesAndAnnotations) {
  const CProdPtr hudson = Product(L"VOICE_HUDSON", kDownload | PS_UPDATE, 3 * kMB);
  hudson->description = L"A clear <b>American</b> voice.";
  AddGroup(Offer(), L"OP_GROUP_US_VOICES",
           {hudson, Product(L"VOICE_PLATTE", PS_INSTALL),
            Product(L"VOICE_OHIO", PS_INSTALL | PS_INSTALL_CHECK | PS_REINSTALL),
            Product(L"VOICE_GILA", PS_DISABLED | PS_DOWNLOAD | PS_UPDATE | PS_INSTALL_CHECK),
            Product(L"VOICE_YUKON", PS_NOT_AVAILABLE | kDownload)},
           L"English (US)");
  AddGroup(Offer(), L"OP_GROUP_PL_VOICES",
           {Product(L"VOICE_WISLA", kDownload | PS_UPGRADE), Product(L"VOICE_ODRA", PS_INSTALL | PS_UPGRADE),
            Product(L"VOICE_WARTA", PS_INSTALL | PS_UPDATE), Product(L"VOICE_BUG", kDownload | PS_REINSTALL)},
           L"Polish");
  // Nothing in it can be chosen: not shown.
  AddGroup(Offer(), L"OP_GROUP_IT_VOICES",
           {Product(L"VOICE_TEVERE", PS_DISABLED), Product(L"VOICE_PO", PS_NOT_AVAILABLE)});
  // Installable applications start checked.
  AddGroup(Offer(), L"OP_GROUP_APPLICATIONS",
           {Product(L"ORVEL_PARLON", kDownload, 4 * kMB), Product(L"ORVEL_HELM", PS_REINSTALL)}, L"Programs");
  // Products of a "NOGROUP_" group stand at the root; a name is text, not markup.
  const CProdPtr tools = Product(L"ORVEL_TOOLS", PS_INSTALL);
  tools->label = L"Fonts & <Tools>";
  AddGroup(Offer(), L"NOGROUP_EXTRAS", {tools});

  const std::vector<ItemRow> expected = {
      {0, L"English (US)", L"", 2, false, true, 3, true, false},
      {1, L"HUDSON (update available for download)",
       L"HUDSON <font color=\"gray\">(update available for download)</font>", 5, false, true, 1, false, true},
      {1, L"PLATTE ", L"PLATTE ", 4, false, true, 1, false, false},
      {1, L"OHIO (reinstallation)", L"OHIO <font color=\"gray\">(reinstallation)</font>", 4, true, true, 2, false,
       false},
      {1, L"GILA ", L"GILA ", 5, false, false, 5, false, false},
      {0, L"Polish", L"", 0, false, true, 1, true, false},
      {1, L"WISLA (upgrade available for download)",
       L"WISLA <font color=\"gray\">(upgrade available for download)</font>", 5, false, true, 1, false, false},
      {1, L"ODRA (upgrade)", L"ODRA <font color=\"gray\">(upgrade)</font>", 4, false, true, 1, false, false},
      {1, L"WARTA (update)", L"WARTA <font color=\"gray\">(update)</font>", 4, false, true, 1, false, false},
      {1, L"BUG (reinstallation available for download)",
       L"BUG <font color=\"gray\">(reinstallation available for download)</font>", 5, false, true, 1, false, false},
      {0, L"Programs", L"", kNoImage, false, true, 3, true, false},
      {1, L"PARLON (available for download)", L"PARLON <font color=\"gray\">(available for download)</font>", 5, true,
       true, 2, false, false},
      {1, L"HELM (reinstallation)", L"HELM <font color=\"gray\">(reinstallation)</font>", 4, false, true, 1, false,
       false},
      {0, L"Fonts & <Tools> ", L"Fonts &amp; &lt;Tools&gt; ", 4, false, true, 1, false, false},
  };

  std::vector<ItemRow> rows;
  std::wstring tooltip, size, panel_on_product, panel_elsewhere;
  bool panel_enabled_on_product = false, panel_enabled_elsewhere = true;
  RunComponents([&](HWND page) {
    rows = TreeRows(Tree());
    size = SizeText(page);
    tooltip = Tree().GetItemToolTipText(FindLabel(L"HUDSON")).GetString();
    HWND panel = GetDlgItem(page, CComponentsDlg::kIdDescription);
    RECT label{};
    Tree().GetItemRect(FindLabel(L"HUDSON"), &label, TRUE);
    SendMessageW(Tree().m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(label.left + 4, (label.top + label.bottom) / 2));
    panel_on_product = Text(panel);
    panel_enabled_on_product = IsWindowEnabled(panel) != FALSE;
    RECT client{};
    GetClientRect(Tree().m_hWnd, &client);
    SendMessageW(Tree().m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(client.right - 2, client.bottom - 2));
    panel_elsewhere = Text(panel);
    panel_enabled_elsewhere = IsWindowEnabled(panel) != FALSE;
    m_nsis.Move(nsis::kOuterNext);
  });

  ASSERT_EQ(expected.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ItemRow& e = expected[i];
    const ItemRow& r = rows[i];
    SCOPED_TRACE(std::string(e.label.begin(), e.label.end()));
    EXPECT_EQ(e.depth, r.depth);
    EXPECT_EQ(e.label, r.label);
    EXPECT_EQ(e.html, r.html);
    EXPECT_EQ(e.image, r.image);
    EXPECT_EQ(e.checked, r.checked);
    EXPECT_EQ(e.enabled, r.enabled);
    EXPECT_EQ(e.stateImage, r.stateImage);
    EXPECT_EQ(e.bold, r.bold);
    EXPECT_EQ(e.tooltip, r.tooltip);
  }
  EXPECT_EQ(
      L"<h2><font color=black>HUDSON</font></h2><br><hr color=lightsteelblue><br><table><tr><td> </td>"
      L"<td width=400>A clear <b>American</b> voice.</td></tr></table>",
      tooltip);
  EXPECT_EQ(L"Download size: 4 MB", size) << "the reader (4 MB) is checked; OHIO is not downloaded";
  EXPECT_EQ(L"A clear American voice.", panel_on_product);
  EXPECT_TRUE(panel_enabled_on_product);
  EXPECT_EQ(L"Move the mouse cursor over a component to read its description.", panel_elsewhere);
  EXPECT_FALSE(panel_enabled_elsewhere);
  EXPECT_EQ((Texts{L"success", L"4"}), m_host.Stack());
}

// A space on a group checks every product of it that can be chosen; a disabled one stays as
// it is, and the group counts as checked. The size line and Next follow each press.
TEST_F(ComponentsPage, AGroupToggleSkipsItsDisabledProduct) {
  AddGroup(Offer(), L"OP_GROUP_US_VOICES",
           {Product(L"VOICE_HUDSON", kDownload, 3 * kMB), Product(L"VOICE_PLATTE", PS_INSTALL),
            Product(L"VOICE_GILA", PS_DISABLED | PS_DOWNLOAD, 7 * kMB)},
           L"English (US)");
  struct Seen {
    std::vector<bool> checked;  // group, HUDSON, PLATTE, GILA
    int groupImage;
    std::wstring size;
    bool next;
  };
  const std::vector<Seen> expected = {
      {{false, false, false, false}, 1, L"Download size: 0 MB", false},
      {{true, true, true, false}, 2, L"Download size: 3 MB", true},
      {{false, false, false, false}, 1, L"Download size: 0 MB", false},
  };
  std::vector<Seen> seen;
  auto look = [&](HWND page) {
    Seen s{};
    for (const wchar_t* label : {L"English", L"HUDSON", L"PLATTE", L"GILA"})
      s.checked.push_back(Tree().GetCheck(FindLabel(label)) != FALSE);
    s.groupImage = Tree().GetStateImage(FindLabel(L"English"));
    s.size = SizeText(page);
    s.next = m_nsis.ButtonEnabled(nsis::kIdNext);
    seen.push_back(s);
  };
  RunComponents([&](HWND page) {
    look(page);
    PressSpaceOn(L"English", [&, page] {
      look(page);
      PressSpaceOn(L"English", [&, page] {
        look(page);
        m_nsis.Move(static_cast<WPARAM>(nsis::kOuterBack));
      });
    });
  });
  ASSERT_EQ(expected.size(), seen.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("after " + std::to_string(i) + " presses");
    EXPECT_EQ(expected[i].checked, seen[i].checked);
    EXPECT_EQ(expected[i].groupImage, seen[i].groupImage);
    EXPECT_EQ(expected[i].size, seen[i].size);
    EXPECT_EQ(expected[i].next, seen[i].next);
  }
}

// Next makes the checks the products' bits (a disabled product keeps its own); Back and
// Cancel leave the bits as they were.
TEST_F(ComponentsPage, NextStoresTheChecksBackDoesNot) {
  struct LeaveCase {
    const char* name;
    WPARAM move;
    Texts stack;
    std::vector<bool> marked;  // HUDSON, OHIO, GILA
  };
  const std::vector<LeaveCase> cases = {
      {"Next", nsis::kOuterNext, {L"success", L"3"}, {true, false, true}},
      {"Back", static_cast<WPARAM>(nsis::kOuterBack), {L"back"}, {false, true, true}},
      {"Cancel", static_cast<WPARAM>(nsis::kOuterCancel), {L"cancel"}, {false, true, true}},
  };
  for (const LeaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    m_host.Clear();
    const std::vector<CProdPtr> products = {Product(L"VOICE_HUDSON", kDownload, 3 * kMB),
                                            Product(L"VOICE_OHIO", PS_INSTALL | PS_INSTALL_CHECK),
                                            Product(L"VOICE_GILA", PS_DISABLED | PS_INSTALL_CHECK)};
    AddGroup(Offer(), L"OP_GROUP_US_VOICES", products, L"English (US)");
    RunComponents([&](HWND) { PressSpaceOn(L"HUDSON", [&] { PressSpaceOn(L"OHIO", [&] { m_nsis.Move(c.move); }); }); });
    EXPECT_EQ(c.stack, m_host.Stack());
    std::vector<bool> marked;
    for (const CProdPtr& p : products) marked.push_back(p->HasAllStateBits(PS_INSTALL_CHECK));
    EXPECT_EQ(c.marked, marked);
  }
}

// The first fill proposes the voices that the flags page picked for English; a later fill
// shows only what the products' bits say, so a voice the user unchecked stays unchecked.
TEST_F(ComponentsPage, OnlyTheFirstFillProposesTheChosenVoices) {
  AddGroup(Offer(), L"OP_GROUP_US_VOICES", {Product(L"VOICE_HUDSON", kDownload, kMB, 10)}, L"English (US)");
  AddGroup(Offer(), L"OP_GROUP_UK_VOICES", {Product(L"VOICE_THAMES", kDownload, kMB, 10)}, L"English (UK)");
  AddGroup(Offer(), L"OP_GROUP_DE_VOICES", {Product(L"VOICE_ELBE", kDownload, kMB, 10)}, L"Deutsch");
  CGWPluginApp& app = ThePluginApp();
  Run(app.flagsPage, gwplugin::TemplatesForLanguage(1033).flags, [&](HWND) { m_nsis.Move(nsis::kOuterNext); });
  ASSERT_NE(nullptr, app.flagsPage.GetChosenVoice(2));
  ASSERT_NE(nullptr, app.flagsPage.GetChosenVoice(1));
  std::vector<std::vector<bool>> seen;
  auto look = [&] {
    std::vector<bool> checked;
    for (const wchar_t* label : {L"HUDSON", L"THAMES", L"ELBE"})
      checked.push_back(Tree().GetCheck(FindLabel(label)) != FALSE);
    seen.push_back(checked);
  };
  RunComponents([&](HWND) {
    look();
    PressSpaceOn(L"HUDSON", [&] { m_nsis.Move(nsis::kOuterNext); });
  });
  RunComponents([&](HWND) {
    look();
    m_nsis.Move(nsis::kOuterNext);
  });
  EXPECT_EQ((std::vector<std::vector<bool>>{{true, true, false}, {false, true, false}}), seen);
}

// Sizes are 64-bit from each product to the pushed text: one product past 2 GiB, two whose sum
// passes it, and a sum whose low 32 bits are 0.
TEST_F(ComponentsPage, SelectionsPastTwoGigabytes) {
  struct SizeCase {
    std::vector<std::int64_t> megabytes;
    std::wstring shown;
    std::wstring pushed;
  };
  const std::vector<SizeCase> cases = {
      {{2560}, L"Download size: 2560 MB", L"2560"},
      {{1280, 1280}, L"Download size: 2560 MB", L"2560"},
      {{3072, 1024}, L"Download size: 4096 MB", L"4096"},
      {{2047, 1}, L"Download size: 2048 MB", L"2048"},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(std::string(c.pushed.begin(), c.pushed.end()));
    TearDown();
    SetUp();
    m_host.Clear();
    std::vector<CProdPtr> products;
    for (std::int64_t mb : c.megabytes)
      products.push_back(Product(L"VOICE_" + std::to_wstring(products.size()), kDownload | PS_INSTALL_CHECK, mb * kMB));
    AddGroup(Offer(), L"OP_GROUP_US_VOICES", products);
    std::wstring shown;
    std::int64_t bytes = 0;
    RunComponents([&](HWND page) {
      shown = SizeText(page);
      bytes = ThePluginApp().componentsPage.SelectedSize();
      m_nsis.Move(nsis::kOuterNext);
    });
    std::int64_t sum = 0;
    for (std::int64_t mb : c.megabytes) sum += mb * kMB;
    EXPECT_EQ(sum, bytes);
    EXPECT_EQ(c.shown, shown);
    EXPECT_EQ((Texts{L"success", c.pushed}), m_host.Stack());
  }
}

// The catalogue is rebuilt while the page is up: the tree is filled from the new records, and
// the size line and Next follow the new checks at once.
TEST_F(ComponentsPage, NewContentWhileThePageIsUp) {
  struct ContentCase {
    const char* name;
    std::vector<CProdPtr> products;  // the new offer's applications
    std::wstring size;
    bool next;
    std::size_t items;
  };
  const std::vector<ContentCase> cases = {
      {"a bigger application", {Product(L"ORVEL_PARLON", kDownload, 40 * kMB)}, L"Download size: 40 MB", true, 2},
      {"nothing installable", {Product(L"ORVEL_HELM", PS_DOWNLOAD, 9 * kMB)}, L"Download size: 0 MB", false, 2},
  };
  for (const ContentCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    m_host.Clear();
    AddGroup(Offer(), L"OP_GROUP_US_VOICES", {Product(L"VOICE_HUDSON", kDownload | PS_INSTALL_CHECK, 3 * kMB)});
    std::wstring before, after;
    bool next_before = false, next_after = true;
    std::size_t items = 0;
    RunComponents([&](HWND page) {
      before = SizeText(page);
      next_before = m_nsis.ButtonEnabled(nsis::kIdNext);
      ProductOffer rebuilt;
      AddGroup(rebuilt, L"OP_GROUP_APPLICATIONS", c.products);
      Offer() = rebuilt;
      SendMessageW(page, gwplugin::WM_CONTENT_READY, 0, 0);
      after = SizeText(page);
      next_after = m_nsis.ButtonEnabled(nsis::kIdNext);
      items = Tree().GetCount();
      m_nsis.Move(static_cast<WPARAM>(nsis::kOuterBack));
    });
    EXPECT_EQ(L"Download size: 3 MB", before);
    EXPECT_TRUE(next_before);
    EXPECT_EQ(c.size, after);
    EXPECT_EQ(c.next, next_after);
    EXPECT_EQ(c.items, items);
  }
}

// The longest text a static of the page must show fits in it, wrapped as the static wraps it.
bool Fits(HWND control, const std::wstring& text, UINT format) {
  RECT client{};
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  if (!dc) return false;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT needed = client;
  DrawTextW(dc, text.c_str(), -1, &needed, format | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return needed.right <= client.right && needed.bottom <= client.bottom;
}

// Lets a window paint its client area into a bitmap, as it paints on the screen.
void PaintOffScreen(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  if (memory && bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  ReleaseDC(window, screen);
}

// Lays the fake NSIS window out as NSIS does for the page's font: the page area as large as
// the page's template (266 x 130 dialog units), the buttons in a row below it on the right;
// shown only for pictures.
void LayOutLikeNsis(HWND nsis_window, HWND page, bool show) {
  RECT area{0, 0, 266, 130};
  MapDialogRect(page, &area);
  const int margin = 12, button_w = 80, button_h = 24, gap = 6;
  SetWindowPos(page, nullptr, margin, margin, area.right, area.bottom, SWP_NOZORDER);
  const int client_w = area.right + 2 * margin, buttons_y = margin + area.bottom + 14;
  static const wchar_t* const kButtons[] = {nullptr, L"Next >", L"Cancel", L"< Back"};
  const int order[] = {nsis::kIdBack, nsis::kIdNext, nsis::kIdCancel};
  for (int i = 0; i < 3; ++i) {
    HWND button = GetDlgItem(nsis_window, order[i]);
    SetWindowTextW(button, kButtons[order[i]]);
    SendMessageW(button, WM_SETFONT, SendMessageW(page, WM_GETFONT, 0, 0), FALSE);
    SetWindowPos(button, nullptr, client_w - margin - (3 - i) * button_w - (2 - i) * gap + (i == 2 ? gap : 0),
                 buttons_y, button_w, button_h, SWP_NOZORDER);
  }
  RECT window{0, 0, client_w, buttons_y + button_h + margin};
  AdjustWindowRectEx(&window, static_cast<DWORD>(GetWindowLongW(nsis_window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(nsis_window, GWL_EXSTYLE)));
  SetWindowPos(nsis_window, HWND_TOP, 20, 20, window.right - window.left, window.bottom - window.top,
               show ? SWP_SHOWWINDOW : SWP_NOACTIVATE);
  ShowWindow(GetDlgItem(nsis_window, nsis::kIdPageFrame), SW_HIDE);
}

// Each installer language: the page's own template and texts, and every text of the panel,
// the size line and the tree's labels shown whole. With ORV_PAGE_SHOTS naming a folder, a
// picture of each is left there (components_<langid>.png).
TEST_F(ComponentsPage, TheFiveLanguages) {
  struct LanguageCase {
    LANGID langid;
    std::wstring description;  // the panel's first words
    std::wstring annotation;   // of an update to download
  };
  const std::vector<LanguageCase> cases = {
      {1045, L"Wskaż składnik", L"(aktualizacja dostępna do pobrania)"},
      {1033, L"Move the mouse", L"(update available for download)"},
      {1031, L"Zeigen Sie", L"(Aktualisierung zum Herunterladen verfügbar)"},
      {1034, L"Pase el ratón", L"(actualización disponible para descargar)"},
      {1036, L"Placez le curseur", L"(mise à jour disponible au téléchargement)"},
  };
  wchar_t shots[MAX_PATH] = {};
  const bool keep_shots = GetEnvironmentVariableW(L"ORV_PAGE_SHOTS", shots, MAX_PATH) > 0;
  for (const LanguageCase& c : cases) {
    SCOPED_TRACE(c.langid);
    TearDown();
    SetUp();
    m_host.Clear();
    const CProdPtr hudson = Product(L"VOICE_HUDSON", kDownload | PS_UPDATE | PS_INSTALL_CHECK, 1536 * kMB);
    hudson->label = L"Orvel 2 Hudson";
    hudson->description = L"A clear American voice, for reading e-mail and books aloud.";
    AddGroup(Offer(), L"OP_GROUP_US_VOICES", {hudson, Product(L"VOICE_PLATTE", PS_INSTALL | PS_REINSTALL)},
             L"English (US)");
    AddGroup(Offer(), L"OP_GROUP_PL_VOICES",
             {Product(L"VOICE_WISLA", kDownload | PS_UPGRADE | PS_INSTALL_CHECK, 80 * kMB)}, L"Polski");
    AddGroup(Offer(), L"OP_GROUP_DE_VOICES", {Product(L"VOICE_ELBE", kDownload, 90 * kMB)}, L"Deutsch");
    AddGroup(Offer(), L"OP_GROUP_APPLICATIONS", {Product(L"ORVEL_PARLON", kDownload, 12 * kMB)}, L"Orvel Murmelin");
    std::wstring html, panel, size;
    Texts overdrawn;
    bool panel_fits = false, size_fits = false, wide_size_fits = false;
    RunComponents(
        [&](HWND page) {
          html = Tree().GetItemDataStruct(FindLabel(L"Orvel 2 Hudson"))->strHtmlText.GetString();
          HWND description = GetDlgItem(page, CComponentsDlg::kIdDescription);
          HWND size_line = GetDlgItem(page, CComponentsDlg::kIdSizeText);
          panel = Text(description);
          size = Text(size_line);
          panel_fits = Fits(description, panel, DT_WORDBREAK) && Fits(description, hudson->description, DT_WORDBREAK);
          size_fits = Fits(size_line, size, DT_SINGLELINE);
          std::wstring widest = size;
          widest.replace(widest.find(L"1628"), 4, L"99999");
          wide_size_fits = Fits(size_line, widest, DT_SINGLELINE);
          // Painted (into a bitmap: no window is shown on the display that other tests share),
          // each label is drawn as wide as the control measured it, so the control's scrolling
          // and tips know where the text ends.
          LayOutLikeNsis(m_nsis.Handle(), page, keep_shots);
          PaintOffScreen(Tree().m_hWnd);
          for (HTREEITEM item = Tree().GetFirstVisibleItem(); item; item = Tree().GetNextVisibleItem(item)) {
            RECT measured{};
            Tree().GetItemRect(item, &measured, TRUE);
            const XHTMLTREEDATA* record = Tree().GetItemDataStruct(item);
            if (record && record->ds.right_x > measured.right + 2)
              overdrawn.push_back(Tree().GetItemText(item).GetString());
          }
          if (keep_shots) {
            // The mouse over a product: its description in the panel.
            RECT label{};
            Tree().GetItemRect(FindLabel(L"Orvel 2 Hudson"), &label, TRUE);
            SendMessageW(Tree().m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(label.left + 4, (label.top + label.bottom) / 2));
            RedrawWindow(m_nsis.Handle(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            EXPECT_TRUE(gwplugin_test::SaveClientPng(
                m_nsis.Handle(), std::wstring(shots) + L"\\components_" + std::to_wstring(c.langid) + L".png"));
          }
          m_nsis.Move(static_cast<WPARAM>(nsis::kOuterBack));
        },
        c.langid);
    EXPECT_EQ(L"Orvel 2 Hudson <font color=\"gray\">" + c.annotation + L"</font>", html);
    EXPECT_EQ(0u, panel.find(c.description)) << "the panel shows the template's own text";
    EXPECT_NE(std::wstring::npos, size.find(L"1628")) << "1536 + 80 + 12 MB";
    EXPECT_TRUE(panel_fits);
    EXPECT_TRUE(size_fits);
    EXPECT_TRUE(wide_size_fits) << "a five-digit size fits too";
    EXPECT_EQ(Texts{}, overdrawn) << "labels drawn wider than measured";
  }
}

}  // namespace
