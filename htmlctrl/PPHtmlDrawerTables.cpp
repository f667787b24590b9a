// Tables of the HTML drawer: rows and cells found in the markup, placed on a grid with their
// spans, measured into column widths and row heights, then drawn with fills and borders.
#include "PPHtmlDrawer.h"

#include "GdiOwners.h"
#include "LinkOpen.h"

#include <algorithm>

using namespace htmlctrl;

namespace {

// Bounds for grids built from downloaded markup: a description needs nothing near them,
// and they keep a table's records small and its sums far from overflowing.
constexpr int kMaxColumns = 64;
constexpr int kMaxRows = 1024;
constexpr int kMaxTableDepth = 8;

struct CellMarkup {
  std::wstring attributes;
  size_t begin = 0;  // content
  size_t end = 0;
};
struct RowMarkup {
  std::wstring attributes;
  std::vector<CellMarkup> cells;
};
struct TableMarkup {
  std::wstring attributes;
  std::vector<RowMarkup> rows;
};

// Rows run from "<tr" to "</tr>" or the next row; cells from "<td" to "</td>", the next
// cell or the end of their row; tables nested in a cell are skipped whole.
TableMarkup ParseTableMarkup(const std::wstring& text, size_t begin, size_t end) {
  TableMarkup table;
  size_t pos = begin;
  TagScan tag;
  if (!ScanTag(text, pos, end, tag)) return table;
  table.attributes = tag.attributes;
  int depth = 0;
  RowMarkup* row = nullptr;
  CellMarkup* cell = nullptr;
  auto close_cell = [&](size_t at) {
    if (cell) cell->end = at;
    cell = nullptr;
  };
  while (ScanTag(text, pos, end, tag)) {
    if (tag.name == L"table") {
      if (!tag.closing) {
        ++depth;
      } else if (depth > 0) {
        --depth;
      } else {
        close_cell(tag.begin);
        break;
      }
      continue;
    }
    if (depth > 0) continue;
    if (tag.name == L"tr") {
      close_cell(tag.begin);
      if (tag.closing) {
        row = nullptr;
      } else {
        table.rows.emplace_back();
        row = &table.rows.back();
        row->attributes = tag.attributes;
      }
    } else if (tag.name == L"td") {
      close_cell(tag.begin);
      if (!tag.closing && row) {
        row->cells.emplace_back();
        cell = &row->cells.back();
        cell->attributes = tag.attributes;
        cell->begin = cell->end = pos;
      }
    }
  }
  if (cell) close_cell(std::min(pos, end));
  return table;
}

struct Placement {
  int row;
  int column;
  int row_span;
  int col_span;
  size_t cell;  // index in its row's markup
};

int Span(const HtmlAttributes& attributes, const wchar_t* name, const LengthMetrics& metrics) {
  return HtmlMarkup::ParseLength(1, HtmlMarkup::Attribute(attributes, name), false, metrics);
}

// Places every cell on the grid: each row's cells go right past positions that spans from
// earlier rows cover. Every span is at least 1 and is cut at the grid's last row and last
// column, so no cell reaches outside the grid.
std::vector<Placement> PlaceCells(const TableMarkup& table, const LengthMetrics& metrics, int& rows, int& columns) {
  rows = static_cast<int>(std::min<size_t>(table.rows.size(), kMaxRows));
  columns = 0;
  std::vector<Placement> out;
  std::vector<std::vector<char>> covered(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    int column = 0;
    const auto& cells = table.rows[static_cast<size_t>(r)].cells;
    for (size_t i = 0; i < cells.size(); ++i) {
      auto& taken = covered[static_cast<size_t>(r)];
      while (column < kMaxColumns && column < static_cast<int>(taken.size()) && taken[static_cast<size_t>(column)])
        ++column;
      if (column >= kMaxColumns) break;
      const HtmlAttributes attributes = HtmlMarkup::ParseAttributes(cells[i].attributes);
      const int row_span = std::clamp(Span(attributes, L"rowspan", metrics), 1, rows - r);
      const int col_span = std::clamp(Span(attributes, L"colspan", metrics), 1, kMaxColumns - column);
      for (int rr = r; rr < r + row_span; ++rr) {
        auto& line = covered[static_cast<size_t>(rr)];
        if (line.size() < static_cast<size_t>(column + col_span))
          line.resize(static_cast<size_t>(column + col_span), 0);
        for (int cc = column; cc < column + col_span; ++cc) line[static_cast<size_t>(cc)] = 1;
      }
      out.push_back(Placement{r, column, row_span, col_span, i});
      columns = std::max(columns, column + col_span);
      column += col_span;
    }
  }
  return out;
}

// Grows the tracks so that every cell fits: single spans first, then wider ones; a cell
// wider than its tracks spreads the difference evenly, the remainder going to the last
// column (or the first row).
void DistributeSpans(std::vector<int>& tracks, const std::vector<std::pair<int, int>>& starts_spans,
                     const std::vector<int>& sizes, bool remainder_last) {
  const int count = static_cast<int>(tracks.size());
  for (int s = 1; s <= count; ++s) {
    for (size_t k = 0; k < starts_spans.size(); ++k) {
      const int start = starts_spans[k].first, span = starts_spans[k].second;
      if (span != s) continue;
      if (s == 1) {
        tracks[static_cast<size_t>(start)] = std::max(tracks[static_cast<size_t>(start)], sizes[k]);
        continue;
      }
      long long sum = 0;
      for (int j = start; j < start + s; ++j) sum += tracks[static_cast<size_t>(j)];
      if (sum >= sizes[k]) continue;
      const int difference = static_cast<int>(sizes[k] - sum);
      for (int j = start; j < start + s; ++j) tracks[static_cast<size_t>(j)] += difference / s;
      tracks[static_cast<size_t>(remainder_last ? start + s - 1 : start)] += difference % s;
    }
  }
}

int Sum(const std::vector<int>& v, int from, int to) {
  long long sum = 0;
  for (int i = from; i < to; ++i) sum += v[static_cast<size_t>(i)];
  return static_cast<int>(std::min<long long>(sum, 1 << 28));
}

}  // namespace

