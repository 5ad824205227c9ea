// The instrument's shaping of each note, on every tick: the volume and
// panning envelopes (point lists with optional sustain and loop), the
// fadeout after key-off and the automatic vibrato. Envelope values are
// 16.16 fixed point; outputs are 0..64 (panning: 32 is the centre).
// Output thread only.
#include <cmath>

#include "music/internal.h"

namespace {

constexpr float auto_vibrato_angle = 0.0245436875f;  // 2 pi / 256 as stored

// Wrap-around steps for the counters and values that a damaged envelope
// (points out of order, values beyond 64) could run without end.
std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

EnvelopeSide volume_envelope_side(Channel& channel, const Instrument& instrument) {
  return {instrument.volume_envelope,
          instrument.volume_points,
          instrument.volume_type,
          instrument.volume_sustain,
          instrument.volume_loop_start,
          instrument.volume_loop_end,
          &channel.volume_envelope_tick,
          &channel.volume_envelope_point,
          &channel.volume_envelope_value,
          &channel.envelope_volume,
          &channel.volume_envelope_step,
          &channel.volume_envelope_done,
          UPDATE_VOLUME};
}

EnvelopeSide panning_envelope_side(Channel& channel, const Instrument& instrument) {
  return {instrument.panning_envelope,
          instrument.panning_points,
          instrument.panning_type,
          instrument.panning_sustain,
          instrument.panning_loop_start,
          instrument.panning_loop_end,
          &channel.panning_envelope_tick,
          &channel.panning_envelope_point,
          &channel.panning_envelope_value,
          &channel.envelope_panning,
          &channel.panning_envelope_step,
          &channel.panning_envelope_done,
          UPDATE_PANNING};
}

// One tick of an envelope. On reaching a point: a loop end goes back to
// the loop start (tested first, so a loop keeps running after key-off), the
// last point ends the envelope, a sustain point holds it while the key is
// down, and any other point starts the segment to the next one. A loop
// whose start index is not among the points is not taken; a sustain index
// beyond them never holds.
void envelope_step(Channel& channel, const EnvelopeSide& envelope) {
  const std::int32_t n = envelope.point_count;
  std::int32_t& i = *envelope.point;
  std::int32_t& t = *envelope.tick;
  if (i >= 0 && i < n && envelope.points[i].x == t) {
    if ((envelope.type & 4) != 0 && i == envelope.loop_end && envelope.loop_start < n) {
      i = envelope.loop_start;
      t = envelope.points[i].x;
    }
    const std::int32_t j = i;
    const EnvelopePoint& reached = envelope.points[j];
    if (j == n - 1) {
      *envelope.output = reached.y;
      *envelope.done = 1;
      channel.update_flags |= envelope.update_bit;
      return;
    }
    if ((envelope.type & 2) != 0 && j == envelope.sustain && channel.key_released == 0) {
      *envelope.output = reached.y;
      channel.update_flags |= envelope.update_bit;
      return;
    }
    const EnvelopePoint& next = envelope.points[j + 1];
    const std::int64_t width = std::int64_t{next.x} - reached.x;
    const std::int64_t rise = (std::int64_t{next.y} - reached.y) * 65536;
    *envelope.step = width == 0 ? 0 : static_cast<std::int32_t>(rise / width);
    *envelope.value = static_cast<std::int32_t>(std::int64_t{reached.y} * 65536);
    i = j + 1;
  } else if (i >= 0 && i < n) {
    *envelope.value = wrapping_add(*envelope.value, *envelope.step);
  }
  *envelope.output = *envelope.value >> 16;
  t = wrapping_add(t, 1);
  channel.update_flags |= envelope.update_bit;
}

void run_envelopes(Channel& channel, const Instrument& instrument, bool tick_zero) {
  if ((instrument.volume_type & 1) != 0) {
    if (channel.volume_envelope_done == 0) {
      envelope_step(channel, volume_envelope_side(channel, instrument));
    }
  } else if (tick_zero && channel.key_released != 0) {
    channel.envelope_volume = 0;  // a key-off cuts an instrument without a volume envelope
  }
  if ((instrument.panning_type & 1) != 0 && channel.panning_envelope_done == 0) {
    envelope_step(channel, panning_envelope_side(channel, instrument));
  }
  if (channel.key_released != 0) {
    channel.fadeout_volume =
        channel.fadeout_volume > instrument.fadeout ? channel.fadeout_volume - instrument.fadeout : 0;
    channel.update_flags |= UPDATE_VOLUME;
  }
}

// Adds the instrument's vibrato to period_delta, after the effects: sine,
// square, falling or rising saw over a 256-step phase, at depth / 64 period
// units, growing from nothing over the sweep's ticks after a trigger.
// Waveforms above 3, which valid instruments do not have, add nothing.
void apply_auto_vibrato(Channel& channel, const Instrument& instrument) {
  const std::int32_t p = channel.auto_vibrato_position;
  std::int32_t wave = 0;
  if (instrument.vibrato_depth != 0) {
    switch (instrument.vibrato_type) {
      case 0:
        wave = static_cast<std::int32_t>(64.0 *
                                         std::sin(static_cast<double>(p) * static_cast<double>(auto_vibrato_angle)));
        break;
      case 1:
        wave = p < 128 ? 64 : -64;
        break;
      case 2:
        wave = (128 - (p + 128) % 256) >> 1;
        break;
      case 3:
        wave = (128 - (384 - p) % 256) >> 1;
        break;
      default:
        break;
    }
  }
  std::int32_t depth = instrument.vibrato_depth * wave;
  if (instrument.vibrato_sweep != 0) {
    depth = channel.auto_vibrato_ticks * depth / instrument.vibrato_sweep;
  }
  channel.period_delta += depth >> 6;
  if (channel.auto_vibrato_ticks < instrument.vibrato_sweep) {
    ++channel.auto_vibrato_ticks;
  }
  channel.auto_vibrato_position += instrument.vibrato_rate;
  if (channel.auto_vibrato_position > 255) {
    channel.auto_vibrato_position -= 256;
  }
  channel.update_flags |= UPDATE_FREQUENCY;
}
