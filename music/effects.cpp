// The pattern effects and the volume column. Every effect has a tick-0
// half, run from process_row once per row, and a later-tick half, run from
// process_tick on every other tick of the row; each half is one small
// function, found through a table indexed by the effect number (the
// extended effects Exy by x, the volume column by its high digit).
//
// Units: periods as in the sequencer (64 linear units per semitone),
// volumes 0..64, panning 0..255. Output thread only.
#include <algorithm>
#include <cmath>

#include "music/internal.h"

namespace {

// Everything one effect half may read or change.
struct EffectCall {
  Song* song;
  Channel& channel;
  const Cell& cell;
  const Instrument& instrument;
  Sample* sample;
  RowState* row;                // tick 0 only
  const ChannelCopies* copies;  // tick 0 only
};

using EffectHalf = void (*)(EffectCall& call);

std::uint8_t high(std::uint8_t parameter) { return parameter >> 4; }
std::uint8_t low(std::uint8_t parameter) { return parameter & 0x0F; }

constexpr std::uint8_t clear_start = static_cast<std::uint8_t>(~START_SAMPLE);
constexpr std::uint8_t clear_frequency = static_cast<std::uint8_t>(~UPDATE_FREQUENCY);
constexpr std::uint8_t note_delay_bits = UPDATE_FREQUENCY | UPDATE_VOLUME | UPDATE_PANNING | START_SAMPLE;

// Periods are moved in wide arithmetic and kept within +-2^24, far outside
// anything audible, so that no slide running for hours can overflow.
constexpr std::int64_t period_limit = std::int64_t{1} << 24;
void move_period(Channel& channel, std::int64_t change) {
  channel.period =
      static_cast<std::int32_t>(std::clamp<std::int64_t>(channel.period + change, -period_limit, period_limit));
}

void add_volume(Channel& channel, std::int32_t change) {
  channel.volume = std::clamp(channel.volume + change, 0, 64);
  channel.update_flags |= UPDATE_VOLUME;
}

void add_panning(Channel& channel, std::int32_t change) {
  channel.panning = std::clamp(channel.panning + change, 0, 255);
  channel.update_flags |= UPDATE_PANNING;
}

// The volume slide of effects 5, 6 and A: an up value wins over a down value.
void volume_slide(Channel& channel) {
  const std::uint8_t x = high(channel.volume_slide);
  const std::uint8_t y = low(channel.volume_slide);
  if (x != 0) {
    add_volume(channel, x);
  } else if (y != 0) {
    add_volume(channel, -y);
  } else {
    channel.update_flags |= UPDATE_VOLUME;
  }
}

// vib_position steps as an 8-bit value and stays within -32..31.
void advance_vibrato(Channel& channel) {
  auto position = static_cast<std::int8_t>(static_cast<std::uint8_t>(channel.vib_position + channel.vib_speed));
  if (position > 31) {
    position = static_cast<std::int8_t>(position - 64);
  }
  channel.vib_position = position;
}

// ---------------------------------------------------------------------------
// The first tick of a row.

void nothing(EffectCall&) {}

void portamento_up_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.portamento_up_speed = call.cell.parameter;
  }
}

void portamento_down_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.portamento_down_speed = call.cell.parameter;
  }
}

void tone_portamento_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.portamento_speed = call.cell.parameter;
  }
  call.channel.portamento_target = call.channel.note_period;
  call.channel.update_flags &= clear_frequency & clear_start;
}

void vibrato_0(EffectCall& call) {
  if (high(call.cell.parameter) != 0) {
    call.channel.vib_speed = high(call.cell.parameter);
  }
  if (low(call.cell.parameter) != 0) {
    call.channel.vib_depth = low(call.cell.parameter);
  }
  apply_vibrato(call.channel);
}

void tone_portamento_volume_slide_0(EffectCall& call) {
  call.channel.portamento_target = call.channel.note_period;
  if (call.cell.parameter != 0) {
    call.channel.volume_slide = call.cell.parameter;
  }
  call.channel.update_flags &= clear_frequency & clear_start;
}

void vibrato_volume_slide_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.volume_slide = call.cell.parameter;
  }
  apply_vibrato(call.channel);
}

