// The file-access wrappers and the memory file over the song image.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "assets/assets.h"
#include "demo/memfile.h"
#include "music/internal.h"

namespace {

constexpr std::int32_t image_size = 431134;

struct MemfileTest : ::testing::Test {
  void SetUp() override { memfile_open("tolvanes.xm"); }
};

TEST_F(MemfileTest, OpenRewindsAndReportsTheWholeImage) {
  std::vector<std::uint8_t> buffer(100);
  memfile_read(buffer.data(), 50, 0);
  EXPECT_EQ(memfile_open("anything"), 1u);
  EXPECT_EQ(memfile_tell(0), 0);
  EXPECT_EQ(memfile_size, image_size);
}

TEST_F(MemfileTest, ReadsCopyFromTheImageAndStopAtItsEnd) {
  std::vector<std::uint8_t> buffer(100, 0xEE);
  EXPECT_EQ(memfile_read(buffer.data(), 17, 0), 17);
  EXPECT_EQ(memfile_tell(0), 17);
  EXPECT_EQ(std::memcmp(buffer.data(), embedded_module, 17), 0);
  EXPECT_EQ(buffer[17], 0xEE);

  memfile_seek(0, image_size - 34, 0);
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  EXPECT_EQ(memfile_read(buffer.data(), 100, 0), 34);
  EXPECT_EQ(std::memcmp(buffer.data(), embedded_module + image_size - 34, 34), 0);
  EXPECT_EQ(buffer[34], 0xEE);
  EXPECT_EQ(memfile_tell(0), image_size);

  std::fill(buffer.begin(), buffer.end(), 0xEE);
  EXPECT_EQ(memfile_read(buffer.data(), 100, 0), 0);
  EXPECT_EQ(buffer[0], 0xEE);
}

TEST_F(MemfileTest, NegativeOrHugeCountsCopyNothingOutsideTheImage) {
  std::uint8_t byte = 0xEE;
  EXPECT_EQ(memfile_read(&byte, -5, 0), 0);
  EXPECT_EQ(memfile_tell(0), 0);
  memfile_seek(0, image_size - 1, 0);
  std::vector<std::uint8_t> buffer(4, 0xEE);
  EXPECT_EQ(memfile_read(buffer.data(), INT32_MAX, 0), 1);
  EXPECT_EQ(memfile_tell(0), image_size);
}

TEST_F(MemfileTest, SeeksClampAtTheEndInEveryMode) {
  memfile_seek(0, image_size + 1000, 0);
  EXPECT_EQ(memfile_tell(0), image_size);
  memfile_seek(0, image_size - 14, 0);
  memfile_seek(0, 23, 1);
  EXPECT_EQ(memfile_tell(0), image_size);
  memfile_seek(0, INT32_MAX, 1);
  EXPECT_EQ(memfile_tell(0), image_size);
  memfile_seek(0, 0, 2);
  EXPECT_EQ(memfile_tell(0), image_size);
  memfile_seek(0, image_size, 2);
  EXPECT_EQ(memfile_tell(0), 0);
  memfile_seek(0, 100, 2);
  EXPECT_EQ(memfile_tell(0), image_size - 100);
  // Only the low 8 bits of the mode count: 0x100 is mode 0.
  memfile_seek(0, 5, static_cast<std::uint8_t>(0x100 + 0));
  EXPECT_EQ(memfile_tell(0), 5);
}

TEST_F(MemfileTest, NoSeekGoesBeforeTheStart) {
  memfile_seek(0, -10, 0);
  EXPECT_EQ(memfile_tell(0), 0);
  memfile_seek(0, 3, 0);
  memfile_seek(0, -10, 1);
  EXPECT_EQ(memfile_tell(0), 0);
  memfile_seek(0, image_size + 10, 2);
  EXPECT_EQ(memfile_tell(0), 0);
  memfile_seek(0, -10, 2);
  EXPECT_EQ(memfile_tell(0), image_size);
  std::uint8_t byte = 0;
  memfile_seek(0, -1, 0);
  EXPECT_EQ(memfile_read(&byte, 1, 0), 1);
  EXPECT_EQ(byte, embedded_module[0]);
}

// Callbacks that record what the wrappers pass them.
struct Recorded {
  std::vector<std::string> calls;
  std::uint32_t open_result = 42;
};
Recorded recorded;

std::uint32_t record_open(const char* name) {
  recorded.calls.push_back(std::string("open ") + name);
  return recorded.open_result;
}
void record_close(std::uint32_t handle) { recorded.calls.push_back("close " + std::to_string(handle)); }
std::int32_t record_read(void*, std::int32_t count, std::uint32_t handle) {
  recorded.calls.push_back("read " + std::to_string(count) + " " + std::to_string(handle));
  return count - 1;
}
void record_seek(std::uint32_t handle, std::int32_t offset, std::uint8_t mode) {
  recorded.calls.push_back("seek " + std::to_string(handle) + " " + std::to_string(offset) + " " +
                           std::to_string(mode));
}
std::int32_t record_tell(std::uint32_t handle) {
  recorded.calls.push_back("tell " + std::to_string(handle));
  return 99;
}

struct WrapperTest : ::testing::Test {
  void SetUp() override {
    recorded = {};
    set_music_file_callbacks(record_open, record_close, record_read, record_seek, record_tell);
  }
  void TearDown() override { set_music_file_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr); }
};

TEST_F(WrapperTest, PassTheHandleInEachCallbacksArgumentOrder) {
  const std::int64_t blocks = music_blocks_in_use.load();
  MusicFile* file = music_file_open("song.xm");
  ASSERT_NE(file, nullptr);
  std::uint8_t buffer[8];
  EXPECT_EQ(music_file_read(buffer, 8, file), 7);
  music_file_seek(file, -3, 1);
  EXPECT_EQ(music_file_tell(file), 99);
  music_file_close(file);
  EXPECT_EQ(recorded.calls,
            (std::vector<std::string>{"open song.xm", "read 8 42", "seek 42 -3 1", "tell 42", "close 42"}));
  EXPECT_EQ(music_blocks_in_use.load(), blocks);
}

TEST_F(WrapperTest, AFailedOpenLeavesNothingAllocated) {
  recorded.open_result = 0;
  const std::int64_t blocks = music_blocks_in_use.load();
  EXPECT_EQ(music_file_open("song.xm"), nullptr);
  EXPECT_EQ(music_blocks_in_use.load(), blocks);
}

TEST_F(WrapperTest, NullFilesDoNothing) {
  std::uint8_t byte = 0;
  EXPECT_EQ(music_file_read(&byte, 1, nullptr), 0);
  EXPECT_EQ(music_file_tell(nullptr), 0);
  music_file_seek(nullptr, 1, 0);
  music_file_close(nullptr);
  EXPECT_TRUE(recorded.calls.empty());
}

TEST_F(WrapperTest, RegisteringWithAnyNullCallbackClearsAllFive) {
  set_music_file_callbacks(record_open, record_close, record_read, nullptr, record_tell);
  EXPECT_EQ(music_file_callbacks.open, nullptr);
  EXPECT_EQ(music_file_callbacks.close, nullptr);
  EXPECT_EQ(music_file_callbacks.read, nullptr);
  EXPECT_EQ(music_file_callbacks.seek, nullptr);
  EXPECT_EQ(music_file_callbacks.tell, nullptr);
}

}  // namespace
