#include "wav.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr uint16_t kFormatExtensible = 0xFFFE;

uint16_t read_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t read_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put_u16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        out.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
}
void put_tag(std::vector<uint8_t>& out, const char* tag) {
    for (int k = 0; k < 4; ++k) {
        out.push_back(static_cast<uint8_t>(tag[k]));
    }
}

struct FormatChunk {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t block_align = 0;
    uint16_t bits = 0;
};

bool parse_format(const uint8_t* p, uint32_t size, FormatChunk& fmt, std::string& error) {
    if (size < 16) {
        error = "malformed WAV: fmt chunk of " + std::to_string(size) + " bytes";
        return false;
    }
    fmt.tag = read_u16(p);
    fmt.channels = read_u16(p + 2);
    fmt.rate = read_u32(p + 4);
    fmt.block_align = read_u16(p + 12);
    fmt.bits = read_u16(p + 14);
    if (fmt.tag == kFormatExtensible) {
        // The first two bytes of the sub-format GUID carry the plain format tag.
        if (size < 40) {
            error = "malformed WAV: extensible fmt chunk of " + std::to_string(size) + " bytes";
            return false;
        }
        fmt.tag = read_u16(p + 24);
    }
    const bool pcm16 = fmt.tag == 1 && fmt.bits == 16;
    const bool float32 = fmt.tag == 3 && fmt.bits == 32;
    if (!pcm16 && !float32) {
        error = "unsupported WAV: format " + std::to_string(fmt.tag) + " with " +
                std::to_string(fmt.bits) + " bits (16-bit PCM or 32-bit float only)";
        return false;
    }
    if (fmt.channels != 1 && fmt.channels != 2) {
        error = "unsupported WAV: " + std::to_string(fmt.channels) + " channels (1 or 2 only)";
        return false;
    }
    if (fmt.block_align != fmt.channels * fmt.bits / 8 || fmt.rate == 0) {
        error = "malformed WAV: inconsistent fmt chunk";
        return false;
    }
    return true;
}

} // namespace

bool wav_parse(const std::vector<uint8_t>& bytes, WavAudio& audio, std::string& error) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = "not a WAV file (no RIFF/WAVE header)";
        return false;
    }
    FormatChunk fmt;
    bool have_format = false;
    const uint8_t* data = nullptr;
    uint32_t data_size = 0;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + at;
        const uint32_t size = read_u32(chunk + 4);
        if (size > bytes.size() - at - 8) {
            error = "truncated WAV: chunk '" + std::string(chunk, chunk + 4) + "' wants " +
                    std::to_string(size) + " bytes, " + std::to_string(bytes.size() - at - 8) +
                    " present";
            return false;
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (!parse_format(chunk + 8, size, fmt, error)) {
                return false;
            }
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            data_size = size;
            break; // anything after the samples is of no interest
        }
        at += 8 + size + (size & 1u); // chunks are padded to even sizes
    }
    if (!have_format) {
        error = "malformed WAV: no fmt chunk before the data";
        return false;
    }
    if (data == nullptr) {
        error = "truncated WAV: no data chunk";
        return false;
    }
    if (data_size % fmt.block_align != 0) {
        error = "truncated WAV: data ends inside a sample frame";
        return false;
    }
    audio.format = fmt.tag == 1 ? WavSampleFormat::Pcm16 : WavSampleFormat::Float32;
    audio.channels = fmt.channels;
    audio.sample_rate = fmt.rate;
    const size_t count = data_size / (fmt.bits / 8);
    audio.samples.resize(count);
    for (size_t k = 0; k < count; ++k) {
        if (audio.format == WavSampleFormat::Pcm16) {
            const int16_t value = static_cast<int16_t>(read_u16(data + 2 * k));
            audio.samples[k] = static_cast<float>(value) / 32768.0f;
        } else {
            const uint32_t bits = read_u32(data + 4 * k);
            std::memcpy(&audio.samples[k], &bits, 4);
        }
    }
    return true;
}

bool wav_read_file(const std::string& path, WavAudio& audio, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    if (!wav_parse(bytes, audio, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::vector<uint8_t> wav_serialize(const WavAudio& audio, size_t* clipped) {
    const uint16_t bits = audio.format == WavSampleFormat::Pcm16 ? 16 : 32;
    const uint16_t align = static_cast<uint16_t>(audio.channels * bits / 8);
    const uint32_t data_size = static_cast<uint32_t>(audio.samples.size() * (bits / 8));
    std::vector<uint8_t> out;
    out.reserve(44 + data_size);
    put_tag(out, "RIFF");
    put_u32(out, 36 + data_size);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put_u32(out, 16);
    put_u16(out, static_cast<uint16_t>(audio.format));
    put_u16(out, static_cast<uint16_t>(audio.channels));
    put_u32(out, audio.sample_rate);
    put_u32(out, audio.sample_rate * align);
    put_u16(out, align);
    put_u16(out, bits);
    put_tag(out, "data");
    put_u32(out, data_size);
    size_t clamped = 0;
    for (float sample : audio.samples) {
        if (audio.format == WavSampleFormat::Pcm16) {
            float scaled = std::nearbyint(sample * 32768.0f);
            if (!(scaled >= -32768.0f && scaled <= 32767.0f)) {
                ++clamped;
                scaled = scaled > 0.0f ? 32767.0f : (scaled < 0.0f ? -32768.0f : 0.0f);
            }
            put_u16(out, static_cast<uint16_t>(static_cast<int16_t>(scaled)));
        } else {
            uint32_t word;
            std::memcpy(&word, &sample, 4);
            put_u32(out, word);
        }
    }
    if (clipped != nullptr) {
        *clipped = clamped;
    }
    return out;
}

bool wav_write_file(const std::string& path, const WavAudio& audio, std::string& error,
                    size_t* clipped) {
    const std::vector<uint8_t> bytes = wav_serialize(audio, clipped);
    const std::string partial = path + ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        if (file) {
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        if (!file) {
            error = "cannot write " + path;
            file.close();
            std::remove(partial.c_str());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        std::remove(partial.c_str());
        error = "cannot write " + path + ": " + ec.message();
        return false;
    }
    return true;
}
