// Threads for both backends: CreateThread, SetThreadPriority and CloseHandle
// map onto the OS. A backend learns about the threads it runs through the
// two hooks below, which it defines.
#pragma once

// Called on the creating thread before the new thread starts.
void backend_thread_created();
// Called on the new thread before its start routine runs.
void backend_thread_started();
// Called on the new thread after its start routine has returned.
void backend_thread_exiting();

// True on a thread made by CreateThread.
bool on_created_thread();
