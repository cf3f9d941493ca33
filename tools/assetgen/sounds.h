// The program's sounds, one short synthesised phrase per entry of the sound table.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace ov::assets {

constexpr int kSampleRate = 22050;

// The file names of the sound table, in the order of their ids.
const std::vector<const char*>& SoundFiles();
// The samples of one sound (mono, 16 bit at kSampleRate); empty for an unknown name.
std::vector<int16_t> SynthesizeSound(const char* file);
bool WriteSounds(const QString& dir);

}  // namespace ov::assets
