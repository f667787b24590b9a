// The HTML tree in a visible window: smart checking against the leaves under random work,
// check-box transitions with the parent messages, search and display order (Polish labels),
// the label editor's key rule, and an item's HTML tooltip shown through the row tools.
#include "PPToolTip.h"
#include "XHtmlTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// The tree's parent: records the four registered messages.
class CTreeHost : public CWnd {
 public:
  struct Seen {
    UINT message;
    HTREEITEM item;
    LPARAM lParam;
  };
  std::vector<Seen> seen;
  LRESULT displayAnswer = 0;
  int marks = 0;                    // clicks on the host's own area
  int parentClicks = 0;             // NM_CLICK that reached the host's own map (not kept by the tree)
  std::vector<HTREEITEM> selected;  // new item of every TVN_SELCHANGEDW sent, kept by the tree or not

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == TVN_SELCHANGEDW)
      selected.push_back(reinterpret_cast<const NMTREEVIEWW*>(lParam)->itemNew.hItem);
    if (message == WM_XHTMLTREE_CHECKBOX_CLICKED || message == WM_XHTMLTREE_ITEM_EXPANDED ||
        message == WM_XHTMLTREE_DISPLAY_TOOLTIP || message == WM_XHTMLTREE_INIT_TOOLTIP) {
      const auto* data = reinterpret_cast<const XHTMLTREEMSGDATA*>(wParam);
      seen.push_back(Seen{message, data ? data->hItem : nullptr, lParam});
      return message == WM_XHTMLTREE_DISPLAY_TOOLTIP ? displayAnswer : 0;
    }
    if (message == WM_LBUTTONDOWN) ++marks;
    return CWnd::WindowProc(message, wParam, lParam);
  }
  afx_msg void OnTreeClick(UINT, NMHDR*, LRESULT*) { ++parentClicks; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTreeHost, CWnd)
  ON_NOTIFY_RANGE(NM_CLICK, 100, 101, &CTreeHost::OnTreeClick)
END_MESSAGE_MAP()

class HtmlTree : public ::testing::Test {
 protected:
  void SetUp() override {
    const wchar_t* cls =
        AfxRegisterWndClass(0, ::LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // Top-most, so that windows of other test programs on the display are never under the
    // test's points.
    ASSERT_TRUE(host.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, cls, L"tree", WS_POPUP | WS_VISIBLE | WS_BORDER, 60, 60,
                              460, 300, nullptr, nullptr))
        << "error " << GetLastError();
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                TVS_SHOWSELALWAYS | TVS_EDITLABELS,
                            CRect(8, 8, 448, 288), &host, 100))
        << "error " << GetLastError();
    tree.Initialize();
    tree.SetSmartCheckBox(TRUE);
    Pump();
  }
  void TearDown() override {
    if (tree.m_hWnd) tree.DestroyWindow();
    if (host.m_hWnd) host.DestroyWindow();
    Pump();
  }

  HTREEITEM Add(const wchar_t* text, HTREEITEM parent = TVI_ROOT, bool checked = false, bool enabled = true,
                bool separator = false) {
    XHTMLTREEDATA data;
    data.bChecked = checked;
    data.bEnabled = enabled;
    data.bSeparator = separator;
    HTREEITEM item = tree.InsertItem(text, parent, TVI_LAST, &data);
    EXPECT_NE(nullptr, item) << Narrow(text);
    return item;
  }
  int Clicked() const {
    int n = 0;
    for (const auto& s : host.seen) n += s.message == WM_XHTMLTREE_CHECKBOX_CLICKED;
    return n;
  }

  CTreeHost host;
  CXHtmlTree tree;
};

// ---------------------------------------------------------------------------------------------
// Smart checking: after any mix of inserts and check changes, each parent shows what its
// leaves say: checked when all are, unchecked when none is, tri-state otherwise.
struct LeafCount {
  int leaves = 0, checked = 0;
};

