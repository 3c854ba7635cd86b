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

void CellPicture::Reset(int columns, int rows, int pixels_per_cell, EffectColor ground) {
  columns_ = columns;
  rows_ = rows;
  pixels_per_cell_ = pixels_per_cell;
  colors_.assign(1, ground);
  pixels_.assign(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows) *
                     static_cast<std::size_t>(pixels_per_cell),
                 0);
}

void CellPicture::Paint(const EffectScene& scene, int columns, int rows, int pixels_per_cell) {
  // The background and one colour a line: the palette never fills.
  static_assert(kLineCount + 1 <= 256);
  Reset(columns, rows, pixels_per_cell, scene.background);
  ForEachLinePixel(scene, columns, rows * pixels_per_cell,
                   [&](int x, int y, EffectColor color) { SetPixel(x, y, color); });
}

void CellPicture::SetPixel(int x, int y, EffectColor color) {
  pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns_) +
          static_cast<std::size_t>(x)] = IndexOf(color);
}

std::uint8_t CellPicture::IndexOf(EffectColor color) {
  // Lines are drawn one after another, so the colour is nearly always the
  // last one added.
  for (std::size_t i = colors_.size(); i-- > 0;) {
    if (colors_[i] == color) return static_cast<std::uint8_t>(i);
  }
  colors_.push_back(color);
  return static_cast<std::uint8_t>(colors_.size() - 1);
}

TerminalCell CellPicture::Cell(int column, int row) const {
  const std::size_t upper =
      static_cast<std::size_t>(row * pixels_per_cell_) * static_cast<std::size_t>(columns_) +
      static_cast<std::size_t>(column);
  const std::size_t lower = upper + static_cast<std::size_t>((pixels_per_cell_ - 1) * columns_);
  return CellFor(ColorAt(upper), ColorAt(lower));
}

bool CellPicture::SameSize(const CellPicture& other) const {
  return columns_ == other.columns_ && rows_ == other.rows_ &&
         pixels_per_cell_ == other.pixels_per_cell_;
}

bool CellPicture::operator==(const CellPicture& other) const {
  if (!SameSize(other)) return false;
  for (std::size_t i = 0; i < pixels_.size(); ++i) {
    if (ColorAt(i) != other.ColorAt(i)) return false;
  }
  return true;
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

std::string EncodeChanges(const CellPicture& shown, const CellPicture& wanted,
                          const CellEncoding& encoding) {
  const bool known = shown.columns() > 0 && shown.SameSize(wanted);
  std::string out = known ? "" : "\x18";
  RunWriter writer(encoding, out);
  for (int row = 0; row < wanted.rows(); ++row) {
    const auto changed = [&](int column) {
      return !known || shown.Cell(column, row) != wanted.Cell(column, row);
    };
    int column = 0;
    while (column < wanted.columns()) {
      if (!changed(column)) {
        ++column;
        continue;
      }
      // A run ends where more than kMergedGap unchanged cells follow.
      int end = column + 1;
      for (int next = end; next < wanted.columns() && next - end <= kMergedGap; ++next) {
        if (changed(next)) end = next + 1;
      }
      out += encoding.move(row, column);
      while (column < end) {
        const TerminalCell cell = wanted.Cell(column, row);
        int alike = 1;
        while (column + alike < end && wanted.Cell(column + alike, row) == cell) ++alike;
        writer.Cells(cell, alike);
        column += alike;
      }
    }
  }
  return out;
}

}  // namespace slash