void CPPHtmlDrawer::ApplyTableAttributes(const HtmlAttributes& attributes, bool table_form) {
  const bool enabled = m_markup.IsEnabled();
  const COLORREF disabled = m_markup.DisabledColour();
  for (const auto& attribute : attributes) {
    const std::wstring& name = attribute.first;
    const std::wstring& value = attribute.second;
    if (table_form && name == L"cellpadding") {
      m_style.margin = std::max(0, HtmlMarkup::ParseLength(m_style.margin, value, false, m_metrics));
    } else if (table_form && name == L"cellspacing") {
      m_style.padding = std::max(0, HtmlMarkup::ParseLength(m_style.padding, value, false, m_metrics));
    } else if (table_form && name == L"background") {
      m_style.background_image = value;
    } else if (name == L"border") {
      m_style.border_width = HtmlMarkup::ParseLength(m_style.border_width, value, false, m_metrics);
      if (m_style.border_width <= 0)
        m_style.border_style = 0;
      else if (m_style.border_style == 0)
        m_style.border_style = 1;
    } else if (name == L"borderstyle") {
      m_style.border_style = HtmlMarkup::ParseBorderStyle(value, m_style.border_style);
      if (m_style.border_style != 0 && m_style.border_width == 0) m_style.border_width = 1;
    } else if (name == L"bordercolor") {
      m_style.border_light = m_style.border_dark =
          enabled ? m_markup.ParseColour(value, m_style.border_light) : disabled;
    } else if (name == L"bordercolorlight") {
      m_style.border_light = enabled ? m_markup.ParseColour(value, m_style.border_light) : disabled;
    } else if (name == L"bordercolordark") {
      m_style.border_dark = enabled ? m_markup.ParseColour(value, m_style.border_dark) : disabled;
    } else if (name == L"bgcolor") {
      if (enabled) {
        m_style.background_colour = m_markup.ParseColour(value, m_style.background_colour);
        if (m_style.fill_effect == -1) m_style.fill_effect = CPPDrawManager::EFFECT_SOLID;
      }
    } else if (name == L"bgmidcolor") {
      if (enabled) m_style.fill_middle = m_markup.ParseColour(value, m_style.fill_middle);
    } else if (name == L"bgendcolor") {
      if (enabled) m_style.fill_end = m_markup.ParseColour(value, m_style.fill_end);
    } else if (name == L"bgeffect") {
      static const wchar_t* const kEffects[] = {L"solid",      L"hgradient",  L"vgradient",  L"hcgradient",
                                                L"vcgradient", L"3hgradient", L"3vgradient", L"noise",
                                                L"diagshade",  L"hshade",     L"vshade",     L"hbump",
                                                L"vbump",      L"softbump",   L"hardbump",   L"metal"};
      if (!enabled || value.empty()) continue;
      int effect = -2;
      if (value == L"transparent") effect = -1;
      for (int i = 0; i < 16 && effect == -2; ++i)
        if (value == kEffects[i]) effect = i;
      m_style.fill_effect = effect != -2 ? effect : HtmlMarkup::ParseLength(0, value, false, m_metrics);
    } else if (name == L"align") {
      m_style.horizontal_align = HtmlMarkup::ParseTextAlign(value, m_style.horizontal_align);
    } else if (name == L"valign") {
      m_style.vertical_align = HtmlMarkup::ParseVerticalAlign(value, m_style.vertical_align);
    } else if (name == L"width") {
      m_style.width = std::max(0, HtmlMarkup::ParseLength(m_style.width, value, false, m_metrics));
    } else if (name == L"height") {
      m_style.height = std::max(0, HtmlMarkup::ParseLength(m_style.height, value, false, m_metrics));
    }
  }
  if (m_style.border_style == 0 || m_style.border_width <= 0) m_style.border_style = m_style.border_width = 0;
  if (m_style.border_style != 0 && (m_style.border_style != 1 || !table_form)) m_style.border_width = 1;
}

