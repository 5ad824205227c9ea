// The virtual wave device and the virtual clock.
//
// Time is counted in units of 1 / (1000 x frames per second) seconds, so
// that both a video frame (1000 units) and a millisecond (fps units) are
// whole numbers. The main thread's clock advances by one frame per
// presented frame and by the length of its Sleep calls. Every thread made
// by CreateThread has a clock of its own that its Sleep calls advance; a
// Sleep that would take it past the main thread's time blocks until the
// main thread gets there. After advancing, the main thread waits until each
// such thread is blocked again, so the music thread has done exactly the
// polls that fall into the time that passed, whatever the machine's speed.
//
// The device plays its one looping buffer from the moment of waveOutWrite;
// its position at a given time is the number of frames played since then.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/threads.h"
#include "common/wave_position.h"
#include "headless/state.h"

namespace {

struct WorkerClock {
  std::uint64_t time = 0;  // in clock units
  bool blocked = false;    // waiting in Sleep for the main thread's time
};

std::mutex clock_mutex;  // guards everything in this block
std::condition_variable clock_moved;
std::uint64_t main_time = 0;
std::list<WorkerClock> worker_clocks;
int workers_starting = 0;  // created, not yet running
thread_local WorkerClock* own_clock = nullptr;

// The device. Opened, written and closed on the main thread; the position
// is asked on the music thread, under clock_mutex.
HWAVEOUT__ the_device = {};
bool device_open = false;
std::uint32_t device_rate = 44100;
std::uint32_t device_block = 4;    // bytes per frame
WAVEHDR* device_buffer = nullptr;  // the looping buffer being played, or null
std::uint64_t device_started = 0;  // clock time of waveOutWrite

std::uint64_t units_per_second() { return 1000ull * script().frames_per_second; }

// In real time the clock reads the steady clock instead.
std::chrono::steady_clock::time_point real_start = std::chrono::steady_clock::now();
std::uint64_t real_now() {
  auto elapsed = std::chrono::steady_clock::now() - real_start;
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()) *
         units_per_second() / 1000000;
}

// Frames played by the device between its start and the given time.
std::uint64_t frames_played_at(std::uint64_t time) {
  if (device_buffer == nullptr || time < device_started) {
    return 0;
  }
  return (time - device_started) * device_rate / units_per_second();
}

// Waits until every thread that keeps a clock is blocked beyond main_time
// (or has ended). Called with clock_mutex held.
void wait_for_workers(std::unique_lock<std::mutex>& lock) {
  clock_moved.wait(lock, [] {
    if (workers_starting > 0) {
      return false;
    }
    return std::all_of(worker_clocks.begin(), worker_clocks.end(),
                       [](const WorkerClock& clock) { return clock.blocked && clock.time > main_time; });
  });
}

void advance_main_clock(std::uint64_t units) {
  if (script().real_time) {
    std::this_thread::sleep_for(std::chrono::microseconds(units * 1000000 / units_per_second()));
    return;
  }
  std::unique_lock<std::mutex> lock(clock_mutex);
  wait_for_workers(lock);
  main_time += units;
  clock_moved.notify_all();
  wait_for_workers(lock);
}

}  // namespace

void backend_thread_created() {
  std::lock_guard<std::mutex> lock(clock_mutex);
  ++workers_starting;
}

void backend_thread_started() {
  std::lock_guard<std::mutex> lock(clock_mutex);
  worker_clocks.push_back(WorkerClock{main_time, false});
  own_clock = &worker_clocks.back();
  --workers_starting;
  clock_moved.notify_all();
}

void backend_thread_exiting() {
  std::lock_guard<std::mutex> lock(clock_mutex);
  for (auto it = worker_clocks.begin(); it != worker_clocks.end(); ++it) {
    if (&*it == own_clock) {
      worker_clocks.erase(it);
      break;
    }
  }
  own_clock = nullptr;
  clock_moved.notify_all();
}

void WINAPI Sleep(DWORD milliseconds) {
  if (script().real_time) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  if (!on_created_thread() || own_clock == nullptr) {
    // The main thread: time passes for everyone.
    log_call("Sleep(" + std::to_string(milliseconds) + ")");
    advance_main_clock(static_cast<std::uint64_t>(milliseconds) * script().frames_per_second);
    return;
  }
  std::unique_lock<std::mutex> lock(clock_mutex);
  own_clock->time += static_cast<std::uint64_t>(milliseconds) * script().frames_per_second;
  if (own_clock->time > main_time) {
    own_clock->blocked = true;
    clock_moved.notify_all();
    clock_moved.wait(lock, [] { return own_clock->time <= main_time; });
    own_clock->blocked = false;
  }
}

void headless_run_for(DWORD milliseconds) {
  advance_main_clock(static_cast<std::uint64_t>(milliseconds) * script().frames_per_second);
}

