// CreateThread, SetThreadPriority and CloseHandle on the OS's threads.
#include "common/threads.h"

#include <pthread.h>
#include <sched.h>
#include <windows.h>

#include <new>
#include <thread>

namespace {

struct PlatformThread {
  std::thread thread;
};

thread_local bool is_created_thread = false;

}  // namespace

bool on_created_thread() { return is_created_thread; }

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                           LPDWORD thread_id) {
  auto* created = new (std::nothrow) PlatformThread;
  if (created == nullptr) {
    return nullptr;
  }
  backend_thread_created();
  created->thread = std::thread([start, parameter] {
    is_created_thread = true;
    backend_thread_started();
    start(parameter);
    backend_thread_exiting();
  });
  if (thread_id != nullptr) {
    *thread_id = 1;
  }
  return created;
}

BOOL WINAPI SetThreadPriority(HANDLE thread, int priority) {
  if (thread == nullptr) {
    return FALSE;
  }
  auto* target = static_cast<PlatformThread*>(thread);
  sched_param parameters = {};
  int policy = SCHED_OTHER;
  if (priority >= THREAD_PRIORITY_TIME_CRITICAL) {
    // Real-time scheduling where the OS grants it; otherwise the thread
    // keeps its normal priority, which is fine for a thread that sleeps
    // between short bursts of work.
    policy = SCHED_RR;
    parameters.sched_priority = sched_get_priority_max(SCHED_RR);
  }
  if (pthread_setschedparam(target->thread.native_handle(), policy, &parameters) != 0 && policy != SCHED_OTHER) {
    parameters.sched_priority = 0;
    pthread_setschedparam(target->thread.native_handle(), SCHED_OTHER, &parameters);
  }
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
  if (object == nullptr) {
    return FALSE;
  }
  // Threads are the only handles this layer gives out. Closing one waits for
  // the thread to return, which it is about to do when its owner closes it.
  auto* thread = static_cast<PlatformThread*>(object);
  if (thread->thread.joinable()) {
    thread->thread.join();
  }
  delete thread;
  return TRUE;
}
