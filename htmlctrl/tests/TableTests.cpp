// Tables: grid size and placement with spans, span distribution, borders, fills and the
// stretching of the drawing pass.
#include "DrawTestSupport.h"
#include "PPHtmlDrawer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kYellow = RGB(255, 255, 0);

// Grid placement: each expected cell is "row,column:rowspan x colspan"; every other position
// must be covered or empty, and nothing lies outside rows x columns.
TEST(HtmlTables, GridIsBoundedAndSpansClamped) {
  TestCanvas canvas(200, 200);
  std::vector<std::pair<int, int>> widest;
  for (int column = 1; column < 64; ++column) widest.emplace_back(0, column);
  struct Case {
    const wchar_t* html;
    int rows, columns;
    std::vector<std::string> anchors;
    std::vector<std::pair<int, int>> covered;
  } cases[] = {
      {L"<table><tr><td rowspan=2>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>",
       2,
       3,
       {"0,0:2x1", "0,1:1x1", "1,1:1x1", "1,2:1x1"},
       {{1, 0}}},
      {L"<table><tr><td>a</td></tr><tr><td rowspan=5>b</td></tr></table>", 2, 1, {"0,0:1x1", "1,0:1x1"}, {}},
      {L"<table><tr><td colspan=0>a<td colspan=-3>b<td rowspan=0>c</tr></table>",
       1,
       3,
       {"0,0:1x1", "0,1:1x1", "0,2:1x1"},
       {}},
      {L"<table><tr><td colspan=100000>a</td><td>dropped</td></tr></table>", 1, 64, {"0,0:1x64"}, widest},
      {L"<table><tr><td>a<td>b</tr><tr><td>c</tr></table>", 2, 2, {"0,0:1x1", "0,1:1x1", "1,0:1x1"}, {}},
      {L"<table><tr><td colspan=2 rowspan=2>a</td><td>b</td></tr><tr><td>c</td></tr><tr><td>d</td></tr></table>",
       3,
       3,
       {"0,0:2x2", "0,2:1x1", "1,2:1x1", "2,0:1x1"},
       {{0, 1}, {1, 0}, {1, 1}}},
      {L"<table></table>", 0, 0, {}, {}},
      {L"<table><tr></tr></table>", 1, 0, {}, {}},
  };
  for (const auto& c : cases) {
    CPPHtmlDrawer drawer;
    drawer.PrepareOutput(canvas.dc(), c.html);
    drawer.DrawPreparedOutput(canvas.dc(), RECT{0, 0, 200, 200});
    ASSERT_EQ(1u, drawer.Tables().size()) << Narrow(c.html);
    const auto& grid = drawer.Tables()[0];
    EXPECT_EQ(c.rows, grid.rows) << Narrow(c.html);
    EXPECT_EQ(c.columns, grid.columns) << Narrow(c.html);
    ASSERT_EQ(static_cast<size_t>(grid.rows) * grid.columns, grid.cells.size()) << Narrow(c.html);
    std::vector<std::string> anchors;
    std::vector<std::pair<int, int>> covered;
    for (int r = 0; r < grid.rows; ++r)
      for (int col = 0; col < grid.columns; ++col) {
        const auto& cell = grid.cells[static_cast<size_t>(r) * grid.columns + col];
        if (cell.covered) {
          covered.emplace_back(r, col);
        } else if (cell.width > 0) {
          anchors.push_back(std::to_string(r) + "," + std::to_string(col) + ":" + std::to_string(cell.row_span) + "x" +
                            std::to_string(cell.col_span));
          EXPECT_LE(r + cell.row_span, grid.rows) << Narrow(c.html);
          EXPECT_LE(col + cell.col_span, grid.columns) << Narrow(c.html);
        }
      }
    EXPECT_EQ(c.anchors, anchors) << Narrow(c.html);
    EXPECT_EQ(c.covered, covered) << Narrow(c.html);
  }
}

