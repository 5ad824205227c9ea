// waveOut on SDL audio: one endlessly looping buffer, played by SDL's audio
// callback, with the play position counted in the frames handed over.
// When no audio device opens, a silent device takes its place that still
// consumes the buffer in real time, so that whatever follows the position
// (the song, and so the show) keeps going.
//
// Threads: the open, write, reset and close calls come from one thread (the
// main thread); waveOutGetPosition from any; SDL's callback runs on SDL's
// audio thread. What they share is atomic.
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/wave_position.h"
#include "sdl/sdl_state.h"

namespace {

HWAVEOUT__ the_device = {};
bool device_open = false;
SDL_AudioDeviceID audio_device = 0;  // 0 with the silent device
std::uint32_t block_bytes = 4;       // bytes per frame
std::uint32_t rate = 44100;

std::atomic<WAVEHDR*> playing_buffer{nullptr};
std::atomic<std::uint64_t> frames_played{0};
// The hand-over of the ring's contents. The application writes a chunk of
// the ring only after it has seen, through waveOutGetPosition, that the
// device has left that chunk, and it asks for the position again (every
// 2 ms) long before the device comes back to it. Each query stores the
// position it reports here (release), and the callback loads it (acquire)
// before it copies from the ring, so everything the application wrote
// before a query happens before the copies that follow it: the chunk the
// callback reads was finished before the query the callback has seen.
std::atomic<std::uint64_t> position_reported{0};
// The silent device's clock: when it started playing.
std::chrono::steady_clock::time_point silent_start;

void SDLCALL play_callback(void*, Uint8* stream, int length) {
  WAVEHDR* buffer = playing_buffer.load(std::memory_order_acquire);
  position_reported.load(std::memory_order_acquire);
  std::uint64_t played = frames_played.load(std::memory_order_relaxed);
  if (buffer == nullptr || buffer->dwBufferLength < block_bytes) {
    std::memset(stream, 0, static_cast<std::size_t>(length));
    return;
  }
  const std::uint32_t loop = buffer->dwBufferLength / block_bytes * block_bytes;
  std::uint32_t at = static_cast<std::uint32_t>((played * block_bytes) % loop);
  int written = 0;
  while (written < length) {
    std::uint32_t piece = loop - at;
    if (piece > static_cast<std::uint32_t>(length - written)) {
      piece = static_cast<std::uint32_t>(length - written);
    }
    std::memcpy(stream + written, buffer->lpData + at, piece);
    written += static_cast<int>(piece);
    at = (at + piece) % loop;
  }
  frames_played.store(played + static_cast<std::uint64_t>(length) / block_bytes, std::memory_order_release);
}

std::uint64_t current_frames() {
  if (audio_device != 0) {
    return frames_played.load(std::memory_order_acquire);
  }
  if (playing_buffer.load(std::memory_order_acquire) == nullptr) {
    return 0;
  }
  auto elapsed = std::chrono::steady_clock::now() - silent_start;
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()) * rate /
         1000000;
}

}  // namespace

void WINAPI Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT device, UINT, LPCWAVEFORMATEX format, DWORD_PTR, DWORD_PTR, DWORD) {
  if (device_open) {
    return MMSYSERR_ALLOCATED;
  }
  if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 || format->nChannels == 0 ||
      format->nChannels > 2 || format->nSamplesPerSec == 0) {
    return WAVERR_BADFORMAT;
  }
  rate = format->nSamplesPerSec;
  block_bytes = format->nBlockAlign;
  playing_buffer.store(nullptr);
  frames_played.store(0);
  audio_device = 0;

  const char* problem = nullptr;
  if (SDL_WasInit(SDL_INIT_AUDIO) == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    problem = SDL_GetError();
  } else if (SDL_GetNumAudioDevices(0) == 0) {
    // Nothing to play on (-1 would mean the list is unknown: then try);
    // opening the default device anyway only makes the
    // sound library complain at length.
    problem = "no audio output device";
  } else {
    SDL_AudioSpec wanted = {};
    wanted.freq = static_cast<int>(rate);
    wanted.format = AUDIO_S16LSB;
    wanted.channels = static_cast<Uint8>(format->nChannels);
    wanted.samples = 512;
    wanted.callback = play_callback;
    SDL_AudioSpec obtained = {};
    audio_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (audio_device == 0) {
      problem = SDL_GetError();
    }
  }
  if (audio_device == 0) {
    std::fprintf(stderr, "No sound device could be opened (%s): playing silently.\n",
                 problem != nullptr && problem[0] != '\0' ? problem : "unknown reason");
  }
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
  if (header == playing_buffer.load()) {
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
  // Only the one endlessly looping buffer is supported.
  header->dwFlags |= WHDR_INQUEUE;
  if (audio_device != 0) {
    SDL_LockAudioDevice(audio_device);
  }
  frames_played.store(0);
  silent_start = std::chrono::steady_clock::now();
  playing_buffer.store(header, std::memory_order_release);
  if (audio_device != 0) {
    SDL_UnlockAudioDevice(audio_device);
    SDL_PauseAudioDevice(audio_device, 0);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutGetPosition(HWAVEOUT, LPMMTIME time, UINT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  WAVEHDR* buffer = playing_buffer.load(std::memory_order_acquire);
  const std::uint64_t bytes =
      report_loop_position(time, current_frames() * block_bytes, buffer != nullptr ? buffer->dwBufferLength : 0);
  position_reported.store(bytes, std::memory_order_release);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutReset(HWAVEOUT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if (audio_device != 0) {
    SDL_PauseAudioDevice(audio_device, 1);
    SDL_LockAudioDevice(audio_device);
  }
  WAVEHDR* buffer = playing_buffer.exchange(nullptr);
  if (buffer != nullptr) {
    buffer->dwFlags = (buffer->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
  }
  frames_played.store(0);
  if (audio_device != 0) {
    SDL_UnlockAudioDevice(audio_device);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutClose(HWAVEOUT) {
  if (!device_open) {
    return MMSYSERR_INVALHANDLE;
  }
  if (playing_buffer.load() != nullptr) {
    return WAVERR_STILLPLAYING;
  }
  if (audio_device != 0) {
    SDL_CloseAudioDevice(audio_device);
    audio_device = 0;
  }
  device_open = false;
  return MMSYSERR_NOERROR;
}
