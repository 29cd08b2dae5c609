// The gain kernels against the sample-by-sample double-precision order: bit for bit on hostile
// bit patterns, for every factor of the variant table, every instruction-set path, every length
// that exercises the vector steps and their tails, misaligned starts and every overlap of the
// five buffers that a host may hand over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "gain_kernel.h"
#include "variants_table.h"

namespace {

uint32_t bits_of(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

float float_of(uint32_t b) {
    float x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// NaN in gives some NaN out; every other result must match to the bit.
bool same_result(float expected, float actual) {
    if (std::isnan(expected)) {
        return std::isnan(actual);
    }
    return bits_of(expected) == bits_of(actual);
}

// Random words, with the values that break careless arithmetic mixed in often.
std::vector<float> hostile_samples(size_t count, uint32_t seed) {
    static const uint32_t kSpecial[] = {
        0x00000000u, 0x80000000u, // signed zeros
        0x7f800000u, 0xff800000u, // infinities
        0x00000001u, 0x80000001u, // smallest denormals
        0x007fffffu, 0x807fffffu, // largest denormals
        0x00800000u, 0x7f7fffffu, // smallest normal, largest finite
        0xff7fffffu, 0x3f800001u, // 1 + 2^-23 (rounds differently if rounded twice)
        0x7fc00000u, 0x5f000000u, // a NaN, 2^63
        0x1f800000u, 0x3eaaaaabu, // 2^-64, 1/3
    };
    std::mt19937 rng(seed);
    std::vector<float> samples(count);
    for (float& s : samples) {
        const uint32_t pick = rng();
        const uint32_t word = rng();
        s = float_of((pick & 3u) == 0 ? kSpecial[word % std::size(kSpecial)] : word);
    }
    return samples;
}

// The sample-by-sample order written out here, independently of the kernels: widen, multiply
// by the gain, by the factor, round once; left stored before right is read.
void reference(const float* in_l, const float* in_r, const float* gain, float* out_l, float* out_r,
               int32_t count, int32_t factor) {
    for (int32_t i = 0; i < count; ++i) {
        const double g = gain[i];
        out_l[i] = static_cast<float>(static_cast<double>(in_l[i]) * g * factor);
        out_r[i] = static_cast<float>(static_cast<double>(in_r[i]) * g * factor);
    }
}

const char* isa_name(GainIsa isa) {
    static const char* const kNames[GAIN_ISA_COUNT] = {"scalar", "sse2", "avx", "avx512"};
    return kNames[isa];
}

// Every test runs each path forced in turn and restores the path chosen at load time.
class GainKernel : public ::testing::Test {
protected:
    void SetUp() override { m_loaded = gain_isa_active(); }
    void TearDown() override { gain_kernel_force(m_loaded); }

    static std::vector<GainIsa> supported_paths() {
        std::vector<GainIsa> paths;
        for (int32_t k = 0; k < GAIN_ISA_COUNT; ++k) {
            if (gain_isa_supported(static_cast<GainIsa>(k))) {
                paths.push_back(static_cast<GainIsa>(k));
            }
        }
        return paths;
    }

    GainIsa m_loaded = GAIN_ISA_SCALAR;
};

TEST_F(GainKernel, LoadTimeChoiceIsTheBestSupportedPathUpToAvx) {
    const GainIsa best = gain_isa_supported(GAIN_ISA_AVX) ? GAIN_ISA_AVX : GAIN_ISA_SSE2;
    EXPECT_EQ(m_loaded, best);
    EXPECT_TRUE(gain_isa_supported(GAIN_ISA_SCALAR));
    EXPECT_TRUE(gain_isa_supported(GAIN_ISA_SSE2));
    EXPECT_FALSE(gain_kernel_force(GAIN_ISA_COUNT));
    EXPECT_EQ(gain_isa_active(), m_loaded);
}

// The exactness argument in gain_kernel.h: in x gain x factor fits a double's 53 bits only while
// the factor has at most 53 - 2 x 24 = 5 significant bits.
TEST_F(GainKernel, EveryTableFactorIsExactInTheSharedProduct) {
    for (const SeVariant& v : kVariantTable) {
        uint32_t f = static_cast<uint32_t>(v.gain_factor);
        ASSERT_GT(v.gain_factor, 0) << v.file_name;
        while ((f & 1u) == 0) {
            f >>= 1;
        }
        EXPECT_LT(f, 32u) << v.file_name << " has a factor with more than 5 significant bits";
    }
}

// Disjoint buffers with guards around each: results equal the sample order bit for bit, and
// nothing outside the stretch is written.
TEST_F(GainKernel, DisjointBuffersMatchTheSampleOrderForEveryPathFactorLengthAndStart) {
    constexpr int32_t kGuard = 16;
    std::vector<int32_t> lengths;
    for (int32_t n = 0; n <= 40; ++n) {
        lengths.push_back(n);
    }
    lengths.push_back(3001);
    lengths.push_back(4096);
    const int32_t longest = 4096;
    const size_t stream = static_cast<size_t>(longest + 2 * kGuard + 8);
    const std::vector<float> in_l = hostile_samples(stream, 1);
    const std::vector<float> in_r = hostile_samples(stream, 2);
    const std::vector<float> gain = hostile_samples(stream, 3);
    const float sentinel = float_of(0x7fa5a5a5u);

    for (GainIsa isa : supported_paths()) {
        ASSERT_TRUE(gain_kernel_force(isa));
        ASSERT_EQ(gain_isa_active(), isa);
        for (const SeVariant& v : kVariantTable) {
            for (int32_t n : lengths) {
                for (int32_t start : {0, 1, 2, 3, 5}) {
                    // Different starts per stream: the kernels must not assume equal alignment.
                    const int32_t a = kGuard + start, b = kGuard + (start + 1) % 4,
                                  c = kGuard + (start + 2) % 8;
                    std::vector<float> out_l(stream, sentinel), out_r(stream, sentinel);
                    std::vector<float> want_l(stream, sentinel), want_r(stream, sentinel);
                    gain_process(in_l.data() + a, in_r.data() + b, gain.data() + c,
                                 out_l.data() + b, out_r.data() + a, n, v.gain_factor);
                    reference(in_l.data() + a, in_r.data() + b, gain.data() + c, want_l.data() + b,
                              want_r.data() + a, n, v.gain_factor);
                    for (size_t k = 0; k < stream; ++k) {
                        ASSERT_TRUE(same_result(want_l[k], out_l[k]) &&
                                    same_result(want_r[k], out_r[k]))
                            << isa_name(isa) << " factor " << v.gain_factor << " length " << n
                            << " start " << start << " index " << k << ": want "
                            << bits_of(want_l[k]) << "/" << bits_of(want_r[k]) << " got "
                            << bits_of(out_l[k]) << "/" << bits_of(out_r[k]);
                    }
                }
            }
        }
    }
}

// Each buffer is an offset into one shared arena, so any overlap can be laid out.
struct Layout {
    const char* name;
    int32_t in_l, in_r, gain, out_l, out_r;
    bool vector_safe; // whether the kernel may take the vector path for this layout
};

constexpr int32_t kSpan = 1100; // room for the longest length tried below
const Layout kLayouts[] = {
    {"all disjoint", 0, 1 * kSpan, 2 * kSpan, 3 * kSpan, 4 * kSpan, true},
    {"out L on in R", 0, 1 * kSpan, 2 * kSpan, 1 * kSpan, 3 * kSpan, true},
    {"in place", 0, 1 * kSpan, 2 * kSpan, 0, 1 * kSpan, true},
    {"channels swapped in place", 0, 1 * kSpan, 2 * kSpan, 1 * kSpan, 0, true},
    {"both outputs on one buffer", 0, 1 * kSpan, 2 * kSpan, 3 * kSpan, 3 * kSpan, true},
    {"out R on the gain", 0, 1 * kSpan, 2 * kSpan, 3 * kSpan, 2 * kSpan, true},
    {"all inputs shared", 0, 0, 0, 1 * kSpan, 2 * kSpan, true},
    {"out L on the gain", 0, 1 * kSpan, 2 * kSpan, 2 * kSpan, 3 * kSpan, false},
    {"all five the same", 0, 0, 0, 0, 0, false},
    {"out L one sample ahead of in L", 0, 1 * kSpan, 2 * kSpan, 1, 3 * kSpan, false},
    {"out L one sample behind in L", 1, 1 * kSpan, 2 * kSpan, 0, 3 * kSpan, false},
    {"out L three ahead of in R", 0, 1 * kSpan, 2 * kSpan, 1 * kSpan + 3, 3 * kSpan, false},
    {"out R five behind in L", 5, 1 * kSpan, 2 * kSpan, 3 * kSpan, 0, false},
    {"out R three ahead of in L", 0, 1 * kSpan, 2 * kSpan, 3 * kSpan, 3, false},
    {"out R two ahead of the gain", 0, 1 * kSpan, 2 * kSpan, 3 * kSpan, 2 * kSpan + 2, false},
    {"out L seven behind the gain", 0, 1 * kSpan, 2 * kSpan + 7, 2 * kSpan, 3 * kSpan, false},
    {"outputs one apart", 0, 1 * kSpan, 2 * kSpan, 3 * kSpan, 3 * kSpan + 1, false},
    {"out R on in R shifted by four", 0, 1 * kSpan + 4, 2 * kSpan, 3 * kSpan, 1 * kSpan, false},
};

TEST_F(GainKernel, VectorPathIsChosenExactlyWhenEveryOutputEqualsOrAvoidsEachOtherBuffer) {
    std::vector<float> arena(5 * kSpan + 16);
    float* base = arena.data();
    for (const Layout& lay : kLayouts) {
        for (int32_t n : {1, 2, 8, 64, 1000}) {
            if (!lay.vector_safe && n <= 7) {
                continue; // offsets of up to 7 samples overlap only longer stretches
            }
            EXPECT_EQ(gain_vector_safe(base + lay.in_l, base + lay.in_r, base + lay.gain,
                                       base + lay.out_l, base + lay.out_r, n),
                      lay.vector_safe)
                << lay.name << ", length " << n;
        }
    }
    // A partial overlap of k samples is no overlap for stretches of k samples or fewer.
    EXPECT_TRUE(
        gain_vector_safe(base, base + kSpan, base + 2 * kSpan, base + 3, base + 3 * kSpan, 3));
    EXPECT_FALSE(
        gain_vector_safe(base, base + kSpan, base + 2 * kSpan, base + 3, base + 3 * kSpan, 4));
}

TEST_F(GainKernel, EveryOverlapLayoutGivesWhatTheSampleOrderGivesOnEveryPath) {
    const std::vector<float> fill = hostile_samples(5 * kSpan + 16, 7);
    const int32_t factor = kVariantTable[0].gain_factor;
    for (GainIsa isa : supported_paths()) {
        ASSERT_TRUE(gain_kernel_force(isa));
        for (const Layout& lay : kLayouts) {
            for (int32_t n = 1; n <= 40; ++n) {
                for (int32_t length : {n, n + 1000 - 40}) {
                    std::vector<float> got = fill, want = fill;
                    float* g = got.data();
                    float* w = want.data();
                    gain_process(g + lay.in_l, g + lay.in_r, g + lay.gain, g + lay.out_l,
                                 g + lay.out_r, length, factor);
                    reference(w + lay.in_l, w + lay.in_r, w + lay.gain, w + lay.out_l,
                              w + lay.out_r, length, factor);
                    for (size_t k = 0; k < got.size(); ++k) {
                        ASSERT_TRUE(same_result(want[k], got[k]))
                            << isa_name(isa) << " " << lay.name << " length " << length << " index "
                            << k;
                    }
                }
            }
        }
    }
}

// The kernels may not rely on a default rounding mode either: a host may have set another.
TEST_F(GainKernel, FloatingPointControlStateIsLeftAsFoundAndHonoured) {
    constexpr uint32_t kControlBits = 0xffc0u; // masks, rounding, flush-to-zero, DAZ
    constexpr uint32_t kRoundTowardZero = 3u << 13;
    const std::vector<float> in_l = hostile_samples(257, 11);
    const std::vector<float> in_r = hostile_samples(257, 12);
    const std::vector<float> gain = hostile_samples(257, 13);
    const uint32_t saved_mxcsr = __builtin_ia32_stmxcsr();
    uint16_t saved_cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(saved_cw));

    for (uint32_t rounding : {0u, kRoundTowardZero}) {
        const uint32_t mxcsr = (saved_mxcsr & ~(3u << 13)) | rounding;
        for (GainIsa isa : supported_paths()) {
            ASSERT_TRUE(gain_kernel_force(isa));
            std::vector<float> out_l(257), out_r(257), want_l(257), want_r(257);
            __builtin_ia32_ldmxcsr(mxcsr);
            gain_process(in_l.data(), in_r.data(), gain.data(), out_l.data(), out_r.data(), 257,
                         kVariantTable[1].gain_factor);
            const uint32_t after = __builtin_ia32_stmxcsr();
            uint16_t cw_after = 0;
            __asm__ volatile("fnstcw %0" : "=m"(cw_after));
            reference(in_l.data(), in_r.data(), gain.data(), want_l.data(), want_r.data(), 257,
                      kVariantTable[1].gain_factor);
            __builtin_ia32_ldmxcsr(saved_mxcsr);

            EXPECT_EQ(after & kControlBits, mxcsr & kControlBits) << isa_name(isa);
            EXPECT_EQ(cw_after, saved_cw) << isa_name(isa);
            for (int32_t k = 0; k < 257; ++k) {
                ASSERT_TRUE(same_result(want_l[k], out_l[k]) && same_result(want_r[k], out_r[k]))
                    << isa_name(isa) << " rounding " << rounding << " index " << k;
            }
        }
    }
}

} // namespace