void set_panning_0(EffectCall& call) {
  call.channel.panning = call.cell.parameter;
  call.channel.update_flags |= UPDATE_PANNING;
}

// The offset is in units of 256 frames. One at or past the loop end
// silences the channel; otherwise the voice's next start begins there.
void sample_offset_0(EffectCall& call) {
  Channel& channel = call.channel;
  if (call.cell.parameter != 0) {
    channel.sample_offset = call.cell.parameter;
  }
  const auto offset = static_cast<std::uint32_t>(channel.sample_offset) * 256u;
  if (static_cast<std::uint64_t>(offset) >=
      static_cast<std::uint64_t>(call.sample->loop_start) + call.sample->loop_length) {
    channel.update_flags = static_cast<std::uint8_t>((channel.update_flags & clear_start) | STOP_VOICE);
  } else if (channel.voice != nullptr) {
    channel.voice->start_offset = offset;
  }
}

void volume_slide_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.volume_slide = call.cell.parameter;
  }
}

// B and D take effect at the next row; a too large order wraps to 0.
void position_jump_0(EffectCall& call) {
  Song* song = call.song;
  song->next_row = 0;
  song->next_order = call.cell.parameter < song->song_length ? call.cell.parameter : 0;
  call.row->jumped = true;
}

void set_volume_0(EffectCall& call) {
  call.channel.volume = std::min<std::int32_t>(call.cell.parameter, 64);
  call.channel.update_flags |= UPDATE_VOLUME;
}

void pattern_break_0(EffectCall& call) {
  Song* song = call.song;
  const std::int32_t row = 10 * high(call.cell.parameter) + low(call.cell.parameter);
  song->next_row = row > 63 ? 0 : row;
  if (!call.row->jumped) {
    song->next_order = song->order.load(std::memory_order_relaxed) + 1;
  }
  if (song->next_order >= song->song_length) {
    song->next_order = 0;
  }
}

void set_speed_0(EffectCall& call) {
  if (call.cell.parameter < 32) {
    call.song->tempo = call.cell.parameter;
  } else {
    set_song_bpm(call.song, call.cell.parameter);
  }
}

void global_volume_0(EffectCall& call) {
  call.song->global_volume = std::min<std::int32_t>(call.cell.parameter, 64);
  call.channel.update_flags |= UPDATE_VOLUME;
}

void global_volume_slide_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.song->global_volume_slide = call.cell.parameter;
  }
}

// L: moves the volume envelope to tick xx, between the points around it.
// Sustain and loop are not consulted, and the panning envelope stays.
void envelope_position_0(EffectCall& call) {
  const Instrument& instrument = call.instrument;
  if ((instrument.volume_type & 1) == 0 || instrument.volume_points == 0) {
    return;
  }
  Channel& channel = call.channel;
  const std::int32_t target = call.cell.parameter;
  const std::int32_t n = instrument.volume_points;
  const EnvelopePoint* points = instrument.volume_envelope;
  std::int32_t j = 0;
  while (j < n - 1 && target > points[j + 1].x) {
    ++j;
  }
  if (j == n - 1) {
    channel.envelope_volume = points[n - 1].y;
    channel.volume_envelope_done = 1;
    channel.volume_envelope_point = j;
    return;
  }
  channel.volume_envelope_done = 0;
  channel.volume_envelope_tick = target;
  const std::int64_t width = points[j + 1].x - points[j].x;
  const std::int64_t step = width == 0 ? 0 : (std::int64_t{points[j + 1].y} - points[j].y) * 65536 / width;
  channel.volume_envelope_step = static_cast<std::int32_t>(step);
  const std::int64_t value =
      std::int64_t{points[j].y} * 65536 + (target - points[j].x) * std::int64_t{channel.volume_envelope_step};
  channel.volume_envelope_value = static_cast<std::int32_t>(value);
  channel.volume_envelope_point = j + 1;
  channel.envelope_volume = channel.volume_envelope_value >> 16;
}

void panning_slide_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.panning_slide = call.cell.parameter;
    call.channel.update_flags |= UPDATE_PANNING;
  }
}

void multi_retrigger_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.retrigger_action = high(call.cell.parameter);
    call.channel.retrigger_interval = low(call.cell.parameter);
  }
}

