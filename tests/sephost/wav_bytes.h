// Builds WAV file images for the tests, including deliberately broken ones.
#pragma once

#include <cstdint>
#include <vector>

struct WavShape {
    uint16_t format_tag = 3; // 1 integer PCM, 3 float
    uint16_t channels = 2;
    uint16_t bits = 32;
    uint32_t rate = 44100;
};

std::vector<unsigned char> wav_image(const WavShape& shape, const std::vector<unsigned char>& data);
std::vector<unsigned char> float_wav(uint16_t channels, const std::vector<float>& samples);
std::vector<unsigned char> pcm16_wav(uint16_t channels, const std::vector<int16_t>& samples);
