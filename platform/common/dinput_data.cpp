// The device GUIDs and predefined data formats of DirectInput. The backends
// recognise the formats by their address; the object lists are not needed.
#include <dinput.h>

const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// 256 one-byte key states; three axes and four buttons in 16 bytes.
const DIDATAFORMAT c_dfDIKeyboard = {24, 16, 2, 256, 256, nullptr};
const DIDATAFORMAT c_dfDIMouse = {24, 16, 2, 16, 7, nullptr};