void tremor_0(EffectCall& call) {
  if (call.cell.parameter != 0) {
    call.channel.tremor_on_ticks = static_cast<std::uint8_t>(high(call.cell.parameter) + 1);
    call.channel.tremor_off_ticks = static_cast<std::uint8_t>(low(call.cell.parameter) + 1);
  }
  tremor_step(call.channel);
}

void extra_fine_portamento_0(EffectCall& call) {
  Channel& channel = call.channel;
  const std::uint8_t y = low(call.cell.parameter);
  if (high(call.cell.parameter) == 1) {
    if (y != 0) {
      channel.extra_fine_up_speed = y;
    }
    move_period(channel, -channel.extra_fine_up_speed);
  } else if (high(call.cell.parameter) == 2) {
    if (y != 0) {
      channel.extra_fine_down_speed = y;
    }
    move_period(channel, channel.extra_fine_down_speed);
  }
}

// The extended effects Exy on the first tick, by x.

void fine_portamento_up_0(EffectCall& call) { move_period(call.channel, -4 * low(call.cell.parameter)); }

void fine_portamento_down_0(EffectCall& call) { move_period(call.channel, 4 * low(call.cell.parameter)); }

void vibrato_waveform_0(EffectCall& call) {
  call.channel.waveform_control =
      static_cast<std::uint8_t>((call.channel.waveform_control & 0xF0) | low(call.cell.parameter));
}

// Changes the Sample itself, for every later note of it; the shared
// placeholder sample is left alone.
void set_finetune_0(EffectCall& call) {
  if (call.sample != &empty_sample) {
    call.sample->finetune = static_cast<std::int8_t>(low(call.cell.parameter));
  }
}

// E60 marks the loop start; E6y plays the rows from there y + 1 times.
void pattern_loop_0(EffectCall& call) {
  Channel& channel = call.channel;
  const std::uint8_t y = low(call.cell.parameter);
  if (y == 0) {
    channel.loop_row = call.song->row.load(std::memory_order_relaxed);
    return;
  }
  channel.loop_counter = channel.loop_counter == 0 ? y : channel.loop_counter - 1;
  if (channel.loop_counter != 0) {
    call.row->loop_target = channel.loop_row;
  }
}

void coarse_panning_0(EffectCall& call) {
  call.channel.panning = 16 * low(call.cell.parameter);
  call.channel.update_flags |= UPDATE_PANNING;
}

void fine_volume_up_0(EffectCall& call) {
  if (low(call.cell.parameter) != 0) {
    call.channel.fine_volume_slide = low(call.cell.parameter);
  }
  add_volume(call.channel, call.channel.fine_volume_slide);
}

void fine_volume_down_0(EffectCall& call) {
  if (low(call.cell.parameter) != 0) {
    call.channel.fine_volume_slide = low(call.cell.parameter);
  }
  add_volume(call.channel, -call.channel.fine_volume_slide);
}

// The Cell's note and instrument have been read; the old sound goes on
// until the delayed tick, and only its frequency is sent meanwhile.
void note_delay_0(EffectCall& call) {
  Channel& channel = call.channel;
  channel.volume = call.copies->volume;
  channel.period = call.copies->period;
  channel.panning = call.copies->panning;
  channel.update_flags &= static_cast<std::uint8_t>(~note_delay_bits);
}

void pattern_delay_0(EffectCall& call) { call.song->pattern_delay_ticks = low(call.cell.parameter) * call.song->tempo; }

constexpr EffectHalf extended_tick_zero[16] = {
    nothing,
    fine_portamento_up_0,
    fine_portamento_down_0,
    nothing,
    vibrato_waveform_0,
    set_finetune_0,
    pattern_loop_0,
    nothing,
    coarse_panning_0,
    nothing,
    fine_volume_up_0,
    fine_volume_down_0,
    nothing,
    note_delay_0,
    pattern_delay_0,
    nothing,
};

void extended_0(EffectCall& call) { extended_tick_zero[high(call.cell.parameter)](call); }

