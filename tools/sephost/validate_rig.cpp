#include "validate_rig.h"

#include <cmath>
#include <cstdio>
#include <cstring>

const char* const kGainPinNames[kGainPinCount] = {"In L", "In R", "Gain aspect", "Out L", "Out R"};

float se_sentinel() {
    float value;
    std::memcpy(&value, &kSentinelBits, sizeof value);
    return value;
}

uint32_t se_bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float se_reference(float input, float gain, int32_t gain_factor) {
    return static_cast<float>(static_cast<double>(input) * static_cast<double>(gain) *
                              static_cast<double>(gain_factor));
}

std::string se_describe_sample(float value) {
    char text[64];
    if (se_bits(value) == kSentinelBits) {
        return "the unwritten sentinel";
    }
    std::snprintf(text, sizeof text, "%.9g (0x%08X)", static_cast<double>(value),
                  static_cast<unsigned>(se_bits(value)));
    return text;
}

SeGainRig::SeGainRig(SeValidateContext& context, int32_t block_size)
    : m_context(context), m_host(context.library, block_size), m_block_size(block_size) {
    m_buffers.assign(kGainPinCount, std::vector<float>(block_size + 2 * kGuard, 0.0f));
}

bool SeGainRig::open(std::string& why) {
    if (!describe(why)) {
        return false;
    }
    const SeFpState before = se_fp_state();
    m_host.open();
    check_fp(before, "MOD_OPEN");
    m_running = m_host.record()->sub_process_ptr;
    return true;
}

bool SeGainRig::describe(std::string& why) {
    if (!m_host.created()) {
        why = "makeModule(0, 1, callback, host) returned null";
        return false;
    }
    m_host.describe_pins(64);
    if (m_host.pin_count() != kGainPinCount) {
        why = "describes " + std::to_string(m_host.pin_count()) +
              " pins; a stereo gain has five (In L, In R, Gain aspect, Out L, Out R)";
        return false;
    }
    for (int32_t k = 0; k < kGainPinCount; ++k) {
        if (m_host.pin(k).properties.datatype != DT_FSAMPLE ||
            m_host.pin(k).properties.variable_ptr == nullptr) {
            why = std::string("pin ") + std::to_string(k) +
                  " is not an audio pin with a variable the host can store its buffer into";
            return false;
        }
    }
    bind_buffers();
    return true;
}

void SeGainRig::bind_buffers() {
    for (int32_t k = 0; k < kGainPinCount; ++k) {
        m_host.set_pin_buffer(k, buffer(k));
    }
}

void SeGainRig::share_buffer(int32_t pin, int32_t other) {
    m_pin_buffer[pin] = m_pin_buffer[other];
    if (m_host.pin_count() == kGainPinCount) {
        bind_buffers();
    }
}

void SeGainRig::set_block_size(int32_t block_size) {
    m_block_size = block_size;
    for (auto& storage : m_buffers) {
        storage.assign(block_size + 2 * kGuard, 0.0f);
    }
    const SeFpState before = se_fp_state();
    m_host.set_block_size(block_size); // rebinds the host's own buffers...
    check_fp(before, "MOD_SET_BLOCK_SIZE");
    bind_buffers(); // ...so bind ours again
}

void SeGainRig::fill_random(std::mt19937& random) {
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-6, 6);
    for (int32_t pin = 0; pin <= PIN_GAIN; ++pin) {
        float* samples = buffer(pin);
        for (int32_t i = 0; i < m_block_size; ++i) {
            samples[i] = std::ldexp(mantissa(random), exponent(random));
        }
    }
    fill_outputs_with_sentinel();
}

void SeGainRig::fill_input(int32_t pin, float value) {
    float* samples = buffer(pin);
    for (int32_t i = 0; i < m_block_size; ++i) {
        samples[i] = value;
    }
}

void SeGainRig::fill_outputs_with_sentinel() {
    for (int32_t pin = PIN_OUT_L; pin <= PIN_OUT_R; ++pin) {
        const int32_t shared = m_pin_buffer[pin];
        if (shared == m_pin_buffer[PIN_IN_L] || shared == m_pin_buffer[PIN_IN_R] ||
            shared == m_pin_buffer[PIN_GAIN]) {
            continue; // an output on an input's buffer starts from that input's samples
        }
        auto& storage = m_buffers[shared];
        for (float& sample : storage) {
            sample = se_sentinel();
        }
    }
    // Guards of every buffer, inputs included, hold the sentinel as well.
    for (auto& storage : m_buffers) {
        for (int32_t g = 0; g < kGuard; ++g) {
            storage[g] = se_sentinel();
            storage[storage.size() - 1 - g] = se_sentinel();
        }
    }
}

