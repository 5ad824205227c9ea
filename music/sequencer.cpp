// The sequencer: the song's tick handler, which the output thread calls
// every samples_per_tick output frames. The first tick of a row reads the
// row's Cells and triggers notes and instruments (process_row); later ticks
// run the effects' later-tick halves (process_tick). Each channel ends its
// tick with update_voice, which sends what changed to its voice. Then the
// row and order position moves.
//
// Output thread only, except set_song_bpm, which play_song and open_output
// also call while the thread is kept out.
#include <algorithm>
#include <cstdlib>

#include "music/internal.h"

namespace {

constexpr float linear_exponent = 0.0013020834f;  // 1/768 as stored
constexpr float amiga_exponent = 0.083333336f;    // 1/12 as stored
constexpr std::int32_t amiga_clock = 14317056;

// Cell notes 1..96 are notes; 0, key-off and the values 97..254, which no
// loaded song holds, are not.
bool is_note(std::uint8_t note) { return note >= 1 && note <= 96; }

// Looks the key up in one of the output's memories of the two frequency
// tables' powers, computing and keeping the result on a miss.
template <typename Value, typename Compute>
Value remembered(PowerMemory<Value>& memory, std::int64_t key, Compute compute) {
  const std::size_t slot = static_cast<std::size_t>(static_cast<std::uint64_t>(key) % PowerMemory<Value>::size);
  if (!memory.filled[slot] || memory.keys[slot] != key) {
    memory.values[slot] = compute(key);
    memory.keys[slot] = key;
    memory.filled[slot] = true;
  }
  return memory.values[slot];
}

const Pattern& current_pattern(const Song* song) {
  return song->patterns[song->order_table[song->order.load(std::memory_order_relaxed)]];
}

std::int32_t note_period_of(const Song* song, std::uint8_t real_note, std::int8_t finetune) {
  if (linear_frequencies(song)) {
    return 7680 - 64 * real_note - finetune / 2;
  }
  return amiga_period(real_note, finetune);
}

// One channel's tick-0 work, steps 1 to 15.
void process_channel_row(Song* song, Channel& channel, const Cell& cell, RowState& row) {
  const bool portamento_row = cell.effect == 3 || cell.effect == 5;
  const bool note = is_note(cell.note);
  if (cell.instrument != 0 && !portamento_row) {
    channel.instrument_index = static_cast<std::uint8_t>(cell.instrument - 1);
  }
  if (note && !portamento_row) {
    channel.note_index = static_cast<std::uint8_t>(cell.note - 1);
  }
  const Instrument* instrument = nullptr;
  Sample* sample = nullptr;
  find_instrument_and_sample(song, channel, instrument, sample);

  const ChannelCopies copies = {channel.volume, channel.period, channel.panning};
  channel.volume_delta = 0;
  channel.update_flags = 0;
  if (note) {
    channel.real_note = static_cast<std::uint8_t>(cell.note + sample->relative_note - 1);
    channel.note_period = note_period_of(song, channel.real_note, sample->finetune);
    if (!portamento_row) {
      channel.period = channel.note_period;
    }
    channel.update_flags = START_SAMPLE;
  }
  channel.period_delta = 0;
  channel.update_flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
  if (cell.instrument != 0) {
    trigger_instrument(channel, *sample);
  }
  if (cell.volume_column != 0) {
    apply_volume_column(channel, cell.volume_column);
  }
  if (cell.note == key_off_note || cell.effect == 0x14) {
    channel.key_released = 1;
  }
  run_envelopes(channel, *instrument, true);
  apply_tick_zero_effect(song, channel, cell, *instrument, sample, row, copies);
  apply_auto_vibrato(channel, *instrument);
  update_voice(channel, sample, song);
}

void process_row_channels(Song* song, RowState& row) {
  song->next_row = -1;
  song->next_order = -1;
  row = {false, -1};
  const Cell* cells = row_cells(song);
  const Cell empty = {};
  for (std::int32_t c = 0; c < song->channel_count; ++c) {
    process_channel_row(song, song->channels[c], cells != nullptr ? cells[c] : empty, row);
  }
}

// One channel's work on a later tick of its row: the same Cell as on tick
// 0, its effect's and volume column's later-tick halves.
void process_channel_tick(Song* song, Channel& channel, const Cell& cell) {
  const Instrument* instrument = nullptr;
  Sample* sample = nullptr;
  find_instrument_and_sample(song, channel, instrument, sample);
  channel.volume_delta = 0;
  channel.period_delta = 0;
  channel.update_flags = 0;
  run_envelopes(channel, *instrument, false);
  apply_later_volume_column(channel, cell.volume_column);
  apply_later_tick_effect(song, channel, cell, *instrument, sample);
  apply_auto_vibrato(channel, *instrument);
  update_voice(channel, sample, song);
}

}  // namespace

