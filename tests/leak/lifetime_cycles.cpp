// Instance lifetimes for a memory checker (valgrind memcheck, or LeakSanitizer in the sanitize
// build): 10,000 cycles of create, describe, open, one event and one block, close, spread over
// all six libraries, and an instance opened twice. The checker owns the verdict on leaks and
// invalid accesses; this program fails on its own only when an instance computes wrongly.
// Usage: lifetime_cycles <dist dir>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host_instance.h"
#include "variants_table.h"

namespace {

constexpr int kCycles = 10000;
constexpr int32_t kBlock = 32;

// Streams a block through an opened instance and checks both outputs.
bool block_is_right(HostInstance& host, int32_t gain_factor) {
    for (int32_t i = 0; i < kBlock; ++i) {
        host.input(0)[i] = 0.25f * static_cast<float>(i + 1);
        host.input(1)[i] = -0.5f * static_cast<float>(i);
        host.input(2)[i] = 1.5f;
    }
    host.set_input_state(2, STATE_RUNNING);
    host.run_block(kBlock);
    for (int32_t i = 0; i < kBlock; ++i) {
        const double g = host.input(2)[i];
        if (host.output(3)[i] != static_cast<float>(host.input(0)[i] * g * gain_factor) ||
            host.output(4)[i] != static_cast<float>(host.input(1)[i] * g * gain_factor)) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: lifetime_cycles <dist dir>\n", stderr);
        return 2;
    }
    std::vector<SeLibrary> libraries;
    for (const SeVariant& row : kVariantTable) {
        SeLibrary library;
        std::string error;
        if (!se_load_library(std::string(argv[1]) + "/" + row.file_name, library, error)) {
            std::fprintf(stderr, "lifetime_cycles: %s\n", error.c_str());
            return 1;
        }
        libraries.push_back(library);
    }

    int failures = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const size_t k = static_cast<size_t>(cycle) % libraries.size();
        HostInstance host(libraries[k], kBlock); // closed by its destructor
        host.describe_and_open();
        if (!block_is_right(host, kVariantTable[k].gain_factor)) {
            std::fprintf(stderr, "cycle %d: %s computed wrongly\n", cycle,
                         kVariantTable[k].file_name);
            ++failures;
        }
    }

    // A second MOD_OPEN rebuilds the pins: the first array must not leak, and the instance must
    // still compute and close cleanly.
    for (size_t k = 0; k < libraries.size(); ++k) {
        HostInstance host(libraries[k], kBlock);
        host.describe_and_open();
        host.open();
        if (!block_is_right(host, kVariantTable[k].gain_factor)) {
            std::fprintf(stderr, "%s opened twice computed wrongly\n", kVariantTable[k].file_name);
            ++failures;
        }
    }

    for (SeLibrary& library : libraries) {
        se_unload_library(library);
    }
    if (failures == 0) {
        std::printf("lifetime_cycles: %d cycles and %zu double opens\n", kCycles, libraries.size());
    }
    return failures == 0 ? 0 : 1;
}
