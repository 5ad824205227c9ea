// The block the page shares with the program, the thread hooks and Sleep.
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "common/threads.h"
#include "web/web_state.h"

WebShared web_shared = {};

// The page asks for the block once, before the program starts.
extern "C" EMSCRIPTEN_KEEPALIVE WebShared* web_shared_block() { return &web_shared; }

void wait_while_equal(std::atomic<std::uint32_t>& word, std::uint32_t value, double milliseconds) {
  // std::atomic<uint32_t> is a plain 32-bit word here, which is what the
  // page's Atomics.notify wakes.
  static_assert(sizeof(std::atomic<std::uint32_t>) == 4);
  emscripten_futex_wait(reinterpret_cast<volatile void*>(&word), value, milliseconds);
}

void WINAPI Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// Threads run on the real clock: nothing to keep track of.
void backend_thread_created() {}
void backend_thread_started() {}
void backend_thread_exiting() {}
