// What the tool does with input it cannot use: one line on the error stream, a nonzero exit
// status, and no output file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_runner.h"
#include "variants_table.h"
#include "wav_bytes.h"

namespace {

size_t line_count(const std::string& text) {
    size_t lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines;
}

std::vector<unsigned char> good_data(size_t bytes) {
    return std::vector<unsigned char>(bytes, 0);
}

std::vector<unsigned char> without_tail(std::vector<unsigned char> bytes, size_t cut) {
    bytes.resize(bytes.size() - cut);
    return bytes;
}

struct BadWav {
    const char* name;
    std::vector<unsigned char> bytes;
    const char* reason; // a word the one-line error must contain
};

std::vector<BadWav> bad_wavs() {
    std::vector<unsigned char> no_data = wav_image({}, {});
    no_data.resize(36); // RIFF header and fmt chunk only
    std::vector<unsigned char> not_riff = wav_image({}, good_data(64));
    not_riff[0] = 'X';
    return {
        {"Empty", {}, "not a WAV"},
        {"NotRiff", not_riff, "not a WAV"},
        {"TruncatedDataChunk", without_tail(wav_image({}, good_data(64)), 10), "truncated"},
        {"DataEndsInsideAFrame", wav_image({}, good_data(12)), "truncated"},
        {"NoDataChunk", no_data, "no data chunk"},
        {"TwentyFourBitPcm", wav_image({1, 2, 24, 44100}, good_data(60)), "unsupported"},
        {"SixtyFourBitFloat", wav_image({3, 2, 64, 44100}, good_data(64)), "unsupported"},
        {"ThreeChannels", wav_image({3, 3, 32, 44100}, good_data(72)), "unsupported"},
        {"ZeroRate", wav_image({3, 2, 32, 0}, good_data(64)), "malformed"},
    };
}

TEST(RenderRefuses, EveryMalformedTruncatedOrUnsupportedWavWithOneLineAndNoOutput) {
    for (const BadWav& bad : bad_wavs()) {
        SCOPED_TRACE(bad.name);
        const std::string dir = scratch_dir(std::string("bad_wav_") + bad.name);
        write_bytes(dir + "/bad.wav", bad.bytes);
        write_bytes(dir + "/good.wav", float_wav(2, std::vector<float>(64, 0.5f)));
        // The broken file as the audio input and as the gain input.
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"render", library_path(kVariantTable[0].file_name),
                                       dir + "/bad.wav", dir + "/out.wav"},
              std::vector<std::string>{"render", library_path(kVariantTable[0].file_name),
                                       dir + "/good.wav", dir + "/out.wav", "--gain-wav",
                                       dir + "/bad.wav"}}) {
            const ToolRun run = run_sephost(args);
            EXPECT_EQ(1, run.status);
            EXPECT_EQ(1u, line_count(run.err)) << run.err;
            EXPECT_NE(std::string::npos, run.err.find(bad.reason)) << run.err;
            EXPECT_FALSE(file_exists(dir + "/out.wav"));
            EXPECT_FALSE(file_exists(dir + "/out.wav.partial"));
        }
    }
}

TEST(RenderRefuses, AMissingInputFileWithoutWritingTheOutput) {
    const std::string dir = scratch_dir("missing_input");
    const ToolRun run = run_sephost({"render", library_path(kVariantTable[0].file_name),
                                     dir + "/absent.wav", dir + "/out.wav"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(1u, line_count(run.err)) << run.err;
    EXPECT_FALSE(file_exists(dir + "/out.wav"));
}

struct BadCommandLine {
    std::vector<std::string> args;
    const char* mention; // what the one-line error must name
};

TEST(CommandLine, UnknownOptionsCommandsAndBadValuesAreUsageErrors) {
    const std::string lib = library_path(kVariantTable[0].file_name);
    const std::vector<BadCommandLine> cases = {
        {{"info", lib, "--verbose"}, "--verbose"},
        {{"render", lib, "in.wav", "out.wav", "--gian", "2"}, "--gian"},
        {{"bench", lib, "--blocks", "64"}, "--blocks"},
        {{"frobnicate", lib}, "frobnicate"},
        {{"render", lib, "in.wav", "out.wav", "--block", "0"}, "--block"},
        {{"render", lib, "in.wav", "out.wav", "--block", "12x"}, "12x"},
        {{"render", lib, "in.wav", "out.wav", "--gain", "loud"}, "loud"},
        {{"render", lib, "in.wav", "out.wav", "--gain", "1", "--gain-wav", "g.wav"}, "exclude"},
        {{"render", lib, "in.wav", "out.wav", "--format", "mp3"}, "mp3"},
        {{"render", lib, "in.wav"}, "expected"},
        {{"bench", lib, "--block"}, "needs a value"},
        {{"info"}, "expected"},
    };
    for (const BadCommandLine& c : cases) {
        std::string line;
        for (const std::string& word : c.args) {
            line += word + " ";
        }
        SCOPED_TRACE(line);
        const ToolRun run = run_sephost(c.args);
        EXPECT_EQ(2, run.status);
        EXPECT_EQ(1u, line_count(run.err)) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.mention)) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

TEST(CommandLine, HelpDocumentsEveryCommand) {
    const ToolRun run = run_sephost({"--help"});
    EXPECT_EQ(0, run.status);
    for (const char* text : {"sephost info FILE", "sephost render FILE IN.wav OUT.wav",
                             "--gain-wav", "--block N", "--rate R", "sephost bench FILE"}) {
        EXPECT_NE(std::string::npos, run.out.find(text)) << text;
    }
}

TEST(NotAPlugIn, EveryCommandRefusesALibraryWithoutTheEntryPointsOrAFileThatIsNoLibrary) {
    const std::string dir = scratch_dir("not_a_plug_in");
    write_bytes(dir + "/text.sep", std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o', '\n'});
    write_bytes(dir + "/in.wav", float_wav(2, std::vector<float>(64, 0.5f)));
    const struct {
        std::string file;
        const char* reason;
    } files[] = {
        {NOT_A_MODULE_LIBRARY, "does not export getModuleProperties"},
        {dir + "/text.sep", "cannot load"},
        {dir + "/absent.sep", "cannot load"},
    };
    for (const auto& f : files) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"info", f.file},
              std::vector<std::string>{"render", f.file, dir + "/in.wav", dir + "/out.wav"},
              std::vector<std::string>{"bench", f.file, "--block", "16"}}) {
            SCOPED_TRACE(args[0] + " " + f.file);
            const ToolRun run = run_sephost(args);
            EXPECT_EQ(1, run.status);
            EXPECT_NE(std::string::npos, run.err.find(f.reason)) << run.err;
            EXPECT_FALSE(file_exists(dir + "/out.wav"));
        }
    }
}

} // namespace