const Cell* row_cells(const Song* song) {
  const Pattern& pattern = current_pattern(song);
  const std::int32_t row = song->row.load(std::memory_order_relaxed);
  if (row < 0 || row >= pattern.rows || row >= pattern.cell_rows || pattern.cells == nullptr) {
    return nullptr;
  }
  return pattern.cells + static_cast<std::size_t>(row) * static_cast<std::size_t>(song->channel_count);
}

void find_instrument_and_sample(const Song* song, const Channel& channel, const Instrument*& instrument,
                                Sample*& sample) {
  if (channel.instrument_index >= song->instrument_count) {
    instrument = &empty_instrument;
    sample = &empty_sample;
    return;
  }
  instrument = &song->instruments[channel.instrument_index];
  const std::uint8_t slot = channel.note_index < 96 ? instrument->keymap[channel.note_index] : 0xFF;
  sample = slot < samples_per_instrument ? instrument->samples[slot] : &empty_sample;
  if (sample == nullptr) {
    sample = &empty_sample;
  }
}

void process_row(Song* song) {
  RowState row;
  process_row_channels(song, row);
}

void process_tick(Song* song) {
  const Cell* cells = row_cells(song);
  const Cell empty = {};
  for (std::int32_t c = 0; c < song->channel_count; ++c) {
    process_channel_tick(song, song->channels[c], cells != nullptr ? cells[c] : empty);
  }
}

void song_tick(Song* song) {
  if (song->tick != 0) {
    process_tick(song);
  } else {
    if (song->next_order >= 0) {
      song->order.store(song->next_order, std::memory_order_relaxed);
    }
    if (song->next_row >= 0) {
      // A break to a row the pattern does not have starts it from the top.
      const std::int32_t row = song->next_row < current_pattern(song).rows ? song->next_row : 0;
      song->row.store(row, std::memory_order_relaxed);
    }
    RowState row;
    process_row_channels(song, row);
    if (song->next_row == -1) {
      // A pattern loop goes back by choosing the next row; the current row
      // stays as it is for the row's later ticks and for the position.
      song->next_row = row.loop_target >= 0 ? row.loop_target : song->row.load(std::memory_order_relaxed) + 1;
      if (song->next_row >= current_pattern(song).rows) {
        song->next_order = song->order.load(std::memory_order_relaxed) + 1;
        song->next_row = 0;
        if (song->next_order >= song->song_length) {
          // A restart position outside the song starts again from the top.
          const bool inside = song->restart_position >= 0 && song->restart_position < song->song_length;
          song->next_order = inside ? song->restart_position : 0;
          song->wrapped.store(1, std::memory_order_relaxed);
        }
      }
    }
  }
  ++song->tick;
  if (song->tick >= song->tempo + song->pattern_delay_ticks) {
    song->tick = 0;
    song->pattern_delay_ticks = 0;
  }
}

void trigger_instrument(Channel& channel, const Sample& sample) {
  channel.volume = sample.volume;
  channel.panning = sample.panning;
  channel.envelope_volume = 64;
  channel.volume_envelope_point = 0;
  channel.volume_envelope_tick = 0;
  channel.volume_envelope_step = 0;
  channel.envelope_panning = 32;
  channel.panning_envelope_point = 0;
  channel.panning_envelope_tick = 0;
  channel.panning_envelope_step = 0;
  channel.key_released = 0;
  channel.fadeout_volume = 65536;
  channel.volume_envelope_done = 0;
  channel.panning_envelope_done = 0;
  channel.auto_vibrato_ticks = 0;
  channel.auto_vibrato_position = 0;
  if ((channel.waveform_control & 0x0F) < 4) {
    channel.vib_position = 0;
  }
  channel.update_flags |= UPDATE_VOLUME | UPDATE_PANNING;
  channel.tremor_counter = 0;
}

