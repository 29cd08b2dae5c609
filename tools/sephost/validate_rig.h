// A gain instance on buffers the check controls: each of the five pins may have a buffer of its
// own or share one with another pin, every buffer has guard samples on both sides, and a model of
// the whole memory says what each sample must hold after a processing call.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "host_instance.h"
#include "validate_check.h"
#include "validate_fp.h"

enum SeGainPin : int32_t { PIN_IN_L = 0, PIN_IN_R = 1, PIN_GAIN = 2, PIN_OUT_L = 3, PIN_OUT_R = 4 };
constexpr int32_t kGainPinCount = 5;
extern const char* const kGainPinNames[kGainPinCount];

// A written-never sample: a quiet NaN with a payload no arithmetic produces from our inputs.
constexpr uint32_t kSentinelBits = 0x7FC0DEADu;
float se_sentinel();
uint32_t se_bits(float value);
// The double-precision reference: one rounding, on the store.
float se_reference(float input, float gain, int32_t gain_factor);
std::string se_describe_sample(float value);

class SeGainRig {
public:
    static constexpr int32_t kGuard = 16;

    SeGainRig(SeValidateContext& context, int32_t block_size = 1024);

    // Describes the pins, binds the rig's buffers, sets rate and block size, sends MOD_OPEN.
    // False (with why) when the library is not a five-pin stereo gain or makes no instance.
    bool open(std::string& why);
    // Only the first half of open: pins described and buffers bound, MOD_OPEN not sent.
    bool describe(std::string& why);
    HostInstance& host() { return m_host; }
    SEMod_struct_base2* record() { return m_host.record(); }

    // Gives `pin` the buffer of `other` (aliasing), or its own again when other == pin.
    void share_buffer(int32_t pin, int32_t other);
    float* buffer(int32_t pin) { return m_buffers[m_pin_buffer[pin]].data() + kGuard; }
    int32_t block_size() const { return m_block_size; }
    // New buffers and MOD_SET_BLOCK_SIZE.
    void set_block_size(int32_t block_size);

    // Inputs random (or constant), outputs and guards the sentinel.
    void fill_random(std::mt19937& random);
    void fill_input(int32_t pin, float value);
    void fill_outputs_with_sentinel();

    // One call of the current processing routine, checked against the model: every sample of
    // every buffer, guards included, must be what sample-by-sample processing of the stretch
    // leaves there. The FP control state is checked around the call.
    bool process_exact(int32_t offset, int32_t count, std::string& why);
    void process(int32_t offset, int32_t count);
    // Delivers a pin-status event at the current clock straight to the event entry.
    void deliver_state(int32_t pin, state_type state);
    void deliver(SeEvent event);
    int32_t dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

    // The first call that changed the MXCSR or x87 control word, or empty.
    const std::string& fp_fault() const { return m_fp_fault; }
    SeProcessFn running_routine() const { return m_running; }

private:
    void bind_buffers();
    void check_fp(const SeFpState& before, const char* what);

    SeValidateContext& m_context;
    HostInstance m_host;
    int32_t m_block_size;
    std::vector<std::vector<float>> m_buffers; // one per pin; only those in use matter
    int32_t m_pin_buffer[kGainPinCount] = {0, 1, 2, 3, 4};
    std::string m_fp_fault;
    SeProcessFn m_running = nullptr;
};
