// What the headless backend's files share: the script, the call log and
// the virtual clock.
#pragma once

#include <cstdint>
#include <string>

#include "headless/headless.h"

// The script of the run; read and written on the main thread only.
HeadlessScript& script();

// The number of frames presented so far; the frame being prepared is this + 1.
std::uint32_t presented_frames();

// Appends a line to the call log when the script asks for one. Safe on any thread.
void log_call(const std::string& line);
void log_message_box(const std::string& text);

// Resets each file's own state; called by headless_configure.
void reset_display();
void reset_wave();

// Called by the primary surface's BltFast once a frame has been copied to
// it: hands out the frame's sound, advances the clock by one frame, lets
// the output thread catch up and hands the frame to the sink.
void frame_presented(const std::uint16_t* pixels);

// The wave device's part of a presented frame: hands the sound played
// during the frame to the audio sink, then advances the clock by one frame
// and lets the output thread catch up.
void wave_frame_passed();

// Whether Escape is held by headless_hold_escape.
bool escape_held();
