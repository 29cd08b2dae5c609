// Many instances of all six libraries alive at once in one host, each with its own buffers and
// event queue, driven block after block with random block lengths, random pin-state changes and
// inputs that switch between streams, constants and zeros. One group holds one instance of every
// library fed identically, so inside a group the instances may differ only by gain_factor.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host_instance.h"
#include "variants_table.h"

namespace {

constexpr int32_t kOutL = 3;
constexpr int32_t kOutR = 4;
constexpr int kGroups = 4;
constexpr int kBlocks = 400;
constexpr uint32_t kUnwritten = 0x7F800001u; // a signalling NaN: no product has these bits

// Through memory only: a float returned by value passes the x87 stack on 32-bit x86, which
// quiets a signalling NaN in unoptimised builds.
uint32_t bits_at(const float* f) {
    uint32_t u;
    std::memcpy(&u, f, sizeof u);
    return u;
}

std::string dist_path(const char* file_name) {
#ifdef _WIN32
    return std::string("Z:") + SE_DIST_DIR + "/" + file_name; // Wine's drive for the build root
#else
    return std::string(SE_DIST_DIR) + "/" + file_name;
#endif
}

struct Member {
    int32_t gain_factor;
    std::unique_ptr<HostInstance> host;
};

// Summary of one block of one instance, compared across the libraries of a group.
struct BlockTrace {
    std::vector<bool> written;
    std::vector<SeAnnouncedState> announced;
    int32_t sleep_requests;
    int32_t process_calls;
    bool sleeping;

    bool operator==(const BlockTrace& other) const {
        if (announced.size() != other.announced.size()) {
            return false;
        }
        for (size_t k = 0; k < announced.size(); ++k) {
            if (announced[k].state != other.announced[k].state ||
                announced[k].clock != other.announced[k].clock) {
                return false;
            }
        }
        return written == other.written && sleep_requests == other.sleep_requests &&
               process_calls == other.process_calls && sleeping == other.sleeping;
    }
};

class ManyInstances : public ::testing::Test {
protected:
    void SetUp() override {
        for (const SeVariant& row : kVariantTable) {
            SeLibrary library;
            std::string error;
            ASSERT_TRUE(se_load_library(dist_path(row.file_name), library, error)) << error;
            m_libraries.push_back(library);
        }
    }
    void TearDown() override {
        m_groups.clear(); // every instance is closed before its library goes
        for (SeLibrary& library : m_libraries) {
            se_unload_library(library);
        }
    }

