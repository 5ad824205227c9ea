// The module loader: one Extended Module, read through the file callbacks,
// becomes a Song. Everything is decoded here once: patterns into 5-byte
// cells, sample data into 16-bit frames with the deltas resolved, loops
// normalised, and a guard frame after each loop end, so that the sequencer
// and the mixer have a single data path. Main thread only.
//
// The file is untrusted. Loops are kept inside their samples and envelope
// point counts inside the twelve stored points, so no input makes the
// loader or the player after it read or write outside a buffer. What the
// loader allocates is bounded by what the file holds: a pattern without
// data has no cells, a pattern's cells cover only the rows its data can
// reach, and sample frames are taken only as far as the file has them.
//
// A file that ends early (an archive's cut download) loads as far as it
// goes: the rows of a pattern that its data does not reach are empty,
// patterns and instruments the file ends before are empty, and sample
// frames the file lacks are silent. last_load_missing says what was
// missing. Only a module header that is cut short fails the load.
#include <algorithm>
#include <cstring>
#include <new>

#include "music/internal.h"

namespace {

constexpr char module_id[] = "Extended Module: ";
constexpr std::int32_t module_id_length = 17;
constexpr std::int32_t pattern_header_bytes = 9;
constexpr std::int32_t sample_header_bytes = 40;
constexpr std::int32_t max_channels = voice_count;  // channel i plays voice i

// The file being walked. Reads that come up short mark the file as ended;
// the bytes that did not arrive read as zero.
struct ModuleStream {
  MusicFile* file;
  std::int64_t size;  // bytes in the file
  bool short_read;
  MissingParts missing;
};

void read_bytes(ModuleStream& stream, void* destination, std::int32_t count) {
  std::memset(destination, 0, static_cast<std::size_t>(count));
  if (stream.short_read) {
    return;  // the end has been reached; nothing more arrives
  }
  if (music_file_read(destination, count, stream.file) < count) {
    stream.short_read = true;
  }
}

std::uint8_t read_u8(ModuleStream& stream) {
  std::uint8_t value;
  read_bytes(stream, &value, 1);
  return value;
}

std::uint16_t u16_at(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8); }

