// The headless backend's virtual clock: a thread's Sleep calls advance its
// own time, it never runs past the main thread's time, and the wave
// device's position follows the clock, so a run is repeatable.
#include <gtest/gtest.h>
#include <mmsystem.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "headless/headless.h"
#include "shell/shell.h"

namespace {

struct Poller {
  HWAVEOUT device = nullptr;
  std::vector<DWORD> positions;  // bytes, as each poll saw them
  std::atomic<bool> stop{false};
};

DWORD WINAPI poll_every_2_ms(LPVOID parameter) {
  auto* poller = static_cast<Poller*>(parameter);
  while (!poller->stop.load()) {
    MMTIME time = {};
    time.wType = TIME_BYTES;
    waveOutGetPosition(poller->device, &time, sizeof(time));
    poller->positions.push_back(time.u.cb);
    Sleep(2);
  }
  return 0;
}

HWAVEOUT open_device(WAVEHDR& header, std::vector<char>& ring) {
  WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  HWAVEOUT device = nullptr;
  EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  header = {};
  header.lpData = ring.data();
  header.dwBufferLength = static_cast<DWORD>(ring.size());
  header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
  header.dwLoops = 0xFFFFFFFF;
  waveOutPrepareHeader(device, &header, sizeof(header));
  waveOutWrite(device, &header, sizeof(header));
  return device;
}

void close_device(HWAVEOUT device, WAVEHDR& header) {
  waveOutReset(device);
  waveOutUnprepareHeader(device, &header, sizeof(header));
  waveOutClose(device);
}

// Runs a poller while the main thread lets `steps` times 16 ms pass, and
// returns the positions it saw.
std::vector<DWORD> positions_seen(int steps) {
  HeadlessScript script;
  script.frames_per_second = 60;
  headless_configure(script);
  std::vector<char> ring(35360);
  WAVEHDR header;
  Poller poller;
  poller.device = open_device(header, ring);
  HANDLE thread = CreateThread(nullptr, 0, poll_every_2_ms, &poller, 0, nullptr);
  for (int i = 0; i < steps; ++i) {
    headless_run_for(16);  // the main thread sleeps; the poller catches up
  }
  poller.stop.store(true);
  headless_run_for(2);  // let it see the request
  CloseHandle(thread);
  close_device(poller.device, header);
  return poller.positions;
}

TEST(VirtualClock, AThreadPollsExactlyTheTimesThatHavePassed) {
  std::vector<DWORD> seen = positions_seen(3);
  // Polls at 0, 2, ..., 48 ms: the first 48 ms, then the one that saw the stop.
  ASSERT_GE(seen.size(), 25u);
  for (std::size_t i = 0; i < 25; ++i) {
    DWORD expected = static_cast<DWORD>(i * 2 * 44100 / 1000 * 4 % 35360);
    EXPECT_EQ(seen[i], expected) << "poll " << i;
  }
}

TEST(VirtualClock, TwoRunsSeeTheSamePositions) { EXPECT_EQ(positions_seen(20), positions_seen(20)); }

TEST(VirtualClock, EachPresentedFrameHandsOnTheSoundPlayedDuringIt) {
  std::vector<std::int16_t> heard;
  std::vector<std::uint32_t> lengths;
  HeadlessScript script;
  script.frames_per_second = 60;
  script.audio_sink = [&](const std::int16_t* samples, std::uint32_t frames) {
    heard.insert(heard.end(), samples, samples + frames * 2);
    lengths.push_back(frames);
  };
  headless_configure(script);
  // A ring whose sample k holds k, so that what is heard shows where it came from.
  std::vector<char> ring(8840 * 4);
  for (std::size_t k = 0; k < ring.size() / 2; ++k) {
    auto value = static_cast<std::int16_t>(k);
    std::memcpy(&ring[k * 2], &value, 2);
  }
  WAVEHDR header;
  HWAVEOUT device = open_device(header, ring);
  create_app_window();
  open_display();
  set_display_mode(320, 200, 16);
  alloc_frame_buffer(320, 200, 16);
  for (int frame = 0; frame < 13; ++frame) {
    present_frame();
  }
  free_frame_buffer();
  close_display();
  close_device(device, header);

  // 735 sound frames per video frame at 60 per second; the 13th frame
  // wraps round the 8840-frame ring.
  EXPECT_EQ(lengths, std::vector<std::uint32_t>(13, 735));
  ASSERT_EQ(heard.size(), 13u * 735 * 2);
  for (std::size_t k = 0; k < heard.size(); ++k) {
    ASSERT_EQ(heard[k], static_cast<std::int16_t>(k % (8840 * 2))) << "sample " << k;
  }
}

}  // namespace
