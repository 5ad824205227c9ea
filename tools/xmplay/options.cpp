#include "tools/xmplay/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

enum class Name {
  help,
  version,
  info,
  verbose,
  quiet,
  loop,
  shuffle,
  wav,
  raw,
  timeline,
  seconds,
  repeat,
  repeat_song,
  start,
  gain,
  rate,
  stereo,
  mute,
  solo
};

struct OptionEntry {
  const char* long_name;
  char short_name;  // 0: none
  bool takes_value;
  Name name;
};

const OptionEntry option_table[] = {
    {"help", 'h', false, Name::help},
    {"version", 'V', false, Name::version},
    {"info", 'i', false, Name::info},
    {"verbose", 'v', false, Name::verbose},
    {"quiet", 'q', false, Name::quiet},
    {"loop", 'l', false, Name::loop},
    {"shuffle", 'z', false, Name::shuffle},
    {"wav", 'w', true, Name::wav},
    {"raw", 0, true, Name::raw},
    {"timeline", 0, true, Name::timeline},
    {"seconds", 't', true, Name::seconds},
    {"repeat", 0, true, Name::repeat},
    {"repeat-song", 0, true, Name::repeat_song},
    {"start", 's', true, Name::start},
    {"gain", 'g', true, Name::gain},
    {"rate", 'r', true, Name::rate},
    {"stereo", 0, true, Name::stereo},
    {"mute", 'm', true, Name::mute},
    {"solo", 0, true, Name::solo},
};

bool whole_number(const std::string& text, long low, long high, long& value) {
  if (text.empty()) {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool real_number(const std::string& text, double low, double high, double& value) {
  if (text.empty()) {
    return false;
  }
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(value) && value >= low && value <= high;
}

// "1,3,5-7": channels counted from 1, given back from 0.
bool channel_list(const std::string& text, std::vector<int>& channels) {
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string part = text.substr(at, comma - at);
    const std::size_t dash = part.find('-');
    long first = 0;
    long last = 0;
    if (dash == std::string::npos) {
      if (!whole_number(part, 1, 256, first)) {
        return false;
      }
      last = first;
    } else if (!whole_number(part.substr(0, dash), 1, 256, first) ||
               !whole_number(part.substr(dash + 1), first, 256, last)) {
      return false;
    }
    for (long c = first; c <= last; ++c) {
      channels.push_back(static_cast<int>(c - 1));
    }
    at = comma + 1;
  }
  return !channels.empty();
}

std::string shown(const OptionEntry& entry) { return std::string("--") + entry.long_name; }

bool apply(const OptionEntry& entry, const std::string& value, Options& options, std::vector<int>& solo,
           std::string& error) {
  long number = 0;
  const auto bad = [&](const std::string& what) {
    error = shown(entry) + ": '" + value + "' is not " + what;
    return false;
  };
  switch (entry.name) {
    case Name::help:
      options.help = true;
      return true;
    case Name::version:
      options.version = true;
      return true;
    case Name::info:
      options.info = true;
      return true;
    case Name::verbose:
      options.verbose = true;
      return true;
    case Name::quiet:
      options.quiet = true;
      return true;
    case Name::loop:
      options.song_passes = 0;
      return true;
    case Name::shuffle:
      options.shuffle = true;
      return true;
    case Name::wav:
      options.wav = value;
      return true;
    case Name::raw:
      options.raw = value;
      return true;
    case Name::timeline:
      options.timeline = value;
      return true;
    case Name::seconds:
      return real_number(value, 0.0, 86400.0, options.seconds) || bad("a number of seconds from 0 to 86400");
    case Name::repeat:
      if (!whole_number(value, 0, 1000000, number)) {
        return bad("a count from 0 (for ever) up");
      }
      options.list_passes = static_cast<std::int32_t>(number);
      return true;
    case Name::repeat_song:
      if (!whole_number(value, 0, 1000000, number)) {
        return bad("a count from 0 (for ever) up");
      }
      options.song_passes = static_cast<std::int32_t>(number);
      return true;
    case Name::start:
      if (!whole_number(value, 0, 255, number)) {
        return bad("an order from 0 to 255");
      }
      options.start_order = static_cast<std::int32_t>(number);
      return true;
    case Name::gain:
      return real_number(value, -60.0, 24.0, options.gain_db) || bad("a gain in dB from -60 to 24");
    case Name::rate:
      if (!whole_number(value, 8000, 192000, number)) {
        return bad("a rate in Hz from 8000 to 192000");
      }
      options.rate = static_cast<std::int32_t>(number);
      return true;
    case Name::stereo:
      if (!whole_number(value, 0, 100, number)) {
        return bad("a percentage from 0 to 100");
      }
      options.stereo_percent = static_cast<std::int32_t>(number);
      return true;
    case Name::mute:
      return channel_list(value, options.muted) || bad("a list of channels such as 1,3,5-7 (1 to 256)");
    case Name::solo:
      return channel_list(value, solo) || bad("a list of channels such as 1,3,5-7 (1 to 256)");
  }
  return false;
}

bool check(Options& options, const std::vector<int>& solo, std::string& error) {
  if (options.help || options.version) {
    return true;
  }
  if (!solo.empty()) {
    for (int c = 0; c < 256; ++c) {
      if (std::find(solo.begin(), solo.end(), c) == solo.end()) {
        options.muted.push_back(c);
      }
    }
  }
  const bool rendering = !options.wav.empty() || !options.raw.empty();
  if (options.files.empty()) {
    error = "no module given";
  } else if (!options.wav.empty() && !options.raw.empty()) {
    error = "--wav and --raw cannot be given together";
  } else if (options.info && rendering) {
    error = "--info cannot be given with --" + std::string(options.wav.empty() ? "raw" : "wav");
  } else if (rendering && options.files.size() > 1) {
    error = "--" + std::string(options.wav.empty() ? "raw" : "wav") + " renders one module, not " +
            std::to_string(options.files.size());
  } else if (!options.timeline.empty() && !rendering) {
    error = "--timeline goes with --wav or --raw";
  } else if (rendering && options.song_passes == 0 && options.seconds < 0.0 &&
             (options.wav.empty() ? options.raw : options.wav) != "-") {
    error = "--loop never ends: give --seconds, or write to standard output (-)";
  } else {
    return true;
  }
  return false;
}

}  // namespace