std::uint32_t u32_at(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Absolute positions are computed wide and kept within what a signed
// 32-bit seek can name; a target past the end simply reads nothing.
void seek_to(ModuleStream& stream, std::int64_t position) {
  position = std::clamp<std::int64_t>(position, 0, INT32_MAX);
  music_file_seek(stream.file, static_cast<std::int32_t>(position), 0);
}

std::int64_t bytes_left(ModuleStream& stream) { return stream.size - music_file_tell(stream.file); }

template <typename Record>
Record* allocate_records(std::size_t count) {
  return static_cast<Record*>(music_allocate(count, sizeof(Record)));
}

// One packed cell: a presence mask with bit 7 set, or a note followed by
// the four other fields.
void read_cell(ModuleStream& stream, Cell& cell) {
  const std::uint8_t first = read_u8(stream);
  if ((first & 0x80) != 0) {
    cell.note = (first & 0x01) != 0 ? read_u8(stream) : 0;
    cell.instrument = (first & 0x02) != 0 ? read_u8(stream) : 0;
    cell.volume_column = (first & 0x04) != 0 ? read_u8(stream) : 0;
    cell.effect = (first & 0x08) != 0 ? read_u8(stream) : 0;
    cell.parameter = (first & 0x10) != 0 ? read_u8(stream) : 0;
  } else {
    std::uint8_t rest[4];
    read_bytes(stream, rest, 4);
    cell = {first, rest[0], rest[1], rest[2], rest[3]};
  }
  if (cell.note == 97) {
    cell.note = key_off_note;
  }
  if (cell.instrument > 128) {
    cell.instrument = 0;
  }
}

// The pattern's header and cells. A pattern whose packed size is 0 has
// no cells; otherwise cells are made for the rows its data can reach (each
// cell takes at least one byte of the file), and the rows the data does not
// reach, because the file ends, read as empty.
LoadResult read_pattern(Song* song, ModuleStream& stream, std::int32_t number) {
  Pattern& pattern = song->patterns[number];
  if (bytes_left(stream) < pattern_header_bytes) {
    // The file ends before this pattern's header is complete: the pattern
    // is missing, as one the file does not store would be.
    stream.short_read = true;
    pattern.rows = 64;
    stream.missing.patterns += 1;
    if (stream.missing.first_pattern < 0) {
      stream.missing.first_pattern = number;
      stream.missing.first_pattern_row = 0;
    }
    return load_ok;
  }
  std::uint8_t header[pattern_header_bytes];
  read_bytes(stream, header, pattern_header_bytes);
  pattern.rows = u16_at(header + 5);
  const std::uint16_t packed_size = u16_at(header + 7);
  const std::int64_t channels = song->channel_count;
  if (packed_size == 0 || channels == 0 || pattern.rows == 0) {
    return load_ok;
  }
  const std::int64_t reachable_rows = (bytes_left(stream) + channels - 1) / channels;
  pattern.cell_rows = static_cast<std::int32_t>(std::min<std::int64_t>(pattern.rows, reachable_rows));
  const std::size_t cell_count = static_cast<std::size_t>(channels) * static_cast<std::size_t>(pattern.cell_rows);
  if (cell_count == 0) {
    pattern.cell_rows = 0;
  } else {
    pattern.cells = allocate_records<Cell>(cell_count);
    if (pattern.cells == nullptr) {
      return load_out_of_memory;
    }
  }
  std::int64_t first_missing_row = -1;
  for (std::size_t c = 0; c < cell_count && !stream.short_read; ++c) {
    read_cell(stream, pattern.cells[c]);
    if (stream.short_read) {
      first_missing_row = static_cast<std::int64_t>(c) / channels;
    }
  }
  if (first_missing_row < 0 && pattern.cell_rows < pattern.rows) {
    first_missing_row = pattern.cell_rows;  // the file ended exactly there
    stream.short_read = true;
  }
  if (first_missing_row >= 0) {
    stream.missing.patterns += 1;
    if (stream.missing.first_pattern < 0) {
      stream.missing.first_pattern = number;
      stream.missing.first_pattern_row = static_cast<std::int32_t>(first_missing_row);
    }
  }
  return load_ok;
}

LoadResult read_patterns(Song* song, ModuleStream& stream, std::int32_t stored_count) {
  song->patterns = allocate_records<Pattern>(static_cast<std::size_t>(song->pattern_count));
  if (song->patterns == nullptr && song->pattern_count > 0) {
    return load_out_of_memory;
  }
  for (std::int32_t p = 0; p < stored_count; ++p) {
    const LoadResult result = read_pattern(song, stream, p);
    if (result != load_ok) {
      return result;
    }
  }
  // Patterns that the orders name but the file does not store: 64 empty
  // rows, which need no cells.
  for (std::int32_t p = stored_count; p < song->used_pattern_count; ++p) {
    song->patterns[p].rows = 64;
  }
  return load_ok;
}

void read_envelope(const std::uint8_t* bytes, EnvelopePoint* points) {
  for (int k = 0; k < envelope_point_limit; ++k) {
    points[k] = {u16_at(bytes + 4 * k), u16_at(bytes + 4 * k + 2)};
  }
}

// The instrument fields after the sample header size: the keymap, the two
// envelopes and the 16 bytes from the volume point count to the fadeout.
void read_instrument_body(ModuleStream& stream, Instrument& instrument) {
  std::uint8_t body[96 + 48 + 48 + 16];
  read_bytes(stream, body, sizeof body);
  std::memcpy(instrument.keymap, body, 96);
  read_envelope(body + 96, instrument.volume_envelope);
  read_envelope(body + 144, instrument.panning_envelope);
  const std::uint8_t* fields = body + 192;
  // Only twelve points are stored; a larger count uses those twelve.
  instrument.volume_points = std::min<std::uint8_t>(fields[0], envelope_point_limit);
  instrument.panning_points = std::min<std::uint8_t>(fields[1], envelope_point_limit);
  instrument.volume_sustain = fields[2];
  instrument.volume_loop_start = fields[3];
  instrument.volume_loop_end = fields[4];
  instrument.panning_sustain = fields[5];
  instrument.panning_loop_start = fields[6];
  instrument.panning_loop_end = fields[7];
  instrument.volume_type = fields[8];
  instrument.panning_type = fields[9];
  instrument.vibrato_type = fields[10];
  instrument.vibrato_sweep = fields[11];
  instrument.vibrato_depth = fields[12];
  instrument.vibrato_rate = fields[13];
  instrument.fadeout = static_cast<std::uint16_t>(u16_at(fields + 14) * 2u);
  if (fields[0] < 2) {
    instrument.volume_type = 0;
  }
  if (fields[1] < 2) {
    instrument.panning_type = 0;
  }
}

// The loop made to fit a sample of the given (new) length: a loop that
// runs past the end is cut at the end; one that starts at or past it is no
// loop.
void fit_loop(Sample& sample) {
  if (static_cast<std::uint64_t>(sample.loop_start) + sample.loop_length > sample.length) {
    sample.loop_length = sample.loop_start < sample.length ? sample.length - sample.loop_start : 0;
  }
  if (sample.loop_length == 0 || sample.loop_type == loop_none) {
    sample.loop_start = 0;
    sample.loop_length = sample.length;
    sample.loop_type = loop_none;
  }
}

// One 40-byte sample header, with the loop normalised into frames.
void read_sample_header(ModuleStream& stream, Sample& sample) {
  std::uint8_t header[17];
  read_bytes(stream, header, 17);
  music_file_seek(stream.file, sample_header_bytes - 17, 1);
  sample.length = u32_at(header);
  sample.loop_start = u32_at(header + 4);
  sample.loop_length = u32_at(header + 8);
  sample.volume = header[12];
  sample.finetune = static_cast<std::int8_t>(header[13]);
  const std::uint8_t type = header[14];
  sample.panning = header[15];
  sample.relative_note = static_cast<std::int8_t>(header[16]);

  sample.loop_type = loop_none;
  sample.bits = 8;
  if ((type & 0x01) != 0) {
    sample.loop_type = loop_forward;
  }
  if ((type & 0x02) != 0) {
    sample.loop_type = loop_ping_pong;
  }
  if ((type & 0x10) != 0) {
    sample.bits = 16;
  }
  if (sample.loop_type == loop_none) {
    sample.loop_start = 0;
    sample.loop_length = sample.length;
  }
  if (sample.bits == 16) {
    sample.length >>= 1;
    sample.loop_start >>= 1;
    sample.loop_length >>= 1;
  }
  fit_loop(sample);
}

std::size_t data_bytes(const Sample& sample) {
  return static_cast<std::size_t>(sample.length) * 2 + 16;  // 8 spare frames
}

// The data block has one frame more in front: data[-1], always 0.
std::int16_t* allocate_sample_data(const Sample& sample) {
  auto* block = static_cast<std::int16_t*>(music_allocate(data_bytes(sample) + 2, 1));
  return block == nullptr ? nullptr : block + 1;
}

void release_sample_data(std::int16_t* data) {
  if (data != nullptr) {
    music_release(data - 1);
  }
}

// Reads, widens and delta-decodes one sample's data into its 16-bit frames,
// then writes the guard frame that follows the loop end. Frames the file
// lacks are silent: zero after decoding. Such a silent tail is kept when it
// is no longer than the file has bytes; a longer one, which only a damaged
// header can declare, is cut off, with the loop fitted to what remains.
LoadResult read_sample_data(ModuleStream& stream, Sample& sample) {
  const std::uint32_t bytes_per_frame = sample.bits / 8;
  const std::int64_t available = std::max<std::int64_t>(0, bytes_left(stream)) / bytes_per_frame;
  const auto present = static_cast<std::uint32_t>(std::min<std::int64_t>(sample.length, available));
  const bool cut = present < sample.length;
  if (cut) {
    stream.missing.samples += 1;
    stream.missing.sample_frames += sample.length - present;
    if (static_cast<std::int64_t>(sample.length - present) > stream.size) {
      sample.length = present;
      fit_loop(sample);
    }
  }
  if (sample.length == 0) {
    stream.short_read = true;
    return load_ok;
  }
  sample.data = allocate_sample_data(sample);
  if (sample.data == nullptr) {
    return load_out_of_memory;
  }
  std::int16_t* frames = sample.data;
  if (sample.bits == 8) {
    auto* scratch = static_cast<std::uint8_t*>(music_allocate(std::max<std::uint32_t>(present, 1), 1));
    if (scratch == nullptr) {
      return load_out_of_memory;
    }
    read_bytes(stream, scratch, static_cast<std::int32_t>(present));
    for (std::uint32_t k = 0; k < present; ++k) {
      frames[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(scratch[k] << 8));
    }
    music_release(scratch);
    sample.bits = 16;
  } else {
    read_bytes(stream, frames, static_cast<std::int32_t>(2 * present));
    // Little-endian bytes to frames, in place: frame k is made from its own
    // two bytes only.
    auto* bytes = reinterpret_cast<std::uint8_t*>(frames);
    for (std::uint32_t k = 0; k < present; ++k) {
      frames[k] = static_cast<std::int16_t>(u16_at(bytes + 2 * static_cast<std::size_t>(k)));
    }
  }
  if (cut) {
    stream.short_read = true;  // whatever follows is missing too
  }
  std::uint16_t previous = 0;
  for (std::uint32_t k = 0; k < present; ++k) {
    previous = static_cast<std::uint16_t>(previous + static_cast<std::uint16_t>(frames[k]));
    frames[k] = static_cast<std::int16_t>(previous);
  }
  const std::uint32_t loop_end = sample.loop_start + sample.loop_length;  // at most length
  frames[loop_end] = sample.loop_type == loop_ping_pong ? frames[loop_end - 1] : frames[sample.loop_start];
  return load_ok;
}

LoadResult read_instrument(ModuleStream& stream, Instrument& instrument) {
  std::fill(std::begin(instrument.samples), std::end(instrument.samples), &empty_sample);
  if (bytes_left(stream) <= 0) {
    // The file ends before this instrument: it has no samples.
    stream.short_read = true;
    stream.missing.instruments += 1;
    return load_ok;
  }
  const std::int64_t start = music_file_tell(stream.file);
  std::uint8_t size_bytes[4];
  read_bytes(stream, size_bytes, 4);
  const std::uint32_t header_size = u32_at(size_bytes);
  music_file_seek(stream.file, 23, 1);
  std::uint8_t count_bytes[2];
  read_bytes(stream, count_bytes, 2);
  const std::uint16_t sample_count = u16_at(count_bytes);
  if (stream.short_read) {
    stream.missing.instruments += 1;  // its header is cut short
    return load_ok;
  }
  if (sample_count > samples_per_instrument) {
    return load_too_many_samples;
  }
  if (sample_count == 0) {
    seek_to(stream, start + header_size);
    return load_ok;
  }
  std::uint8_t ignored[4];  // the sample header size: 40 is assumed
  read_bytes(stream, ignored, 4);
  read_instrument_body(stream, instrument);
  if (stream.short_read) {
    // The header is cut short: the instrument and its samples are missing.
    instrument = Instrument{};
    std::fill(std::begin(instrument.samples), std::end(instrument.samples), &empty_sample);
    stream.missing.instruments += 1;
    stream.missing.samples += sample_count;
    return load_ok;
  }
  seek_to(stream, start + header_size);

  for (std::uint16_t s = 0; s < sample_count; ++s) {
    if (bytes_left(stream) <= 0) {
      // The file ends before this sample's header: it and the ones after
      // it are missing; the slots keep empty_sample.
      stream.short_read = true;
      stream.missing.samples += sample_count - s;
      break;
    }
    auto* sample = allocate_records<Sample>(1);
    if (sample == nullptr) {
      return load_out_of_memory;
    }
    read_sample_header(stream, *sample);
    if (stream.short_read) {
      // This header is cut short: the sample is missing with the rest.
      music_release(sample);
      stream.missing.samples += sample_count - s;
      break;
    }
    instrument.samples[s] = sample;
    instrument.sample_count = s + 1;
  }
  for (std::int32_t s = 0; s < instrument.sample_count; ++s) {
    if (instrument.samples[s]->length > 0) {
      const LoadResult result = read_sample_data(stream, *instrument.samples[s]);
      if (result != load_ok) {
        return result;
      }
    }
  }
  return load_ok;
}

LoadResult read_module_parts(Song* song, ModuleStream& stream) {
  MusicFile* const file = stream.file;
  music_file_seek(file, 0, 2);
  stream.size = music_file_tell(file);

  music_file_seek(file, 0, 0);
  char id[module_id_length];
  read_bytes(stream, id, module_id_length);
  if (std::memcmp(id, module_id, module_id_length) != 0) {
    return load_not_module;
  }
  song->tick_handler = song_tick;
  song->initial_global_volume = 64;

  music_file_seek(file, 60, 0);
  std::uint8_t header[4 + 6 + 2 + 264];
  read_bytes(stream, header, sizeof header);
  if (stream.short_read) {
    return load_truncated;  // the module header is cut short
  }
  const std::uint32_t header_size = u32_at(header);
  std::int16_t song_length = static_cast<std::int16_t>(u16_at(header + 4));
  song->restart_position = static_cast<std::int16_t>(u16_at(header + 6));
  song->channel_count = static_cast<std::int16_t>(u16_at(header + 8));
  const std::uint16_t stored_patterns = u16_at(header + 10);
  song->instrument_count = static_cast<std::int16_t>(u16_at(header + 12));
  song->flags = u16_at(header + 14);
  song->default_tempo = static_cast<std::int16_t>(u16_at(header + 16));
  song->default_bpm = static_cast<std::int16_t>(u16_at(header + 18));
  std::memcpy(song->order_table, header + 20, 256);
  if (song->channel_count < 0 || song->channel_count > max_channels) {
    return load_bad_header;
  }
  // The order table has 256 entries, and a song plays at least one order.
  song->song_length = std::clamp<std::int16_t>(song_length, 1, 256);
  seek_to(stream, 60 + static_cast<std::int64_t>(header_size));

  std::int32_t highest = 0;
  for (std::int32_t k = 0; k < song->song_length; ++k) {
    highest = std::max<std::int32_t>(highest, song->order_table[k]);
  }
  song->used_pattern_count = highest + 1;
  song->pattern_count = std::max<std::int32_t>(stored_patterns, song->used_pattern_count);
  const LoadResult patterns = read_patterns(song, stream, stored_patterns);
  if (patterns != load_ok) {
    return patterns;
  }

  if (song->instrument_count <= 0) {
    return load_ok;
  }
  song->instruments = allocate_records<Instrument>(static_cast<std::size_t>(song->instrument_count));
  if (song->instruments == nullptr) {
    return load_out_of_memory;
  }
  for (std::int32_t i = 0; i < song->instrument_count; ++i) {
    const LoadResult instrument = read_instrument(stream, song->instruments[i]);
    if (instrument != load_ok) {
      return instrument;
    }
  }
  return load_ok;
}

// Releases a sample that no voice of the output may play any more. Called
// with that output's thread kept out (its chunk_lock held).
void release_sample(SoundOutput& output, Sample* sample) {
  if (sample == nullptr || sample == &empty_sample) {
    return;
  }
  if (output.voice_table != nullptr) {
    for (int v = 0; v < voice_count; ++v) {
      if (output.voice_table[v].sample == sample) {
        output.voice_table[v].sample = nullptr;
      }
    }
  }
  release_sample_data(sample->data);
  music_release(sample);
}

}  // namespace

