// Keyboard and mouse through DirectInput. The keyboard's state becomes
// key_state once per frame; the mouse is only taken over (exclusively while
// the demo is in the foreground) so that it does nothing, and never read.
// Main thread only.
#define DIRECTINPUT_VERSION 0x0500
#include <dinput.h>
#include <windows.h>

#include "shell/shell.h"

namespace {

IDirectInput* direct_input = nullptr;
IDirectInputDevice* keyboard_device = nullptr;
IDirectInputDevice* mouse_device = nullptr;

}  // namespace

BOOL open_input(HWND window) {
  // None of these results is tested: without a keyboard device, poll_keyboard
  // returns at once and Escape is never seen.
  DirectInputCreateA(app_instance, 0x0500, &direct_input, nullptr);
  if (direct_input == nullptr) {
    return TRUE;
  }
  direct_input->CreateDevice(GUID_SysKeyboard, &keyboard_device, nullptr);
  direct_input->CreateDevice(GUID_SysMouse, &mouse_device, nullptr);
  if (keyboard_device != nullptr) {
    keyboard_device->SetDataFormat(&c_dfDIKeyboard);
  }
  if (mouse_device != nullptr) {
    mouse_device->SetDataFormat(&c_dfDIMouse);
  }
  if (keyboard_device != nullptr) {
    keyboard_device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  }
  if (mouse_device != nullptr) {
    mouse_device->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
  }
  if (keyboard_device != nullptr) {
    keyboard_device->Acquire();
  }
  if (mouse_device != nullptr) {
    mouse_device->Acquire();
  }
  for (auto& key : key_state) {
    key = 0;
  }
  return TRUE;
}

void poll_keyboard() {
  if (keyboard_device == nullptr) {
    return;
  }
  BYTE keys[256];
  HRESULT result = keyboard_device->GetDeviceState(sizeof(keys), keys);
  while (result == DIERR_INPUTLOST) {
    // Lost (for example after the demo left and regained the foreground):
    // take the device again and read once more, as often as that works.
    if (FAILED(keyboard_device->Acquire())) {
      return;
    }
    result = keyboard_device->GetDeviceState(sizeof(keys), keys);
  }
  if (FAILED(result)) {
    return;  // keep the last good state
  }
  for (int k = 0; k < 256; ++k) {
    key_state[k] = (keys[k] & 0x80) != 0 ? 1 : 0;
  }
}
