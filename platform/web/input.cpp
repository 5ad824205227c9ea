// DirectInput in a web page: the keyboard's state by DirectInput key code,
// kept from the page's key events, and a mouse that is never read.
//
// Keys are known by their position on the keyboard (KeyboardEvent.code),
// as DirectInput's scan codes are. As with a foreground device, the
// keyboard can only be read while the page has the focus: losing it loses
// the input (the next read answers DIERR_INPUTLOST and every key counts as
// up), and Acquire fails until the focus is back. A page often starts
// without the focus, so a device whose Acquire failed for want of it also
// reads as lost, which makes the demo try again each frame.
//
// Threads: the page's thread calls web_key_event and web_focus_event; the
// demo's thread reads. What they share is atomic.
#define DIRECTINPUT_VERSION 0x0500
#include <dinput.h>
#include <emscripten/emscripten.h>

#include <array>
#include <atomic>
#include <cstring>
#include <new>

#include "common/com_object.h"
#include "web/web_state.h"

std::atomic<std::uint32_t> focus_losses{0};
std::atomic<bool> page_has_focus{false};

namespace {

std::array<std::atomic<std::uint8_t>, 256> keys_down{};  // 0x80 while down

struct KeyCode {
  const char* code;
  BYTE dik;
};

// The whole keyboard, by the position of each key.
constexpr KeyCode key_codes[] = {
    {"Escape", DIK_ESCAPE},
    {"Digit1", DIK_1},
    {"Digit2", DIK_2},
    {"Digit3", DIK_3},
    {"Digit4", DIK_4},
    {"Digit5", DIK_5},
    {"Digit6", DIK_6},
    {"Digit7", DIK_7},
    {"Digit8", DIK_8},
    {"Digit9", DIK_9},
    {"Digit0", DIK_0},
    {"Minus", DIK_MINUS},
    {"Equal", DIK_EQUALS},
    {"Backspace", DIK_BACK},
    {"Tab", DIK_TAB},
    {"KeyQ", DIK_Q},
    {"KeyW", DIK_W},
    {"KeyE", DIK_E},
    {"KeyR", DIK_R},
    {"KeyT", DIK_T},
    {"KeyY", DIK_Y},
    {"KeyU", DIK_U},
    {"KeyI", DIK_I},
    {"KeyO", DIK_O},
    {"KeyP", DIK_P},
    {"BracketLeft", DIK_LBRACKET},
    {"BracketRight", DIK_RBRACKET},
    {"Enter", DIK_RETURN},
    {"ControlLeft", DIK_LCONTROL},
    {"KeyA", DIK_A},
    {"KeyS", DIK_S},
    {"KeyD", DIK_D},
    {"KeyF", DIK_F},
    {"KeyG", DIK_G},
    {"KeyH", DIK_H},
    {"KeyJ", DIK_J},
    {"KeyK", DIK_K},
    {"KeyL", DIK_L},
    {"Semicolon", DIK_SEMICOLON},
    {"Quote", DIK_APOSTROPHE},
    {"Backquote", DIK_GRAVE},
    {"ShiftLeft", DIK_LSHIFT},
    {"Backslash", DIK_BACKSLASH},
    {"KeyZ", DIK_Z},
    {"KeyX", DIK_X},
    {"KeyC", DIK_C},
    {"KeyV", DIK_V},
    {"KeyB", DIK_B},
    {"KeyN", DIK_N},
    {"KeyM", DIK_M},
    {"Comma", DIK_COMMA},
    {"Period", DIK_PERIOD},
    {"Slash", DIK_SLASH},
    {"ShiftRight", DIK_RSHIFT},
    {"NumpadMultiply", DIK_MULTIPLY},
    {"AltLeft", DIK_LMENU},
    {"Space", DIK_SPACE},
    {"CapsLock", DIK_CAPITAL},
    {"F1", DIK_F1},
    {"F2", DIK_F2},
    {"F3", DIK_F3},
    {"F4", DIK_F4},
    {"F5", DIK_F5},
    {"F6", DIK_F6},
    {"F7", DIK_F7},
    {"F8", DIK_F8},
    {"F9", DIK_F9},
    {"F10", DIK_F10},
    {"NumLock", DIK_NUMLOCK},
    {"ScrollLock", DIK_SCROLL},
    {"Numpad7", DIK_NUMPAD7},
    {"Numpad8", DIK_NUMPAD8},
    {"Numpad9", DIK_NUMPAD9},
    {"NumpadSubtract", DIK_SUBTRACT},
    {"Numpad4", DIK_NUMPAD4},
    {"Numpad5", DIK_NUMPAD5},
    {"Numpad6", DIK_NUMPAD6},
    {"NumpadAdd", DIK_ADD},
    {"Numpad1", DIK_NUMPAD1},
    {"Numpad2", DIK_NUMPAD2},
    {"Numpad3", DIK_NUMPAD3},
    {"Numpad0", DIK_NUMPAD0},
    {"NumpadDecimal", DIK_DECIMAL},
    {"IntlBackslash", DIK_OEM_102},
    {"F11", DIK_F11},
    {"F12", DIK_F12},
    {"F13", DIK_F13},
    {"F14", DIK_F14},
    {"F15", DIK_F15},
    {"KanaMode", DIK_KANA},
    {"Convert", DIK_CONVERT},
    {"NonConvert", DIK_NOCONVERT},
    {"IntlYen", DIK_YEN},
    {"NumpadEqual", DIK_NUMPADEQUALS},
    {"MediaTrackPrevious", DIK_PREVTRACK},
    {"MediaTrackNext", DIK_NEXTTRACK},
    {"NumpadEnter", DIK_NUMPADENTER},
    {"ControlRight", DIK_RCONTROL},
    {"AudioVolumeMute", DIK_MUTE},
    {"MediaPlayPause", DIK_PLAYPAUSE},
    {"MediaStop", DIK_MEDIASTOP},
    {"AudioVolumeDown", DIK_VOLUMEDOWN},
    {"AudioVolumeUp", DIK_VOLUMEUP},
    {"NumpadComma", DIK_NUMPADCOMMA},
    {"NumpadDivide", DIK_DIVIDE},
    {"PrintScreen", DIK_SYSRQ},
    {"AltRight", DIK_RMENU},
    {"Pause", DIK_PAUSE},
    {"Home", DIK_HOME},
    {"ArrowUp", DIK_UP},
    {"PageUp", DIK_PRIOR},
    {"ArrowLeft", DIK_LEFT},
    {"ArrowRight", DIK_RIGHT},
    {"End", DIK_END},
    {"ArrowDown", DIK_DOWN},
    {"PageDown", DIK_NEXT},
    {"Insert", DIK_INSERT},
    {"Delete", DIK_DELETE},
    {"MetaLeft", DIK_LWIN},
    {"MetaRight", DIK_RWIN},
    {"ContextMenu", DIK_APPS},
};

void release_all_keys() {
  for (auto& key : keys_down) {
    key.store(0);
  }
}

struct Device final : ComObject<Device, IDirectInputDeviceA> {
  bool is_keyboard;
  bool acquired = false;
  bool wanted = false;                 // Acquire was called (and Unacquire was not since)
  std::uint32_t acquired_at_loss = 0;  // focus_losses when acquired
  const DIDATAFORMAT* format = nullptr;