const char* load_result_text(LoadResult result) {
  switch (result) {
    case load_ok:
      return "loaded";
    case load_cannot_open:
      return "cannot open the file";
    case load_not_module:
      return "not an Extended Module (XM) file";
    case load_truncated:
      return "the module header is cut short";
    case load_bad_header:
      return "the module header is damaged";
    case load_too_many_samples:
      return "an instrument has more than 16 samples";
    case load_out_of_memory:
      return "not enough memory to load the module";
  }
  return "unknown error";
}

bool read_module(Song* song, MusicFile* file) {
  ModuleStream stream = {file, 0, false, {}};
  stream.missing.first_pattern = -1;
  last_load_result = read_module_parts(song, stream);
  last_load_missing = stream.missing;
  return last_load_result == load_ok;
}

Song* load_song(const char* name) {
  void* block = music_allocate(1, sizeof(Song));
  if (block == nullptr) {
    last_load_result = load_out_of_memory;
    return nullptr;
  }
  Song* song = new (block) Song{};
  song->next = song->prev = song;
  MusicFile* file = music_file_open(name);
  if (file == nullptr) {
    music_release(song);
    last_load_result = load_cannot_open;
    return nullptr;
  }
  const bool loaded = read_module(song, file);
  music_file_close(file);
  if (!loaded) {
    free_song(song);
    return nullptr;
  }
  return song;
}

bool free_song(Song* song) {
  if (song == nullptr) {
    return false;
  }
  // Voices of the output the song played on may still hold its samples.
  SoundOutput& output = song->output != nullptr ? *song->output : *current_output;
  stop_song(song);
  std::lock_guard<std::mutex> hold(output.chunk_lock);
  if (song->instruments != nullptr) {
    for (std::int32_t i = 0; i < song->instrument_count; ++i) {
      Instrument& instrument = song->instruments[i];
      for (std::int32_t s = 0; s < instrument.sample_count; ++s) {
        release_sample(output, instrument.samples[s]);
      }
    }
    music_release(song->instruments);
  }
  if (song->patterns != nullptr) {
    for (std::int32_t p = 0; p < song->pattern_count; ++p) {
      music_release(song->patterns[p].cells);
    }
    music_release(song->patterns);
  }
  music_release(song);
  return true;
}

void free_sample(Sample* sample) {
  if (sample == nullptr) {
    return;
  }
  SoundOutput& output = *current_output;
  std::lock_guard<std::mutex> hold(output.chunk_lock);
  release_sample(output, sample);
}
