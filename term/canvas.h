// A grid of character cells with 24-bit colours, drawn in memory and written
// to the terminal as one frame. Text put on it is cleaned first (CleanText),
// so no text the program shows (a box text, a file name) can send the
// terminal a control sequence.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "term/clean_text.h"

namespace term {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

bool operator==(const Rgb& a, const Rgb& b);

struct Cell {
    std::string glyph = " ";  // one character, UTF-8
    Rgb fg;
    Rgb bg;
    bool bold = false;
};

// Lines of a text at '\n' (a '\r' before it is dropped).
std::vector<std::string> SplitLines(std::string_view text);

class Canvas {
  public:
    Canvas(int columns, int rows, Rgb fg, Rgb bg);

    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }

    // Everything outside the grid is clipped.
    void Put(int column, int row, const std::string& glyph, Rgb fg, Rgb bg, bool bold = false);
    // Returns the number of columns the text took.
    int Text(int column, int row, std::string_view text, Rgb fg, Rgb bg, bool bold = false);
    void Fill(int column, int row, int width, int height, Rgb bg);
    // A single-line frame around the rectangle's edge.
    void Frame(int column, int row, int width, int height, Rgb fg, Rgb bg);

    const Cell& At(int column, int row) const;

    // The frame as terminal output: every row from its first column, colours
    // as 24-bit SGR sequences, attributes reset at the end.
    std::string ToAnsi() const;
    // The characters only, rows joined by '\n', trailing blanks kept.
    std::string ToText() const;

  private:
    int m_columns;
    int m_rows;
    std::vector<Cell> m_cells;
};

}  // namespace term