  explicit Device(bool keyboard) : is_keyboard(keyboard) {}

  HRESULT Acquire() override {
    if (format == nullptr) {
      return DIERR_INVALIDPARAM;
    }
    wanted = true;
    if (!page_has_focus.load()) {
      return DIERR_OTHERAPPHASPRIO;
    }
    acquired = true;
    acquired_at_loss = focus_losses.load();
    return DI_OK;
  }

  HRESULT GetDeviceState(DWORD size, LPVOID state) override {
    if (format == nullptr || size != format->dwDataSize) {
      return DIERR_INVALIDPARAM;
    }
    if (acquired && acquired_at_loss != focus_losses.load()) {
      acquired = false;
      return DIERR_INPUTLOST;
    }
    if (!acquired) {
      return wanted ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
    }
    auto* bytes = static_cast<BYTE*>(state);
    std::memset(bytes, 0, size);
    if (!is_keyboard) {
      return DI_OK;  // the mouse is never read
    }
    for (std::size_t k = 0; k < keys_down.size(); ++k) {
      bytes[k] = keys_down[k].load(std::memory_order_relaxed);
    }
    return DI_OK;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD) override { return window == nullptr ? DIERR_INVALIDPARAM : DI_OK; }

  HRESULT SetDataFormat(LPCDIDATAFORMAT data_format) override {
    if (data_format != &c_dfDIKeyboard && data_format != &c_dfDIMouse) {
      return DIERR_INVALIDPARAM;
    }
    format = data_format;
    return DI_OK;
  }

  HRESULT Unacquire() override {
    acquired = false;
    wanted = false;
    return DI_OK;
  }
};

struct DirectInput final : ComObject<DirectInput, IDirectInputA> {
  HRESULT CreateDevice(REFGUID device, LPDIRECTINPUTDEVICEA* created, LPUNKNOWN) override {
    *created = nullptr;
    const bool keyboard = std::memcmp(&device, &GUID_SysKeyboard, sizeof(GUID)) == 0;
    const bool mouse = std::memcmp(&device, &GUID_SysMouse, sizeof(GUID)) == 0;
    if (!keyboard && !mouse) {
      return DIERR_INVALIDPARAM;
    }
    *created = new (std::nothrow) Device(keyboard);
    return *created != nullptr ? DI_OK : E_OUTOFMEMORY;
  }
};

}  // namespace

// The page's key events, by KeyboardEvent.code. Returns 1 when the key is
// one of the keyboard's (the page then keeps the browser from acting on
// it), 0 otherwise.
extern "C" EMSCRIPTEN_KEEPALIVE int web_key_event(const char* code, int down) {
  for (const KeyCode& key : key_codes) {
    if (std::strcmp(key.code, code) == 0) {
      keys_down[key.dik].store(down != 0 ? 0x80 : 0);
      return 1;
    }
  }
  return 0;
}

// The page gained (1) or lost (0) the keyboard focus.
extern "C" EMSCRIPTEN_KEEPALIVE void web_focus_event(int focused) {
  if (focused == 0) {
    release_all_keys();
    if (page_has_focus.exchange(false)) {
      focus_losses.fetch_add(1);
    }
  } else {
    page_has_focus.store(true);
  }
}

HRESULT WINAPI DirectInputCreateA(HINSTANCE, DWORD, LPDIRECTINPUTA* direct_input, LPUNKNOWN) {
  *direct_input = new (std::nothrow) DirectInput;
  return *direct_input != nullptr ? DI_OK : E_OUTOFMEMORY;
}
