// Renders through the real libraries must equal the double-precision reference bit for bit:
// each output sample is float(double(in) * double(gain) * factor), rounded once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tool_runner.h"
#include "variants_table.h"
#include "wav.h"
#include "wav_bytes.h"

namespace {

uint32_t bits_of(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

float reference(float input, float gain, int32_t factor) {
    return static_cast<float>(static_cast<double>(input) * static_cast<double>(gain) *
                              static_cast<double>(factor));
}

// Inputs whose products need the single rounding: full 24-bit significands, and the
// 1 + 2^-23 pair where rounding after each multiplication gives a different float.
std::vector<float> awkward_samples(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> samples(count);
    for (float& s : samples) {
        s = uniform(random);
    }
    samples[0] = 1.0000001192092896f;
    return samples;
}

struct RenderCase {
    const char* name;
    size_t variant;    // row of the variant table
    uint16_t channels; // of the input file
    size_t frames;
    const char* block;  // --block
    bool streamed_gain; // --gain-wav instead of --gain
};

const RenderCase kCases[] = {
    {"StereoConstantGainOddBlock", 0, 2, 5000, "17", false},
    {"StereoStreamedGainBlockOfOne", 1, 2, 300, "1", true},
    {"MonoFeedsBothChannelsWholeBlocks", 2, 1, 4096, "1024", false},
    {"StreamedGainFileNotAMultipleOfTheBlock", 3, 2, 2027, "256", true},
};

class RenderExactness : public ::testing::TestWithParam<RenderCase> {};

TEST_P(RenderExactness, OutputEqualsTheDoublePrecisionReferenceBitForBit) {
    const RenderCase& c = GetParam();
    const SeVariant& variant = kVariantTable[c.variant];
    const std::string dir = scratch_dir(std::string("render_") + c.name);
    const std::vector<float> input = awkward_samples(c.frames * c.channels, 7);
    write_bytes(dir + "/in.wav", float_wav(c.channels, input));
    std::vector<float> gain(c.frames);
    std::vector<std::string> args = {"render",        library_path(variant.file_name),
                                     dir + "/in.wav", dir + "/out.wav",
                                     "--block",       c.block};
    if (c.streamed_gain) {
        gain = awkward_samples(c.frames, 11);
        write_bytes(dir + "/gain.wav", float_wav(1, gain));
        args.insert(args.end(), {"--gain-wav", dir + "/gain.wav"});
    } else {
        // 1 + 2^-23 meets input[0] == 1 + 2^-23: only a single rounding gives the reference.
        std::fill(gain.begin(), gain.end(), 1.0000001192092896f);
        args.insert(args.end(), {"--gain", "1.0000001192092896"});
    }
    const ToolRun run = run_sephost(args);
    ASSERT_EQ(0, run.status) << run.err;

    WavAudio out;
    std::string error;
    ASSERT_TRUE(wav_read_file(dir + "/out.wav", out, error)) << error;
    ASSERT_EQ(2, out.channels);
    ASSERT_EQ(WavSampleFormat::Float32, out.format);
    ASSERT_EQ(c.frames, out.frames());
    size_t mismatches = 0;
    for (size_t f = 0; f < c.frames; ++f) {
        for (int ch = 0; ch < 2; ++ch) {
            const float in = input[f * c.channels + (c.channels == 2 ? ch : 0)];
            const float expected = reference(in, gain[f], variant.gain_factor);
            if (bits_of(expected) != bits_of(out.samples[2 * f + ch]) && mismatches++ < 5) {
                ADD_FAILURE() << "frame " << f << " channel " << ch << ": expected " << expected
                              << ", got " << out.samples[2 * f + ch];
            }
        }
    }
    EXPECT_EQ(0u, mismatches);
}

INSTANTIATE_TEST_SUITE_P(Libraries, RenderExactness, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Render, SixteenBitInputIsScaledExactlyAndWrittenAsFloatOnRequest) {
    const SeVariant& variant = kVariantTable[4];
    const std::string dir = scratch_dir("render_pcm16");
    const std::vector<int16_t> input = {-32768, -1, 0, 1, 12345, 32767};
    write_bytes(dir + "/in.wav", pcm16_wav(1, input));
    const ToolRun run = run_sephost({"render", library_path(variant.file_name), dir + "/in.wav",
                                     dir + "/out.wav", "--gain", "0.125", "--format", "float"});
    ASSERT_EQ(0, run.status) << run.err;
    WavAudio out;
    std::string error;
    ASSERT_TRUE(wav_read_file(dir + "/out.wav", out, error)) << error;
    ASSERT_EQ(input.size(), out.frames());
    for (size_t f = 0; f < input.size(); ++f) {
        const float expected = reference(input[f] / 32768.0f, 0.125f, variant.gain_factor);
        EXPECT_EQ(bits_of(expected), bits_of(out.samples[2 * f])) << f;
        EXPECT_EQ(bits_of(expected), bits_of(out.samples[2 * f + 1])) << f;
    }
}

TEST(Render, ZeroGainReportsTheSleepRequestAndKeepsTheOutputsSilent) {
    const std::string dir = scratch_dir("render_sleep");
    write_bytes(dir + "/in.wav", float_wav(2, awkward_samples(2 * 3000, 3)));
    const ToolRun run =
        run_sephost({"render", library_path(kVariantTable[0].file_name), dir + "/in.wav",
                     dir + "/out.wav", "--gain", "0", "--block", "1000"});
    ASSERT_EQ(0, run.status) << run.err;
    // Static zero gain: one block in the static routine, then asleep for the other two.
    EXPECT_NE(std::string::npos, run.out.find("sleep requests: 1;")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("2 of 3")) << run.out;
    WavAudio out;
    std::string error;
    ASSERT_TRUE(wav_read_file(dir + "/out.wav", out, error)) << error;
    ASSERT_EQ(3000u, out.frames());
    for (float sample : out.samples) {
        ASSERT_EQ(0.0f, std::fabs(sample));
    }
}

} // namespace
