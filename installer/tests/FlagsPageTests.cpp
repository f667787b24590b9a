// The language flags page: its rules as tables (first selection over locales and offers, the
// weighted default voice), and the real page hosted in a fake NSIS window with the merged
// offer set by hand: size text, what leaving pushes, the visit to the components page and
// back, the catalogue rebuilt under the page, and the bold font kept between runs.
#include "PageTestSupport.h"

#include <DialogTemplates.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using gwplugin::CGWPluginApp;
using gwplugin::CLangFlagsDlg;
using gwplugin::ProductOffer;
using gwplugin::ThePluginApp;
using orv_products::CProd;
using orv_products::CProdPtr;
using Texts = std::vector<std::wstring>;
using namespace orv_products;

namespace {

using page_test::AddGroup;
using page_test::kDownload;
using page_test::kMB;
using page_test::Product;
using page_test::Text;

// ---------------------------------------------------------------------------------------------
// The rules.

struct MaskCase {
  const char* name;
  std::vector<std::wstring> groups;  // groups of the offer, each with one downloadable voice
  bool reader;                       // the offer holds ORVEL_PARLON
  bool applicationsBox;              // Configuration's applications check-box flag
  bool builtIn;
  LCID lcid;
  int availability;
  int selection;
};

TEST(FlagsPageRules, FirstSelectionOverLocalesAndOffers) {
  const std::vector<MaskCase> cases = {
      {"English user, English voices",
       {L"OP_GROUP_US_VOICES", L"OP_GROUP_UK_VOICES"},
       false,
       true,
       false,
       1033,
       0x06,
       0x06},
      {"Polish user, no Polish voices offered", {L"OP_GROUP_US_VOICES"}, false, true, false, 1045, 0x04, 0x05},
      {"German user without German voices", {L"OP_GROUP_FR_VOICES"}, false, true, false, 1031, 0x80, 0x40},
      {"Mexican Spanish selects both Spanish groups", {L"OP_GROUP_ES_VOICES"}, false, true, false, 2058, 0x10, 0x30},
      {"Spanish, modern sort", {}, false, true, false, 3082, 0x00, 0x30},
      {"Spanish, Latin America", {}, false, true, false, 21514, 0x00, 0x30},
      {"Romanian", {L"OP_GROUP_RO_VOICES"}, false, true, false, 1048, 0x08, 0x08},
      {"French with the reader", {L"OP_GROUP_FR_VOICES"}, true, true, false, 1036, 0x180, 0x180},
      {"reader without its check box", {}, true, false, false, 1033, 0x00, 0x00},
      {"unknown locale", {L"OP_GROUP_DE_VOICES"}, false, true, false, 1041, 0x40, 0x00},
      {"built-in products select all that is offered",
       {L"OP_GROUP_DE_VOICES", L"OP_GROUP_PL_VOICES"},
       true,
       true,
       true,
       1033,
       0x141,
       0x141},
  };
  for (const MaskCase& c : cases) {
    ProductOffer offer;
    for (const std::wstring& group : c.groups) AddGroup(offer, group, {Product(L"VOICE_X", kDownload)});
    if (c.reader) AddGroup(offer, L"OP_GROUP_APPLICATIONS", {Product(L"ORVEL_PARLON", kDownload)});
    const int availability = CLangFlagsDlg::GetAvailableGroups(offer, c.applicationsBox);
    EXPECT_EQ(c.availability, availability) << c.name << ": availability 0x" << std::hex << availability;
    const int selection = CLangFlagsDlg::InitialSelection(availability, c.builtIn, c.lcid);
    EXPECT_EQ(c.selection, selection) << c.name << ": selection 0x" << std::hex << selection;
  }
}

TEST(FlagsPageRules, AGroupOffersOnlyWhatCanBeChosen) {
  const std::vector<std::pair<std::uint32_t, bool>> cases = {
      {kDownload, true},     {PS_INSTALL | PS_INSTALL_CHECK, true}, {PS_DISABLED, false}, {PS_NOT_AVAILABLE, false},
      {PS_REINSTALL, false}, {PS_UPDATE | kDownload, true},
  };
  for (const auto& c : cases) {
    ProductOffer offer;
    AddGroup(offer, L"OP_GROUP_PL_VOICES", {Product(L"VOICE_WISLA", c.first)});
    AddGroup(offer, L"OP_GROUP_APPLICATIONS", {Product(L"ORVEL_PARLON", c.first)});
    const int expected = c.second ? 0x101 : (c.first == PS_REINSTALL ? 0x100 : 0);
    EXPECT_EQ(expected, CLangFlagsDlg::GetAvailableGroups(offer, true)) << "state 0x" << std::hex << c.first;
  }
}

TEST(FlagsPageRules, WeightedPickWithInjectedNumbers) {
  const CProdPtr first = Product(L"VOICE_A", PS_INSTALL, 0, 10);
  const CProdPtr never = Product(L"VOICE_B", PS_INSTALL, 0, 0);
  const CProdPtr third = Product(L"VOICE_C", PS_INSTALL, 0, 30);
  const CProdPtr skipped = Product(L"VOICE_D", PS_NOT_AVAILABLE, 0, 1000);
  const ProductList products{first, never, skipped, third};
  const std::vector<std::pair<int, CProdPtr>> draws = {
      {0, first}, {9, first}, {10, third}, {25, third}, {39, third}, {40, first}, {79, third}, {32767, first},
  };
  for (const auto& draw : draws) {
    int calls = 0;
    const CProdPtr picked = CLangFlagsDlg::PickWeightedRandomVoice(products, [&] {
      ++calls;
      return draw.first;
    });
    EXPECT_EQ(draw.second, picked) << "r = " << draw.first << " picked " << (picked ? picked->id : L"none").c_str();
    EXPECT_EQ(1, calls) << "one number per pick";
  }
  // Nothing with a weight: no voice, and no number is drawn.
  int calls = 0;
  auto count = [&] { return ++calls, 0; };
  EXPECT_EQ(nullptr, CLangFlagsDlg::PickWeightedRandomVoice({}, count));
  EXPECT_EQ(nullptr, CLangFlagsDlg::PickWeightedRandomVoice({never}, count));
  EXPECT_EQ(nullptr, CLangFlagsDlg::PickWeightedRandomVoice({Product(L"VOICE_E", PS_DOWNLOAD, 0, 50)}, count));
  EXPECT_EQ(0, calls);
}

TEST(FlagsPageTexts, RadioTextsSplitAtBars) {
  const std::vector<std::pair<std::wstring, Texts>> cases = {
      {L"Languages|Mine", {L"Languages", L"Mine"}},
      {L"Only the first", {L"Only the first", L"kept"}},
      {L"|After the bar", {L"After the bar", L"kept"}},
      {L"One||Two|Three", {L"One", L"Two"}},
      {L"||", {L"kept", L"kept"}},
  };
  for (const auto& c : cases) {
    CLangFlagsDlg page;
    page.SetModeTexts(L"kept|kept");
    page.SetModeTexts(c.first);
    EXPECT_EQ(c.second, (Texts{page.ModeText(0), page.ModeText(1)})) << std::string(c.first.begin(), c.first.end());
  }
}

// ---------------------------------------------------------------------------------------------
// The page in a fake NSIS window.

class FlagsPage : public page_test::PageTest {
 protected:
  int RunFlags(std::function<void(HWND page)> action) {
    m_host.Push(L"/END");
    m_host.Push(L"By language|By component");
    CGWPluginApp& app = ThePluginApp();
    return Run(app.flagsPage, gwplugin::TemplatesForLanguage(1033).flags, std::move(action),
               [&app] { app.flagsPage.ReadStackTexts(); });
  }

