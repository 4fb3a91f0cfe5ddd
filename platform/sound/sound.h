// Sounds: a sound file played through the desktop's player when one is
// installed (paplay, pw-play or aplay); nothing without one.
#pragma once

#include "platform/base/result.h"

namespace ss {

constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_FILENAME = 0x00020000;

// Plays the file named by `sound` (with SND_FILENAME). With SND_ASYNC the call
// returns at once and the player runs on its own. FALSE when the file does
// not exist or no player is installed.
BOOL PlaySoundA(const char* sound, void* module, DWORD flags);

// The player PlaySoundA would use ("" when none is installed); the
// environment variable SCROLLSNAP_SOUND_PLAYER names another program.
const char* SoundPlayer();

}  // namespace ss
