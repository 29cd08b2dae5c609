// Nanoseconds per stereo sample of the running routine, called the way a host calls it: through
// sub_process_ptr of an instance of the real library. The AVX column is the shipped library; the
// other paths are benchmark builds of it with the kernel choice capped there. Every round times
// every path and a copy of the same bytes (three float streams in, two out) back to back, and the
// ratios are taken within the round; the table shows medians over the rounds, so a neighbour's load
// on a shared machine moves the ratios much less than the absolute times.
//
//   gain_bench [rounds] [paths, default scalar,sse2,avx,avx512]
#include <emmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host_instance.h"
#include "library.h"
#include "variants_table.h"

namespace {

constexpr int32_t kPins = 5;

// The five streams of one measurement, aligned to a cache line.
struct Streams {
    std::vector<float> storage;
    float* pin[kPins] = {};

    explicit Streams(int32_t samples) : storage(static_cast<size_t>(kPins) * (samples + 16)) {
        std::mt19937 rng(42);
        std::uniform_real_distribution<float> wave(-1.0f, 1.0f);
        for (int32_t p = 0; p < kPins; ++p) {
            float* start = storage.data() + static_cast<size_t>(p) * (samples + 16);
            const auto address = reinterpret_cast<uintptr_t>(start);
            pin[p] = reinterpret_cast<float*>((address + 63u) & ~uintptr_t{63});
            for (int32_t k = 0; k < samples; ++k) {
                pin[p][k] = p == 2 ? 0.5f * (wave(rng) + 1.0f) : wave(rng);
            }
        }
    }
};

// The copy the routine is compared with: the same loads and stores, 16 bytes at a time, the
// gain stream folded in by an AND with a zero the compiler cannot see.
volatile uint32_t g_zero_bits = 0;

struct CopyObject {
    const float* in_l;
    const float* in_r;
    const float* gain;
    float* out_l;
    float* out_r;
    __m128 zero;
};

void SE_CALL copy_process(void* object, int32_t offset, int32_t count) {
    const CopyObject& c = *static_cast<const CopyObject*>(object);
    const float* in_l = c.in_l + offset;
    const float* in_r = c.in_r + offset;
    const float* gain = c.gain + offset;
    float* out_l = c.out_l + offset;
    float* out_r = c.out_r + offset;
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 g = _mm_and_ps(_mm_loadu_ps(gain + i), c.zero);
        _mm_storeu_ps(out_l + i, _mm_or_ps(_mm_loadu_ps(in_l + i), g));
        _mm_storeu_ps(out_r + i, _mm_or_ps(_mm_loadu_ps(in_r + i), g));
    }
    for (; i < count; ++i) {
        out_l[i] = in_l[i] + gain[i] * 0.0f;
        out_r[i] = in_r[i];
    }
}

// One instance of a library whose kernel choice is capped at one path.
struct Path {
    std::string name;
    SeLibrary library;
    std::unique_ptr<HostInstance> instance;
    SeProcessFn process = nullptr;
    void* object = nullptr;
};

// The shipped library stops at AVX, so the AVX column is the installable file itself; the other
// paths are the build's benchmark copies of it, each capped at its path.
std::string library_for(const std::string& isa) {
    if (isa == "avx") {
        return std::string(SE_DIST_DIR) + kVariantTable[0].file_name;
    }
    return std::string(SE_BENCH_DIR) + "gain_bench_" + isa + ".sep";
}

