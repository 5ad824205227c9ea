// The timed captions: the records resolved from the asset block.
#include <cstring>

#include "demo/assets.h"
#include "demo/demo.h"

// The marker of a caption that has come up (or never may).
static constexpr std::uint32_t caption_shown = 0xFFFF;

// The text of a row whose stored text is unusable: nothing to draw, and a
// pointer of its own so that it stays a distinct identity.
static const char unusable_text[caption_count][1] = {};

static std::uint32_t read_u32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool resolve_caption_rows(const std::uint8_t* stored_rows, int count, const char* text_area,
                          std::uint32_t text_area_offset, std::uint32_t text_area_bytes,
                          CaptionEvent* records) {
  bool all_good = true;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* row = stored_rows + i * caption_row_bytes;
    CaptionEvent& record = records[i];
    record.start = read_u32(row);
    record.end = read_u32(row + 4);
    record.x = read_u32(row + 12);
    record.y = read_u32(row + 16);
    // The offset is unsigned, so one below the area wraps to a large index.
    const std::uint32_t index = read_u32(row + 8) - text_area_offset;
    const bool inside = index < text_area_bytes;
    const bool terminated =
        inside && std::memchr(text_area + index, 0, text_area_bytes - index) != nullptr;
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
  return resolve_caption_rows(stored_caption_table, caption_count,
                              reinterpret_cast<const char*>(caption_texts), caption_texts_offset,
                              caption_texts_bytes, caption_table);
}
