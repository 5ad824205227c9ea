#include "tools/song/sounds.h"

XmSample make_sample(const std::string& name, const Wave& wave, double peak, bool sixteen_bit,
                     std::int8_t relative_note) {
  XmSample sample;
  sample.name = name;
  sample.frames = to_frames(wave, peak);
  sample.sixteen_bit = sixteen_bit;
  sample.relative_note = relative_note;
  return sample;
}

XmInstrument single_sample_instrument(const std::string& name, XmSample sample) {
  XmInstrument instrument;
  instrument.name = name;
  instrument.samples.push_back(std::move(sample));
  instrument.keymap.fill(0);
  return instrument;
}

XmEnvelope make_envelope(std::initializer_list<XmEnvelopePoint> points, std::uint8_t type, std::uint8_t sustain,
                         std::uint8_t loop_start, std::uint8_t loop_end) {
  XmEnvelope envelope;
  envelope.points = points;
  envelope.type = type;
  envelope.sustain = sustain;
  envelope.loop_start = loop_start;
  envelope.loop_end = loop_end;
  return envelope;
}