void wave_frame_passed() {
  if (script().real_time) {
    return;
  }
  std::unique_lock<std::mutex> lock(clock_mutex);
  wait_for_workers(lock);
  std::uint64_t from = frames_played_at(main_time);
  std::uint64_t to = frames_played_at(main_time + 1000);
  if (device_buffer == nullptr) {
    // Silence at the standard rate while no device plays.
    from = main_time * 44100 / units_per_second();
    to = (main_time + 1000) * 44100 / units_per_second();
  }
  if (script().audio_sink) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(to - from) * 2, 0);
    if (device_buffer != nullptr && device_block == 4 && device_buffer->dwBufferLength >= 4) {
      std::uint64_t loop_frames = device_buffer->dwBufferLength / 4;
      for (std::uint64_t f = from; f < to; ++f) {
        std::memcpy(&samples[static_cast<std::size_t>(f - from) * 2],
                    device_buffer->lpData + static_cast<std::size_t>(f % loop_frames) * 4, 4);
      }
    }
    lock.unlock();
    script().audio_sink(samples.data(), static_cast<std::uint32_t>(to - from));
    lock.lock();
  }
  lock.unlock();
  advance_main_clock(1000);
}

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT device, UINT device_id, LPCWAVEFORMATEX format, DWORD_PTR, DWORD_PTR,
                            DWORD flags) {
  log_call("waveOutOpen(" + std::to_string(static_cast<int>(device_id)) + ", " + std::to_string(format->wFormatTag) +
           ", " + std::to_string(format->nChannels) + ", " + std::to_string(format->nSamplesPerSec) + ", " +
           std::to_string(format->nAvgBytesPerSec) + ", " + std::to_string(format->nBlockAlign) + ", " +
           std::to_string(format->wBitsPerSample) + ", " + std::to_string(flags) + ")");
  if (script().wave_open_result != MMSYSERR_NOERROR) {
    return script().wave_open_result;
  }
  if (format->wFormatTag != WAVE_FORMAT_PCM || format->nSamplesPerSec == 0 || format->nBlockAlign == 0) {
    return WAVERR_BADFORMAT;
  }
  std::lock_guard<std::mutex> lock(clock_mutex);
  if (device_open) {
    return MMSYSERR_ALLOCATED;
  }
  device_open = true;
  device_rate = format->nSamplesPerSec;
  device_block = format->nBlockAlign;
  device_buffer = nullptr;
  *device = &the_device;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT, LPWAVEHDR header, UINT header_size) {
  log_call("waveOutPrepareHeader(" + std::to_string(header_size) + ")");
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT, LPWAVEHDR header, UINT header_size) {
  log_call("waveOutUnprepareHeader(" + std::to_string(header_size) + ")");
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  std::lock_guard<std::mutex> lock(clock_mutex);
  if (header == device_buffer) {
    return WAVERR_STILLPLAYING;
  }
  header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutWrite(HWAVEOUT, LPWAVEHDR header, UINT header_size) {
  log_call("waveOutWrite(" + std::to_string(header_size) + ", " + std::to_string(header->dwBufferLength) + ", " +
           std::to_string(header->dwFlags & ~static_cast<DWORD>(WHDR_PREPARED)) + ", " +
           std::to_string(header->dwLoops) + ")");
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if ((header->dwFlags & WHDR_PREPARED) == 0) {
    return WAVERR_UNPREPARED;
  }
  std::lock_guard<std::mutex> lock(clock_mutex);
  // Only the one endlessly looping buffer is supported.
  device_buffer = header;
  device_started = script().real_time ? real_now() : main_time;
  header->dwFlags |= WHDR_INQUEUE;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutGetPosition(HWAVEOUT, LPMMTIME time, UINT) {
  std::lock_guard<std::mutex> lock(clock_mutex);
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  std::uint64_t now = script().real_time ? real_now() : own_clock != nullptr ? own_clock->time : main_time;
  report_loop_position(time, frames_played_at(now) * device_block,
                       device_buffer != nullptr ? device_buffer->dwBufferLength : 0);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutReset(HWAVEOUT) {
  log_call("waveOutReset");
  std::lock_guard<std::mutex> lock(clock_mutex);
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if (device_buffer != nullptr) {
    device_buffer->dwFlags = (device_buffer->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
  }
  device_buffer = nullptr;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutClose(HWAVEOUT) {
  log_call("waveOutClose");
  std::lock_guard<std::mutex> lock(clock_mutex);
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if (device_buffer != nullptr) {
    return WAVERR_STILLPLAYING;
  }
  device_open = false;
  return MMSYSERR_NOERROR;
}

void reset_wave() {
  std::lock_guard<std::mutex> lock(clock_mutex);
  main_time = 0;
  real_start = std::chrono::steady_clock::now();
  // A thread that is still running starts again from the new time.
  for (WorkerClock& clock : worker_clocks) {
    clock.time = 0;
  }
  clock_moved.notify_all();
  device_open = false;
  device_buffer = nullptr;
  device_started = 0;
  device_rate = 44100;
  device_block = 4;
}