LeafCount CheckAgainstLeaves(CXHtmlTree& tree, HTREEITEM item, std::string& fault) {
  HTREEITEM child = tree.GetChildItem(item);
  if (!child) {
    const XHTMLTREEDATA* data = tree.GetItemDataStruct(item);
    const bool checked = data && data->bChecked;
    if (tree.GetStateImage(item) != (checked ? 2 : 1)) fault = "leaf image " + std::to_string(tree.GetStateImage(item));
    return LeafCount{1, checked ? 1 : 0};
  }
  LeafCount sum;
  int below = 0;
  for (; child; child = tree.GetNextSiblingItem(child)) {
    LeafCount part = CheckAgainstLeaves(tree, child, fault);
    sum.leaves += part.leaves;
    sum.checked += part.checked;
    below += 1 + tree.GetItemDataStruct(child)->nChildren;
  }
  const int expected = sum.checked == 0 ? 1 : sum.checked == sum.leaves ? 2 : 3;
  const XHTMLTREEDATA* data = tree.GetItemDataStruct(item);
  if (fault.empty() && tree.GetStateImage(item) != expected)
    fault = "parent image " + std::to_string(tree.GetStateImage(item)) + ", leaves " + std::to_string(sum.checked) +
            "/" + std::to_string(sum.leaves);
  if (fault.empty() && data->nChildren != below)
    fault = "descendant count " + std::to_string(data->nChildren) + " of " + std::to_string(below);
  if (fault.empty() && (tree.GetCheck(item) != 0) != (sum.checked == sum.leaves))
    fault = "GetCheck " + std::to_string(tree.GetCheck(item));
  return sum;
}

TEST_F(HtmlTree, SmartCheckParentsFollowTheirLeavesUnderRandomWork) {
  const unsigned seed = 20261209;
  std::mt19937 random(seed);
  std::vector<HTREEITEM> items;
  auto pick = [&]() { return items[std::uniform_int_distribution<size_t>(0, items.size() - 1)(random)]; };
  for (int i = 0; i < 6; ++i) items.push_back(Add((L"root " + std::to_wstring(i)).c_str(), TVI_ROOT, random() % 2));
  for (int step = 0; step < 400; ++step) {
    std::string what;
    const int action = std::uniform_int_distribution<int>(0, 9)(random);
    if (action < 3 && items.size() < 120) {
      HTREEITEM parent = pick();
      const bool checked = random() % 2;
      items.push_back(Add((L"item " + std::to_wstring(step)).c_str(), parent, checked));
      what = std::string("insert ") + (checked ? "checked" : "unchecked");
    } else {
      HTREEITEM item = pick();
      const BOOL checked = random() % 2;
      tree.SetCheck(item, checked);
      what = checked ? "check" : "uncheck";
    }
    std::string fault;
    for (HTREEITEM root = tree.GetRootItem(); root && fault.empty(); root = tree.GetNextSiblingItem(root))
      CheckAgainstLeaves(tree, root, fault);
    ASSERT_TRUE(fault.empty()) << "seed " << seed << ", step " << step << " (" << what << "): " << fault;
  }
}

