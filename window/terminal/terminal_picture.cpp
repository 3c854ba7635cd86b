#include "window/terminal/terminal_picture.h"

#include <cstddef>
#include <optional>

#include "window/line_raster.h"
#include "window/scene_pixels.h"

namespace slash {
namespace {

constexpr int kMergedGap = 2;

const char* GlyphBytes(CellGlyph glyph) {
  switch (glyph) {
    case CellGlyph::kUpper:
      return "\xE2\x96\x80";  // U+2580 upper half block
    case CellGlyph::kLower:
      return "\xE2\x96\x84";  // U+2584 lower half block
    case CellGlyph::kFull:
      return "\xE2\x96\x88";  // U+2588 full block
    case CellGlyph::kBlank:
      break;
  }
  return " ";
}

// Writes cells one after another, sending a colour only when it differs
// from the one last sent.
class RunWriter {
 public:
  RunWriter(const CellEncoding& encoding, std::string& out) : encoding_(encoding), out_(out) {}

  // `count` cells alike, one after another.
  void Cells(const TerminalCell& cell, int count) {
    const bool lit = cell.glyph != CellGlyph::kBlank;
    const std::string bytes = encoding_.blocks ? GlyphBytes(cell.glyph) : " ";
    if (encoding_.blocks) {
      // The ground is always black, written, never the terminal's default.
      Use(ground_, kBlack, false);
      if (lit) Use(glyph_, cell.color, true);
    } else {
      Use(ground_, lit ? cell.color : kBlack, false);
    }
    out_ += bytes;
    const std::size_t more = static_cast<std::size_t>(count - 1);
    const std::string repeat = encoding_.repeat && more > 0 ? encoding_.repeat(count - 1) : "";
    if (!repeat.empty() && repeat.size() < more * bytes.size()) {
      out_ += repeat;
    } else {
      for (std::size_t i = 0; i < more; ++i) out_ += bytes;
    }
  }

 private:
  void Use(std::optional<EffectColor>& sent, EffectColor color, bool foreground) {
    if (sent == color) return;
    out_ += ColorSequence(color, foreground, encoding_.true_color);
    sent = color;
  }

  const CellEncoding& encoding_;
  std::string& out_;
  std::optional<EffectColor> ground_;
  std::optional<EffectColor> glyph_;
};

}  // namespace

TerminalCell CellFor(EffectColor upper, EffectColor lower) {
  if (upper != kBlack && lower != kBlack) return {CellGlyph::kFull, upper};
  if (upper != kBlack) return {CellGlyph::kUpper, upper};
  if (lower != kBlack) return {CellGlyph::kLower, lower};
  return {};
}

CellGrid SceneCells(const EffectScene& scene, int columns, int rows, int pixels_per_cell) {
  const int height = rows * pixels_per_cell;
  const std::size_t width = static_cast<std::size_t>(columns);
  std::vector<EffectColor> pixels(width * static_cast<std::size_t>(height), scene.background);
  ForEachLinePixel(scene, columns, height, [&](int x, int y, EffectColor color) {
    pixels[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] = color;
  });
  CellGrid grid{columns, rows, {}};
  grid.cells.reserve(width * static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    const EffectColor* upper = &pixels[static_cast<std::size_t>(row * pixels_per_cell) * width];
    const EffectColor* lower = upper + (pixels_per_cell - 1) * columns;
    for (std::size_t x = 0; x < width; ++x) grid.cells.push_back(CellFor(upper[x], lower[x]));
  }
  return grid;
}

std::string ColorSequence(EffectColor color, bool foreground, bool true_color) {
  const Rgb rgb = ToRgb(color);
  if (true_color) {
    return std::string("\x1b[") + (foreground ? "38" : "48") + ";2;" + std::to_string(rgb.r) + ";" +
           std::to_string(rgb.g) + ";" + std::to_string(rgb.b) + "m";
  }
  // ANSI numbers its colours red = 1, green = 2, blue = 4; the bright ones
  // are 90-97 (foreground) and 100-107 (ground).
  const int index = (rgb.r >= 0x80 ? 1 : 0) | (rgb.g >= 0x80 ? 2 : 0) | (rgb.b >= 0x80 ? 4 : 0);
  const int base = index == 0 ? (foreground ? 30 : 40) : (foreground ? 90 : 100);
  return "\x1b[" + std::to_string(base + index) + "m";
}

std::string EncodeChanges(const CellGrid& shown, const CellGrid& wanted,
                          const CellEncoding& encoding) {
  const bool known = shown.columns == wanted.columns && shown.rows == wanted.rows &&
                     shown.cells.size() == wanted.cells.size();
  std::string out = known ? "" : "\x18";
  RunWriter writer(encoding, out);
  for (int row = 0; row < wanted.rows; ++row) {
    const std::size_t first =
        static_cast<std::size_t>(row) * static_cast<std::size_t>(wanted.columns);
    const auto changed = [&](int column) {
      const std::size_t i = first + static_cast<std::size_t>(column);
      return !known || shown.cells[i] != wanted.cells[i];
    };
    int column = 0;
    while (column < wanted.columns) {
      if (!changed(column)) {
        ++column;
        continue;
      }
      // A run ends where more than kMergedGap unchanged cells follow.
      int end = column + 1;
      for (int next = end; next < wanted.columns && next - end <= kMergedGap; ++next) {
        if (changed(next)) end = next + 1;
      }
      out += encoding.move(row, column);
      while (column < end) {
        const TerminalCell& cell = wanted.cells[first + static_cast<std::size_t>(column)];
        int alike = 1;
        while (column + alike < end &&
               wanted.cells[first + static_cast<std::size_t>(column + alike)] == cell) {
          ++alike;
        }
        writer.Cells(cell, alike);
        column += alike;
      }
    }
  }
  return out;
}

}  // namespace slash
