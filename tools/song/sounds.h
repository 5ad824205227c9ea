// The instruments of the song, each made by code from nothing but
// arithmetic: the sound recipes (drums, basses, pads, leads, effects) and
// the instrument settings that go with them (envelopes, fadeout,
// auto-vibrato, default volume and panning).
#pragma once

#include <cstdint>
#include <string>

#include "tools/song/synth_wave.h"
#include "tools/xm/xm_module.h"

// A sample from a finished wave, scaled to peak (a share of full scale).
XmSample make_sample(const std::string& name, const Wave& wave, double peak, bool sixteen_bit,
                     std::int8_t relative_note);
// An instrument that plays one sample on every note.
XmInstrument single_sample_instrument(const std::string& name, XmSample sample);
// An envelope from (tick, value) pairs.
XmEnvelope make_envelope(std::initializer_list<XmEnvelopePoint> points, std::uint8_t type, std::uint8_t sustain = 0,
                         std::uint8_t loop_start = 0, std::uint8_t loop_end = 0);

// Drums: one-shot samples tuned to sound as made at C-5 (the perc kit maps
// its three samples to C-4, C-5 and C-6 and up).
XmInstrument make_kick();
XmInstrument make_snare();
XmInstrument make_clap();
XmInstrument make_closed_hat();
XmInstrument make_open_hat();
XmInstrument make_perc_kit();
XmInstrument make_tom();
// frames: the length of the cymbal's sample, which takes up whatever room
// the module has left (its tail is cut with a fade to fit).
XmInstrument make_crash(std::uint32_t frames);

// Basses, looped; the volume envelope shapes each note.
XmInstrument make_sub_bass();
XmInstrument make_acid_bass();
XmInstrument make_reese_bass();

// Pads, looped.
XmInstrument make_strings();
XmInstrument make_choir();
XmInstrument make_flute();
XmInstrument make_drone();

// Leads and stabs.
XmInstrument make_square_lead();
XmInstrument make_pluck();
XmInstrument make_bell();
XmInstrument make_stab();

// Effects.
XmInstrument make_impact();
XmInstrument make_riser();