// ---------------------------------------------------------------------------------------------
// Check-box transitions, step by step, with the messages the parent gets.
TEST_F(HtmlTree, CheckTransitionsAndParentMessages) {
  HTREEITEM parent = Add(L"Głosy");
  HTREEITEM a = Add(L"Ewa", parent), b = Add(L"Jacek", parent), c = Add(L"Zosia", parent);
  HTREEITEM group = Add(L"Grupa");
  HTREEITEM on = Add(L"Maja", group), off = Add(L"Jan (niedostępny)", group, false, false);
  HTREEITEM line = Add(L"", TVI_ROOT, false, true, true);

  struct Step {
    const char* what;
    std::function<void()> act;
    std::vector<std::pair<HTREEITEM, int>> images;  // item, state image expected after the step
    int messages;                                   // WM_XHTMLTREE_CHECKBOX_CLICKED sent by the step
  };
  // Space on the selected item; a read-only tree leaves the key to the control.
  auto space = [&](HTREEITEM item) {
    tree.SelectItem(item);
    EXPECT_EQ(item, tree.GetSelectedItem());
    MSG msg{tree.m_hWnd, WM_CHAR, VK_SPACE, 0, 0, {0, 0}};
    EXPECT_NE(tree.GetReadOnly(), tree.PreTranslateMessage(&msg)) << "space is consumed unless read-only";
  };
  // A disabled item cannot be selected: this one is disabled once it is the selection.
  auto spaceOnDisabled = [&](HTREEITEM item) {
    XHTMLTREEDATA* data = tree.GetItemDataStruct(item);
    data->bEnabled = TRUE;
    tree.SelectItem(item);
    data->bEnabled = FALSE;
    ASSERT_EQ(item, tree.GetSelectedItem());
    MSG msg{tree.m_hWnd, WM_CHAR, VK_SPACE, 0, 0, {0, 0}};
    EXPECT_TRUE(tree.PreTranslateMessage(&msg)) << "space is consumed";
  };
  // Each item that expanding everything expands is told to the parent, once.
  auto expandAll = [&](const std::vector<HTREEITEM>& told) {
    const size_t from = host.seen.size();
    tree.ExpandAll();
    std::vector<std::pair<HTREEITEM, LPARAM>> expanded, expected;
    for (size_t i = from; i < host.seen.size(); ++i)
      if (host.seen[i].message == WM_XHTMLTREE_ITEM_EXPANDED)
        expanded.emplace_back(host.seen[i].item, host.seen[i].lParam);
    for (HTREEITEM item : told) expected.emplace_back(item, 1);
    EXPECT_EQ(expected, expanded);
  };
  // The control's own move to a disabled item is refused before it happens: the selection
  // never reaches the item, so no change to it is ever announced.
  auto selectDisabled = [&](HTREEITEM item) {
    tree.SelectItem(on);
    host.selected.clear();
    tree.SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(on, tree.GetSelectedItem());
    EXPECT_EQ(0, std::count(host.selected.begin(), host.selected.end(), item)) << "TVN_SELCHANGEDW sent for it";
  };
  const Step steps[] = {
      {"expand all tells the parent",
       [&] {
         expandAll({parent, group});
       },
       {},
       0},
      {"expand all again tells nothing new", [&] { expandAll({}); }, {}, 0},
      {"one of three children", [&] { tree.SetCheck(a, TRUE); }, {{a, 2}, {b, 1}, {parent, 3}}, 1},
      {"all three children",
       [&] {
         tree.SetCheck(b, TRUE);
         tree.SetCheck(c, TRUE);
       },
       {{parent, 2}},
       2},
      {"parent unchecked", [&] { tree.SetCheck(parent, FALSE); }, {{a, 1}, {b, 1}, {c, 1}, {parent, 1}}, 1},
      {"parent checked", [&] { tree.SetCheck(parent, TRUE); }, {{a, 2}, {b, 2}, {c, 2}, {parent, 2}}, 1},
      {"same state again still tells the parent", [&] { tree.SetCheck(a, TRUE); }, {{a, 2}, {parent, 2}}, 1},
      {"group with a disabled child", [&] { tree.SetCheck(group, TRUE); }, {{on, 2}, {off, 5}, {group, 2}}, 1},
      {"disabled item is not changed", [&] { tree.SetCheck(off, TRUE); }, {{off, 5}}, 0},
      {"space on a disabled item", [&] { spaceOnDisabled(off); }, {{off, 5}}, 0},
      {"a disabled item refuses the control's selection", [&] { selectDisabled(off); }, {{off, 5}}, 0},
      {"space on a separator", [&] { space(line); }, {}, 0},
      {"space on an enabled child", [&] { space(on); }, {{on, 1}, {group, 3}}, 1},
      {"space meant for another window is left to it",
       [&] {
         tree.SelectItem(on);
         MSG msg{host.m_hWnd, WM_CHAR, VK_SPACE, 0, 0, {0, 0}};
         EXPECT_FALSE(tree.PreTranslateMessage(&msg));
       },
       {{on, 1}},
       0},
      {"read-only tree: space changes nothing",
       [&] {
         tree.SetReadOnly(TRUE);
         space(on);
         tree.SetReadOnly(FALSE);
       },
       {{on, 1}},
       0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const int before = Clicked();
    step.act();
    for (const auto& [item, image] : step.images)
      EXPECT_EQ(image, tree.GetStateImage(item) & ~CXHtmlTree::kHotBit)
          << step.what << ": " << Narrow(std::wstring(tree.GetItemText(item)));
    EXPECT_EQ(step.messages, Clicked() - before) << step.what;
  }
  EXPECT_TRUE(tree.GetCheck(parent));
  EXPECT_FALSE(tree.GetCheck(group));
  const XHTMLTREEDATA* data = tree.GetItemDataStruct(group);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(2, data->nChildren);
  // The last message carries the item and the new flag.
  ASSERT_FALSE(host.seen.empty());
  const auto& last = host.seen.back();
  EXPECT_EQ(on, last.item);
  EXPECT_EQ(0, last.lParam);
  // A fresh tree keeps no record of deleted handles.
  tree.DeleteAllItems();
  EXPECT_EQ(nullptr, tree.GetItemDataStruct(a));
  EXPECT_EQ(nullptr, tree.GetFirstCheckedItem());
}

// ---------------------------------------------------------------------------------------------
// A tree control made with the common control's own check boxes and then taken over: a click on
// a check box toggles it once (the tree's own images; the control adds no toggle of its own),
// and clicks on a disabled item's box or in a read-only tree change nothing.
void ClickAt(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof(INPUT));
}