void SeGainRig::check_fp(const SeFpState& before, const char* what) {
    const SeFpState after = se_fp_state();
    if (!(after == before) && m_fp_fault.empty()) {
        m_fp_fault = std::string(what) + " changed the floating-point control state from " +
                     se_describe_fp(before) + " to " + se_describe_fp(after);
    }
    se_set_fp_state(before);
}

void SeGainRig::process(int32_t offset, int32_t count) {
    SEMod_struct_base2* record = m_host.record();
    const SeFpState before = se_fp_state();
    record->sub_process_ptr(record->object_ptr, offset, count);
    check_fp(before, "the processing routine");
}

bool SeGainRig::process_exact(int32_t offset, int32_t count, std::string& why) {
    // The model: the memory as it is now, then the stretch processed sample by sample in the
    // contract's order, left result stored before the right inputs are read.
    std::vector<std::vector<float>> model = m_buffers;
    auto at = [&](int32_t pin, int32_t i) -> float& {
        return model[m_pin_buffer[pin]][kGuard + i];
    };
    for (int32_t i = offset; i < offset + count; ++i) {
        at(PIN_OUT_L, i) = se_reference(at(PIN_IN_L, i), at(PIN_GAIN, i), m_context.gain_factor);
        at(PIN_OUT_R, i) = se_reference(at(PIN_IN_R, i), at(PIN_GAIN, i), m_context.gain_factor);
    }
    process(offset, count);
    for (int32_t pin = 0; pin < kGainPinCount; ++pin) {
        // Each buffer once, named after every pin on it.
        std::string name;
        bool holds_output = false;
        bool first_on_buffer = true;
        for (int32_t other = 0; other < kGainPinCount; ++other) {
            if (m_pin_buffer[other] == m_pin_buffer[pin]) {
                first_on_buffer = first_on_buffer && other >= pin;
                if (!name.empty()) {
                    name += '/';
                }
                name += kGainPinNames[other];
                holds_output = holds_output || other >= PIN_OUT_L;
            }
        }
        if (!first_on_buffer) {
            continue;
        }
        const auto& got = m_buffers[m_pin_buffer[pin]];
        const auto& want = model[m_pin_buffer[pin]];
        for (size_t j = 0; j < got.size(); ++j) {
            // A computed NaN may carry any payload; the sentinel must be exactly where expected.
            const bool both_nan = std::isnan(got[j]) && std::isnan(want[j]) &&
                                  se_bits(want[j]) != kSentinelBits &&
                                  se_bits(got[j]) != kSentinelBits;
            if (se_bits(got[j]) == se_bits(want[j]) || both_nan) {
                continue;
            }
            const int32_t i = static_cast<int32_t>(j) - kGuard;
            const bool inside = i >= offset && i < offset + count;
            const bool output = holds_output;
            char where[160];
            std::snprintf(where, sizeof where,
                          "%s[%d] after processing offset %d, count %d of a %d-sample buffer",
                          name.c_str(), static_cast<int>(i), static_cast<int>(offset),
                          static_cast<int>(count), static_cast<int>(m_block_size));
            why = where;
            if (i < 0 || i >= m_block_size) {
                why += " (a guard sample past the buffer)";
            } else if (!inside) {
                why += " (outside the stretch)";
            } else if (!output) {
                why += " (an input)";
            }
            why +=
                ": got " + se_describe_sample(got[j]) + ", expected " + se_describe_sample(want[j]);
            if (inside && output && se_bits(got[j]) != kSentinelBits) {
                const int32_t in = pin == PIN_OUT_L ? PIN_IN_L : PIN_IN_R;
                char formula[160];
                std::snprintf(formula, sizeof formula, " = %.9g x %.9g x %d rounded once",
                              static_cast<double>(m_buffers[m_pin_buffer[in]][j]),
                              static_cast<double>(m_buffers[m_pin_buffer[PIN_GAIN]][j]),
                              static_cast<int>(m_context.gain_factor));
                // Only an output on a buffer of its own still has its inputs to show.
                if (name.find('/') == std::string::npos) {
                    why += formula;
                }
            }
            return false;
        }
    }
    return true;
}

void SeGainRig::deliver(SeEvent event) {
    SEMod_struct_base2* record = m_host.record();
    const SeFpState before = se_fp_state();
    record->event_handler_ptr(record->object_ptr, &event);
    check_fp(before, "the event entry");
}

void SeGainRig::deliver_state(int32_t pin, state_type state) {
    deliver(SeEvent(m_host.clock(), EV_PIN_STATUS, state, 0,
                    reinterpret_cast<void*>(static_cast<intptr_t>(pin))));
}

int32_t SeGainRig::dispatch(int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    const SeFpState before = se_fp_state();
    const int32_t result = m_host.dispatch(opcode, index, value, ptr, opt);
    char what[48];
    std::snprintf(what, sizeof what, "dispatcher opcode %d", static_cast<int>(opcode));
    check_fp(before, what);
    return result;
}
