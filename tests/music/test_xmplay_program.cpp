// The xmplay program as its users run it: options and several files from a
// shell, the sound it writes measured, and live play in a pseudo-terminal
// driven by keys (SDL's dummy driver stands in for a sound card).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "music/module_writer.h"
#include "support/shell_run.h"

#ifdef XMPLAY_PATH
namespace {

std::string temporary(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("xmplay_program_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Runs a shell command line and gives what it wrote to standard output.
ShellRun shell(const std::string& command) { return run_shell(command); }

ShellRun xmplay(const std::string& arguments) {
  return shell("SDL_AUDIODRIVER=dummy " XMPLAY_PATH " " + arguments + " 2>&1 </dev/null");
}

std::uint32_t u32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The 16-bit stereo frames after a 44-byte header.
std::vector<std::int16_t> pcm_of(const std::vector<std::uint8_t>& wav, std::size_t header = 44) {
  std::vector<std::int16_t> values((wav.size() - header) / 2);
  std::memcpy(values.data(), wav.data() + header, 2 * values.size());
  return values;
}

// Orders of two-row patterns at tempo 2: 1764 frames a row at 44100 Hz.
TestModule orders_module(int orders) {
  TestModule module = one_pattern_module(2, 2, {{{0, 0}, {49, 1, 0, 0x08, 0x10}}, {{0, 1}, {56, 1, 0, 0x08, 0xF0}}});
  module.tempo = 2;
  module.song_length = static_cast<std::uint16_t>(orders);
  module.orders.assign(static_cast<std::size_t>(orders), 0);
  return module;
}

// One channel holding C-4 on a looped sine of 32 frames a period: at 8363
// frames a second, 261.3 Hz.
TestModule sine_module() {
  TestModule module = one_pattern_module(1, 64, {{{0, 0}, {49, 1, 0, 0, 0}}});
  std::vector<std::int8_t> sine(32);
  for (std::size_t k = 0; k < sine.size(); ++k) {
    sine[k] = static_cast<std::int8_t>(std::lround(100.0 * std::sin(2.0 * M_PI * static_cast<double>(k) / 32.0)));
  }
  module.instruments[0].samples[0] = looped_sample(sine, 1, 0, 32);
  return module;
}

// The frequency of the left side, from its upward zero crossings.
double frequency(const std::vector<std::int16_t>& pcm, int rate) {
  int crossings = 0;
  std::size_t first = 0;
  std::size_t last = 0;
  for (std::size_t k = 2; k < pcm.size(); k += 2) {
    if (pcm[k - 2] < 0 && pcm[k] >= 0) {
      if (crossings == 0) {
        first = k / 2;
      }
      last = k / 2;
      ++crossings;
    }
  }
  return crossings < 2 ? 0.0 : (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

struct ModuleFiles {
  std::vector<std::string> paths;
  ~ModuleFiles() {
    for (const std::string& path : paths) {
      std::filesystem::remove(path);
    }
  }
  std::string add(const std::string& name, const TestModule& module) {
    paths.push_back(temporary(name));
    write_file(paths.back(), write_module(module));
    return paths.back();
  }
  std::string add_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    paths.push_back(temporary(name));
    write_file(paths.back(), bytes);
    return paths.back();
  }
};

TEST(XmplayProgram, HelpVersionAndUsageErrors) {
  ShellRun run = shell(XMPLAY_PATH " --help 2>/dev/null");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.output.rfind("Usage: xmplay [OPTION]... FILE.xm...\n", 0), 0u);
  EXPECT_NE(run.output.find("--repeat-song N"), std::string::npos);
  run = shell(XMPLAY_PATH " -V 2>/dev/null");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.output.rfind("xmplay 2.2", 0), 0u);
  run = xmplay("--rate 5 a.xm");
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.output,
            "xmplay: --rate: '5' is not a rate in Hz from 8000 to 192000\n"
            "Try 'xmplay --help' for more information.\n");
  run = xmplay("--frobnicate a.xm");
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.output.rfind("xmplay: unknown option '--frobnicate'\n", 0), 0u);
  EXPECT_EQ(xmplay("").code, 2);
}