TEST_F(HtmlTree, ClicksOnTheCheckBoxesOfATakenOverControl) {
  HWND made = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_CHECKBOXES | TVS_HASLINES, 8, 8, 300,
                              200, host.m_hWnd, reinterpret_cast<HMENU>(101), GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, made);
  tree.ShowWindow(SW_HIDE);
  CXHtmlTree other;
  ASSERT_TRUE(other.SubclassWindow(made));
  EXPECT_TRUE(other.GetCheckBoxes()) << "the control's style turns the option on";
  EXPECT_EQ(0u, other.GetStyle() & TVS_CHECKBOXES);
  EXPECT_NE(0u, other.GetStyle() & TVS_NOTOOLTIPS);
  other.Initialize();
  XHTMLTREEDATA grey;
  grey.bEnabled = FALSE;
  HTREEITEM item = other.InsertItem(L"Ewa");
  HTREEITEM disabled = other.InsertItem(L"Zosia", TVI_ROOT, TVI_LAST, &grey);
  other.UpdateWindow();
  Pump();

  auto box = [&](HTREEITEM h) {
    RECT row;
    EXPECT_TRUE(other.GetItemRect(h, &row, TRUE));
    // The state image lies just left of the label.
    POINT p{row.left - 8, (row.top + row.bottom) / 2};
    UINT flags = 0;
    EXPECT_EQ(h, other.HitTest(CPoint(p.x, p.y), &flags));
    EXPECT_NE(0u, flags & TVHT_ONITEMSTATEICON) << "flags 0x" << std::hex << flags;
    other.ClientToScreen(&p);
    return p;
  };
  // Input is handled in order: once the host has seen a later click on its own margin, the
  // click on the box has been handled.
  auto clickAndSettle = [&](POINT target) {
    host.marks = 0;
    ClickAt(target);
    POINT margin{454, 150};
    host.ClientToScreen(&margin);
    ClickAt(margin);
    const DWORD limit = GetTickCount() + 30000;
    while (host.marks == 0 && static_cast<LONG>(limit - GetTickCount()) > 0) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, limit - GetTickCount(), QS_ALLINPUT);
      Pump();
    }
    EXPECT_NE(0, host.marks) << "the clicks never arrived";
  };
  struct Case {
    const char* what;
    HTREEITEM item;
    BOOL readOnly;
    int image;         // state image after the click, hot bit removed
    size_t told;       // checkbox messages to the parent
    int parentClicks;  // NM_CLICK seen by the parent
  } cases[] = {
      {"check", item, FALSE, 2, 1, 1},         {"uncheck", item, FALSE, 1, 1, 1},
      {"check again", item, FALSE, 2, 1, 1},   {"disabled item", disabled, FALSE, 5, 0, 0},
      {"read-only tree", item, TRUE, 2, 0, 0},
  };
  for (const Case& c : cases) {
    other.SetReadOnly(c.readOnly);
    host.seen.clear();
    host.parentClicks = 0;
    clickAndSettle(box(c.item));
    size_t told = 0;
    for (const auto& s : host.seen) told += s.message == WM_XHTMLTREE_CHECKBOX_CLICKED;
    EXPECT_EQ(c.told, told) << c.what;
    EXPECT_EQ(c.parentClicks, host.parentClicks) << c.what;
    EXPECT_EQ(c.image, other.GetStateImage(c.item) & ~CXHtmlTree::kHotBit) << c.what;
  }
  other.DestroyWindow();
}

