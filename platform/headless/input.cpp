// A virtual DirectInput: the keyboard answers from the script, the mouse is
// only ever acquired.
#define DIRECTINPUT_VERSION 0x0500
#include <dinput.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "common/com_object.h"
#include "headless/state.h"

namespace {

// Takes the next scripted result for this frame from a list, if one is left.
bool take_result(std::map<std::uint32_t, std::vector<HRESULT>>& results, HRESULT& result) {
  auto found = results.find(presented_frames() + 1);
  if (found == results.end() || found->second.empty()) {
    return false;
  }
  result = found->second.front();
  found->second.erase(found->second.begin());
  return true;
}

struct Device final : ComObject<Device, IDirectInputDeviceA> {
  bool is_keyboard;
  bool acquired = false;
  const DIDATAFORMAT* format = nullptr;

  explicit Device(bool keyboard) : is_keyboard(keyboard) {}

  const char* name() const { return is_keyboard ? "keyboard" : "mouse"; }

  HRESULT Acquire() override {
    log_call(std::string("Acquire(") + name() + ")");
    HRESULT result = DI_OK;
    if (is_keyboard && take_result(script().acquire_results, result) && FAILED(result)) {
      acquired = false;
      return result;
    }
    if (format == nullptr) {
      return DIERR_INVALIDPARAM;
    }
    acquired = true;
    return DI_OK;
  }

  HRESULT GetDeviceState(DWORD size, LPVOID state) override {
    log_call(std::string("GetDeviceState(") + name() + ", " + std::to_string(size) + ")");
    HRESULT result = DI_OK;
    if (take_result(script().device_state_results, result) && result != DI_OK) {
      if (result == DIERR_INPUTLOST) {
        acquired = false;
      }
      return result;
    }
    if (!acquired) {
      return DIERR_NOTACQUIRED;
    }
    if (format == nullptr || size != format->dwDataSize) {
      return DIERR_INVALIDPARAM;
    }
    auto* bytes = static_cast<BYTE*>(state);
    std::memset(bytes, 0, size);
    if (!is_keyboard) {
      return DI_OK;
    }
    std::uint32_t frame = presented_frames() + 1;
    const HeadlessScript& run = script();
    if (run.keyboard) {
      run.keyboard(frame, bytes);
    } else {
      bool escape = run.hold_escape || escape_held() ||
                    std::find(run.escape_frames.begin(), run.escape_frames.end(), frame) != run.escape_frames.end();
      bytes[DIK_ESCAPE] = escape ? 0x80 : 0;
    }
    return DI_OK;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
    log_call(std::string("SetCooperativeLevel(") + name() + ", " + (window != nullptr ? "window" : "null") + ", " +
             std::to_string(flags) + ")");
    return window != nullptr ? DI_OK : DIERR_INVALIDPARAM;
  }

  HRESULT SetDataFormat(LPCDIDATAFORMAT data_format) override {
    bool keyboard_format = data_format == &c_dfDIKeyboard;
    bool mouse_format = data_format == &c_dfDIMouse;
    log_call(std::string("SetDataFormat(") + name() + ", " +
             (keyboard_format ? "c_dfDIKeyboard"
              : mouse_format  ? "c_dfDIMouse"
                              : "other") +
             ")");
    if (!keyboard_format && !mouse_format) {
      return DIERR_INVALIDPARAM;
    }
    format = data_format;
    return DI_OK;
  }

  HRESULT Unacquire() override {
    log_call(std::string("Unacquire(") + name() + ")");
    acquired = false;
    return DI_OK;
  }
};

struct DirectInput final : ComObject<DirectInput, IDirectInputA> {
  HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICEA* created, LPUNKNOWN) override {
    bool keyboard = std::memcmp(&device, &GUID_SysKeyboard, sizeof(GUID)) == 0;
    bool mouse = std::memcmp(&device, &GUID_SysMouse, sizeof(GUID)) == 0;
    log_call(std::string("CreateDevice(") + (keyboard ? "GUID_SysKeyboard" : mouse ? "GUID_SysMouse" : "other") + ")");
    *created = nullptr;
    if (!keyboard && !mouse) {
      return DIERR_INVALIDPARAM;
    }
    *created = new (std::nothrow) Device(keyboard);
    return *created != nullptr ? DI_OK : E_OUTOFMEMORY;
  }
};

}  // namespace

HRESULT WINAPI DirectInputCreateA(HINSTANCE, DWORD version, LPDIRECTINPUTA* direct_input, LPUNKNOWN) {
  char text[48];
  std::snprintf(text, sizeof(text), "DirectInputCreateA(0x%04X)", static_cast<unsigned>(version));
  log_call(text);
  *direct_input = new (std::nothrow) DirectInput;
  return *direct_input != nullptr ? DI_OK : E_OUTOFMEMORY;
}
