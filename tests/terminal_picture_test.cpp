#include "window/terminal/terminal_picture.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "window/terminal/terminal_codes.h"

namespace slash {
namespace {

constexpr EffectColor kBlue = 0xFF0000;

CellEncoding Encoding(bool true_color, bool blocks = true) {
  CellEncoding encoding;
  encoding.true_color = true_color;
  encoding.blocks = blocks;
  encoding.move = [](int row, int column) {
    return "<" + std::to_string(row) + "," + std::to_string(column) + ">";
  };
  return encoding;
}

// A black picture of `columns` x `rows` cells, two pixels each, with the
// upper pixel of the cells numbered `lit` (row by row) in blue.
CellPicture Picture(int columns, int rows, std::initializer_list<int> lit = {}) {
  CellPicture picture;
  picture.Reset(columns, rows, 2, kBlack);
  for (const int i : lit) picture.SetPixel(i % columns, 2 * (i / columns), kBlue);
  return picture;
}

std::vector<TerminalCell> Cells(const CellPicture& picture) {
  std::vector<TerminalCell> cells;
  for (int row = 0; row < picture.rows(); ++row) {
    for (int column = 0; column < picture.columns(); ++column) {
      cells.push_back(picture.Cell(column, row));
    }
  }
  return cells;
}

TEST(TerminalCells, TwoPixelsMakeOneCell) {
  const struct {
    EffectColor upper, lower;
    TerminalCell cell;
  } cases[] = {{kBlack, kBlack, {}},
               {kBlue, kBlack, {CellGlyph::kUpper, kBlue}},
               {kBlack, kBlue, {CellGlyph::kLower, kBlue}},
               {kBlue, kBlue, {CellGlyph::kFull, kBlue}},
               {kBlue, kRed, {CellGlyph::kFull, kBlue}}};
  for (const auto& c : cases) EXPECT_EQ(CellFor(c.upper, c.lower), c.cell);
}

TEST(TerminalCells, AHorizontalLineLightsOneHalfOfARowOfCells) {
  EffectScene scene;
  scene.width = 4;
  scene.height = 4;
  SlashLine& line = scene.Lz[0];
  line = SlashLine{0.0f, 1.0f, 4.0f, 1.0f, kBlue, true};
  CellPicture picture;
  // Two pixels a cell: pixel row 1 is the lower half of cell row 0.
  std::vector<TerminalCell> expected(8);
  for (int x = 0; x < 4; ++x) expected[static_cast<std::size_t>(x)] = {CellGlyph::kLower, kBlue};
  picture.Paint(scene, 4, 2, 2);
  EXPECT_EQ(Cells(picture), expected);
  // One pixel a cell: row 1 lit whole.
  expected.assign(16, {});
  for (int x = 4; x < 8; ++x) expected[static_cast<std::size_t>(x)] = {CellGlyph::kFull, kBlue};
  picture.Paint(scene, 4, 4, 1);
  EXPECT_EQ(Cells(picture), expected);
}

TEST(TerminalColours, BrightAnsiOrTwentyFourBits) {
  const struct {
    EffectColor color;
    bool foreground, true_color;
    const char* sequence;
  } cases[] = {{kRed, true, false, "\x1b[91m"},          {0x00FFFF, true, false, "\x1b[93m"},
               {kBlue, true, false, "\x1b[94m"},         {0x00FF00, true, false, "\x1b[92m"},
               {0xFFFFFF, true, false, "\x1b[97m"},      {kBlack, false, false, "\x1b[40m"},
               {kBlue, false, false, "\x1b[104m"},       {kBlue, true, true, "\x1b[38;2;0;0;255m"},
               {kBlack, false, true, "\x1b[48;2;0;0;0m"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ColorSequence(c.color, c.foreground, c.true_color), c.sequence) << c.sequence + 1;
  }
}

TEST(TerminalChanges, OnlyChangedCellsInRunsWithOneMoveEach) {
  const std::string black = "\x1b[40m";
  const std::string blue = "\x1b[94m";
  const std::string upper = "\xE2\x96\x80";
  const CellPicture shown = Picture(8, 2);
  const auto with = [](std::initializer_list<int> lit) { return Picture(8, 2, lit); };
  EXPECT_EQ(EncodeChanges(shown, shown, Encoding(false)), "");
  EXPECT_EQ(EncodeChanges(shown, with({9}), Encoding(false)), "<1,1>" + black + blue + upper);
  // A gap of two unchanged cells is written again; three are moved over.
  EXPECT_EQ(EncodeChanges(shown, with({0, 3}), Encoding(false)),
            "<0,0>" + black + blue + upper + "  " + upper);
  EXPECT_EQ(EncodeChanges(shown, with({0, 4}), Encoding(false)),
            "<0,0>" + black + blue + upper + "<0,4>" + upper);
  // Cells alike are repeated where the terminal can, when that is shorter.
  CellEncoding repeating = Encoding(false);
  repeating.repeat = [](int more) { return "<x" + std::to_string(more) + ">"; };
  EXPECT_EQ(EncodeChanges(shown, with({8, 9, 10, 11, 12, 13, 14, 15}), repeating),
            "<1,0>" + black + blue + upper + "<x7>");
  EXPECT_EQ(EncodeChanges(shown, with({8, 9}), repeating), "<1,0>" + black + blue + upper + upper);
  // Without block glyphs a lit cell is a space on the colour.
  EXPECT_EQ(EncodeChanges(shown, with({0}), Encoding(false, false)), "<0,0>\x1b[104m ");
}

TEST(TerminalChanges, AnUnknownScreenIsWrittenWhole) {
  const std::string bytes = EncodeChanges(CellPicture{}, Picture(3, 2), Encoding(true));
  EXPECT_EQ(bytes, "\x18<0,0>\x1b[48;2;0;0;0m   <1,0>   ");
}

TEST(TerminalLocale, TheFirstVariableSetDecides) {
  const struct {
    const char *all, *ctype, *lang;
    bool utf8;
  } cases[] = {{"", "", "en_US.UTF-8", true},
               {"", "", "", false},
               {"C", "", "en_US.UTF-8", false},
               {"", "de_DE.utf8", "C", true},
               {"POSIX", "", "", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(LocaleIsUtf8([&](const char* name) -> std::string {
                const std::string n = name;
                return n == "LC_ALL" ? c.all : n == "LC_CTYPE" ? c.ctype : c.lang;
              }),
              c.utf8)
        << c.all << "|" << c.ctype << "|" << c.lang;
  }
}

}  // namespace
}  // namespace slash