// ---------------------------------------------------------------------------------------------
// Runs work that sends to the tree on another thread while this thread pumps its messages;
// false when it has not finished after a minute (it would otherwise hang the test).
bool FinishesInTime(const std::function<void()>& work) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    work();
    SetEvent(done);
  });
  const DWORD limit = GetTickCount() + 60000;
  bool finished = false;
  for (;;) {
    const DWORD now = GetTickCount();
    if (static_cast<LONG>(limit - now) <= 0) break;
    const DWORD wait = MsgWaitForMultipleObjects(1, &done, FALSE, limit - now, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) {
      finished = true;
      break;
    }
    Pump();
  }
  if (finished) {
    worker.join();
  } else {
    worker.detach();  // the process ends with the failed test
  }
  CloseHandle(done);
  return finished;
}

TEST_F(HtmlTree, SearchAndDisplayOrder) {
  HTREEITEM voices = Add(L"Głosy polskie");
  HTREEITEM ewa = Add(L"Ewa – <b>głos</b> żeński", voices);
  HTREEITEM jacek = Add(L"Jacek_Pro", voices);
  HTREEITEM zofia = Add(L"Zażółć gęślą jaźń", voices);
  HTREEITEM city = Add(L"Łódź");
  HTREEITEM cat = Add(L"Kot w butach", city);

  const std::vector<HTREEITEM> order = {voices, ewa, jacek, zofia, city, cat};
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(i + 1 < order.size() ? order[i + 1] : nullptr, tree.GetNextTreeItem(order[i])) << "next of " << i;
    EXPECT_EQ(i > 0 ? order[i - 1] : nullptr, tree.GetPrevTreeItem(order[i])) << "previous of " << i;
  }
  EXPECT_EQ(nullptr, tree.GetNextTreeItem(nullptr));
  EXPECT_EQ(cat, tree.GetLastTreeItem());

  struct Case {
    const char* what;
    const wchar_t* text;
    BOOL matchCase, down, wholeWord, wrap;
    HTREEITEM start;
    HTREEITEM expected;
  } cases[] = {
      {"whole word skips a longer word, reads markup as text", L"głos", FALSE, TRUE, TRUE, TRUE, nullptr, ewa},
      {"part of a word", L"głos", FALSE, TRUE, FALSE, TRUE, nullptr, voices},
      {"upwards from the last item", L"ewa", FALSE, FALSE, TRUE, TRUE, cat, ewa},
      {"after an underscore is no whole word", L"pro", FALSE, TRUE, TRUE, TRUE, nullptr, nullptr},
      {"followed by a Polish letter is no whole word", L"gęśl", FALSE, TRUE, TRUE, TRUE, nullptr, nullptr},
      {"preceded by a Polish letter is no whole word", L"ółć", FALSE, TRUE, TRUE, TRUE, nullptr, nullptr},
      {"ending before a Polish letter", L"jaź", FALSE, TRUE, TRUE, TRUE, nullptr, nullptr},
      {"Polish whole word", L"gęślą", FALSE, TRUE, TRUE, TRUE, nullptr, zofia},
      {"Polish capital without match case", L"łÓdź", FALSE, TRUE, TRUE, TRUE, nullptr, city},
      {"Polish capital with match case", L"łódź", TRUE, TRUE, TRUE, TRUE, nullptr, nullptr},
      {"from the last item down without wrap still starts at the top", L"jacek", FALSE, TRUE, FALSE, FALSE, cat, jacek},
      {"without wrap the search ends at the bottom", L"głosy", FALSE, TRUE, FALSE, FALSE, ewa, nullptr},
      {"with wrap it comes round", L"głosy", FALSE, TRUE, FALSE, TRUE, ewa, voices},
      {"the start item itself is not a match", L"kot", FALSE, TRUE, FALSE, TRUE, cat, nullptr},
      {"wrap with neither start nor selection, no match", L"brak", FALSE, TRUE, FALSE, TRUE, nullptr, nullptr},
      {"wrap upwards with neither start nor selection, no match", L"brak", FALSE, FALSE, FALSE, TRUE, nullptr, nullptr},
      {"empty text", L"", FALSE, TRUE, FALSE, TRUE, nullptr, nullptr},
  };
  ASSERT_EQ(nullptr, tree.GetSelectedItem());
  for (const Case& c : cases) {
    HTREEITEM found = reinterpret_cast<HTREEITEM>(-1);
    ASSERT_TRUE(FinishesInTime([&] {
      found = tree.FindItem(CString(c.text), c.matchCase, c.down, c.wholeWord, c.wrap, c.start);
    })) << c.what
        << ": the search does not end";
    EXPECT_EQ(c.expected, found) << c.what;
  }
}

