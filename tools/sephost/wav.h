// WAV files as the render command reads and writes them: RIFF/WAVE with 16-bit integer PCM or
// 32-bit float samples, one or two channels. Samples are held as float, channels interleaved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class WavSampleFormat : int32_t {
    Pcm16 = 1,   // stored as signed 16-bit; read as value / 32768
    Float32 = 3, // stored as IEEE single precision, bit for bit
};

struct WavAudio {
    WavSampleFormat format = WavSampleFormat::Float32;
    int32_t channels = 0;
    uint32_t sample_rate = 0;
    std::vector<float> samples; // interleaved, frames() * channels values

    size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

// Parses a whole WAV file image. On failure returns false with a one-line reason in `error`.
bool wav_parse(const std::vector<uint8_t>& bytes, WavAudio& audio, std::string& error);
bool wav_read_file(const std::string& path, WavAudio& audio, std::string& error);

// The file image of `audio` in its own format. 16-bit output clamps to the integer range;
// `clipped` (if given) counts the samples that had to be clamped.
std::vector<uint8_t> wav_serialize(const WavAudio& audio, size_t* clipped = nullptr);

// Writes the image next to `path` first and renames it into place, so that a failure leaves no
// partial file behind.
bool wav_write_file(const std::string& path, const WavAudio& audio, std::string& error,
                    size_t* clipped = nullptr);
