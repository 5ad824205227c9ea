// The player's five file callbacks over ordinary files, for programs that
// play any file a user names. One file is open at a time.
#pragma once

// Registers the callbacks with the player.
void use_stdio_files();
