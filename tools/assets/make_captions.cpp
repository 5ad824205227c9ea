// Writes the caption rows and their texts: caption_table.bin holds 40 rows
// of five 32-bit little-endian fields (start, end, text, x, y), with the
// text as an offset from the asset block's start; caption_texts.bin holds the
// zero-terminated texts back to back, 320 bytes in all.
//
// Usage: make_captions OUTPUT_DIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "asset_io.h"

namespace {

// Where the texts lie in the asset block, and how long they are together.
constexpr std::uint32_t caption_texts_offset = 1121355;
constexpr std::size_t caption_texts_bytes = 320;

struct Row {
  std::uint32_t start;  // song position at which it comes up
  std::uint32_t end;    // the last position at which it stays
  const char* text;
  std::uint32_t x;
  std::uint32_t y;
};

// In table order. Words are split over rows so that their pieces come up
// one after another, each placed by its own x; a leading space is part of
// the text. Rows 20-33 greet other groups, row 35 is the thanked name and
// row 36 the closing credit line.
const Row rows[40] = {
    {0x0100, 0x0120, "LAME", 20, 10},
    {0x0101, 0x0121, " SCHOOL", 80, 10},
    {0x0105, 0x0125, " FLA", 190, 10},
    {0x0107, 0x0127, "VOUR", 250, 10},
    {0x0200, 0x0220, "100", 125, 170},
    {0x0201, 0x0221, "%", 175, 170},
    {0x0205, 0x0225, " BLEN", 195, 170},
    {0x0207, 0x0227, "DED", 270, 170},
    {0x0300, 0x0320, "SE", 0, 0},
    {0x0301, 0x0321, "LECTED", 30, 0},
    {0x0305, 0x0325, " FINE", 120, 0},
    {0x0307, 0x0327, "ELEMENTS", 50, 30},
    {0x0400, 0x041F, "LAS", 0, 100},
    {0x0401, 0x041F, " AUTORIDADES", 45, 100},
    {0x0405, 0x041F, "SANITARIAS", 0, 130},
    {0x0407, 0x041F, " ADVIERTEN", 150, 130},
    {0x0420, 0x044F, "VER", 260, 80},
    {0x0428, 0x044F, "ESTO", 245, 110},
    {0x0430, 0x044F, "PRODUCE", 200, 140},
    {0x0438, 0x044F, "CANCER", 215, 170},
    {0x1000, 0x104F, "GLOWBYTE", 0, 0},
    {0x1008, 0x1107, "NIMBULAR", 180, 0},
    {0x1010, 0x110F, "FLUMEX", 0, 25},
    {0x1018, 0x1117, "ORBITAX", 180, 25},
    {0x1020, 0x111F, "PIXELON", 0, 145},
    {0x1028, 0x112F, "MOIRAX", 180, 145},
    {0x1030, 0x1127, "HYPNOCUBE", 0, 170},
    {0x1038, 0x1137, "KRZ", 180, 170},
    {0x1100, 0x1200, "ZIGURA", 0, 0},
    {0x1108, 0x1200, "VXT", 180, 0},
    {0x1110, 0x1200, "ARQ", 0, 25},
    {0x1118, 0x1200, "IRON LOTUS", 160, 25},
    {0x1120, 0x1200, "ZYX", 0, 145},
    {0x1128, 0x1200, "ECHO RIFT", 0, 170},
    {0x1130, 0x1200, "SPECIAL THANKS", 100, 145},
    {0x1138, 0x1200, "KARSTO", 180, 170},
    {0x1205, 0x1300, "VORNA PRODUCTIONS 99", 0, 170},
    {0x0D1C, 0x0D3D, "2DAYS 512KBYTES", 10, 10},
    {0x0D1D, 0x0D3E, "NO DIRECT 3D", 0, 50},
    {0x0D1E, 0x0D3F, "UNFINISHED VERSION", 30, 80},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_captions OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  std::vector<std::uint8_t> table;
  std::vector<std::uint8_t> texts;
  for (const Row& row : rows) {
    asset_io::put32(table, row.start);
    asset_io::put32(table, row.end);
    asset_io::put32(table, caption_texts_offset + static_cast<std::uint32_t>(texts.size()));
    asset_io::put32(table, row.x);
    asset_io::put32(table, row.y);
    for (const char* c = row.text; *c != 0; ++c) {
      texts.push_back(static_cast<std::uint8_t>(*c));
    }
    texts.push_back(0);
  }
  // The block's layout has room for exactly this much text.
  if (texts.size() != caption_texts_bytes) {
    std::fprintf(stderr, "make_captions: the texts take %zu bytes, not %zu\n", texts.size(), caption_texts_bytes);
    return 1;
  }
  bool ok = asset_io::write_file(dir + "/caption_table.bin", table);
  ok = asset_io::write_file(dir + "/caption_texts.bin", texts) && ok;
  return ok ? 0 : 1;
}
