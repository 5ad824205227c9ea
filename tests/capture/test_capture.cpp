// The capture's progress: the line it shows, how far into the song a
// position is, and when the program shows the line at all; and the videos
// it writes through ffmpeg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "music/music.h"
#include "tools/capture/position.h"
#include "tools/capture/progress.h"

namespace {

TEST(ProgressLine, ShowsFramesSongPositionPercentSpeedAndTimeLeft) {
  ProgressFigures figures;
  figures.frames = 1234;
  figures.position = 0x0520;
  figures.fraction = 0.25;
  figures.show_seconds = 1234 / 60.0;
  figures.elapsed_seconds = 10.0;
  // 20.6 s of show in 10 s: 2.1 times real time; a quarter done in 10 s,
  // so 30 s to go.
  EXPECT_EQ(progress_line(figures), "frame 1234  song 05:20   25%  2.1x real time  0:30 left");
}

TEST(ProgressLine, LeavesOutSpeedAndTimeUntilThereIsSomethingToGoBy) {
  ProgressFigures figures;
  figures.frames = 1;
  figures.fraction = 0.0;
  figures.show_seconds = 1 / 60.0;
  figures.elapsed_seconds = 0.01;
  EXPECT_EQ(progress_line(figures), "frame 1  song 00:00    0%");
  figures.elapsed_seconds = 0.5;  // the speed is known, the time left is not
  EXPECT_EQ(progress_line(figures), "frame 1  song 00:00    0%  0.0x real time");
}

TEST(ProgressLine, ClampsTheFractionAndDropsTheTimeLeftAtTheEnd) {
  ProgressFigures figures;
  figures.frames = 9000;
  figures.position = 0x11FF;
  figures.fraction = 1.7;
  figures.show_seconds = 150.0;
  figures.elapsed_seconds = 100.0;
  EXPECT_EQ(progress_line(figures), "frame 9000  song 11:FF  100%  1.5x real time");
  figures.fraction = -3.0;
  EXPECT_EQ(progress_line(figures).substr(0, 28), "frame 9000  song 11:FF    0%");
}

TEST(ProgressLine, ShowsHoursOfTimeLeftInMinutes) {
  ProgressFigures figures;
  figures.frames = 60;
  figures.fraction = 0.001;
  figures.show_seconds = 1.0;
  figures.elapsed_seconds = 4.0;  // 3996 s to go
  EXPECT_NE(progress_line(figures).find("66:36 left"), std::string::npos) << progress_line(figures);
}

// A song of orders playing patterns of 64, 32 and (missing) rows.
class SongFraction : public ::testing::Test {
 protected:
  void SetUp() override {
    patterns[0].rows = 64;
    patterns[1].rows = 32;
    song.patterns = patterns;
    song.pattern_count = 2;
    song.song_length = 4;
    song.order_table[0] = 0;
    song.order_table[1] = 1;
    song.order_table[2] = 0;
    song.order_table[3] = 7;  // no such pattern: an empty one of 64 rows
    demo_song = &song;
  }
  void TearDown() override { demo_song = nullptr; }

  Pattern patterns[2] = {};
  Song song{};
};

TEST_F(SongFraction, CountsRowsOfEveryOrderBefore) {
  // 64 + 32 + 64 + 64 = 224 rows in all.
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0000), 0.0);
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0020), 32.0 / 224);
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0100), 64.0 / 224);
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0110), 80.0 / 224);
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0300), 160.0 / 224);
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x033F), 223.0 / 224);
}

TEST_F(SongFraction, StaysWithinTheOrderAndTheSong) {
  // A row past the pattern's end counts as its last row; an order past the
  // song's end as the end.
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0150), 95.0 / 224);
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0900), 1.0);
}

TEST(SongFractionWithoutSong, IsZero) {
  demo_song = nullptr;
  EXPECT_DOUBLE_EQ(capture_song_fraction(0x0500), 0.0);
}

// Standard output of a shell command.
std::string command_output(const std::string& command) {
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return "(could not run)";
  }
  std::string text;
  char buffer[512];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    text.append(buffer, got);
  }
  ::pclose(pipe);
  return text;
}

// Standard error of the capture program, run through the shell.
std::string capture_stderr(const std::string& options) {
  return command_output(std::string(VORNA_CAPTURE_PROGRAM) + " --frames 30 " + options + " 2>&1 >/dev/null");
}

TEST(CaptureProgram, ShowsNoProgressLineWhenStandardErrorIsNotATerminal) {
  std::string output = capture_stderr("");
  EXPECT_EQ(output.find('\r'), std::string::npos) << output;
  EXPECT_NE(output.find("30 frames"), std::string::npos) << output;
}

TEST(CaptureProgram, ShowsTheProgressLineWhenAsked) {
  std::string output = capture_stderr("--progress");
  EXPECT_NE(output.find("\rframe 30  song "), std::string::npos) << output;
  EXPECT_NE(output.find("100%"), std::string::npos) << output;
  EXPECT_EQ(capture_stderr("--progress --no-progress").find('\r'), std::string::npos);
}

// Each quality's encoder options are taken by the ffmpeg installed here,
// and give what a player expects: H.264 in 4:2:0 at 960 x 720 with AAC sound.
TEST(CaptureProgram, WritesAVideoOfEachQualityThatPlayersTake) {
  if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0) {
    GTEST_SKIP() << "no ffmpeg";
  }
  struct Case {
    const char* quality;
    const char* frame_rate;
  };
  for (Case test : {Case{"share", "30/1"}, Case{"archive", "60/1"}}) {
    SCOPED_TRACE(test.quality);
    std::string path = ::testing::TempDir() + "capture_" + test.quality + "_" + std::to_string(::getpid()) + ".mp4";
    std::string errors = capture_stderr("--video " + path + " --video-quality " + test.quality);
    EXPECT_NE(errors.find("30 frames"), std::string::npos) << errors;
    std::string streams = command_output(
        "ffprobe -v error -show_entries stream=codec_name,pix_fmt,width,height,r_frame_rate -of "
        "compact=p=0:nk=1 " +
        path);
    EXPECT_EQ(streams, std::string("h264|960|720|yuv420p|") + test.frame_rate + "\naac|0/0\n");
    std::remove(path.c_str());
  }
}

}  // namespace