TEST(HtmlTables, SizesAndSpanDistribution) {
  TestCanvas canvas(400, 300);
  HDC dc = canvas.dc();
  const SIZE a = Extent(dc, L"a"), b = Extent(dc, L"b");
  // A cell with a width wraps its text inside that width (one pixel short of the line's).
  const LONG narrow = Extent(dc, L"aa bb").cx - 1;
  const std::wstring wrapping = L"<table><tr><td width=" + std::to_wstring(narrow) + L">aa bb</td></tr></table>";
  struct Case {
    const wchar_t* html;
    LONG width, height;
  } cases[] = {
      {wrapping.c_str(), narrow + 4 + 1, 2 * a.cy + 4 + 1},
      // Margin 2 on both sides of each cell, one pixel between the columns.
      {L"<table><tr><td>a</td><td>b</td></tr></table>", a.cx + 4 + b.cx + 4 + 1 + 1, a.cy + 4 + 1},
      {L"<table cellspacing=3 cellpadding=0><tr><td>a</td><td>b</td></tr></table>", a.cx + b.cx + 3 * 3 + 1 + 1,
       a.cy + 2 * 3 + 1},
      // A dotted frame is one pixel and each cell gets a one-pixel border: 4 more than plain.
      {L"<table border=2 borderstyle=dotted><tr><td>a</td></tr></table>", a.cx + 4 + 4 + 1, a.cy + 4 + 4 + 1},
      // A double frame is three pixels on each side.
      {L"<table border=2 borderstyle=double><tr><td>a</td></tr></table>", a.cx + 4 + 8 + 1, a.cy + 4 + 8 + 1},
      {L"<table><tr><td width=30 height=20></td></tr></table>", 34 + 1, 24 + 1},
      {L"x<table><tr><td>a</td></tr></table>x", std::max(a.cx + 4, Extent(dc, L"x").cx) + 1,
       2 * Extent(dc, L"x").cy + a.cy + 4 + 1},
  };
  for (const auto& c : cases) {
    CPPHtmlDrawer drawer;
    const SIZE size = drawer.PrepareOutput(dc, c.html);
    EXPECT_EQ(c.width, size.cx) << Narrow(c.html);
    EXPECT_EQ(c.height, size.cy) << Narrow(c.html);
  }

  // A colspan cell 11 pixels wider than its two columns: 5 to each, the odd one to the last.
  CPPHtmlDrawer drawer;
  drawer.PrepareOutput(dc,
                       L"<table><tr><td width=10></td><td width=10></td></tr>"
                       L"<tr><td colspan=2 width=35></td></tr></table>");
  ASSERT_EQ(1u, drawer.Tables().size());
  EXPECT_EQ((std::vector<int>{19, 20}), drawer.Tables()[0].widths);
  // A rowspan cell 11 pixels taller: 5 to each row, the odd one to the first.
  drawer.PrepareOutput(dc,
                       L"<table><tr><td rowspan=2 height=35></td><td height=10></td></tr>"
                       L"<tr><td height=10></td></tr></table>");
  EXPECT_EQ((std::vector<int>{20, 19}), drawer.Tables()[0].heights);

  // Nested tables have geometry of their own, found by their index.
  drawer.PrepareOutput(dc, L"<table><tr><td><table><tr><td width=10></td></tr></table></td><td>b</td></tr></table>");
  ASSERT_EQ(2u, drawer.Tables().size());
  EXPECT_EQ(14 + 4, drawer.Tables()[0].widths[0]);  // the inner table plus the margins
  EXPECT_EQ(14, drawer.Tables()[1].widths[0]);
}

TEST(HtmlTables, FillsBordersAndStretching) {
  TestCanvas canvas(300, 100);
  HDC dc = canvas.dc();
  {
    // The column without a requested width takes the room left over.
    CPPHtmlDrawer drawer;
    drawer.PrepareOutput(dc, L"<table bgcolor=yellow><tr><td width=50>a</td><td>b</td></tr></table>");
    const std::vector<int> measured = drawer.Tables()[0].widths;
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 100});
    EXPECT_COLOUR(kYellow, canvas.At(299, 1));
    EXPECT_EQ(measured, drawer.Tables()[0].widths);  // drawing never changes the measure
  }
  canvas.Fill(kWhite);
  {
    // Every column requested: the table keeps its width and is centred.
    CPPHtmlDrawer drawer;
    const SIZE size = drawer.PrepareOutput(
        dc, L"<table align=center bgcolor=yellow><tr><td width=50></td><td width=50></td></tr></table>");
    EXPECT_EQ(54 + 54 + 1 + 1, size.cx);
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 100});
    EXPECT_EQ((300 - 109) / 2, canvas.LeftmostInk());
    EXPECT_EQ((300 - 109) / 2 + 108, canvas.RightmostInk());
  }
  canvas.Fill(kWhite);
  {
    CPPHtmlDrawer drawer;
    drawer.PrepareOutput(dc, L"<table><tr><td bgcolor=yellow width=20 height=20></td></tr></table>");
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 100});
    EXPECT_COLOUR(kYellow, canvas.At(10, 10));
    canvas.Fill(kWhite);
    drawer.EnableOutput(false);
    drawer.PrepareOutput(dc, L"<table><tr><td bgcolor=yellow width=20 height=20></td></tr></table>");
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 100});
    EXPECT_EQ(0, canvas.CountNot(kWhite));
  }
  canvas.Fill(kWhite);
  {
    // Frame: light colour top and left, dark colour bottom and right; the cell's own frame
    // the other way round.
    CPPHtmlDrawer drawer;
    drawer.PrepareOutput(dc,
                         L"<table border=1 bordercolorlight=red bordercolordark=blue>"
                         L"<tr><td height=20></td></tr></table>");
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 100});
    const SIZE size = {drawer.Tables()[0].widths[0] + 2, drawer.Tables()[0].heights[0] + 2};
    EXPECT_COLOUR(RGB(255, 0, 0), canvas.At(0, 10));
    EXPECT_COLOUR(RGB(0, 0, 255), canvas.At(299, 10));
    EXPECT_COLOUR(RGB(0, 0, 255), canvas.At(1, 10));    // cell: dark on the left
    EXPECT_COLOUR(RGB(255, 0, 0), canvas.At(298, 10));  // cell: light on the right
    EXPECT_GT(size.cx, 0);
  }
}

}  // namespace
