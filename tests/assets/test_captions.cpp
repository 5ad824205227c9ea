// The caption rows and texts in the block, and their resolution into the
// records that the captions use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "asset_test_data.h"
#include "assets/assets.h"
#include "demo/demo.h"

namespace {

struct FixedRow {
  std::uint32_t start, end;
  const char* text;  // nullptr where the text is the demo's own choice
  std::size_t length;
  std::uint32_t x, y;
};

// The rows as the timeline needs them.
const FixedRow expected_rows[40] = {
    {0x0100, 0x0120, "LAME", 4, 20, 10},
    {0x0101, 0x0121, " SCHOOL", 7, 80, 10},
    {0x0105, 0x0125, " FLA", 4, 190, 10},
    {0x0107, 0x0127, "VOUR", 4, 250, 10},
    {0x0200, 0x0220, "100", 3, 125, 170},
    {0x0201, 0x0221, "%", 1, 175, 170},
    {0x0205, 0x0225, " BLEN", 5, 195, 170},
    {0x0207, 0x0227, "DED", 3, 270, 170},
    {0x0300, 0x0320, "SE", 2, 0, 0},
    {0x0301, 0x0321, "LECTED", 6, 30, 0},
    {0x0305, 0x0325, " FINE", 5, 120, 0},
    {0x0307, 0x0327, "ELEMENTS", 8, 50, 30},
    {0x0400, 0x041F, "LAS", 3, 0, 100},
    {0x0401, 0x041F, " AUTORIDADES", 12, 45, 100},
    {0x0405, 0x041F, "SANITARIAS", 10, 0, 130},
    {0x0407, 0x041F, " ADVIERTEN", 10, 150, 130},
    {0x0420, 0x044F, "VER", 3, 260, 80},
    {0x0428, 0x044F, "ESTO", 4, 245, 110},
    {0x0430, 0x044F, "PRODUCE", 7, 200, 140},
    {0x0438, 0x044F, "CANCER", 6, 215, 170},
    {0x1000, 0x104F, nullptr, 8, 0, 0},
    {0x1008, 0x1107, nullptr, 8, 180, 0},
    {0x1010, 0x110F, nullptr, 6, 0, 25},
    {0x1018, 0x1117, nullptr, 7, 180, 25},
    {0x1020, 0x111F, nullptr, 7, 0, 145},
    {0x1028, 0x112F, nullptr, 6, 180, 145},
    {0x1030, 0x1127, nullptr, 9, 0, 170},
    {0x1038, 0x1137, nullptr, 3, 180, 170},
    {0x1100, 0x1200, nullptr, 6, 0, 0},
    {0x1108, 0x1200, nullptr, 3, 180, 0},
    {0x1110, 0x1200, nullptr, 3, 0, 25},
    {0x1118, 0x1200, nullptr, 10, 160, 25},
    {0x1120, 0x1200, nullptr, 3, 0, 145},
    {0x1128, 0x1200, nullptr, 9, 0, 170},
    {0x1130, 0x1200, "SPECIAL THANKS", 14, 100, 145},
    {0x1138, 0x1200, nullptr, 6, 180, 170},
    {0x1205, 0x1300, nullptr, 20, 0, 170},
    {0x0D1C, 0x0D3D, "2DAYS 512KBYTES", 15, 10, 10},
    {0x0D1D, 0x0D3E, "NO DIRECT 3D", 12, 0, 50},
    {0x0D1E, 0x0D3F, "UNFINISHED VERSION", 18, 30, 80},
};

bool allowed(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '%' || c == '(' || c == ')';
}

// The stored rows, resolved into fresh records.
std::vector<CaptionEvent> resolved_rows() {
  std::vector<CaptionEvent> records(caption_count);
  EXPECT_TRUE(resolve_caption_rows(stored_caption_table, caption_count, reinterpret_cast<const char*>(caption_texts),
                                   caption_texts_offset, caption_texts_bytes, records.data()));
  return records;
}

TEST(CaptionRows, StoredFieldsAndTexts) {
  const std::vector<CaptionEvent> records = resolved_rows();
  for (int i = 0; i < caption_count; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const FixedRow& want = expected_rows[i];
    EXPECT_EQ(records[i].start, want.start);
    EXPECT_EQ(records[i].end, want.end);
    EXPECT_EQ(records[i].x, want.x);
    EXPECT_EQ(records[i].y, want.y);
    const std::string text = records[i].text;
    EXPECT_EQ(text.size(), want.length) << text;
    if (want.text != nullptr) {
      EXPECT_EQ(text, want.text);
    }
    for (char c : text) {
      EXPECT_TRUE(allowed(c)) << "'" << c << "' in " << text;
    }
  }
}

TEST(CaptionRows, InventedTextsAreOfTheirKind) {
  const std::vector<CaptionEvent> records = resolved_rows();
  // Greetings and the thanked name: letters only, or two words.
  for (int i = 20; i <= 35; ++i) {
    if (i == 34) continue;
    const std::string text = records[i].text;
    const std::size_t spaces = std::count(text.begin(), text.end(), ' ');
    const bool two_words = i == 31 || i == 33;
    EXPECT_EQ(spaces, two_words ? 1u : 0u) << text;
    if (two_words) {
      EXPECT_NE(text.front(), ' ');
      EXPECT_NE(text.back(), ' ');
    }
    for (char c : text) {
      EXPECT_TRUE(c == ' ' || (c >= 'A' && c <= 'Z')) << text;
    }
  }
  // Every text is its own: the active list tells captions apart by pointer,
  // and two rows with one text would still be two captions.
  std::set<std::string> texts;
  for (const CaptionEvent& record : records) texts.insert(record.text);
  EXPECT_EQ(texts.size(), 40u);
}

TEST(CaptionRows, TextsFillTheirAreaBackToBack) {
  const std::vector<CaptionEvent> records = resolved_rows();
  const char* area = reinterpret_cast<const char*>(caption_texts);
  const char* next = area;
  for (const CaptionEvent& record : records) {
    EXPECT_EQ(record.text, next);
    next = record.text + std::strlen(record.text) + 1;
  }
  EXPECT_EQ(next, area + 320);
  EXPECT_EQ(area[319], 0);
}

TEST(CaptionRows, ResolvingTheTableGivesTheProcessRecords) {
  ASSERT_TRUE(resolve_caption_table());
  for (int i = 0; i < caption_count; ++i) {
    EXPECT_EQ(caption_table[i].text, reinterpret_cast<const char*>(caption_texts) +
                                         (read_le32(stored_caption_table + 20 * i + 8) - caption_texts_offset));
    EXPECT_EQ(caption_table[i].start, read_le32(stored_caption_table + 20 * i));
  }
}

// Stored rows with texts "AB" and "C" in a six-byte area at offset 1000.
struct MalformedRows : ::testing::Test {
  char area[6] = {'A', 'B', 0, 'C', 0, 'X'};
  std::uint8_t rows[2 * caption_row_bytes] = {};
  CaptionEvent records[2] = {};
  void set_row(int row, std::uint32_t start, std::uint32_t text_offset) {
    std::uint8_t* p = rows + row * caption_row_bytes;
    const std::uint32_t fields[5] = {start, 0x20, text_offset, 7, 9};
    for (int f = 0; f < 5; ++f) {
      for (int b = 0; b < 4; ++b) p[4 * f + b] = static_cast<std::uint8_t>(fields[f] >> (8 * b));
    }
  }
  bool resolve() { return resolve_caption_rows(rows, 2, area, 1000, sizeof area, records); }
};

TEST_F(MalformedRows, GoodRowsPointIntoTheArea) {
  set_row(0, 0x100, 1000);
  set_row(1, 0x101, 1003);
  EXPECT_TRUE(resolve());
  EXPECT_EQ(records[0].text, area);
  EXPECT_EQ(records[1].text, area + 3);
  EXPECT_EQ(records[1].start, 0x101u);
  EXPECT_EQ(records[1].end, 0x20u);
  EXPECT_EQ(records[1].x, 7u);
  EXPECT_EQ(records[1].y, 9u);
}

TEST_F(MalformedRows, OffsetsOutsideTheAreaNeverComeUp) {
  const std::uint32_t bad_offsets[] = {999, 1006, 0, 0xFFFFFFFF, 1000 + 0x80000000u};
  for (std::uint32_t offset : bad_offsets) {
    SCOPED_TRACE(offset);
    set_row(0, 0x100, 1000);
    set_row(1, 0x101, offset);
    EXPECT_FALSE(resolve());
    EXPECT_EQ(records[0].text, area) << "the good row is kept";
    EXPECT_EQ(records[0].start, 0x100u);
    EXPECT_STREQ(records[1].text, "");
    EXPECT_EQ(records[1].start, 0xFFFFu);
  }
}

TEST_F(MalformedRows, TextWithoutTerminatorInsideTheAreaIsRejected) {
  set_row(0, 0x100, 1005);  // "X" runs off the end of the area
  set_row(1, 0x101, 1005);
  EXPECT_FALSE(resolve());
  EXPECT_STREQ(records[0].text, "");
  EXPECT_EQ(records[0].start, 0xFFFFu);
  // The rejected rows stay apart from each other in the active list.
  EXPECT_NE(records[0].text, records[1].text);
}

}  // namespace
