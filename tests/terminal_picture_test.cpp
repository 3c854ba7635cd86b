#include "window/terminal/terminal_picture.h"

#include <gtest/gtest.h>

#include <string>

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

CellGrid Grid(int columns, int rows, TerminalCell fill = {}) {
  return CellGrid{columns, rows,
                  std::vector<TerminalCell>(static_cast<std::size_t>(columns * rows), fill)};
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
  // Two pixels a cell: pixel row 1 is the lower half of cell row 0.
  CellGrid expected = Grid(4, 2);
  for (int x = 0; x < 4; ++x)
    expected.cells[static_cast<std::size_t>(x)] = {CellGlyph::kLower, kBlue};
  EXPECT_EQ(SceneCells(scene, 4, 2, 2), expected);
  // One pixel a cell: row 1 lit whole.
  expected = Grid(4, 4);
  for (int x = 4; x < 8; ++x)
    expected.cells[static_cast<std::size_t>(x)] = {CellGlyph::kFull, kBlue};
  EXPECT_EQ(SceneCells(scene, 4, 4, 1), expected);
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
  const TerminalCell lit{CellGlyph::kUpper, kBlue};
  const std::string black = "\x1b[40m";
  const std::string blue = "\x1b[94m";
  const std::string upper = "\xE2\x96\x80";
  const CellGrid shown = Grid(8, 2);
  const auto with = [&](std::initializer_list<int> cells) {
    CellGrid grid = shown;
    for (const int i : cells) grid.cells[static_cast<std::size_t>(i)] = lit;
    return grid;
  };
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
  const std::string bytes = EncodeChanges(CellGrid{}, Grid(3, 2), Encoding(true));
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
