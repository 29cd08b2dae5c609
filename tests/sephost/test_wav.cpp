// The WAV reader and writer keep every sample: float bit patterns survive a round trip, and
// 16-bit values come back as the same integers.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "wav.h"

namespace {

TEST(Wav, FloatFilesRoundTripEveryBitPatternAndPcm16FilesEveryValue) {
    WavAudio audio;
    audio.format = WavSampleFormat::Float32;
    audio.channels = 2;
    audio.sample_rate = 48000;
    audio.samples = {0.0f,
                     -0.0f,
                     1e-45f,
                     -3.5f,
                     std::numeric_limits<float>::infinity(),
                     std::numeric_limits<float>::quiet_NaN()};
    WavAudio back;
    std::string error;
    ASSERT_TRUE(wav_parse(wav_serialize(audio), back, error)) << error;
    EXPECT_EQ(audio.format, back.format);
    EXPECT_EQ(2, back.channels);
    EXPECT_EQ(48000u, back.sample_rate);
    ASSERT_EQ(audio.samples.size(), back.samples.size());
    EXPECT_EQ(0, std::memcmp(audio.samples.data(), back.samples.data(), 4 * audio.samples.size()));

    WavAudio pcm;
    pcm.format = WavSampleFormat::Pcm16;
    pcm.channels = 1;
    pcm.sample_rate = 8000;
    for (int value : {-32768, -1, 0, 1, 255, 256, 32767}) {
        pcm.samples.push_back(static_cast<float>(value) / 32768.0f);
    }
    size_t clipped = 99;
    ASSERT_TRUE(wav_parse(wav_serialize(pcm, &clipped), back, error)) << error;
    EXPECT_EQ(0u, clipped);
    EXPECT_EQ(pcm.samples, back.samples);
}

TEST(Wav, SixteenBitOutputClampsAndCountsSamplesOutOfRange) {
    WavAudio audio;
    audio.format = WavSampleFormat::Pcm16;
    audio.channels = 1;
    audio.sample_rate = 44100;
    audio.samples = {1.0f, -1.0f, 7.5f, -7.5f, 0.5f};
    size_t clipped = 0;
    WavAudio back;
    std::string error;
    ASSERT_TRUE(wav_parse(wav_serialize(audio, &clipped), back, error)) << error;
    EXPECT_EQ(3u, clipped) << "1.0, 7.5 and -7.5 lie outside; -1.0 is exactly -32768";
    const std::vector<float> expected = {32767 / 32768.0f, -1.0f, 32767 / 32768.0f, -1.0f, 0.5f};
    EXPECT_EQ(expected, back.samples);
}

} // namespace
