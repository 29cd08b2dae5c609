// sephost bench: the cost of the module's processing routine per stereo sample, beside the
// cheapest thing a routine with the same inputs and outputs could do, a copy.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <iomanip>
#include <ostream>

#include "arguments.h"
#include "commands.h"
#include "host_instance.h"
#include "library.h"
#include "stereo_pins.h"

namespace {

constexpr int32_t kBlocks[] = {16, 64, 256, 1024, 4096};
constexpr int32_t kSamplesPerRound = 1 << 22;
constexpr int kRounds = 7;

// Keeps the compiler from merging or dropping the copies between two timed calls.
inline void memory_barrier() {
    asm volatile("" ::: "memory");
}

struct Timing {
    double module_ns = 0.0;
    double copy_ns = 0.0;
};

// Best of several rounds: the least disturbed by other work on the machine.
template <typename Body> double best_ns_per_sample(int32_t block, Body body) {
    const int32_t iterations = std::max(1, kSamplesPerRound / block);
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int32_t k = 0; k < iterations; ++k) {
            body();
            memory_barrier();
        }
        const std::chrono::duration<double, std::nano> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / (static_cast<double>(iterations) * block));
    }
    return best;
}

bool measure(const SeLibrary& library, int32_t block, Timing& timing, std::string& error) {
    HostInstance host(library, block);
    if (!host.created()) {
        error = "makeModule(0) made no instance";
        return false;
    }
    host.describe_pins();
    SeStereoPins pins;
    if (!se_find_stereo_pins(host, pins, error)) {
        return false;
    }
    host.open();
    uint32_t noise = 12345;
    for (int32_t k = 0; k < block; ++k) {
        for (int32_t pin : {pins.in_l, pins.in_r, pins.gain}) {
            noise = noise * 1664525u + 1013904223u;
            host.input(pin)[k] = static_cast<float>(static_cast<int32_t>(noise)) * 0x1p-31f;
        }
    }
    for (int32_t pin : {pins.in_l, pins.in_r, pins.gain}) {
        host.set_input_state(pin, STATE_RUNNING);
    }
    host.run_block(block); // delivers the states: the routine timed below is the streaming one
    if (host.sleeping()) {
        error = "the module asked to sleep with every input streaming";
        return false;
    }
    SEMod_struct_base2* record = host.record();
    const SeProcessFn routine = record->sub_process_ptr;
    void* object = record->object_ptr;
    timing.module_ns = best_ns_per_sample(block, [&] { routine(object, 0, block); });
    const float* in_l = host.input(pins.in_l);
    const float* in_r = host.input(pins.in_r);
    float* out_l = host.output(pins.out_l);
    float* out_r = host.output(pins.out_r);
    const size_t bytes = static_cast<size_t>(block) * sizeof(float);
    timing.copy_ns = best_ns_per_sample(block, [&] {
        std::memcpy(out_l, in_l, bytes);
        std::memcpy(out_r, in_r, bytes);
    });
    return true;
}

} // namespace

int run_bench(int argc, char** argv, std::ostream& out, std::ostream& err) {
    SeArguments args;
    if (!se_parse_arguments("bench", argc, argv, {{"--block", true}}, args, err)) {
        return kExitUsage;
    }
    if (args.positional.size() != 1) {
        err << "sephost bench: expected one FILE (sephost --help)\n";
        return kExitUsage;
    }
    std::vector<int32_t> blocks(std::begin(kBlocks), std::end(kBlocks));
    if (const std::string* v = args.value("--block")) {
        int32_t block = 0;
        if (!se_parse_int(*v, block) || block < 1 || block > (1 << 16)) {
            err << "sephost bench: --block needs a whole number from 1 to 65536, not '" << *v
                << "'\n";
            return kExitUsage;
        }
        blocks = {block};
    }
    SeLibrary library;
    std::string error;
    if (!se_load_library(args.positional[0], library, error)) {
        err << "sephost bench: " << error << "\n";
        return kExitFailed;
    }
    out << "ns per stereo sample, best of " << kRounds << " rounds of " << kSamplesPerRound
        << " samples\n"
        << " block    module      copy     ratio\n";
    int status = kExitOk;
    for (int32_t block : blocks) {
        Timing timing;
        if (!measure(library, block, timing, error)) {
            err << "sephost bench: " << args.positional[0] << ": " << error << "\n";
            status = kExitFailed;
            break;
        }
        out << std::setw(6) << block << std::fixed << std::setprecision(3) << std::setw(10)
            << timing.module_ns << std::setw(10) << timing.copy_ns << std::setprecision(2)
            << std::setw(10) << timing.module_ns / timing.copy_ns << "\n";
        out.unsetf(std::ios::floatfield);
    }
    se_unload_library(library);
    return status;
}
