#include "wav_bytes.h"

#include <cstring>

namespace {
void put(std::vector<unsigned char>& out, uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        out.push_back(static_cast<unsigned char>(value >> (8 * k)));
    }
}
void tag(std::vector<unsigned char>& out, const char* text) {
    for (int k = 0; k < 4; ++k) {
        out.push_back(static_cast<unsigned char>(text[k]));
    }
}
} // namespace

std::vector<unsigned char> wav_image(const WavShape& shape,
                                     const std::vector<unsigned char>& data) {
    const uint16_t align = static_cast<uint16_t>(shape.channels * shape.bits / 8);
    std::vector<unsigned char> out;
    tag(out, "RIFF");
    put(out, static_cast<uint32_t>(36 + data.size()), 4);
    tag(out, "WAVE");
    tag(out, "fmt ");
    put(out, 16, 4);
    put(out, shape.format_tag, 2);
    put(out, shape.channels, 2);
    put(out, shape.rate, 4);
    put(out, shape.rate * align, 4);
    put(out, align, 2);
    put(out, shape.bits, 2);
    tag(out, "data");
    put(out, static_cast<uint32_t>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<unsigned char> float_wav(uint16_t channels, const std::vector<float>& samples) {
    std::vector<unsigned char> data;
    for (float sample : samples) {
        uint32_t bits;
        std::memcpy(&bits, &sample, 4);
        put(data, bits, 4);
    }
    return wav_image({3, channels, 32, 44100}, data);
}

std::vector<unsigned char> pcm16_wav(uint16_t channels, const std::vector<int16_t>& samples) {
    std::vector<unsigned char> data;
    for (int16_t sample : samples) {
        put(data, static_cast<uint16_t>(sample), 2);
    }
    return wav_image({1, channels, 16, 44100}, data);
}
