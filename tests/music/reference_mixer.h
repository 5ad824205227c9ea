// The mixer written out plainly, one frame at a time, for comparison with
// the player's mixer on random voices: the two must agree bit for bit.
#pragma once

#include "music/internal.h"

void reference_mix_voices(float* out, Voice* list_head, std::int32_t frames);
void reference_convert_mix_to_pcm16(std::int16_t* destination, const float* source, std::int32_t frames);
