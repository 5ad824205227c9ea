/* A preload library that counts the frames a program presents through SDL2,
 * so that a script can measure frames per second from outside the program.
 *
 * Loaded with LD_PRELOAD and VORNA_PRESENT_COUNTER=FILE, it keeps one
 * 64-bit little-endian count at the start of FILE (shared memory, so a
 * reader sees it while the program runs) and adds one for every call the
 * program makes to SDL_RenderPresent, SDL_GL_SwapWindow,
 * SDL_UpdateWindowSurface or SDL_UpdateWindowSurfaceRects, then passes the
 * call on to SDL. Calls SDL makes inside itself are not seen, so a present
 * is counted once whichever way the program shows its frames. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

static volatile uint64_t* counter;

__attribute__((constructor)) static void open_counter(void) {
  const char* path = getenv("VORNA_PRESENT_COUNTER");
  if (path == NULL || path[0] == '\0') {
    return;
  }
  int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    return;
  }
  if (ftruncate(fd, sizeof(uint64_t)) == 0) {
    void* memory = mmap(NULL, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory != MAP_FAILED) {
      counter = (volatile uint64_t*)memory;
    }
  }
  close(fd);
}

static void count(void) {
  if (counter != NULL) {
    __atomic_add_fetch(counter, 1, __ATOMIC_RELAXED);
  }
}

/* SDL's own types are not needed: every pointer is passed on untouched. */
typedef void (*VoidCall)(void*);
typedef int (*IntCall)(void*);
typedef int (*RectsCall)(void*, const void*, int);

static void* next_symbol(const char* name) { return dlsym(RTLD_NEXT, name); }

void SDL_RenderPresent(void* renderer) {
  static VoidCall next;
  if (next == NULL) next = (VoidCall)next_symbol("SDL_RenderPresent");
  count();
  next(renderer);
}

void SDL_GL_SwapWindow(void* window) {
  static VoidCall next;
  if (next == NULL) next = (VoidCall)next_symbol("SDL_GL_SwapWindow");
  count();
  next(window);
}

int SDL_UpdateWindowSurface(void* window) {
  static IntCall next;
  if (next == NULL) next = (IntCall)next_symbol("SDL_UpdateWindowSurface");
  count();
  return next(window);
}

int SDL_UpdateWindowSurfaceRects(void* window, const void* rects, int count_of_rects) {
  static RectsCall next;
  if (next == NULL) next = (RectsCall)next_symbol("SDL_UpdateWindowSurfaceRects");
  count();
  return next(window, rects, count_of_rects);
}