// Files play in turn, one plain line each when the output is no terminal;
// one that cannot be played is reported and skipped.
TEST(XmplayProgram, SeveralFilesAndABadOneAmongThem) {
  ModuleFiles files;
  TestModule first = orders_module(2);
  first.name = "First";
  TestModule second = orders_module(3);
  second.name = "Second";
  const std::string a = files.add("a.xm", first);
  const std::string b = files.add("b.xm", second);
  const std::string bad = files.add_bytes("bad.xm", {'n', 'o', 't', '\n'});
  ShellRun run = xmplay(a + " " + b);
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(run.output, "[1/2] First (" + a + ")\n[2/2] Second (" + b + ")\n");
  run = xmplay(a + " " + bad + " " + b);
  EXPECT_EQ(run.code, 1) << "a file could not be played";
  EXPECT_EQ(run.output, "[1/3] First (" + a + ")\nxmplay: " + bad +
                            ": not an Extended Module (XM) file\n[3/3] Second (" + b + ")\n");
  run = xmplay("--repeat 2 " + a);
  EXPECT_EQ(run.output, "[1/1] First (" + a + ")\n[1/1] First (" + a + ")\n");
  run = xmplay("--shuffle " + a + " " + b);
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.output.find("First"), std::string::npos);
  EXPECT_NE(run.output.find("Second"), std::string::npos);
  run = xmplay("-q " + a + " " + bad);
  EXPECT_EQ(run.output, "xmplay: " + bad + ": not an Extended Module (XM) file\n") << "quiet but for errors";
  run = xmplay(bad + " " + bad);
  EXPECT_EQ(run.code, 1);
  // Stopping after some seconds, live.
  const auto start = std::chrono::steady_clock::now();
  run = xmplay("--loop --seconds 0.6 " + a);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.code, 0);
  EXPECT_GT(seconds, 0.6);
  EXPECT_LT(seconds, 5.0);
}

// --wav - streams a WAV that a reader of the pipe takes whole: the same
// bytes as the file; --loop to a pipe gets a header of unknown length.
TEST(XmplayProgram, WavToStandardOutputIsWhatTheFileHolds) {
  ModuleFiles files;
  const std::string path = files.add("piped.xm", orders_module(3));
  const std::string wav = temporary("piped.wav");
  ASSERT_EQ(xmplay("--wav " + wav + " " + path).code, 0);
  const std::vector<std::uint8_t> from_file = read_file(wav);
  std::filesystem::remove(wav);
  ASSERT_EQ(from_file.size(), 44u + 4 * 3 * 2 * 1764);
  const ShellRun piped = shell(XMPLAY_PATH " --wav - " + path + " | cat");
  EXPECT_EQ(piped.code, 0);
  EXPECT_EQ(std::vector<std::uint8_t>(piped.output.begin(), piped.output.end()), from_file);
  // Raw: the same frames without the header.
  const ShellRun raw = shell(XMPLAY_PATH " --raw - " + path);
  EXPECT_EQ(std::vector<std::uint8_t>(raw.output.begin(), raw.output.end()),
            std::vector<std::uint8_t>(from_file.begin() + 44, from_file.end()));
  // Endless: the reader stops after 200 KB.
  const ShellRun endless = shell(XMPLAY_PATH " --loop --wav - " + path + " | head -c 200000");
  ASSERT_EQ(endless.output.size(), 200000u);
  const std::vector<std::uint8_t> header(endless.output.begin(), endless.output.begin() + 44);
  EXPECT_EQ(u32(header, 4), 0xFFFFFFFFu);
  EXPECT_EQ(u32(header, 40), 0xFFFFFFFFu);
  EXPECT_EQ(std::memcmp(endless.output.data() + 44, from_file.data() + 44, from_file.size() - 44), 0)
      << "the first pass as ever";
}

