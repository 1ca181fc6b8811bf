#include "term/canvas.h"

#include <algorithm>
#include <cstdio>

namespace term {
namespace {

void AppendSgr(std::string* out, const Cell& c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\x1b[%s38;2;%u;%u;%u;48;2;%u;%u;%um", c.bold ? "0;1;" : "0;",
                  c.fg.r, c.fg.g, c.fg.b, c.bg.r, c.bg.g, c.bg.b);
    out->append(buf);
}

}  // namespace

bool operator==(const Rgb& a, const Rgb& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        std::string line(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

Canvas::Canvas(int columns, int rows, Rgb fg, Rgb bg)
    : m_columns(std::max(columns, 1)), m_rows(std::max(rows, 1)) {
    Cell blank;
    blank.fg = fg;
    blank.bg = bg;
    m_cells.assign(static_cast<std::size_t>(m_columns) * static_cast<std::size_t>(m_rows), blank);
}

void Canvas::Put(int column, int row, const std::string& glyph, Rgb fg, Rgb bg, bool bold) {
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows) return;
    Cell& c = m_cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(m_columns) +
                      static_cast<std::size_t>(column)];
    c.glyph = glyph;
    c.fg = fg;
    c.bg = bg;
    c.bold = bold;
}

int Canvas::Text(int column, int row, std::string_view text, Rgb fg, Rgb bg, bool bold) {
    int used = 0;
    for (const std::string& g : SplitGlyphs(text)) {
        Put(column + used, row, g, fg, bg, bold);
        ++used;
    }
    return used;
}

void Canvas::Fill(int column, int row, int width, int height, Rgb bg) {
    for (int r = row; r < row + height; ++r) {
        for (int c = column; c < column + width; ++c) Put(c, r, " ", bg, bg);
    }
}

void Canvas::Frame(int column, int row, int width, int height, Rgb fg, Rgb bg) {
    if (width < 2 || height < 2) return;
    const int right = column + width - 1;
    const int bottom = row + height - 1;
    for (int c = column + 1; c < right; ++c) {
        Put(c, row, "─", fg, bg);
        Put(c, bottom, "─", fg, bg);
    }
    for (int r = row + 1; r < bottom; ++r) {
        Put(column, r, "│", fg, bg);
        Put(right, r, "│", fg, bg);
    }
    Put(column, row, "┌", fg, bg);
    Put(right, row, "┐", fg, bg);
    Put(column, bottom, "└", fg, bg);
    Put(right, bottom, "┘", fg, bg);
}

const Cell& Canvas::At(int column, int row) const {
    column = std::clamp(column, 0, m_columns - 1);
    row = std::clamp(row, 0, m_rows - 1);
    return m_cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(m_columns) +
                   static_cast<std::size_t>(column)];
}

std::string Canvas::ToAnsi() const {
    std::string out;
    out.reserve(m_cells.size() * 8);
    for (int r = 0; r < m_rows; ++r) {
        char move[32];
        std::snprintf(move, sizeof move, "\x1b[%d;1H", r + 1);
        out.append(move);
        const Cell* previous = nullptr;
        for (int c = 0; c < m_columns; ++c) {
            const Cell& cell = At(c, r);
            if (previous == nullptr || !(previous->fg == cell.fg) || !(previous->bg == cell.bg) ||
                previous->bold != cell.bold) {
                AppendSgr(&out, cell);
            }
            out.append(cell.glyph);
            previous = &cell;
        }
    }
    out.append("\x1b[0m");
    return out;
}

std::string Canvas::ToText() const {
    std::string out;
    for (int r = 0; r < m_rows; ++r) {
        if (r > 0) out.push_back('\n');
        for (int c = 0; c < m_columns; ++c) out.append(At(c, r).glyph);
    }
    return out;
}

}  // namespace term