void CPPHtmlDrawer::DrawTableBackground(const RECT& rect) {
  if (m_style.fill_effect != -1) {
    m_drawManager.FillEffect(m_dc, rect, m_style.fill_effect, Resolve(m_style.background_colour),
                             Resolve(m_style.fill_middle), Resolve(m_style.fill_end), 5, 0);
    return;
  }
  const std::wstring& spec = m_style.background_image;
  if (spec.size() <= 5 || !m_markup.IsEnabled()) return;
  const size_t colon = spec.find(L':');
  if (colon == std::wstring::npos) return;
  std::wstring key = spec.substr(0, colon), value = spec.substr(colon + 1);
  key.erase(key.find_last_not_of(L' ') + 1);
  key.erase(0, std::min(key.find_first_not_of(L' '), key.size()));
  value = value.substr(0, value.find(L';'));
  value.erase(0, std::min(value.find_first_not_of(L' '), value.size()));
  value.erase(value.find_last_not_of(L' ') + 1);
  auto id_of = [](const std::wstring& text) {
    const unsigned long id = text.empty() ? 0 : wcstoul(text.c_str(), nullptr, 0);
    return id > 0xFFFF ? 0 : static_cast<WORD>(id);
  };
  Bitmap picture;
  if (key == L"idres") {
    if (WORD id = id_of(value))
      picture.reset(
          static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)));
  } else if (key == L"iddll") {
    if (WORD id = id_of(value); id && m_resourceModule)
      picture.reset(static_cast<HBITMAP>(LoadImageW(m_resourceModule, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)));
  } else if (key == L"file") {
    picture.reset(static_cast<HBITMAP>(LoadImageW(nullptr, value.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
  }
  if (!picture) return;
  const SIZE size = CPPDrawManager::GetSizeOfBitmap(picture.get());
  MemoryDC source(CreateCompatibleDC(m_dc));
  if (!source) return;
  Selection select(source.get(), picture.get());
  m_drawManager.TileBitmap(m_dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, source.get(), 0,
                           0, size.cx, size.cy);
}

SIZE CPPHtmlDrawer::LayoutTable(const std::wstring& text, size_t begin, size_t end, const RECT& rect, int depth) {
  SIZE result = {0, 0};
  // Tables nested deeper than any description needs are left out, in both passes alike.
  if (depth >= kMaxTableDepth) return result;
  const int index = ++m_tableIndex;
  const TableMarkup markup = ParseTableMarkup(text, begin, end);
  int rows = 0, columns = 0;
  const std::vector<Placement> placements = PlaceCells(markup, m_metrics, rows, columns);
  if (m_measuring) {
    TableGeometry geometry;
    geometry.rows = rows;
    geometry.columns = columns;
    geometry.cells.assign(static_cast<size_t>(rows) * columns, TableCell());
    geometry.widths.assign(static_cast<size_t>(columns), 0);
    geometry.heights.assign(static_cast<size_t>(rows), 0);
    geometry.fixed_width.assign(static_cast<size_t>(columns), 0);
    for (const Placement& p : placements) {
      for (int r = p.row; r < p.row + p.row_span; ++r)
        for (int c = p.column; c < p.column + p.col_span; ++c) geometry.At(r, c).covered = true;
      TableCell& cell = geometry.At(p.row, p.column);
      cell.covered = false;
      cell.row_span = p.row_span;
      cell.col_span = p.col_span;
    }
    m_tables.push_back(std::move(geometry));
  }
  if (static_cast<size_t>(index) >= m_tables.size()) return result;

  PushStyle(L"table");
  m_markup.ApplyRule(L"table", m_style, m_metrics);
  ApplyTableAttributes(HtmlMarkup::ParseAttributes(markup.attributes), true);
  MakeFont();
  const int spacing = m_style.padding;
  const int border = m_style.border_width;
  const bool double_border = m_style.border_style == CPPDrawManager::PEN_DOUBLE;
  const int frame = border > 0 ? (double_border ? 3 * border : border) : 0;

  // Widths and heights as drawn: a copy, so that drawing never changes what was measured.
  std::vector<int> widths = m_tables[static_cast<size_t>(index)].widths;
  const std::vector<int> heights = m_tables[static_cast<size_t>(index)].heights;
  auto table_width = [&]() {
    return columns == 0 ? 0 : Sum(widths, 0, columns) + (columns + 1) * spacing + (columns - 1) + 2 * frame;
  };
  const int table_height = rows == 0 ? 0 : Sum(heights, 0, rows) + (rows + 1) * spacing + (rows - 1) + 2 * frame;

  RECT box = {rect.left, rect.top, rect.left, rect.top};
  if (!m_measuring && columns > 0 && rows > 0) {
    const int available = rect.right - rect.left;
    int width = table_width();
    if (width < available) {
      const auto& fixed = m_tables[static_cast<size_t>(index)].fixed_width;
      int open = static_cast<int>(std::count(fixed.begin(), fixed.end(), 0));
      int left_over = available - width;
      for (int c = 0; c < columns && open > 0; ++c) {
        if (fixed[static_cast<size_t>(c)]) continue;
        const int share = left_over / open--;
        widths[static_cast<size_t>(c)] += share;
        left_over -= share;
      }
      width = table_width();
    }
    if (width < available) {
      if (m_style.horizontal_align == 1)
        box.left = rect.left + (available - width) / 2;
      else if (m_style.horizontal_align == 2)
        box.left = rect.right - width;
    }
    box.right = box.left + width;
    box.bottom = box.top + table_height;
    DrawTableBackground(box);
    if (border > 0) {
      const COLORREF light = m_markup.IsEnabled() ? Resolve(m_style.border_light) : m_markup.DisabledColour();
      const COLORREF dark = m_markup.IsEnabled() ? Resolve(m_style.border_dark) : m_markup.DisabledColour();
      m_drawManager.DrawRectangle(m_dc, box.left, box.top, box.right, box.bottom, light, dark, m_style.border_style,
                                  border);
    }
  }
  RECT inside = {box.left + frame, box.top + frame, box.right - frame, box.bottom - frame};

  size_t next = 0;
  for (int r = 0; r < rows; ++r) {
    PushStyle(L"tr");
    m_markup.ApplyRule(L"tr", m_style, m_metrics);
    ApplyTableAttributes(HtmlMarkup::ParseAttributes(markup.rows[static_cast<size_t>(r)].attributes), false);
    MakeFont();
    for (; next < placements.size() && placements[next].row == r; ++next) {
      const Placement& p = placements[next];
      const CellMarkup& cell_markup = markup.rows[static_cast<size_t>(r)].cells[p.cell];
      PushStyle(L"td");
      m_markup.ApplyRule(L"td", m_style, m_metrics);
      ApplyTableAttributes(HtmlMarkup::ParseAttributes(cell_markup.attributes), false);
      MakeFont();
      const int pad = std::max(0, m_style.margin) + m_style.border_width;
      // A cell with a width of its own wraps its content at that width, in both passes alike,
      // so that the drawing pass breaks its lines where the measuring pass did.
      const int own_width = m_style.width;
      if (own_width > 0) ++m_fixedCells;
      if (m_measuring) {
        const RECT content = {rect.left, rect.top, rect.left + own_width, rect.top};
        const SIZE size = LayoutBlock(text, cell_markup.begin, cell_markup.end, content, depth + 1);
        TableCell& cell = m_tables[static_cast<size_t>(index)].At(p.row, p.column);
        cell.width = std::max<int>(size.cx, m_style.width) + 2 * pad;
        cell.height = std::max<int>(size.cy, m_style.height) + 2 * pad;
        cell.content_height = size.cy;
        if (m_style.width > 0) m_tables[static_cast<size_t>(index)].fixed_width[static_cast<size_t>(p.column)] = 1;
      } else {
        RECT cell_rect;
        cell_rect.left = inside.left + spacing;
        for (int c = 0; c < p.column; ++c) cell_rect.left += widths[static_cast<size_t>(c)] + spacing + 1;
        cell_rect.right =
            cell_rect.left + Sum(widths, p.column, p.column + p.col_span) + (p.col_span - 1) * (spacing + 1);
        cell_rect.top = inside.top + spacing;
        for (int rr = 0; rr < p.row; ++rr) cell_rect.top += heights[static_cast<size_t>(rr)] + spacing + 1;
        cell_rect.bottom = cell_rect.top + Sum(heights, p.row, p.row + p.row_span) + (p.row_span - 1) * (spacing + 1);
        if (m_style.fill_effect != -1)
          m_drawManager.FillEffect(m_dc, cell_rect, m_style.fill_effect, Resolve(m_style.background_colour),
                                   Resolve(m_style.fill_middle), Resolve(m_style.fill_end), 5, 0);
        if (m_style.border_style != 0) {
          const COLORREF light = m_markup.IsEnabled() ? Resolve(m_style.border_light) : m_markup.DisabledColour();
          const COLORREF dark = m_markup.IsEnabled() ? Resolve(m_style.border_dark) : m_markup.DisabledColour();
          m_drawManager.DrawRectangle(m_dc, cell_rect.left, cell_rect.top, cell_rect.right, cell_rect.bottom, dark,
                                      light, m_style.border_style, 1);
        }
        RECT content = {cell_rect.left + pad, cell_rect.top + pad, cell_rect.right - pad, cell_rect.bottom - pad};
        if (own_width > 0) content.right = content.left + own_width;
        const int content_height = m_tables[static_cast<size_t>(index)].At(p.row, p.column).content_height;
        if (m_style.vertical_align == 1)
          content.top += (content.bottom - content.top - content_height) / 2;
        else if (m_style.vertical_align == 2)
          content.top = content.bottom - content_height;
        LayoutBlock(text, cell_markup.begin, cell_markup.end, content, depth + 1);
      }
      if (own_width > 0) --m_fixedCells;
      PopStyle(L"td");
      MakeFont();
    }
    PopStyle(L"tr");
    MakeFont();
  }

  if (m_measuring) {
    TableGeometry& geometry = m_tables[static_cast<size_t>(index)];
    std::vector<std::pair<int, int>> column_spans, row_spans;
    std::vector<int> cell_widths, cell_heights;
    for (const Placement& p : placements) {
      const TableCell& cell = geometry.At(p.row, p.column);
      column_spans.emplace_back(p.column, p.col_span);
      row_spans.emplace_back(p.row, p.row_span);
      cell_widths.push_back(cell.width);
      cell_heights.push_back(cell.height);
    }
    DistributeSpans(geometry.widths, column_spans, cell_widths, true);
    DistributeSpans(geometry.heights, row_spans, cell_heights, false);
    widths = geometry.widths;
    const int height = rows == 0 ? 0 : Sum(geometry.heights, 0, rows) + (rows + 1) * spacing + (rows - 1) + 2 * frame;
    result = SIZE{table_width(), height};
  } else {
    result = SIZE{box.right - box.left, box.bottom - box.top};
  }
  PopStyle(L"table");
  MakeFont();
  return result;
}