// ---------------------------------------------------------------------------------------------
// While a label is edited, messages go straight to the editor only when Control is down, not
// when its key state is merely toggled.
TEST_F(HtmlTree, LabelEditorTakesMessagesOnlyWhileControlIsDown) {
  HTREEITEM item = Add(L"Ewa");
  tree.SetFocus();
  tree.SelectItem(item);
  HWND edit = reinterpret_cast<HWND>(tree.SendMessage(TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(item)));
  ASSERT_NE(nullptr, edit) << "no label editor";
  BYTE saved[256];
  ASSERT_TRUE(GetKeyboardState(saved));
  struct Case {
    const char* what;
    BYTE control;
    BOOL consumed;
  } cases[] = {
      {"up", 0x00, FALSE},
      {"toggled only", 0x01, FALSE},
      {"down", 0x80, TRUE},
      {"down and toggled", 0x81, TRUE},
  };
  for (const Case& c : cases) {
    BYTE keys[256];
    std::copy(std::begin(saved), std::end(saved), keys);
    keys[VK_CONTROL] = c.control;
    keys[VK_LCONTROL] = c.control;
    ASSERT_TRUE(SetKeyboardState(keys));
    MSG msg{edit, WM_NULL, 0, 0, 0, {0, 0}};
    EXPECT_EQ(c.consumed, tree.PreTranslateMessage(&msg)) << c.what;
  }
  SetKeyboardState(saved);
  ::SendMessageW(edit, WM_CLOSE, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// An item's HTML tooltip, end to end: the rows registered with the tip after the first paint,
// the tip's text request answered by the tree, the parent's veto, and the plain label of a
// label too wide for the tree.
void SaveScreen(const RECT& area, const char* path) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const DWORD row = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + row * static_cast<DWORD>(height);
  if (FILE* out = std::fopen(path, "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, row, static_cast<size_t>(height), out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

TEST_F(HtmlTree, ItemTooltipsThroughTheRowTools) {
  const std::wstring tip_text =
      L"<table><tr><td width=260><b>Ewa</b> — polski głos żeński wysokiej jakości, "
      L"do czytania książek i stron internetowych.</td></tr></table>";
  HTREEITEM voices = Add(L"<b>Głosy</b> polskie <font color=\"#808080\">(2 z 3)</font>");
  HTREEITEM ewa = Add(L"Ewa <i>22 kHz</i>", voices, true);
  Add(L"Jacek", voices);
  HTREEITEM off = Add(L"Zosia (niedostępny)", voices, false, false);
  Add(L"", TVI_ROOT, false, true, true);
  HTREEITEM wide =
      Add(L"Bardzo długa nazwa pakietu, która nie mieści się w szerokości drzewa, więc pokazuje się w "
          L"dymku w całości");
  (void)off;
  tree.SetItemToolTipText(ewa, tip_text.c_str());
  tree.ExpandAll();
  tree.SelectItem(voices);
  EXPECT_EQ(0, GetScrollPos(tree.m_hWnd, SB_HORZ)) << "a selection keeps the tree at its left edge";
  tree.RedrawWindow();
  Pump();

  CPPToolTip* tip = tree.GetToolTip();
  ASSERT_NE(nullptr, tip);
  int inits = 0;
  for (const auto& s : host.seen) inits += s.message == WM_XHTMLTREE_INIT_TOOLTIP;
  EXPECT_GE(inits, 1) << "the first paint registers the rows";
  tip->SetInitialDelay(600000);
  tip->SetAutoHideDelay(600000);
  tip->EnableFades(false, false);

  struct Case {
    const char* what;
    HTREEITEM item;
    LRESULT veto;
    std::wstring expected;  // empty: no tip
  } cases[] = {
      {"HTML tooltip text", ewa, 0, tip_text},
      {"the parent vetoes", ewa, 1, L""},
      {"a label that fits shows no tip", voices, 0, L""},
      {"a label too wide shows its plain text", wide, 0, std::wstring(tree.GetItemText(wide, TRUE))},
  };
  for (const Case& c : cases) {
    tip->HideAll();
    host.displayAnswer = c.veto;
    RECT label;
    ASSERT_TRUE(tree.GetItemRect(c.item, &label, TRUE));
    POINT point{label.left + 12, (label.top + label.bottom) / 2};
    tree.ClientToScreen(&point);
    tip->SetCursorQuery([point] { return point; });
    MSG move{tree.m_hWnd, WM_MOUSEMOVE, 0, 0, 0, point};
    tip->RelayEvent(move);
    tip->OnTimer(CPPToolTip::kShowTimer);
    Pump();
    if (c.expected.empty()) {
      EXPECT_FALSE(IsWindowVisible(tip->GetSafeHwnd())) << c.what;
      continue;
    }
    EXPECT_TRUE(IsWindowVisible(tip->GetSafeHwnd())) << c.what;
    EXPECT_EQ(Narrow(c.expected), Narrow(tip->GetCurrentTool().text)) << c.what;
    if (c.item == ewa) {
      EXPECT_EQ(500, tip->GetMaxTipWidth()) << "an item's tip width";
      if (const char* path = std::getenv("ORV_TREE_SHOT")) {
        RECT all{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SaveScreen(all, path);
      }
    }
  }
  host.displayAnswer = 0;
  tip->HideAll();
}

}  // namespace