bool parse_options(const std::vector<std::string>& arguments, Options& options, std::string& error) {
  std::vector<int> solo;
  bool only_files = false;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const std::string& argument = arguments[k];
    if (only_files || argument == "-" || argument.empty() || argument[0] != '-') {
      options.files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      only_files = true;
      continue;
    }
    if (argument[1] == '-') {
      const std::size_t equals = argument.find('=');
      const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      const OptionEntry* entry = nullptr;
      for (const OptionEntry& candidate : option_table) {
        if (name == candidate.long_name) {
          entry = &candidate;
        }
      }
      if (entry == nullptr) {
        error = "unknown option '--" + name + "'";
        return false;
      }
      std::string value;
      if (!entry->takes_value) {
        if (equals != std::string::npos) {
          error = shown(*entry) + " takes no value";
          return false;
        }
      } else if (equals != std::string::npos) {
        value = argument.substr(equals + 1);
      } else if (k + 1 < arguments.size()) {
        value = arguments[++k];
      } else {
        error = shown(*entry) + " needs a value";
        return false;
      }
      if (!apply(*entry, value, options, solo, error)) {
        return false;
      }
      continue;
    }
    // Short options, bundled; one that takes a value takes the rest of the
    // argument, or the next one.
    for (std::size_t at = 1; at < argument.size(); ++at) {
      const OptionEntry* entry = nullptr;
      for (const OptionEntry& candidate : option_table) {
        if (candidate.short_name == argument[at]) {
          entry = &candidate;
        }
      }
      if (entry == nullptr) {
        error = std::string("unknown option '-") + argument[at] + "'";
        return false;
      }
      std::string value;
      if (entry->takes_value) {
        if (at + 1 < argument.size()) {
          value = argument.substr(at + 1);
        } else if (k + 1 < arguments.size()) {
          value = arguments[++k];
        } else {
          error = shown(*entry) + " needs a value";
          return false;
        }
        at = argument.size();
      }
      if (!apply(*entry, value, options, solo, error)) {
        return false;
      }
    }
  }
  return check(options, solo, error);
}

std::string usage_text() {
  return "Usage: xmplay [OPTION]... FILE.xm...\n"
         "Plays Extended Module (XM) files, one after another, or renders one to a WAV file.\n"
         "FILE may be - for standard input.\n"
         "\n"
         "Playing:\n"
         "  -l, --loop              play each song for ever (same as --repeat-song 0)\n"
         "      --repeat-song N     play each song N times (0: for ever)\n"
         "      --repeat N          play the list N times (0: for ever)\n"
         "  -z, --shuffle           play the files in random order\n"
         "  -s, --start ORDER       start at this order (from 0)\n"
         "  -t, --seconds S         stop each song after S seconds\n"
         "  -g, --gain DB           volume in dB, -60 to 24 (default 0)\n"
         "  -r, --rate HZ           output rate, 8000 to 192000 (default 44100)\n"
         "      --stereo PERCENT    stereo width, 0 (mono) to 100 (default 100)\n"
         "  -m, --mute LIST         mute channels, e.g. 1,3,5-7\n"
         "      --solo LIST         mute every channel but these\n"
         "  -q, --quiet             print nothing but errors\n"
         "\n"
         "Rendering (one file):\n"
         "  -w, --wav FILE          write 16-bit stereo WAV (- for standard output)\n"
         "      --raw FILE          write headerless 16-bit little-endian stereo\n"
         "      --timeline FILE     with --wav or --raw: the frame where each row begins\n"
         "\n"
         "Information:\n"
         "  -i, --info              print the module's figures and length\n"
         "  -v, --verbose           with --info: list instruments and samples too\n"
         "  -h, --help              print this help and exit\n"
         "  -V, --version           print the version and exit\n"
         "\n"
         "Keys while playing: space pause, Left/Right previous/next order, Up/Down 4 orders\n"
         "on/back, +/- volume, 1..9 0 mute channels 1..10 (Tab: next ten), u unmute all,\n"
         "n/p next/previous file, q or Escape stop, ? show the keys.\n"
         "\n"
         "Exit status: 0 played, 1 a file could not be played or written, 2 usage error.\n";
}
