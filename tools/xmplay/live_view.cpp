#include "tools/xmplay/live_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/xmplay/player.h"

namespace {

std::string fit(std::string line, int columns) {
  if (static_cast<int>(line.size()) > columns) {
    line.resize(static_cast<std::size_t>(std::max(columns, 0)));
  }
  return line;
}

std::string format(const char* pattern, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

const char* const key_help[] = {
    "space      pause / play",
    "Left Right previous / next order",
    "Up Down    4 orders on / back",
    "+ -        volume up / down 1 dB",
    "1..9 0     mute / unmute channel 1..10 of the bank",
    "Tab        next bank of ten channels (11..20, ...)",
    "u          unmute every channel",
    "n p        next / previous file",
    "q Esc      stop",
    "?          these keys / the channels",
};

}  // namespace

std::string note_name(int note) {
  if (note == 97) {
    return "===";
  }
  if (note < 1 || note > 96) {
    return "...";
  }
  static const char* const names[] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
  return names[(note - 1) % 12] + std::to_string((note - 1) / 12);
}

std::vector<std::string> view_lines(const ViewFacts& facts, int columns, int rows) {
  std::vector<std::string> lines;
  const std::string position = facts.file_count > 1 ? format("  [%d/%d]", facts.file_index, facts.file_count) : "";
  lines.push_back(facts.title + position);
  std::string length = "?:??";
  if (facts.length_seconds >= 0.0) {
    length = (facts.length_complete ? "" : "> ") + clock_text(facts.length_seconds);
  }
  std::string pass;
  if (facts.passes != 1) {
    pass = facts.passes == 0 ? format("  pass %d", facts.pass) : format("  pass %d/%d", facts.pass, facts.passes);
  }
  lines.push_back(format("order %3d/%d  pattern %3d  row %3d/%d   ", facts.order, facts.order_count, facts.pattern,
                         facts.row, facts.rows) +
                  clock_text(facts.seconds) + " / " + length + pass);
  lines.push_back(
      format("tempo %2d  bpm %3d  volume %+.0f dB  stereo %d%%  ", facts.tempo, facts.bpm, facts.gain_db,
             facts.stereo_percent) +
      (facts.paused ? "PAUSED" : "playing") +
      (facts.bank > 0 ? format("  keys 1-0: channels %d-%d", facts.bank * 10 + 1, facts.bank * 10 + 10) : ""));
  const int room = std::max(0, rows - 1 - static_cast<int>(lines.size()) - 1);
  if (facts.help) {
    for (const char* line : key_help) {
      if (static_cast<int>(lines.size()) >= rows - 2) {
        break;
      }
      lines.push_back(std::string("  ") + line);
    }
  } else {
    const int channel_count = static_cast<int>(facts.channels.size());
    const int shown = channel_count <= room ? channel_count : std::max(0, room - 1);
    const int bar_width = std::clamp(columns - 16, 0, 48);
    for (int k = 0; k < shown; ++k) {
      const ChannelFacts& channel = facts.channels[static_cast<std::size_t>(k)];
      std::string line = format("%3d ", k + 1);
      if (channel.muted) {
        line += "muted";
      } else {
        line += note_name(channel.note) + (channel.instrument > 0 ? format(" %02X ", channel.instrument) : " .. ");
        const int filled = (channel.level * bar_width + 127) / 255;
        line += std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(bar_width - filled), '.');
      }
      lines.push_back(line);
    }
    if (shown < channel_count) {
      lines.push_back(format("    and %d more channels", channel_count - shown));
    }
  }
  lines.push_back("space pause  arrows seek  +/- volume  1-0 mute  n/p file  q quit  ? keys");
  for (std::string& line : lines) {
    line = fit(line, columns);
  }
  if (static_cast<int>(lines.size()) > rows - 1) {
    lines.resize(static_cast<std::size_t>(std::max(rows - 1, 1)));
  }
  return lines;
}

std::string draw_in_place(const std::vector<std::string>& lines, int previous_count) {
  std::string text;
  if (previous_count > 0) {
    text += "\r\x1b[" + std::to_string(previous_count) + "A";
  }
  for (const std::string& line : lines) {
    text += line + "\x1b[K\n";
  }
  text += "\x1b[J";
  return text;
}

std::string erase_in_place(int previous_count) {
  return previous_count > 0 ? "\r\x1b[" + std::to_string(previous_count) + "A\x1b[J" : std::string("\r\x1b[J");
}