// Effects 0..F, then G = 0x10 up to X = 0x21.
constexpr EffectHalf tick_zero_effects[0x22] = {
    nothing,                         // 0 arpeggio
    portamento_up_0,                 // 1
    portamento_down_0,               // 2
    tone_portamento_0,               // 3
    vibrato_0,                       // 4
    tone_portamento_volume_slide_0,  // 5
    vibrato_volume_slide_0,          // 6
    nothing,                         // 7
    set_panning_0,                   // 8
    sample_offset_0,                 // 9
    volume_slide_0,                  // A
    position_jump_0,                 // B
    set_volume_0,                    // C
    pattern_break_0,                 // D
    extended_0,                      // E
    set_speed_0,                     // F
    global_volume_0,                 // G
    global_volume_slide_0,           // H
    nothing,
    nothing,              // I, J
    nothing,              // K: the key-off is taken in process_row
    envelope_position_0,  // L
    nothing,
    nothing,
    nothing,            // M, N, O
    panning_slide_0,    // P
    nothing,            // Q
    multi_retrigger_0,  // R
    nothing,            // S
    tremor_0,           // T
    nothing,
    nothing,
    nothing,                  // U, V, W
    extra_fine_portamento_0,  // X
};
static_assert(sizeof tick_zero_effects / sizeof tick_zero_effects[0] == 0x22);

// ---------------------------------------------------------------------------
// The later ticks of a row.

// Arpeggio: 0, x and y semitones on ticks that are 0, 1 and 2 modulo 3.
void arpeggio(EffectCall& call) {
  if (call.cell.parameter == 0) {
    return;
  }
  Channel& channel = call.channel;
  const std::int32_t phase = call.song->tick % 3;
  const std::int32_t offset = phase == 0 ? 0 : phase == 1 ? high(call.cell.parameter) : low(call.cell.parameter);
  if (linear_frequencies(call.song)) {
    channel.period_delta = 64 * offset;
  } else {
    channel.period_delta = amiga_period(channel.real_note + offset, call.sample->finetune) -
                           amiga_period(channel.real_note, call.sample->finetune);
  }
  channel.update_flags |= UPDATE_FREQUENCY;
}

void portamento_up(EffectCall& call) {
  Channel& channel = call.channel;
  move_period(channel, -4 * channel.portamento_up_speed);
  channel.period = std::max(channel.period, 56);
  channel.update_flags |= UPDATE_FREQUENCY;
}

void portamento_down(EffectCall& call) {
  move_period(call.channel, 4 * call.channel.portamento_down_speed);
  call.channel.update_flags |= UPDATE_FREQUENCY;
}

void tone_portamento(EffectCall& call) {
  call.channel.period_delta = 0;
  tone_portamento_step(call.channel);
}

void vibrato(EffectCall& call) {
  apply_vibrato(call.channel);
  advance_vibrato(call.channel);
}

void tone_portamento_volume_slide(EffectCall& call) {
  tone_portamento(call);
  volume_slide(call.channel);
}

void vibrato_volume_slide(EffectCall& call) {
  vibrato(call);
  volume_slide(call.channel);
}

void volume_slide_later(EffectCall& call) { volume_slide(call.channel); }

void global_volume_slide(EffectCall& call) {
  Song* song = call.song;
  const std::uint8_t x = high(song->global_volume_slide);
  const std::uint8_t y = low(song->global_volume_slide);
  if (x != 0) {
    song->global_volume = std::min(song->global_volume + x, 64);
  } else if (y != 0) {
    song->global_volume = std::max(song->global_volume - y, 0);
  }
}

void panning_slide(EffectCall& call) {
  Channel& channel = call.channel;
  const std::uint8_t x = high(channel.panning_slide);
  const std::uint8_t y = low(channel.panning_slide);
  if (x != 0) {
    channel.panning = std::min(channel.panning + x, 255);
  } else if (y != 0) {
    channel.panning = std::max(channel.panning - y, 0);
  }
  channel.update_flags |= UPDATE_PANNING;
}

// The volume change of each retrigger action 0..15 (-1 for the three that
// scale it).
constexpr std::int8_t retrigger_change[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};

