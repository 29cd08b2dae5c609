// sephost render: a WAV file through the module, block by block, the way a host runs a patch
// of file player -> module -> file recorder with a constant or streamed gain.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <ostream>

#ifdef _WIN32
#include <io.h>
#define se_isatty _isatty
#else
#include <unistd.h>
#define se_isatty isatty
#endif

#include "arguments.h"
#include "commands.h"
#include "host_instance.h"
#include "library.h"
#include "stereo_pins.h"
#include "wav.h"

namespace {

constexpr int32_t kDefaultBlock = 1024;
constexpr int32_t kMaxBlock = 1 << 16;

// A bar on the error stream, redrawn in place; only when that stream is the terminal.
class Progress {
public:
    Progress(std::ostream& err, size_t total, uint32_t rate)
        : m_err(err), m_total(total),
          m_active(&err == &std::cerr && se_isatty(2) && total > 5u * rate) {}
    void update(size_t done) {
        if (!m_active) {
            return;
        }
        const int percent = static_cast<int>(100.0 * static_cast<double>(done) / m_total);
        if (percent == m_percent) {
            return;
        }
        m_percent = percent;
        const int filled = percent / 4;
        m_err << "\r[" << std::string(filled, '#') << std::string(25 - filled, ' ') << "] "
              << percent << "%" << std::flush;
    }
    void finish() {
        if (m_active) {
            m_err << "\r" << std::string(40, ' ') << "\r" << std::flush;
        }
    }

private:
    std::ostream& m_err;
    size_t m_total;
    bool m_active;
    int m_percent = -1;
};

struct RenderOptions {
    std::string library, input, output, gain_wav;
    bool constant_gain_given = false;
    double constant_gain = 0.0;
    int32_t block = kDefaultBlock;
    int32_t rate = 0; // 0: the input's rate
    bool format_given = false;
    WavSampleFormat format = WavSampleFormat::Float32;
};

bool parse_options(int argc, char** argv, RenderOptions& o, std::ostream& err) {
    SeArguments args;
    if (!se_parse_arguments("render", argc, argv,
                            {{"--gain", true},
                             {"--gain-wav", true},
                             {"--block", true},
                             {"--rate", true},
                             {"--format", true}},
                            args, err)) {
        return false;
    }
    if (args.positional.size() != 3) {
        err << "sephost render: expected FILE IN.wav OUT.wav (sephost --help)\n";
        return false;
    }
    o.library = args.positional[0];
    o.input = args.positional[1];
    o.output = args.positional[2];
    if (args.has("--gain") && args.has("--gain-wav")) {
        err << "sephost render: --gain and --gain-wav exclude each other\n";
        return false;
    }
    if (const std::string* v = args.value("--gain")) {
        if (!se_parse_float(*v, o.constant_gain)) {
            err << "sephost render: --gain needs a number, not '" << *v << "'\n";
            return false;
        }
        o.constant_gain_given = true;
    }
    if (const std::string* v = args.value("--gain-wav")) {
        o.gain_wav = *v;
    }
    if (const std::string* v = args.value("--block")) {
        if (!se_parse_int(*v, o.block) || o.block < 1 || o.block > kMaxBlock) {
            err << "sephost render: --block needs a whole number from 1 to " << kMaxBlock
                << ", not '" << *v << "'\n";
            return false;
        }
    }
    if (const std::string* v = args.value("--rate")) {
        if (!se_parse_int(*v, o.rate) || o.rate < 1) {
            err << "sephost render: --rate needs a positive whole number, not '" << *v << "'\n";
            return false;
        }
    }
    if (const std::string* v = args.value("--format")) {
        o.format_given = true;
        if (*v == "pcm16") {
            o.format = WavSampleFormat::Pcm16;
        } else if (*v == "float") {
            o.format = WavSampleFormat::Float32;
        } else {
            err << "sephost render: --format is pcm16 or float, not '" << *v << "'\n";
            return false;
        }
    }
    return true;
}

} // namespace

