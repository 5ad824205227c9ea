// On Windows the C runtime starts a GUI program at WinMain itself. Its
// reference to WinMain comes after the demo's library on the link line, too
// late to take WinMain from it; the reference here, linked into the program
// ahead of the library, takes it. The program's own code starts at WinMain
// exactly as on any other platform.
#include <windows.h>

[[gnu::used]] static int(WINAPI* const demo_entry)(HINSTANCE, HINSTANCE, LPSTR, int) = WinMain;