bool load_path(const std::string& isa, Path& path) {
    std::string error;
    if (!se_load_library(library_for(isa), path.library, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    path.name = isa;
    path.instance = std::make_unique<HostInstance>(path.library);
    path.instance->describe_and_open();
    path.process = path.instance->record()->sub_process_ptr;
    path.object = path.instance->record()->object_ptr;
    return true;
}

// A case: `block` samples per buffer, processed in stretches of `stretch`.
struct Case {
    const char* label;
    int32_t block;
    int32_t stretch;
};

const Case kCases[] = {
    {"block 16", 16, 16},
    {"block 64", 64, 64},
    {"block 256", 256, 256},
    {"block 1024", 1024, 1024},
    {"block 4096", 4096, 4096},
    {"block 65536", 65536, 65536},
    {"stretch 1 of 1024", 1024, 1},
    {"stretch 8 of 1024", 1024, 8},
    {"stretch 64 of 1024", 1024, 64},
    {"stretch 1024 of 1024", 1024, 1024},
};

// Seconds for `blocks` blocks, each cut into stretches.
double time_blocks(SeProcessFn process, void* object, const Case& c, int32_t blocks) {
    const auto start = std::chrono::steady_clock::now();
    for (int32_t b = 0; b < blocks; ++b) {
        for (int32_t offset = 0; offset < c.block; offset += c.stretch) {
            process(object, offset, c.stretch);
        }
    }
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(stop - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char* processor_name() {
    static char name[49] = {};
    unsigned int regs[12] = {};
    for (unsigned int leaf = 0; leaf < 3; ++leaf) {
        __asm__ volatile("cpuid"
                         : "=a"(regs[leaf * 4]), "=b"(regs[leaf * 4 + 1]), "=c"(regs[leaf * 4 + 2]),
                           "=d"(regs[leaf * 4 + 3])
                         : "a"(0x80000002u + leaf), "c"(0));
    }
    __builtin_memcpy(name, regs, 48);
    return name;
}

// Paths to load, comma-separated, scalar first: the ratio to the scalar loop needs it.
std::vector<std::string> split_paths(const char* list) {
    std::vector<std::string> names;
    std::string name;
    for (const char* c = list;; ++c) {
        if (*c == ',' || *c == '\0') {
            if (!name.empty()) {
                names.push_back(name);
            }
            name.clear();
            if (*c == '\0') {
                break;
            }
        } else {
            name += *c;
        }
    }
    return names;
}

} // namespace

int main(int argc, char** argv) {
    const int32_t rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::vector<std::string> names =
        split_paths(argc > 2 ? argv[2] : "scalar,sse2,avx,avx512");
    std::vector<Path> paths(names.size());
    for (size_t k = 0; k < names.size(); ++k) {
        if (!load_path(names[k], paths[k])) {
            return 1;
        }
    }
    const bool have_scalar = !names.empty() && names[0] == "scalar";
    // A path the machine lacks falls back to the best one it has; its column then repeats that.
    std::printf("Processor: %s\n", processor_name());
    std::printf("Library: %s, %d rounds, medians; ratios taken within each round\n\n",
                kVariantTable[0].file_name, rounds);
    std::printf("| case | copy ns |");
    for (const Path& p : paths) {
        std::printf(" %s ns | %s/copy |%s", p.name.c_str(), p.name.c_str(),
                    have_scalar && p.name != "scalar" ? (" " + p.name + "/scalar |").c_str() : "");
    }
    std::printf("\n|---|---|");
    for (const Path& p : paths) {
        std::printf("---|---|%s", have_scalar && p.name != "scalar" ? "---|" : "");
    }
    std::printf("\n");

    constexpr double kSamplesPerMeasurement = 4.0e6;
    for (const Case& c : kCases) {
        Streams streams(c.block);
        CopyObject copy{
            streams.pin[0], streams.pin[1],
            streams.pin[2], streams.pin[3],
            streams.pin[4], _mm_castsi128_ps(_mm_set1_epi32(static_cast<int32_t>(g_zero_bits)))};
        for (Path& p : paths) {
            for (int32_t pin = 0; pin < kPins; ++pin) {
                p.instance->set_pin_buffer(pin, streams.pin[pin]);
            }
        }
        const int32_t blocks =
            std::max<int32_t>(1, static_cast<int32_t>(kSamplesPerMeasurement / c.block));
        const double samples = static_cast<double>(blocks) * c.block;

        // Column 0 is the copy, column k + 1 path k.
        const size_t columns = 1 + paths.size();
        std::vector<std::vector<double>> ns(columns), to_copy(columns), to_scalar(columns);
        for (int32_t r = 0; r < rounds + 1; ++r) {
            std::vector<double> t(columns);
            t[0] = time_blocks(copy_process, &copy, c, blocks);
            for (size_t k = 0; k < paths.size(); ++k) {
                t[k + 1] = time_blocks(paths[k].process, paths[k].object, c, blocks);
            }
            if (r == 0) {
                continue; // warm-up: caches, page faults, frequency
            }
            for (size_t k = 0; k < columns; ++k) {
                ns[k].push_back(t[k] * 1e9 / samples);
                to_copy[k].push_back(t[k] / t[0]);
                to_scalar[k].push_back(have_scalar ? t[k] / t[1] : 0.0);
            }
        }
        std::printf("| %s | %.3f |", c.label, median(ns[0]));
        for (size_t k = 0; k < paths.size(); ++k) {
            std::printf(" %.3f | %.2f |", median(ns[k + 1]), median(to_copy[k + 1]));
            if (have_scalar && k > 0) {
                std::printf(" %.2f |", median(to_scalar[k + 1]));
            }
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    for (Path& p : paths) {
        p.instance.reset();
        se_unload_library(p.library);
    }
    return 0;
}
