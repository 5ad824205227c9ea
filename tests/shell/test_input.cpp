// The keyboard's state as 256 flags, and the last good state kept when a
// read fails.
#include <dinput.h>
#include <gtest/gtest.h>

#include "shell/shell.h"
#include "support/child_run.h"

namespace {

class Input : public ::testing::Test {
 protected:
  // Opens the input with a keyboard whose successive reads give the key
  // sets in `reads` (the last one repeats).
  void open(std::vector<std::vector<BYTE>> reads, HeadlessScript script = {}) {
    script.log_calls = true;
    script.keyboard = [reads, call = std::size_t{0}](std::uint32_t, BYTE keys[256]) mutable {
      const auto& down = reads[std::min(call, reads.size() - 1)];
      ++call;
      for (BYTE key : down) {
        keys[key] = 0x80;
      }
    };
    headless_configure(std::move(script));
    create_app_window();
    open_input(main_window);
  }
  static std::vector<int> keys_down() {
    std::vector<int> down;
    for (int k = 0; k < 256; ++k) {
      if (key_state[k] != 0) {
        EXPECT_EQ(key_state[k], 1u) << "key " << k;
        down.push_back(k);
      }
    }
    return down;
  }
};

TEST_F(Input, OpensBothDevicesInOrderAndClearsTheKeys) {
  key_state[DIK_ESCAPE] = 1;
  open({{}});
  std::vector<std::string> expected = {
      "DirectInputCreateA(0x0500)",
      "CreateDevice(GUID_SysKeyboard)",
      "CreateDevice(GUID_SysMouse)",
      "SetDataFormat(keyboard, c_dfDIKeyboard)",
      "SetDataFormat(mouse, c_dfDIMouse)",
      "SetCooperativeLevel(keyboard, window, 6)",
      "SetCooperativeLevel(mouse, window, 5)",
      "Acquire(keyboard)",
      "Acquire(mouse)",
  };
  EXPECT_EQ(calls_named(headless_call_log(),
                        {"DirectInputCreateA", "CreateDevice", "SetDataFormat", "SetCooperativeLevel", "Acquire"}),
            expected);
  EXPECT_TRUE(keys_down().empty());
}

TEST_F(Input, SeveralKeysDownAtOnceEachSetTheirOwnEntry) {
  open({{DIK_ESCAPE, DIK_A, DIK_SPACE, DIK_RCONTROL}, {DIK_A}});
  poll_keyboard();
  EXPECT_EQ(keys_down(), (std::vector<int>{DIK_ESCAPE, DIK_A, DIK_SPACE, DIK_RCONTROL}));
  poll_keyboard();
  EXPECT_EQ(keys_down(), std::vector<int>{DIK_A});
}

TEST_F(Input, AFailedReadKeepsTheLastGoodState) {
  HeadlessScript script;
  script.device_state_results[1] = {DI_OK, DIERR_NOTACQUIRED};
  open({{DIK_ESCAPE}, {}}, script);
  poll_keyboard();
  poll_keyboard();  // fails: Escape still counts as down
  EXPECT_EQ(keys_down(), std::vector<int>{DIK_ESCAPE});
  poll_keyboard();  // reads again: released
  EXPECT_TRUE(keys_down().empty());
}

TEST_F(Input, LostInputIsAcquiredAgainAndReadAtOnce) {
  HeadlessScript script;
  script.device_state_results[1] = {DIERR_INPUTLOST, DIERR_INPUTLOST};
  open({{DIK_Q}}, script);
  poll_keyboard();
  EXPECT_EQ(keys_down(), std::vector<int>{DIK_Q});
  // Two losses, two re-acquires, then the read that works.
  EXPECT_EQ(calls_named(headless_call_log(), {"Acquire(keyboard)"}).size(), 3u);
  EXPECT_EQ(calls_named(headless_call_log(), {"GetDeviceState"}).size(), 3u);
}

TEST_F(Input, LostInputThatCannotBeTakenBackKeepsTheLastGoodState) {
  HeadlessScript script;
  script.device_state_results[1] = {DI_OK, DIERR_INPUTLOST};
  script.acquire_results[1] = {DI_OK, DIERR_OTHERAPPHASPRIO};  // opening, then the re-acquire
  open({{DIK_ESCAPE}, {}}, script);
  poll_keyboard();
  poll_keyboard();
  EXPECT_EQ(keys_down(), std::vector<int>{DIK_ESCAPE});
}

}  // namespace