int run_render(int argc, char** argv, std::ostream& out, std::ostream& err) {
    RenderOptions o;
    if (!parse_options(argc, argv, o, err)) {
        return kExitUsage;
    }
    std::string error;
    WavAudio input;
    if (!wav_read_file(o.input, input, error)) {
        err << "sephost render: " << error << "\n";
        return kExitFailed;
    }
    WavAudio gain_audio;
    if (!o.gain_wav.empty() && !wav_read_file(o.gain_wav, gain_audio, error)) {
        err << "sephost render: " << error << "\n";
        return kExitFailed;
    }

    SeLibrary library;
    if (!se_load_library(o.library, library, error)) {
        err << "sephost render: " << error << "\n";
        return kExitFailed;
    }
    const float rate = static_cast<float>(o.rate > 0 ? o.rate : input.sample_rate);
    WavAudio output;
    output.format = o.format_given ? o.format : input.format;
    output.channels = 2;
    output.sample_rate = input.sample_rate;
    const size_t frames = input.frames();
    output.samples.assign(2 * frames, 0.0f);
    int32_t blocks = 0;
    int32_t idle_blocks = 0;
    int32_t sleep_requests = 0;
    bool ok = true;
    {
        HostInstance host(library, o.block, rate);
        SeStereoPins pins;
        if (!host.created()) {
            error = o.library + ": makeModule(0) made no instance";
            ok = false;
        } else {
            host.describe_pins();
            ok = se_find_stereo_pins(host, pins, error);
        }
        if (ok) {
            host.open();
            float constant = 1.0f;
            if (o.constant_gain_given) {
                constant = static_cast<float>(o.constant_gain);
            } else if (const char* text = host.pin(pins.gain).properties.default_value) {
                constant = static_cast<float>(std::strtod(text, nullptr));
            }
            const bool streamed_gain = !o.gain_wav.empty();
            std::fill(host.input(pins.gain), host.input(pins.gain) + o.block, constant);
            // The players stream from the first sample; a constant gain is a static input.
            host.set_input_state(pins.in_l, STATE_RUNNING);
            host.set_input_state(pins.in_r, STATE_RUNNING);
            host.set_input_state(pins.gain, streamed_gain ? STATE_RUNNING : STATE_STOPPED);

            const size_t gain_frames = gain_audio.frames();
            Progress progress(err, frames, input.sample_rate);
            for (size_t start = 0; start < frames; start += static_cast<size_t>(o.block)) {
                const int32_t n = static_cast<int32_t>(
                    std::min<size_t>(static_cast<size_t>(o.block), frames - start));
                float* in_l = host.input(pins.in_l);
                float* in_r = host.input(pins.in_r);
                float* gain = host.input(pins.gain);
                for (int32_t k = 0; k < n; ++k) {
                    const size_t frame = start + static_cast<size_t>(k);
                    in_l[k] = input.samples[frame * input.channels];
                    in_r[k] = input.samples[frame * input.channels + (input.channels - 1)];
                    if (streamed_gain) {
                        const size_t g = std::min(frame, gain_frames - 1);
                        gain[k] =
                            gain_frames == 0 ? 0.0f : gain_audio.samples[g * gain_audio.channels];
                    }
                }
                const int32_t calls = host.process_calls();
                host.run_block(n);
                ++blocks;
                if (host.process_calls() == calls) {
                    ++idle_blocks;
                }
                const float* out_l = host.output(pins.out_l);
                const float* out_r = host.output(pins.out_r);
                for (int32_t k = 0; k < n; ++k) {
                    output.samples[2 * (start + static_cast<size_t>(k))] = out_l[k];
                    output.samples[2 * (start + static_cast<size_t>(k)) + 1] = out_r[k];
                }
                progress.update(start + static_cast<size_t>(n));
            }
            progress.finish();
            sleep_requests = host.sleep_requests();
        }
    }
    se_unload_library(library);
    if (!ok) {
        err << "sephost render: " << error << "\n";
        return kExitFailed;
    }
    size_t clipped = 0;
    if (!wav_write_file(o.output, output, error, &clipped)) {
        err << "sephost render: " << error << "\n";
        return kExitFailed;
    }
    out << "rendered " << frames << " frames in " << blocks << " blocks of " << o.block << " to "
        << o.output << "\n";
    if (sleep_requests > 0) {
        out << "sleep requests: " << sleep_requests
            << "; blocks not processed while asleep: " << idle_blocks << " of " << blocks << "\n";
    }
    if (clipped > 0) {
        out << clipped << " samples clipped to the 16-bit range\n";
    }
    return kExitOk;
}
