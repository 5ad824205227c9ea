// waveOut in a web page: one endlessly looping buffer in the program's
// memory, played by an AudioWorklet of the page (js/ring_worklet.js) that
// reads it straight from the shared memory, with the play position counted
// in the frames the worklet has taken.
//
// Browsers start sound only after a user gesture, so the page starts its
// audio (at the rate the program will ask for) from its start button
// before the program runs. If the page has no audio running at the rate
// asked for, a silent device takes its place that still consumes the
// buffer in real time, so that whatever follows the position (the song,
// and so the show) keeps going.
//
// waveOutPause and waveOutRestart hold and resume the play position (the
// web player's pause).
//
// Threads: open, write, pause, reset and close come from one thread;
// waveOutGetPosition from any; the worklet runs on the page's audio thread.
// What they share is atomic.
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "common/wave_position.h"
#include "web/web_state.h"

namespace {

HWAVEOUT__ the_device = {};
bool device_open = false;
bool page_audio = false;  // false: the silent device
std::uint32_t block_bytes = 4;
std::uint32_t rate = 44100;
WAVEHDR* playing_buffer = nullptr;

// The silent device's clock: the frames played before the last pause, and
// since when it has been running (-1: from the next position query on,
// taken on the asking thread).
std::mutex silent_lock;
std::uint64_t silent_frames_before = 0;
std::int64_t silent_since_us = -1;
bool silent_running = false;

std::int64_t now_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Called with silent_lock held.
std::uint64_t silent_frames() {
  std::uint64_t frames = silent_frames_before;
  if (silent_running) {
    const std::int64_t now = now_us();
    if (silent_since_us < 0) {
      silent_since_us = now;
    }
    frames += static_cast<std::uint64_t>(now - silent_since_us) * rate / 1000000;
  }
  return frames;
}

void set_silent_clock(bool running, bool from_zero) {
  std::lock_guard<std::mutex> hold(silent_lock);
  silent_frames_before = from_zero ? 0 : silent_frames();
  silent_since_us = -1;
  silent_running = running;
}

// Points the worklet at a buffer (or at none) and waits, briefly, until it
// has taken notice, so that a buffer about to be freed is no longer read.
void hand_to_worklet(std::uint32_t address, std::uint32_t frames) {
  web_shared.ring_address.store(0);
  web_shared.ring_frames.store(frames);
  web_shared.ring_address.store(address);
  const std::uint32_t serial = web_shared.ring_serial.fetch_add(1) + 1;
  if (address != 0 || !page_audio) {
    return;
  }
  // A render quantum lasts about 3 ms; a stalled page does not hold us up.
  for (int tries = 0; tries < 50 && web_shared.seen_ring_serial.load() != serial; ++tries) {
    const std::uint32_t seen = web_shared.seen_ring_serial.load();
    if (seen != serial) {
      wait_while_equal(web_shared.seen_ring_serial, seen, 2.0);
    }
  }
}

}  // namespace

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT device, UINT, LPCWAVEFORMATEX format, DWORD_PTR, DWORD_PTR, DWORD) {
  if (device_open) {
    return MMSYSERR_ALLOCATED;
  }
  if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 || format->nChannels != 2 ||
      format->nSamplesPerSec == 0 || format->nBlockAlign != 4) {
    return WAVERR_BADFORMAT;
  }
  rate = format->nSamplesPerSec;
  block_bytes = format->nBlockAlign;
  playing_buffer = nullptr;
  const std::uint32_t page_rate = web_shared.audio_rate.load();
  page_audio = page_rate == rate;
  if (!page_audio) {
    std::fprintf(stderr, "No sound in this page (%s): playing silently.\n",
                 page_rate == 0 ? "its audio did not start" : "its audio runs at another rate");
  }
  web_shared.ring_paused.store(0);
  set_silent_clock(false, true);
  device_open = true;
  *device = &the_device;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT, LPWAVEHDR header, UINT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT, LPWAVEHDR header, UINT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if (header == playing_buffer) {
    return WAVERR_STILLPLAYING;
  }
  header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if ((header->dwFlags & WHDR_PREPARED) == 0) {
    return WAVERR_UNPREPARED;
  }
  if (header->dwBufferLength < block_bytes) {
    return MMSYSERR_INVALPARAM;
  }
  // Only the one endlessly looping buffer is supported.
  header->dwFlags |= WHDR_INQUEUE;
  playing_buffer = header;
  set_silent_clock(web_shared.ring_paused.load() == 0, true);
  hand_to_worklet(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(header->lpData)),
                  header->dwBufferLength / block_bytes);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutGetPosition(HWAVEOUT, LPMMTIME time, UINT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  std::uint64_t played = 0;
  const std::uint32_t frames = web_shared.ring_frames.load();
  if (web_shared.ring_address.load() != 0 && frames != 0) {
    played = web_shared.ring_read.load();
    if (!page_audio) {
      std::lock_guard<std::mutex> hold(silent_lock);
      played = silent_frames();
    }
  }
  report_loop_position(time, played * block_bytes, static_cast<DWORD>(frames * block_bytes));
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutPause(HWAVEOUT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  web_shared.ring_paused.store(1);
  set_silent_clock(false, false);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutRestart(HWAVEOUT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  web_shared.ring_paused.store(0);
  set_silent_clock(playing_buffer != nullptr, false);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutReset(HWAVEOUT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if (playing_buffer != nullptr) {
    playing_buffer->dwFlags = (playing_buffer->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
  }
  playing_buffer = nullptr;
  set_silent_clock(false, true);
  hand_to_worklet(0, 0);
  web_shared.ring_paused.store(0);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutClose(HWAVEOUT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if (playing_buffer != nullptr) {
    return WAVERR_STILLPLAYING;
  }
  device_open = false;
  return MMSYSERR_NOERROR;
}