// --rate: the length in frames of the rate, the pitch unchanged.
TEST(XmplayProgram, RateGivesTheLengthAndKeepsThePitch) {
  ModuleFiles files;
  const std::string path = files.add("sine.xm", sine_module());
  for (const int rate : {22050, 44100, 8000}) {
    const std::string wav = temporary("sine.wav");
    ASSERT_EQ(xmplay("--seconds 1 --rate " + std::to_string(rate) + " --wav " + wav + " " + path).code, 0);
    const std::vector<std::uint8_t> bytes = read_file(wav);
    std::filesystem::remove(wav);
    ASSERT_EQ(bytes.size(), 44u + 4 * static_cast<std::size_t>(rate)) << rate;
    EXPECT_EQ(u32(bytes, 24), static_cast<std::uint32_t>(rate));
    EXPECT_NEAR(frequency(pcm_of(bytes), rate), 8363.0 / 32.0, 2.0) << rate;
  }
  // One pass at 22050 Hz: half the frames of 44100 Hz.
  const std::string orders = files.add("orders.xm", orders_module(2));
  const ShellRun half = shell(XMPLAY_PATH " --rate 22050 --raw - " + orders);
  EXPECT_EQ(half.output.size(), 4u * 2 * 2 * 882);
}

TEST(XmplayProgram, StereoStartPassesAndMutes) {
  ModuleFiles files;
  const std::string path = files.add("four.xm", orders_module(4));
  const auto render = [&](const std::string& options) {
    const ShellRun run = shell(XMPLAY_PATH " " + options + " --raw - " + path);
    EXPECT_EQ(run.code, 0) << options;
    std::vector<std::int16_t> pcm(run.output.size() / 2);
    std::memcpy(pcm.data(), run.output.data(), 2 * pcm.size());
    return pcm;
  };
  const std::vector<std::int16_t> plain = render("");
  ASSERT_EQ(plain.size(), 2u * 4 * 2 * 1764);
  const std::vector<std::int16_t> mono = render("--stereo 0");
  ASSERT_EQ(mono.size(), plain.size());
  int differing = 0;
  for (std::size_t k = 0; k < plain.size(); k += 2) {
    ASSERT_EQ(mono[k], mono[k + 1]) << k;
    differing += plain[k] != plain[k + 1];
  }
  EXPECT_GT(differing, 1000) << "the song itself is panned";
  EXPECT_EQ(render("--start 1").size(), 2u * 3 * 2 * 1764);
  EXPECT_EQ(render("--start=3").size(), 2u * 1 * 2 * 1764);
  const ShellRun beyond = xmplay("--start 4 --raw /dev/null " + path);
  EXPECT_EQ(beyond.code, 1);
  EXPECT_EQ(beyond.output, "xmplay: " + path + ": no order 4 to start at: the song has orders 0 to 3\n");
  EXPECT_EQ(render("--repeat-song 2").size(), 2u * 2 * 4 * 2 * 1764);
  EXPECT_EQ(render("--loop --seconds 0.1").size(), 2u * 4410);
  // --mute 2: as if channel 2 had no notes; --solo 1 the same.
  TestModule first_only = orders_module(4);
  first_only.patterns[0].cells[1] = {};
  const std::string first_path = files.add("first.xm", first_only);
  const ShellRun reference = shell(XMPLAY_PATH " --raw - " + first_path);
  std::vector<std::int16_t> expected(reference.output.size() / 2);
  std::memcpy(expected.data(), reference.output.data(), 2 * expected.size());
  EXPECT_EQ(render("--mute 2"), expected);
  EXPECT_EQ(render("--solo 1"), expected);
  EXPECT_NE(plain, expected);
  // --gain -6: about half.
  const std::vector<std::int16_t> quieter = render("-g -6");
  for (std::size_t k = 0; k < plain.size(); ++k) {
    ASSERT_LE(std::abs(plain[k] * std::pow(10.0, -0.3) - quieter[k]), 1.0) << k;
  }
  // The same bytes run after run.
  EXPECT_EQ(render("--stereo 40 -g 3"), render("--stereo 40 -g 3"));
}