    std::vector<SeLibrary> m_libraries;
    std::vector<std::vector<Member>> m_groups;
};

// Checks one instance's block against the reference; returns its trace for the group compare.
::testing::AssertionResult check_block(const Member& member, int32_t samples, bool all_due,
                                       BlockTrace& trace) {
    HostInstance& host = *member.host;
    const float* in[3] = {host.input(0), host.input(1), host.input(2)};
    const float* out_l = host.output(kOutL);
    const float* out_r = host.output(kOutR);
    trace.written.assign(static_cast<size_t>(host.block_size()), false);
    for (int32_t i = 0; i < host.block_size(); ++i) {
        const bool left = bits_at(&out_l[i]) != kUnwritten;
        const bool right = bits_at(&out_r[i]) != kUnwritten;
        if (left != right || (i >= samples && left) || (i < samples && all_due && !left)) {
            return ::testing::AssertionFailure()
                   << "factor " << member.gain_factor << " sample " << i << " of " << samples
                   << ": Out L " << (left ? "written" : "unwritten") << ", Out R "
                   << (right ? "written" : "unwritten");
        }
        trace.written[i] = left;
        if (!left) {
            continue;
        }
        const double g = in[2][i];
        const float want_l = static_cast<float>(in[0][i] * g * member.gain_factor);
        const float want_r = static_cast<float>(in[1][i] * g * member.gain_factor);
        if (bits_at(&out_l[i]) != bits_at(&want_l) || bits_at(&out_r[i]) != bits_at(&want_r)) {
            return ::testing::AssertionFailure()
                   << "factor " << member.gain_factor << " sample " << i << ": Out L " << out_l[i]
                   << " want " << want_l << ", Out R " << out_r[i] << " want " << want_r;
        }
    }
    trace.announced = host.announced(kOutL);
    if (trace.announced.size() != host.announced(kOutR).size()) {
        return ::testing::AssertionFailure() << "the outputs announced different counts of states";
    }
    for (size_t k = 0; k < trace.announced.size(); ++k) {
        const state_type state = trace.announced[k].state;
        if (state < STATE_STOPPED || state > STATE_RUNNING ||
            state != host.announced(kOutR)[k].state) {
            return ::testing::AssertionFailure() << "announced state " << state;
        }
    }
    trace.sleep_requests = host.sleep_requests();
    trace.process_calls = host.process_calls();
    trace.sleeping = host.sleeping();
    return ::testing::AssertionSuccess();
}

TEST_F(ManyInstances, AllSixLibrariesMatchTheReferenceAndDifferOnlyByTheirFactor) {
    const int32_t block_sizes[kGroups] = {64, 100, 256, 511};
    std::vector<std::mt19937> random;
    for (int g = 0; g < kGroups; ++g) {
        random.emplace_back(1234u + static_cast<uint32_t>(g));
        std::vector<Member> group;
        for (size_t k = 0; k < m_libraries.size(); ++k) {
            Member member{kVariantTable[k].gain_factor,
                          std::make_unique<HostInstance>(m_libraries[k], block_sizes[g])};
            ASSERT_TRUE(member.host->created());
            member.host->set_clock(0xFFFF0000u * static_cast<uint32_t>(g & 1)); // crosses the wrap
            member.host->describe_and_open();
            ASSERT_EQ(member.host->pin_count(), 5);
            group.push_back(std::move(member));
        }
        m_groups.push_back(std::move(group));
    }

    int skipped_blocks = 0;
    int full_blocks = 0;
    int announcements = 0;
    for (int block = 0; block < kBlocks; ++block) {
        for (int g = 0; g < kGroups; ++g) {
            std::mt19937& rng = random[g];
            const int32_t block_size = block_sizes[g];
            const int32_t samples = 1 + static_cast<int32_t>(rng() % block_size);
            // One draw per group; every library of the group gets the same inputs and events.
            std::uniform_real_distribution<float> value(-4.0f, 4.0f);
            std::vector<float> inputs[3];
            for (auto& input : inputs) {
                const uint32_t mode = rng() % 4;
                const float constant = mode == 1 ? value(rng) : 0.0f;
                input.resize(block_size);
                for (float& x : input) {
                    x = mode >= 2 ? value(rng) : constant;
                }
            }
            std::vector<SeEvent> events;
            for (uint32_t n = rng() % 4; n > 0; --n) {
                const int32_t pin = static_cast<int32_t>(rng() % 3);
                const int32_t state = static_cast<int32_t>(rng() % 3);
                const uint32_t offset = rng() % static_cast<uint32_t>(samples);
                events.push_back(SeEvent(offset, EV_PIN_STATUS, state, 0,
                                         reinterpret_cast<void*>(static_cast<intptr_t>(pin))));
            }

            BlockTrace first;
            for (size_t k = 0; k < m_groups[g].size(); ++k) {
                Member& member = m_groups[g][k];
                HostInstance& host = *member.host;
                host.clear_log();
                for (int pin = 0; pin < 3; ++pin) {
                    std::memcpy(host.input(pin), inputs[pin].data(), block_size * sizeof(float));
                }
                for (int pin = kOutL; pin <= kOutR; ++pin) {
                    for (int32_t i = 0; i < block_size; ++i) {
                        std::memcpy(host.output(pin) + i, &kUnwritten, sizeof kUnwritten);
                    }
                }
                for (SeEvent event : events) {
                    event.time_stamp += host.clock();
                    host.queue_event(event);
                }
                const bool awake = !host.sleeping();
                host.run_block(samples);
                BlockTrace trace;
                ASSERT_TRUE(
                    check_block(member, samples, awake && host.sleep_requests() == 0, trace))
                    << "group " << g << " block " << block;
                if (k == 0) {
                    first = trace;
                    skipped_blocks += trace.sleep_requests > 0 ? 1 : 0;
                    full_blocks += awake && trace.sleep_requests == 0 ? 1 : 0;
                    announcements += static_cast<int>(trace.announced.size());
                } else {
                    ASSERT_TRUE(trace == first)
                        << "factor " << member.gain_factor << " behaved unlike factor "
                        << m_groups[g][0].gain_factor << " in group " << g << " block " << block;
                }
            }
        }
    }
    // The run must have gone through the static routine's sleep as well as plain streaming.
    EXPECT_GT(skipped_blocks, 0);
    EXPECT_GT(full_blocks, 0);
    EXPECT_GT(announcements, 0);
}

} // namespace
