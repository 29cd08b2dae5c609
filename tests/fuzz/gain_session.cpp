#include "gain_session.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "host_instance.h"
#include "se_assert.h"
#include "variants_table.h"

namespace {

constexpr int32_t kPins = 5;
constexpr int32_t kOutL = 3;
constexpr int32_t kOutR = 4;
constexpr int32_t kMaxBlock = 4096;
constexpr int kMaxSteps = 512;
// A signalling NaN: every multiplication returns a quiet NaN, so no computed sample has these bits.
constexpr uint32_t kUnwritten = 0x7F800001u;

[[noreturn]] void fail(const char* what, long detail) {
    std::fprintf(stderr, "gain session: %s (%ld)\n", what, detail);
    std::abort();
}

void require(bool holds, const char* what, long detail = 0) {
    if (!holds) {
        fail(what, detail);
    }
}

// Bit patterns go through memory only: a float returned by value travels through the x87 stack
// on 32-bit x86, which quiets a signalling NaN in unoptimised builds.
uint32_t bits_at(const float* f) {
    uint32_t u;
    std::memcpy(&u, f, sizeof u);
    return u;
}

void store_bits(float* f, uint32_t u) {
    std::memcpy(f, &u, sizeof u);
}

void quiet_report(const char*, const char*, int) {}

// Reads the fuzz input front to back; an exhausted input reads as zeros.
class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool done() const { return m_pos >= m_size; }
    uint8_t u8() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            v |= static_cast<uint32_t>(u8()) << (8 * k);
        }
        return v;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    void f32_to(float* f) { store_bits(f, u32()); }
    uint32_t below(uint32_t bound) { return bound == 0 ? 0 : u32() % bound; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class GainSession {
public:
    GainSession(const SeLibrary& library, int32_t gain_factor, InputReader& in)
        : m_library(library), m_factor(gain_factor), m_in(in) {}

    void play() {
        recreate();
        for (int step = 0; step < kMaxSteps && !m_in.done(); ++step) {
            switch (m_in.u8() % 8) {
            case 0:
                dispatch_request();
                break;
            case 1:
                queue_event();
                break;
            case 2:
            case 3:
                run_block();
                break;
            case 4:
                call_routine();
                break;
            case 5:
                m_host->set_block_size(1 + static_cast<int32_t>(m_in.below(kMaxBlock)));
                break;
            case 6:
                sample_rate();
                break;
            case 7:
                recreate();
                break;
            }
            check_host_calls();
            check_record();
            check_guards();
            m_host->clear_log();
        }
    }

private:
    // Closes the current instance (MOD_CLOSE through the host's destructor) and makes, describes
    // and opens a new one, with the clock anywhere so that its wrap is crossed too.
    void recreate() {
        m_host.reset();
        const int32_t block = 1 + static_cast<int32_t>(m_in.below(kMaxBlock));
        m_host = std::make_unique<HostInstance>(m_library, block);
        require(m_host->created(), "makeModule made no instance");
        m_host->set_clock(m_in.u32());
        m_host->describe_and_open();
        require(m_host->pin_count() == kPins, "pins described", m_host->pin_count());
        m_record = *m_host->record();
        for (int32_t k = 0; k < kPins; ++k) {
            m_variables[k] = m_host->pin(k).properties.variable_ptr;
        }
    }

    void dispatch_request() {
        static const int32_t kOpcodes[] = {MOD_OPEN,
                                           MOD_SET_BLOCK_SIZE,
                                           4,
                                           5,
                                           MOD_GET_PIN_PROPERTIES,
                                           MOD_NOT_ACCEPTED_7,
                                           MOD_RESUME,
                                           9,
                                           MOD_NOT_ACCEPTED_10,
                                           11,
                                           MOD_GUI_NOTIFY,
                                           MOD_GET_SUB_PROCESS_INFO,
                                           14,
                                           0x7FFFFFFF,
                                           -1};
        const uint8_t pick = m_in.u8();
        int32_t opcode = kOpcodes[pick % (sizeof kOpcodes / sizeof kOpcodes[0])];
        if (pick >= 0xF0) {
            opcode = m_in.i32();
            if (opcode == MOD_CLOSE || opcode == MOD_OPEN) {
                opcode = 14; // closing belongs to recreate(); opening has its own pick
            }
        }
        const int32_t index = m_in.i32();
        const int32_t value = m_in.i32();
        float opt;
        m_in.f32_to(&opt);
        if (opcode == MOD_GET_PIN_PROPERTIES) {
            pin_properties(index);
        } else if (opcode == MOD_GET_SUB_PROCESS_INFO) {
            sub_process_info(index, value, opt);
        } else {
            // MOD_GUI_NOTIFY hands its pointer on untouched; the base never follows it.
            void* ptr = opcode == MOD_GUI_NOTIFY ? reinterpret_cast<void*>(m_in.u32()) : nullptr;
            const int32_t result = m_host->dispatch(opcode, index, value, ptr, opt);
            require(result == 0, "dispatcher answer", result);
        }
    }

    void pin_properties(int32_t index) {
        // Small indexes are where the pins are; wide ones test the unsigned comparison.
        if (m_in.u8() & 1) {
            index = static_cast<int32_t>(static_cast<uint32_t>(index) % 8);
        }
        if (m_in.u8() % 4 == 0) {
            const int32_t result = m_host->dispatch(MOD_GET_PIN_PROPERTIES, index, 0, nullptr);
            require(result == 0, "pin properties with a null record answered", result);
            return;
        }
        SEPinProperties record;
        uint8_t before[sizeof record];
        for (uint8_t& b : before) {
            b = m_in.u8();
        }
        std::memcpy(&record, before, sizeof record);
        const int32_t result = m_host->dispatch(MOD_GET_PIN_PROPERTIES, index, 0, &record);
        if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(kPins)) {
            require(result == 0, "pin past the last described", index);
            require(std::memcmp(&record, before, sizeof record) == 0, "refused record written",
                    index);
            return;
        }
        SEPinProperties old;
        std::memcpy(&old, before, sizeof old);
        require(result == 1, "pin not described", index);
        require(record.variable_ptr == m_variables[index], "variable address moved", index);
        require(record.datatype == DT_FSAMPLE, "data type", index);
        require(record.direction == (index < kOutL ? DR_IN : DR_OUT), "direction", index);
        require(record.name != nullptr, "pin name", index);
        require(record.flags == old.flags && record.reserved1 == old.reserved1 &&
                    record.reserved2 == old.reserved2,
                "fields the module does not describe were written", index);
        if (index >= kOutL) {
            require(record.default_value == old.default_value, "output default written", index);
        }
    }

    void sub_process_info(int32_t index, int32_t value, float opt) {
        const int32_t result =
            m_host->dispatch(MOD_GET_SUB_PROCESS_INFO, index, value, nullptr, opt);
        const auto* info =
            reinterpret_cast<const SeSubProcessInfo*>(static_cast<uintptr_t>(result));
        require(info != nullptr, "no sub-process info");
        require(info->tag == 1 && info->pointer_size == 8 && info->code == 1002, "info fields");
        uint32_t code_word;
        std::memcpy(&code_word, info->sub_process_member, sizeof code_word);
        require(code_word == reinterpret_cast<uintptr_t>(m_host->record()->sub_process_ptr),
                "info does not show the current routine");
    }

    void queue_event() {
        const uint8_t kind = m_in.u8();
        int32_t type = EV_PIN_STATUS;
        if (kind % 8 == 6) {
            type = EV_MIDI;
        } else if (kind % 8 == 7) {
            type = m_in.i32();
            if (type == EV_RUN_DELAYED) {
                type = EV_MIDI; // its pointer would be a routine to call: never garbage
            }
        }
        const int32_t pin = (kind & 0x10) ? m_in.i32() : static_cast<int32_t>(m_in.below(kPins));
        const int32_t state = (kind & 0x20) ? m_in.i32() : static_cast<int32_t>(m_in.below(3));
        // Due at the current sample or later: a well-behaved host never delivers late.
        const uint32_t time =
            m_host->clock() + m_in.below(2 * static_cast<uint32_t>(m_host->block_size()));
        m_host->queue_event(SeEvent(time, type, state, m_in.i32(),
                                    reinterpret_cast<void*>(static_cast<intptr_t>(pin))));
    }

    // Inputs for the next stretch: raw bit patterns (NaN, infinities, subnormals included),
    // constants, zeros of either sign, or a cheap sequence seeded from the input.
    void fill_inputs(int32_t samples) {
        for (int32_t pin = 0; pin < kOutL; ++pin) {
            float* buffer = m_host->input(pin);
            const uint8_t mode = m_in.u8() % 5;
            uint32_t seed = m_in.u32();
            for (int32_t i = 0; i < samples; ++i) {
                switch (mode) {
                case 0:
                    m_in.f32_to(&buffer[i]);
                    break;
                case 1:
                    store_bits(&buffer[i], seed);
                    break;
                case 2:
                    buffer[i] = (seed & 1) ? -0.0f : 0.0f;
                    break;
                default:
                    seed = seed * 1664525u + 1013904223u;
                    store_bits(&buffer[i], seed);
                    break;
                }
            }
        }
    }

    void mark_outputs_unwritten() {
        for (int32_t pin = kOutL; pin <= kOutR; ++pin) {
            float* buffer = m_host->output(pin);
            for (int32_t i = 0; i < m_host->block_size(); ++i) {
                store_bits(&buffer[i], kUnwritten);
            }
        }
    }

    bool matches_reference(const float* out, float in, float gain) const {
        const float expected =
            static_cast<float>(static_cast<double>(in) * static_cast<double>(gain) * m_factor);
        return std::isnan(expected) ? std::isnan(*out) : bits_at(out) == bits_at(&expected);
    }

    // Every sample of [begin, end) must hold the reference or, where `all` is false, may be left
    // unwritten on both outputs; nothing outside the range may be written. Inputs stay as given.
    void check_outputs(int32_t begin, int32_t end, bool all, const std::vector<float>& inputs) {
        const float* in_l = m_host->input(0);
        const float* in_r = m_host->input(1);
        const float* gain = m_host->input(2);
        const float* out_l = m_host->output(kOutL);
        const float* out_r = m_host->output(kOutR);
        const int32_t block = m_host->block_size();
        require(std::memcmp(inputs.data(), in_l, block * sizeof(float)) == 0 &&
                    std::memcmp(inputs.data() + block, in_r, block * sizeof(float)) == 0 &&
                    std::memcmp(inputs.data() + 2 * block, gain, block * sizeof(float)) == 0,
                "an input buffer was written");
        for (int32_t i = 0; i < block; ++i) {
            const bool left_unwritten = bits_at(&out_l[i]) == kUnwritten;
            const bool right_unwritten = bits_at(&out_r[i]) == kUnwritten;
            if (i < begin || i >= end) {
                require(left_unwritten && right_unwritten, "sample outside the stretch written", i);
                continue;
            }
            require(left_unwritten == right_unwritten, "one channel computed alone", i);
            if (left_unwritten) {
                require(!all, "sample skipped", i);
                continue;
            }
            require(matches_reference(&out_l[i], in_l[i], gain[i]), "Out L differs from reference",
                    i);
            require(matches_reference(&out_r[i], in_r[i], gain[i]), "Out R differs from reference",
                    i);
        }
    }

    std::vector<float> snapshot_inputs() const {
        const int32_t block = m_host->block_size();
        std::vector<float> inputs(3 * static_cast<size_t>(block));
        for (int32_t pin = 0; pin < kOutL; ++pin) {
            std::memcpy(inputs.data() + pin * block, m_host->input(pin), block * sizeof(float));
        }
        return inputs;
    }

    void sample_rate() {
        const int32_t index = m_in.i32();
        const int32_t value = m_in.i32();
        float rate;
        m_in.f32_to(&rate);
        m_host->dispatch(MOD_SET_SAMPLE_RATE, index, value, nullptr, rate);
    }

    // A block through the host's driver: split at due events, skipped while asleep.
    void run_block() {
        const int32_t samples = 1 + static_cast<int32_t>(m_in.below(m_host->block_size()));
        fill_inputs(samples);
        mark_outputs_unwritten();
        const std::vector<float> inputs = snapshot_inputs();
        const bool awake = !m_host->sleeping();
        const int32_t sleeps = m_host->sleep_requests();
        m_host->run_block(samples);
        // Only a sleep request lets the host skip samples.
        check_outputs(0, samples, awake && m_host->sleep_requests() == sleeps, inputs);
    }

    // One stretch straight through sub_process_ptr, with any offset and count the buffers hold;
    // zero and negative counts must write nothing.
    void call_routine() {
        const int32_t block = m_host->block_size();
        const int32_t offset = static_cast<int32_t>(m_in.below(block + 1));
        int32_t count = static_cast<int32_t>(m_in.below(block - offset + 1));
        const uint8_t sign = m_in.u8();
        if (sign % 4 == 0) {
            count = -static_cast<int32_t>(m_in.below(0x7FFFFFFF));
        } else if (sign % 4 == 1) {
            count = INT32_MIN;
        }
        fill_inputs(block);
        mark_outputs_unwritten();
        const std::vector<float> inputs = snapshot_inputs();
        SEMod_struct_base2* record = m_host->record();
        record->sub_process_ptr(record->object_ptr, offset, count);
        check_outputs(offset, count > 0 ? offset + count : offset, true, inputs);
    }

    // The gain module only announces output states, reads the clock, block start and pin count,
    // asks for sleep and reports a changed routine.
    void check_host_calls() const {
        for (const SeHostCall& call : m_host->calls()) {
            switch (call.opcode) {
            case HOST_SET_PIN_STATUS:
                require(call.index == kOutL || call.index == kOutR, "state announced on an input",
                        call.index);
                require(call.value >= STATE_STOPPED && call.value <= STATE_RUNNING,
                        "announced state is no state_type", call.value);
                break;
            case HOST_GET_BLOCK_START:
                require(call.index >= 0 && call.index < kOutL, "block start of a non-input",
                        call.index);
                break;
            case HOST_SLEEP:
                require(call.index == 0 && call.value == 0 && call.ptr == nullptr,
                        "sleep arguments");
                break;
            case HOST_GET_SAMPLE_CLOCK:
            case HOST_GET_PIN_COUNT:
            case HOST_SUB_PROCESS_CHANGED:
                break;
            default:
                fail("unexpected host opcode", call.opcode);
            }
            require(call.opt == 0.0f, "host call with a float argument", call.opcode);
        }
        const auto& left = m_host->announced(kOutL);
        const auto& right = m_host->announced(kOutR);
        require(left.size() == right.size(), "outputs announced a different number of states");
        for (size_t k = 0; k < left.size(); ++k) {
            require(left[k].state == right[k].state, "outputs announced different states");
        }
    }

    // Only sub_process_ptr may change in the record, and only to one of the module's routines.
    void check_record() const {
        const SEMod_struct_base2* record = m_host->record();
        SEMod_struct_base2 now = *record;
        now.sub_process_ptr = m_record.sub_process_ptr;
        require(std::memcmp(&now, &m_record, sizeof now) == 0, "record changed");
        require(record->sub_process_ptr != nullptr, "no processing routine");
    }

    // The host's guard samples around every buffer stay zero.
    void check_guards() const {
        for (int32_t pin = 0; pin < kPins; ++pin) {
            const std::vector<float>& storage = m_host->pin(pin).storage;
            const size_t block = static_cast<size_t>(m_host->block_size());
            for (size_t i = 0; i < storage.size(); ++i) {
                const bool guard =
                    i < HostInstance::kGuardSamples || i >= HostInstance::kGuardSamples + block;
                require(!guard || bits_at(&storage[i]) == 0, "guard sample written", pin);
            }
        }
    }

    const SeLibrary& m_library;
    const int32_t m_factor;
    InputReader& m_in;
    std::unique_ptr<HostInstance> m_host;
    SEMod_struct_base2 m_record{};
    void* m_variables[kPins] = {};
};

} // namespace

int32_t gain_factor_of(const SeLibrary& library) {
    SEModuleProperties properties{};
    if (library.get_module_properties == nullptr ||
        library.get_module_properties(0, &properties) == 0 || properties.name == nullptr) {
        return 0;
    }
    for (const SeVariant& row : kVariantTable) {
        if (std::strcmp(row.display_name, properties.name) == 0) {
            return row.gain_factor;
        }
    }
    return 0;
}

void play_gain_session(const SeLibrary& library, int32_t gain_factor, const uint8_t* data,
                       size_t size) {
    const SeAssertHandler previous = se_set_assert_handler(quiet_report);
    InputReader in(data, size);
    GainSession(library, gain_factor, in).play();
    se_set_assert_handler(previous);
}