TEST(XmplayProgram, InfoVerboseListsInstrumentsAndSamples) {
  ModuleFiles files;
  TestModule module = orders_module(2);
  module.instruments.push_back(module.instruments[0]);
  module.instruments[1].samples[0].loop = 2;  // ping-pong
  const std::string path = files.add("info.xm", module);
  const ShellRun run = xmplay("--info --verbose " + path);
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.output.find("instruments  2\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\ninstrument  name"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("256 frames  loop forward   0+256"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("256 frames  loop ping-pong 0+256"), std::string::npos) << run.output;
  const ShellRun two = xmplay("--info " + path + " " + path);
  EXPECT_NE(two.output.find("file         " + path + "\n"), std::string::npos);
  EXPECT_NE(two.output.find("\n\nfile "), std::string::npos);
}

// ---------------------------------------------------------------------------
// Live play on a pseudo-terminal.

struct PtyPlayer {
  pid_t child = -1;
  int master = -1;
  int slave = -1;  // kept open here to read the terminal's settings
  std::string screen;

  void start(const std::vector<std::string>& arguments) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string name = ::ptsname(master);
    winsize size = {};
    size.ws_col = 100;
    size.ws_row = 30;
    ::ioctl(master, TIOCSWINSZ, &size);
    slave = ::open(name.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    child = ::fork();
    if (child == 0) {
      ::setsid();
      const int terminal = ::open(name.c_str(), O_RDWR);
      ::ioctl(terminal, TIOCSCTTY, 0);
      ::dup2(terminal, 0);
      ::dup2(terminal, 1);
      ::dup2(terminal, 2);
      ::setenv("SDL_AUDIODRIVER", "dummy", 1);
      ::setenv("TERM", "xterm", 1);
      std::vector<char*> argv = {const_cast<char*>("xmplay")};
      for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
      }
      argv.push_back(nullptr);
      ::execv(XMPLAY_PATH, argv.data());
      std::_Exit(127);
    }
  }

  // Reads what the program draws until the screen, from offset on, holds
  // the text (true) or the seconds pass (false).
  bool wait_for(const std::string& text, double seconds = 5.0, std::size_t offset = 0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (screen.find(text, std::min(offset, screen.size())) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= end) {
        return false;
      }
      pollfd ready = {master, POLLIN, 0};
      if (::poll(&ready, 1, 20) > 0 && (ready.revents & POLLIN) != 0) {
        char buffer[4096];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
          screen.append(buffer, static_cast<std::size_t>(got));
        }
      }
    }
    return true;
  }

  void keys(const std::string& bytes) {
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  bool running() {
    int status = 0;
    return ::waitpid(child, &status, WNOHANG) == 0;
  }

  // Waits for the program's end: its exit code, or -1 past the seconds.
  int wait_exit(double seconds = 3.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
      wait_for("\x01never", 0.02);
      if (std::chrono::steady_clock::now() >= end) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return -1;
      }
    }
    wait_for("\x01never", 0.05);
    child = -1;
    if (WIFSIGNALED(status)) {
      return 128 + WTERMSIG(status);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Whether the terminal echoes and edits lines, as a shell leaves it.
  bool terminal_cooked() {
    termios settings = {};
    ::tcgetattr(slave, &settings);
    return (settings.c_lflag & ECHO) != 0 && (settings.c_lflag & ICANON) != 0;
  }

  // The row shown in the last view drawn.
  int last_row() {
    static const std::regex row_pattern("row +([0-9]+)/");
    int row = -1;
    for (std::sregex_iterator match(screen.begin(), screen.end(), row_pattern), end; match != end; ++match) {
      row = std::stoi((*match)[1]);
    }
    return row;
  }

  ~PtyPlayer() {
    if (child > 0) {
      ::kill(child, SIGKILL);
      int status = 0;
      ::waitpid(child, &status, 0);
    }
    if (master >= 0) {
      ::close(master);
    }
    if (slave >= 0) {
      ::close(slave);
    }
  }
};

// Eight orders of 64 rows at tempo 6: 7.7 s each.
TestModule long_module() {
  TestModule module =
      one_pattern_module(12, 64, {{{0, 0}, {49, 1, 0, 0, 0}}, {{0, 1}, {61, 1, 0, 0, 0}}, {{0, 11}, {37, 1, 0, 0, 0}}});
  module.name = "Pty test";
  module.song_length = 8;
  module.orders.assign(8, 0);
  return module;
}