  // US and UK voices, and the reader with another application.
  void OfferVoicesAndApplications() {
    ProductOffer& offer = ThePluginApp().catalogue.mergedOffer;
    AddGroup(offer, L"OP_GROUP_US_VOICES", {Product(L"VOICE_HUDSON", kDownload, 3 * kMB, 10)});
    AddGroup(offer, L"OP_GROUP_UK_VOICES", {Product(L"VOICE_THAMES", kDownload, 2 * kMB, 10)});
    AddGroup(offer, L"OP_GROUP_APPLICATIONS",
             {Product(L"ORVEL_PARLON", kDownload, 4 * kMB), Product(L"ORVEL_HELM", kDownload, 1 * kMB)});
  }

  // The page's other languages too, each with a voice of no size (the size text stays): the
  // language of the user's locale, whichever it is, is then offered and can be unchecked.
  void OfferEveryLanguage() {
    ProductOffer& offer = ThePluginApp().catalogue.mergedOffer;
    for (const gwplugin::VoiceGroupRow& row : gwplugin::kVoiceGroups)
      if (!FindGroupById(offer.groups, row.groupId))
        AddGroup(offer, row.groupId, {Product(std::wstring(L"VOICE_") + row.groupId, kDownload, 0, 10)});
  }
};

// In LeaveCase::clicks: catalogue content arrives (WM_CONTENT_READY) at that point.
const int kContentArrives = -1;
// In LeaveCase::clicks: every check box still checked is clicked, the applications' too.
const int kUncheckEveryBox = -2;

struct LeaveCase {
  const char* name;
  bool builtIn;
  std::vector<int> clicks;  // controls the user clicks first, or kContentArrives
  WPARAM move;
  Texts stack;
  bool nextEnabled;  // NSIS Next after the clicks
  // Every language offered: with nothing chosen, the user's locale proposes nothing that a
  // refill could keep (a language not offered stays in the first selection).
  bool everyLanguage = false;
};

TEST_F(FlagsPage, SizeTextAndWhatLeavingPushes) {
  const int us = gwplugin::kVoiceGroups[2].checkBox, uk = gwplugin::kVoiceGroups[1].checkBox;
  const int reader = CLangFlagsDlg::kIdApplication, user = CLangFlagsDlg::kIdRadioUser;
  const std::vector<LeaveCase> cases = {
      {"language mode, Next", false, {}, nsis::kOuterNext, {L"success", L"RS_LANG", L"9"}, true},
      {"language mode, Back", false, {}, static_cast<WPARAM>(nsis::kOuterBack), {L"back"}, true},
      {"user mode, Next", false, {user}, nsis::kOuterNext, {L"success", L"RS_USER"}, true},
      {"built-in products, Next", true, {}, nsis::kOuterNext, {L"success", L"RS_LANG"}, true},
      {"every choice unchecked", false, {us, reader, uk}, nsis::kOuterNext, {L"success", L"RS_LANG", L"0"}, false},
      {"user mode with nothing chosen",
       false,
       {us, reader, uk, user},
       nsis::kOuterNext,
       {L"success", L"RS_USER"},
       true},
      {"user mode with nothing chosen, then content arrives",
       false,
       {kUncheckEveryBox, user, kContentArrives},
       nsis::kOuterNext,
       {L"success", L"RS_USER"},
       true,
       true},
  };
  for (const LeaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    OfferVoicesAndApplications();
    if (c.everyLanguage) OfferEveryLanguage();
    if (c.builtIn) {
      // The installer's own products: the first selection is all that the built-in offer has.
      ThePluginApp().catalogue.builtInProducts.push_back(Product(L"VOICE_WISLA", PS_INSTALL));
      ThePluginApp().catalogue.builtInOffer = ThePluginApp().catalogue.mergedOffer;
    }
    std::wstring size_text, radio_text;
    bool next_enabled = false;
    RunFlags([&](HWND page) {
      size_text = Text(GetDlgItem(page, CLangFlagsDlg::kIdSizeText));
      radio_text = Text(GetDlgItem(page, CLangFlagsDlg::kIdRadioUser));
      for (int id : c.clicks) {
        if (id == kContentArrives) {
          SendMessageW(page, gwplugin::WM_CONTENT_READY, 0, 0);
        } else if (id == kUncheckEveryBox) {
          std::vector<int> boxes{reader};
          for (const gwplugin::VoiceGroupRow& row : gwplugin::kVoiceGroups) boxes.push_back(row.checkBox);
          for (int box : boxes)
            if (IsDlgButtonChecked(page, box) == BST_CHECKED) SendDlgItemMessageW(page, box, BM_CLICK, 0, 0);
        } else {
          SendDlgItemMessageW(page, id, BM_CLICK, 0, 0);
        }
      }
      next_enabled = m_nsis.ButtonEnabled(nsis::kIdNext);
      m_nsis.Move(c.move);
    });
    EXPECT_EQ(c.stack, m_host.Stack());
    m_host.Clear();
    // Hudson 3 MB, Thames 2 MB and the reader 4 MB; the other application is not marked yet.
    EXPECT_EQ(L"9 MB will be downloaded from the Orvel web site.", size_text);
    EXPECT_EQ(L"By component", radio_text);
    EXPECT_EQ(c.nextEnabled, next_enabled);
  }
}

// The components page marks every application; back on the flags page the reader is still
// counted once, by its own box.
TEST_F(FlagsPage, BackFromTheComponentsPageCountsTheReaderOnce) {
  OfferVoicesAndApplications();
  CGWPluginApp& app = ThePluginApp();
  std::vector<std::wstring> sizes;
  auto read_size_and_move = [&](WPARAM move) {
    return [&, move](HWND page) {
      sizes.push_back(Text(GetDlgItem(page, CLangFlagsDlg::kIdSizeText)));
      m_nsis.Move(move);
    };
  };
  RunFlags(read_size_and_move(nsis::kOuterNext));
  Run(app.componentsPage, gwplugin::TemplatesForLanguage(1033).components,
      [&](HWND) { m_nsis.Move(static_cast<WPARAM>(nsis::kOuterBack)); });
  m_host.Clear();
  RunFlags(read_size_and_move(nsis::kOuterNext));
  EXPECT_EQ((Texts{L"9 MB will be downloaded from the Orvel web site.",
                   L"10 MB will be downloaded from the Orvel web site."}),
            sizes)
      << "the second visit adds the other application (1 MB) that the components page marked";
  EXPECT_EQ((Texts{L"success", L"RS_LANG", L"10"}), m_host.Stack());
}

// A catalogue rebuilt while the page is up: the page sets itself up again, keeping the
// user's choices for the languages still offered and the chosen voices (now the records of
// the new offer), and proposing the newly offered languages as a first run would.
TEST_F(FlagsPage, ARebuiltCatalogueRefillsThePageAndKeepsTheChoices) {
  CGWPluginApp& app = ThePluginApp();
  AddGroup(app.catalogue.mergedOffer, L"OP_GROUP_US_VOICES", {Product(L"VOICE_HUDSON", kDownload, 3 * kMB, 10)});
  const int us = 2, uk = 1;
  const auto& us_row = gwplugin::kVoiceGroups[us];
  const auto& uk_row = gwplugin::kVoiceGroups[uk];
  struct Seen {
    bool usChecked, ukChecked, ukEnabled;
    int usItems, ukItems;
    std::wstring ukSelected, size;
  } before{}, after{};
  auto look = [&](HWND page, Seen& seen) {
    seen.usChecked = IsDlgButtonChecked(page, us_row.checkBox) == BST_CHECKED;
    seen.ukChecked = IsDlgButtonChecked(page, uk_row.checkBox) == BST_CHECKED;
    seen.ukEnabled = IsWindowEnabled(GetDlgItem(page, uk_row.checkBox)) != FALSE;
    seen.usItems = static_cast<int>(SendDlgItemMessageW(page, us_row.comboBox, CB_GETCOUNT, 0, 0));
    seen.ukItems = static_cast<int>(SendDlgItemMessageW(page, uk_row.comboBox, CB_GETCOUNT, 0, 0));
    seen.ukSelected = Text(GetDlgItem(page, uk_row.comboBox));
    seen.size = Text(GetDlgItem(page, CLangFlagsDlg::kIdSizeText));
  };
  CProdPtr hudson_again;
  RunFlags([&](HWND page) {
    // The user does not want the US voice.
    SendDlgItemMessageW(page, us_row.checkBox, BM_CLICK, 0, 0);
    look(page, before);
    // The catalogue is rebuilt: new records, and UK voices offered now.
    ProductOffer rebuilt;
    hudson_again = Product(L"VOICE_HUDSON", kDownload, 3 * kMB, 10);
    AddGroup(rebuilt, L"OP_GROUP_US_VOICES", {hudson_again, Product(L"VOICE_PLATTE", kDownload, kMB, 0)});
    AddGroup(rebuilt, L"OP_GROUP_UK_VOICES", {Product(L"VOICE_THAMES", kDownload, 2 * kMB, 10)});
    ThePluginApp().catalogue.mergedOffer = rebuilt;
    SendMessageW(page, gwplugin::WM_CONTENT_READY, 0, 0);
    look(page, after);
    m_nsis.Move(nsis::kOuterNext);
  });
  EXPECT_FALSE(before.usChecked);
  EXPECT_FALSE(before.ukEnabled);
  EXPECT_FALSE(after.usChecked) << "the user's choice for a language still offered stays";
  EXPECT_TRUE(after.ukEnabled) << "a newly offered language can be chosen";
  EXPECT_TRUE(after.ukChecked) << "and is proposed as on a first run";
  EXPECT_EQ(2, after.usItems);
  EXPECT_EQ(1, after.ukItems);
  EXPECT_EQ(L"THAMES", after.ukSelected);
  EXPECT_EQ(L"2 MB will be downloaded from the Orvel web site.", after.size);
  EXPECT_EQ(hudson_again, app.flagsPage.GetChosenVoice(us)) << "the chosen voice is the new offer's record";
  EXPECT_EQ((Texts{L"success", L"RS_LANG", L"2"}), m_host.Stack());
}

// The bold font is made once and lives on: its existence is what tells the progress page
// that the flags page ran.
TEST_F(FlagsPage, TheBoldFontIsMadeOnceAndKept) {
  CGWPluginApp& app = ThePluginApp();
  EXPECT_FALSE(app.flagsPage.HasBoldFont());
  std::vector<HFONT> fonts;
  for (int run = 0; run < 2; ++run) {
    RunFlags([&](HWND page) {
      fonts.push_back(reinterpret_cast<HFONT>(SendDlgItemMessageW(page, CLangFlagsDlg::kIdSizeText, WM_GETFONT, 0, 0)));
      m_nsis.Move(nsis::kOuterNext);
    });
    m_host.Clear();
  }
  ASSERT_EQ(2u, fonts.size());
  EXPECT_EQ(fonts[0], fonts[1]) << "the second run uses the first run's font";
  EXPECT_TRUE(app.flagsPage.HasBoldFont());
  LOGFONTW face{};
  ASSERT_EQ(OBJ_FONT, GetObjectType(fonts[0])) << "the font outlives the page window";
  ASSERT_NE(0, GetObjectW(fonts[0], sizeof face, &face));
  EXPECT_EQ(FW_BOLD, face.lfWeight);
}

// What the progress page marks for installation from the flags page's choice: the chosen
// voices of the checked languages, the applications but the reader, the reader by its box;
// in user mode (or without a visit to the flags page) the marks already made stand.
struct MarkCase {
  const char* name;
  bool flagsRan;
  std::vector<int> clicks;  // controls clicked on the flags page
  int mask;
  std::vector<std::wstring> marked;
};

TEST_F(FlagsPage, WhatTheProgressPageMarks) {
  const std::vector<MarkCase> cases = {
      {"language mode, US voice", true, {CLangFlagsDlg::kIdApplication}, 0x04, {L"VOICE_HUDSON", L"ORVEL_HELM"}},
      {"language mode, reader only",
       true,
       {gwplugin::kVoiceGroups[2].checkBox},
       0x100,
       {L"ORVEL_PARLON", L"ORVEL_HELM"}},
      {"language mode, US voice and reader", true, {}, 0x104, {L"VOICE_HUDSON", L"ORVEL_PARLON", L"ORVEL_HELM"}},
      {"user mode", true, {CLangFlagsDlg::kIdRadioUser}, -1, {L"VOICE_TEVERE"}},
      {"flags page never shown", false, {}, -1, {L"VOICE_TEVERE"}},
  };
  for (const MarkCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    ProductOffer& offer = ThePluginApp().catalogue.mergedOffer;
    AddGroup(offer, L"OP_GROUP_US_VOICES", {Product(L"VOICE_HUDSON", kDownload, kMB, 10)});
    AddGroup(offer, L"OP_GROUP_APPLICATIONS",
             {Product(L"ORVEL_PARLON", kDownload, kMB), Product(L"ORVEL_HELM", kDownload, kMB),
              Product(L"ORVEL_TUNELO", PS_NOT_AVAILABLE)});
    // Marked earlier (as by the components page), in a group the flags page does not show.
    AddGroup(offer, L"OP_GROUP_IT_VOICES", {Product(L"VOICE_TEVERE", kDownload | PS_INSTALL_CHECK, kMB)});
    CGWPluginApp& app = ThePluginApp();
    if (c.flagsRan) {
      RunFlags([&](HWND page) {
        for (int id : c.clicks) SendDlgItemMessageW(page, id, BM_CLICK, 0, 0);
        m_nsis.Move(nsis::kOuterNext);
      });
      if (c.mask >= 0) {
        EXPECT_EQ(c.mask, app.flagsPage.LanguageSelectionMask());
      }
    }
    gwplugin::CProgressDlg::MarkChosenProducts(app.flagsPage, offer);
    std::vector<std::wstring> marked;
    for (const CProdPtr& p : offer.products)
      if (p->HasAllStateBits(PS_INSTALL_CHECK)) marked.push_back(p->id);
    EXPECT_EQ(c.marked, marked);
  }
}

// Installed voices only: the group shows "voices installed" and cannot be chosen.
TEST_F(FlagsPage, AGroupOfInstalledVoicesSaysSo) {
  AddGroup(ThePluginApp().catalogue.mergedOffer, L"OP_GROUP_PL_VOICES", {Product(L"VOICE_WISLA", PS_REINSTALL)});
  const auto& pl = gwplugin::kVoiceGroups[0];
  std::wstring shown;
  bool enabled = true;
  RunFlags([&](HWND page) {
    shown = Text(GetDlgItem(page, pl.comboBox));
    enabled = IsWindowEnabled(GetDlgItem(page, pl.checkBox)) != FALSE;
    m_nsis.Move(nsis::kOuterNext);
  });
  EXPECT_EQ(L"voices installed", shown);
  EXPECT_FALSE(enabled);
  EXPECT_EQ(nullptr, ThePluginApp().flagsPage.GetChosenVoice(0));
}

}  // namespace