// Sends what update_flags asks for. Valid songs keep the volume and both
// envelope outputs within 0..64; a damaged file can bring larger sample
// volumes or envelope points, which are taken as 64 (and below 0 as 0) so
// that the voice values stay within 0..127 and 0..256.
void update_voice(Channel& channel, Sample* sample, const Song* song) {
  if (channel.voice == nullptr) {
    return;
  }
  if (static_cast<std::int64_t>(channel.period) + channel.period_delta == 0) {
    channel.update_flags &= static_cast<std::uint8_t>(~UPDATE_FREQUENCY);
  }
  if ((channel.update_flags & START_SAMPLE) != 0) {
    const std::int32_t started = voice_start_sample(channel.voice->index, sample);
    if (started >= 0) {
      channel.voice_index = started;
    }
  }
  Voice* const voice_table = current_output->voice_table;
  if (voice_table == nullptr || channel.voice_index < 0 || channel.voice_index >= voice_count) {
    return;
  }
  Voice* voice = &voice_table[channel.voice_index];
  if ((channel.update_flags & UPDATE_VOLUME) != 0) {
    // Exact in 64 bits: at full settings the product is 2^34 and v is 127.
    const std::int64_t product = std::int64_t{std::clamp(channel.volume + channel.volume_delta, 0, 64)} *
                                 std::clamp(channel.envelope_volume, 0, 64) * channel.fadeout_volume *
                                 song->global_volume;
    voice_set_volume(voice, static_cast<std::int32_t>(product * 255 / (std::int64_t{1} << 35)));
  }
  if ((channel.update_flags & UPDATE_PANNING) != 0) {
    // The envelope swings the panning by up to 4 x (envelope - 32) at the
    // centre and not at all at the extremes; the division comes first.
    const std::int32_t swing = (128 - std::abs(channel.panning - 128)) / 32;
    voice_set_panning(voice, channel.panning + swing * (std::clamp(channel.envelope_panning, 0, 64) - 32));
  }
  if ((channel.update_flags & UPDATE_FREQUENCY) != 0) {
    voice_set_frequency(voice, note_frequency(channel, song));
  }
  if ((channel.update_flags & STOP_VOICE) != 0) {
    voice_reset(channel.voice_index);
    channel.voice->start_offset = 0;
  }
}

// Linear table: 8363 Hz at period 4608, doubling every 768 units down, with
// a positive period_delta raising the pitch. Amiga table: the clock over the
// period, with a positive period_delta lowering it. Frequencies beyond a
// signed 32-bit value are limited to it; the voice limits them further.
std::int32_t note_frequency(const Channel& channel, const Song* song) {
  const std::int64_t period = channel.period;
  const std::int64_t delta = channel.period_delta;
  if (linear_frequencies(song)) {
    return remembered(current_output->linear_powers, 4608 - period + delta, linear_frequency);
  }
  const std::int64_t divisor = period + delta;
  if (divisor == 0) {
    return 0;
  }
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(amiga_clock / divisor, INT32_MIN, INT32_MAX));
}

std::int32_t linear_frequency(std::int64_t steps) {
  // The product is rounded to double, as the formula has it; the power is
  // this player's own.
  const double exponent = static_cast<double>(steps) * static_cast<double>(linear_exponent);
  return static_cast<std::int32_t>(truncated_power(8363.0, exponent, INT32_MAX));
}

std::int64_t amiga_power(std::int64_t steps) {
  const double exponent = static_cast<double>(steps) * static_cast<double>(amiga_exponent);
  return truncated_power(13.375, exponent, amiga_power_limit);
}

// The Amiga period of a 0-based note: 1712 for note 48, 27392 for note 0;
// a finetune moves it linearly by up to one semitone.
std::int32_t amiga_period(std::int32_t note, std::int32_t finetune) {
  PowerMemory<std::int64_t>& memory = current_output->amiga_powers;
  const auto period_at = [&memory](std::int64_t steps) { return remembered(memory, steps, amiga_power); };
  const std::int64_t c = period_at(132 - std::int64_t{note});
  std::int64_t result = 0;
  if (finetune < 0 && note != 0) {
    const std::int64_t d = period_at(133 - std::int64_t{note});
    result = c + ((c - d) * -std::int64_t{finetune}) / -128;
  } else {
    const std::int64_t d = period_at(131 - std::int64_t{note});
    result = c + ((c - d) * finetune) / -128;
  }
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(result, INT32_MIN, INT32_MAX));
}

// A tick lasts 2.5 / bpm seconds, cut down to whole frames; 0.4 and 0.001
// are single-precision constants, the rest is computed in double. A BPM
// below 1 cannot be turned into a tick length and plays as 125, the usual
// default; a tick lasts at least one frame.
void set_song_bpm(Song* song, std::int32_t bpm) {
  if (bpm < 1) {
    bpm = 125;
  }
  song->bpm = bpm;
  const double frames = 1000.0 / (static_cast<double>(bpm) * static_cast<double>(0.4f)) *
                        static_cast<double>(current_output->output_rate) * static_cast<double>(0.001f);
  const auto whole = static_cast<std::int64_t>(frames);
  song->samples_per_tick = whole < 1 ? 1 : static_cast<std::int32_t>(std::min<std::int64_t>(whole, INT32_MAX));
}
