// Starts a program whose code begins at WinMain, as Windows would.
#include <windows.h>

int main(int, char**) {
  static char command_line[] = "";
  static HINSTANCE__ instance = {};
  return WinMain(&instance, nullptr, command_line, SW_SHOWDEFAULT);
}