void multi_retrigger(EffectCall& call) {
  Channel& channel = call.channel;
  if (channel.retrigger_interval == 0 || call.song->tick % channel.retrigger_interval != 0) {
    return;
  }
  const std::uint8_t action = channel.retrigger_action & 0x0F;
  if (action != 0 && action != 8) {
    std::int32_t volume = channel.volume;
    switch (action) {
      case 6:
        volume = volume * 2 / 3;
        break;
      case 7:
        volume >>= 1;
        break;
      case 14:
        volume = volume * 3 / 2;
        break;
      case 15:
        volume *= 2;
        break;
      default:
        volume += retrigger_change[action];
        break;
    }
    channel.volume = std::clamp(volume, 0, 64);
  }
  if (action != 0) {
    channel.update_flags |= UPDATE_VOLUME;
  }
  channel.update_flags |= START_SAMPLE;
}

void tremor(EffectCall& call) { tremor_step(call.channel); }

// The extended effects on later ticks, by x.

void retrigger(EffectCall& call) {
  const std::uint8_t y = low(call.cell.parameter);
  if (y != 0 && call.song->tick % y == 0) {
    call.channel.update_flags |= START_SAMPLE | UPDATE_VOLUME | UPDATE_FREQUENCY;
  }
}

void note_cut(EffectCall& call) {
  if (call.song->tick == low(call.cell.parameter)) {
    call.channel.volume = 0;
    call.channel.update_flags |= UPDATE_VOLUME;
  }
}

void note_delay(EffectCall& call) {
  Channel& channel = call.channel;
  if (call.song->tick != low(call.cell.parameter)) {
    channel.update_flags &= static_cast<std::uint8_t>(~note_delay_bits);
    return;
  }
  trigger_instrument(channel, *call.sample);
  channel.period = channel.note_period;
  channel.update_flags |= UPDATE_FREQUENCY;
  if (call.cell.volume_column != 0) {
    apply_volume_column(channel, call.cell.volume_column);
  }
  channel.update_flags |= START_SAMPLE;
}

constexpr EffectHalf extended_later[16] = {
    nothing, nothing,   nothing, nothing, nothing,  nothing,    nothing, nothing,
    nothing, retrigger, nothing, nothing, note_cut, note_delay, nothing, nothing,
};

void extended(EffectCall& call) { extended_later[high(call.cell.parameter)](call); }

constexpr EffectHalf later_effects[0x22] = {
    arpeggio,                      // 0
    portamento_up,                 // 1
    portamento_down,               // 2
    tone_portamento,               // 3
    vibrato,                       // 4
    tone_portamento_volume_slide,  // 5
    vibrato_volume_slide,          // 6
    nothing,
    nothing,
    nothing,             // 7, 8, 9
    volume_slide_later,  // A
    nothing,
    nothing,
    nothing,   // B, C, D
    extended,  // E
    nothing,
    nothing,              // F, G
    global_volume_slide,  // H
    nothing,
    nothing,
    nothing,
    nothing,  // I, J, K, L
    nothing,
    nothing,
    nothing,          // M, N, O
    panning_slide,    // P
    nothing,          // Q
    multi_retrigger,  // R
    nothing,          // S
    tremor,           // T
    nothing,
    nothing,
    nothing,
    nothing,  // U, V, W, X (nothing after tick 0)
};
static_assert(sizeof later_effects / sizeof later_effects[0] == 0x22);

// ---------------------------------------------------------------------------
// The volume column, by its high digit.

using ColumnHalf = void (*)(Channel& channel, std::uint8_t y);

void column_nothing(Channel&, std::uint8_t) {}

// 0x10..0x50 set the volume 0..64; 0x51..0x5F do nothing.
void column_set_volume(Channel& channel, std::uint8_t y) {
  (void)y;
  channel.update_flags |= UPDATE_VOLUME;
}

void column_slide_down(Channel& channel, std::uint8_t y) { add_volume(channel, -y); }
void column_slide_up(Channel& channel, std::uint8_t y) { add_volume(channel, y); }
void column_vibrato_speed(Channel& channel, std::uint8_t y) { channel.vib_speed = y; }
void column_vibrato_depth(Channel& channel, std::uint8_t y) { channel.vib_depth = y; }

void column_vibrato(Channel& channel, std::uint8_t y) {
  channel.vib_depth = y;
  apply_vibrato(channel);
  advance_vibrato(channel);
}

void column_set_panning(Channel& channel, std::uint8_t y) {
  channel.panning = 16 * y;
  channel.update_flags |= UPDATE_PANNING;
}