TEST(XmplayPty, ArrowsSeekAndQRestoresTheTerminal) {
  ModuleFiles files;
  const std::string path = files.add("pty.xm", long_module());
  PtyPlayer player;
  player.start({path});
  ASSERT_TRUE(player.wait_for("order   0/8")) << player.screen;
  EXPECT_NE(player.screen.find("Pty test"), std::string::npos);
  EXPECT_TRUE(player.wait_for("  1 C-4 01 #")) << "note, instrument and a level";
  EXPECT_TRUE(player.wait_for(" 12 C-3 01 #")) << "all twelve channels";
  EXPECT_FALSE(player.terminal_cooked()) << "keys raw while playing";
  player.keys("\x1b[C");
  EXPECT_TRUE(player.wait_for("order   1/8")) << player.screen;
  player.keys("\x1b[A");
  EXPECT_TRUE(player.wait_for("order   5/8")) << player.screen;
  player.keys("\x1bOD");
  EXPECT_TRUE(player.wait_for("order   4/8")) << player.screen;
  player.keys("\x1b[B");
  EXPECT_TRUE(player.wait_for("order   0/8")) << player.screen;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(player.running()) << "arrow keys do not quit";
  player.keys("?");
  EXPECT_TRUE(player.wait_for("q Esc      stop")) << player.screen;
  const std::size_t before_quit = player.screen.size();
  player.keys("q");
  EXPECT_EQ(player.wait_exit(), 0);
  EXPECT_TRUE(player.terminal_cooked()) << "the terminal as it was";
  EXPECT_NE(player.screen.find("[1/1] Pty test (" + path + ")", before_quit), std::string::npos) << player.screen;
  EXPECT_NE(player.screen.find("\x1b[?25h", before_quit), std::string::npos) << "the cursor shown again";
}

TEST(XmplayPty, SpacePausesAndTheMuteKeysMute) {
  ModuleFiles files;
  const std::string path = files.add("pause.xm", long_module());
  PtyPlayer player;
  player.start({path});
  ASSERT_TRUE(player.wait_for("order   0/8")) << player.screen;
  player.wait_for("\x01never", 1.0);
  EXPECT_GT(player.last_row(), 3) << "playing";
  player.keys(" ");
  ASSERT_TRUE(player.wait_for("PAUSED")) << player.screen;
  player.wait_for("\x01never", 0.5);
  const int held = player.last_row();
  player.wait_for("\x01never", 1.0);
  EXPECT_EQ(player.last_row(), held) << "the position stops";
  player.keys(" ");
  ASSERT_TRUE(player.wait_for("playing", 2.0, player.screen.size()));
  player.wait_for("\x01never", 1.0);
  EXPECT_GT(player.last_row(), held) << "and goes on";
  player.keys("2");
  EXPECT_TRUE(player.wait_for("  2 muted")) << player.screen;
  player.keys("\t2");
  EXPECT_TRUE(player.wait_for(" 12 muted")) << "Tab: channels 11..20";
  player.keys("+++");
  EXPECT_TRUE(player.wait_for("volume +3 dB")) << player.screen;
  player.keys("\x1b");
  EXPECT_EQ(player.wait_exit(), 0) << "a lone Escape stops";
  EXPECT_TRUE(player.terminal_cooked());
}

TEST(XmplayPty, SignalsRestoreTheTerminal) {
  ModuleFiles files;
  const std::string path = files.add("signal.xm", long_module());
  for (const int signal_number : {SIGTERM, SIGINT}) {
    PtyPlayer player;
    player.start({"--loop", path});
    ASSERT_TRUE(player.wait_for("order   0/8")) << player.screen;
    EXPECT_FALSE(player.terminal_cooked());
    ::kill(player.child, signal_number);
    EXPECT_EQ(player.wait_exit(), signal_number == SIGTERM ? 128 + SIGTERM : 0);
    EXPECT_TRUE(player.terminal_cooked()) << signal_number;
  }
}

// n and p move through the list; the plain line of each file stays.
TEST(XmplayPty, NextAndPreviousFiles) {
  ModuleFiles files;
  TestModule one = long_module();
  one.name = "One";
  TestModule two = long_module();
  two.name = "Two";
  const std::string a = files.add("one.xm", one);
  const std::string b = files.add("two.xm", two);
  PtyPlayer player;
  player.start({a, b});
  ASSERT_TRUE(player.wait_for("One  [1/2]")) << player.screen;
  player.keys("n");
  ASSERT_TRUE(player.wait_for("Two  [2/2]")) << player.screen;
  player.keys("p");
  ASSERT_TRUE(player.wait_for("One  [1/2]", 5.0, player.screen.find("Two  [2/2]"))) << player.screen;
  player.keys("q");
  EXPECT_EQ(player.wait_exit(), 0);
}

}  // namespace
#endif
