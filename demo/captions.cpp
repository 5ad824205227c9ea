// The timed captions: the records resolved from the asset block, the list
// of captions on screen, and the bitmap-font writer that draws them.
// Main thread only.
#include <cstring>

#include "assets/assets.h"
#include "assets/little_endian.h"
#include "demo/demo.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "shell/shell.h"

namespace {

// The marker of a caption that has come up (or never may).
constexpr std::uint32_t caption_shown = 0xFFFF;

// The text of a row whose stored text is unusable: nothing to draw, and a
// pointer of its own so that it stays a distinct identity.
const char unusable_text[caption_count][1] = {};

}  // namespace

bool resolve_caption_rows(const std::uint8_t* stored_rows, int count, const char* text_area,
                          std::uint32_t text_area_offset, std::uint32_t text_area_bytes, CaptionEvent* records) {
  bool all_good = true;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* row = stored_rows + i * caption_row_bytes;
    CaptionEvent& record = records[i];
    record.start = read_le32(row);
    record.end = read_le32(row + 4);
    record.x = read_le32(row + 12);
    record.y = read_le32(row + 16);
    // The offset is unsigned, so one below the area wraps to a large index.
    const std::uint32_t index = read_le32(row + 8) - text_area_offset;
    const bool inside = index < text_area_bytes;
    const bool terminated = inside && std::memchr(text_area + index, 0, text_area_bytes - index) != nullptr;
    if (terminated) {
      record.text = text_area + index;
    } else {
      record.text = unusable_text[i % caption_count];
      record.start = caption_shown;
      all_good = false;
    }
  }
  return all_good;
}

bool resolve_caption_table() {
  return resolve_caption_rows(stored_caption_table, caption_count, reinterpret_cast<const char*>(caption_texts),
                              caption_texts_offset, caption_texts_bytes, caption_table);
}

// --- The list of captions on screen -----------------------------------------

void init_captions_and_palettes() {
  // Clearing the entries as well keeps the list's rule (every entry from
  // caption_list_end on has a null text) true even if this runs again.
  for (ActiveCaption& caption : active_captions) caption = ActiveCaption{};
  caption_list_end = active_captions;
  convert_font_and_sprite_palettes();
}

namespace {

bool caption_list_full() { return caption_list_end == active_captions + active_caption_capacity; }

void add_caption(const CaptionEvent& row) {
  // The table puts at most 40 captions up, so the list never fills; a full
  // list takes no more rather than writing past its end.
  if (caption_list_full()) {
    return;
  }
  *caption_list_end = ActiveCaption{row.text, row.x, row.y};
  ++caption_list_end;
}

void remove_caption(const char* text) {
  for (ActiveCaption* entry = active_captions; entry != caption_list_end; ++entry) {
    if (entry->text == text) {
      // Later entries move down one place, so the others keep their order.
      for (ActiveCaption* later = entry; later + 1 != active_captions + active_caption_capacity; ++later) {
        *later = *(later + 1);
      }
      active_captions[active_caption_capacity - 1] = ActiveCaption{nullptr, 0, 0};
      --caption_list_end;
      return;
    }
  }
}

}  // namespace

void update_captions() {
  const std::uint32_t position = song_position();  // one query for the whole update
  for (CaptionEvent& row : caption_table) {
    if (row.start == position) {
      add_caption(row);
      row.start = caption_shown;  // a caption comes up only once
    } else if (position > row.end) {
      remove_caption(row.text);
    }
  }
}

// --- The writer -----------------------------------------------------------------

namespace {

constexpr std::uint32_t font_width = 1500;   // bytes per font bitmap row
constexpr std::uint32_t glyph_cell = 24;     // pixels across each character's cell
constexpr std::uint32_t glyph_columns = 23;  // drawn: columns 1..23 and rows 1..27 of the cell
constexpr std::uint32_t glyph_rows = 27;
constexpr char first_glyph = ' ';
constexpr char last_glyph = ']';  // 62 cells: characters 32..93

}  // namespace

void draw_glyph(char c, std::uint32_t destination) {
  const auto code = static_cast<unsigned char>(c);
  if (code < static_cast<unsigned char>(first_glyph) || code > static_cast<unsigned char>(last_glyph)) {
    return;  // no cell: reading one would run past the font
  }
  const std::uint8_t* source = font_bitmap + glyph_cell * (code - 32u) + font_width + 1;
  // destination is a pixel index. There is no clipping: a glyph that runs
  // past column 319 goes on at the left of the next row, as the frame is one
  // run of pixels; only the end of the frame bounds it.
  for (std::uint32_t y = 0; y < glyph_rows; ++y) {
    for (std::uint32_t x = 0; x < glyph_columns; ++x) {
      const std::uint8_t value = source[x];
      const std::uint32_t pixel = destination + x;
      if (value != 0 && pixel < screen_pixels) {
        frame_buffer[pixel] = font_colours[value];
      }
    }
    source += font_width;
    destination += screen_width;
  }
}

void draw_text(const char* text, std::uint32_t destination) {
  for (; *text != '\0'; ++text) {
    const char c = *text;
    if (c != ' ') {
      draw_glyph(c, destination);
    }
    // The proportional advance: 16 pixels, W and M wider, I and L narrower.
    std::uint32_t advance = 16;
    if (c == 'W' || c == 'M') {
      advance += 8;
    } else if (c == 'I') {
      advance -= 8;
    } else if (c == 'L') {
      advance -= 5;
    }
    destination += advance;
  }
}

void draw_captions() {
  for (const ActiveCaption& caption : active_captions) {
    if (caption.text != nullptr) {
      draw_text(caption.text, caption.y * screen_width + caption.x);
    }
  }
}
