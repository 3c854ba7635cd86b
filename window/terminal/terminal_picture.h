#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "effect/effect_params.h"
#include "window/effect_scene.h"

namespace slash {

// What a character cell shows of its pixels: nothing (black), the upper,
// the lower or both, as the half and full blocks draw them. With one pixel
// a cell, a lit cell is kFull.
enum class CellGlyph : std::uint8_t { kBlank, kUpper, kLower, kFull };

// One character cell: black, or a glyph in `color` over black.
struct TerminalCell {
  CellGlyph glyph = CellGlyph::kBlank;
  EffectColor color = kBlack;
  bool operator==(const TerminalCell&) const = default;
};

// The cell for two pixels, one above the other; a black pixel is unlit.
// Two lit pixels of different colours take the upper one's.
TerminalCell CellFor(EffectColor upper, EffectColor lower);

// The terminal's screen as pixels, `pixels_per_cell` (1 or 2) to a
// character cell, one above the other. A pixel is kept as a byte, an index
// into the picture's own few colours (a scene has at most 101), so that
// even a large terminal's two pictures take little memory. A picture with
// no cells stands for a screen whose content is not known.
class CellPicture {
 public:
  // `columns` x `rows` cells of one colour, keeping the storage it has.
  void Reset(int columns, int rows, int pixels_per_cell, EffectColor ground);
  // The scene as every other back end lights it on a screen of
  // columns x (rows * pixels_per_cell) pixels.
  void Paint(const EffectScene& scene, int columns, int rows, int pixels_per_cell);
  void SetPixel(int x, int y, EffectColor color);
  TerminalCell Cell(int column, int row) const;

  int columns() const { return columns_; }
  int rows() const { return rows_; }
  bool SameSize(const CellPicture& other) const;
  // Every pixel the same colour.
  bool operator==(const CellPicture& other) const;

 private:
  EffectColor ColorAt(std::size_t pixel) const { return colors_[pixels_[pixel]]; }
  std::uint8_t IndexOf(EffectColor color);

  int columns_ = 0;
  int rows_ = 0;
  int pixels_per_cell_ = 1;
  std::vector<EffectColor> colors_;
  std::vector<std::uint8_t> pixels_;
};

// How the terminal is written to.
struct CellEncoding {
  bool true_color = false;  // 24-bit colour; else the 16 ANSI colours
  bool blocks = true;       // UTF-8 half blocks; else a lit cell is a coloured space
  // The terminal's own cursor addressing, to a 0-based row and column.
  std::function<std::string(int row, int column)> move;
  // The terminal's control that repeats the character just written `more`
  // times; empty where the terminal has none.
  std::function<std::string(int more)> repeat;
};

// The colour sequence that paints a cell's glyph (`foreground`) or its
// ground in `color`. In 16 colours a colour is its bright ANSI one (bright
// red for red, ...), black the plain one.
std::string ColorSequence(EffectColor color, bool foreground, bool true_color);

// The bytes that turn what the terminal shows (`shown`) into `wanted`:
// each row's changed cells in runs (unchanged gaps of up to two cells are
// written again rather than moved over), each run one cursor move, a
// colour only where it changes, and a cell repeated with the terminal's
// repeat where that is shorter than writing it again. Against an unknown
// screen (`shown` empty or of another size) every cell is written, after a
// CAN that ends any control sequence left unfinished.
std::string EncodeChanges(const CellPicture& shown, const CellPicture& wanted,
                          const CellEncoding& encoding);

}  // namespace slash