void column_panning_left(Channel& channel, std::uint8_t y) { add_panning(channel, -y); }
void column_panning_right(Channel& channel, std::uint8_t y) { add_panning(channel, y); }

// Unlike effects 3 and 5 this does not hold the note back: with a note in
// the Cell the period has already moved to it.
void column_tone_portamento_0(Channel& channel, std::uint8_t y) {
  if (y != 0) {
    channel.portamento_speed = static_cast<std::uint8_t>(16 * y);
  }
  channel.portamento_target = channel.note_period;
  channel.update_flags &= clear_start;
}

void column_tone_portamento(Channel& channel, std::uint8_t) { tone_portamento_step(channel); }

constexpr ColumnHalf column_tick_zero[16] = {
    column_nothing,     column_set_volume,   column_set_volume,    column_set_volume,
    column_set_volume,  column_set_volume,   column_slide_down,    column_slide_up,
    column_slide_down,  column_slide_up,     column_vibrato_speed, column_vibrato_depth,
    column_set_panning, column_panning_left, column_panning_right, column_tone_portamento_0,
};

constexpr ColumnHalf column_later[16] = {
    column_nothing, column_nothing,      column_nothing,       column_nothing,
    column_nothing, column_nothing,      column_slide_down,    column_slide_up,
    column_nothing, column_nothing,      column_nothing,       column_vibrato,
    column_nothing, column_panning_left, column_panning_right, column_tone_portamento,
};

}  // namespace

void apply_tick_zero_effect(Song* song, Channel& channel, const Cell& cell, const Instrument& instrument,
                            Sample* sample, RowState& row, const ChannelCopies& copies) {
  EffectCall call = {song, channel, cell, instrument, sample, &row, &copies};
  if (cell.effect < 0x22) {
    tick_zero_effects[cell.effect](call);
  }
}

void apply_volume_column(Channel& channel, std::uint8_t column) {
  if (column >= 0x10 && column <= 0x50) {
    channel.volume = column - 0x10;
  } else if (column > 0x50 && column < 0x60) {
    return;
  }
  column_tick_zero[column >> 4](channel, low(column));
}

void apply_later_tick_effect(Song* song, Channel& channel, const Cell& cell, const Instrument& instrument,
                             Sample* sample) {
  EffectCall call = {song, channel, cell, instrument, sample, nullptr, nullptr};
  if (cell.effect < 0x22) {
    later_effects[cell.effect](call);
  }
}

void apply_later_volume_column(Channel& channel, std::uint8_t column) {
  column_later[column >> 4](channel, low(column));
}

void tone_portamento_step(Channel& channel) {
  const std::int32_t speed = 4 * channel.portamento_speed;
  if (channel.period < channel.portamento_target) {
    channel.period = std::min(channel.period + speed, channel.portamento_target);
  } else if (channel.period > channel.portamento_target) {
    channel.period = std::max(channel.period - speed, channel.portamento_target);
  }
  channel.update_flags |= UPDATE_FREQUENCY;
}

// The vibrato's offset for its phase: sine (256 x |sin|, a 64-step cycle),
// ramp or square magnitude, times the depth / 32 in multiples of 4,
// negative for the first half of the cycle.
void apply_vibrato(Channel& channel) {
  const std::int32_t p = channel.vib_position;
  std::int32_t magnitude = 255;
  switch (channel.waveform_control & 3) {
    case 0:
      magnitude = static_cast<std::int32_t>(
          256.0 * std::fabs(std::sin(static_cast<double>(p) * static_cast<double>(0.09817475f))));
      break;
    case 1:
      magnitude = p >= 0 ? 8 * p : 255 - ((8 * p) & 255);
      break;
    default:
      break;
  }
  const std::int32_t offset = ((channel.vib_depth * magnitude) >> 5) & ~3;
  channel.period_delta = p >= 0 ? -offset : offset;
  channel.update_flags |= UPDATE_FREQUENCY;
}

void tremor_step(Channel& channel) {
  if (channel.tremor_counter >= channel.tremor_on_ticks) {
    channel.volume_delta = -channel.volume;
  }
  ++channel.tremor_counter;
  if (channel.tremor_counter == channel.tremor_on_ticks + channel.tremor_off_ticks) {
    channel.tremor_counter = 0;
  }
  channel.update_flags |= UPDATE_VOLUME;
}
