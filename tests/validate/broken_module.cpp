// Gain modules with one deliberate fault each, built only so that the tests can show that
// `sephost validate` catches the fault. SE_BROKEN_FAULT picks the fault at build time.
#include <new>
#include <xmmintrin.h>

#include "Module.h"
#include "se_contract.h"
#include "variant.h"

#ifndef SE_BROKEN_FAULT
#error "SE_BROKEN_FAULT must name the fault this test library is built with"
#endif

namespace {

// UnmendedStateRule: any static zero input makes both outputs static, so a silent In L stops
// Out R although In R and the gain stream.
enum class Fault {
    RoundsTwice = 1,
    Silent = 2,
    Crashes = 3,
    ChangesMxcsr = 4,
    UnmendedStateRule = 5
};
constexpr Fault kFault = static_cast<Fault>(SE_BROKEN_FAULT);
constexpr int32_t kFactor = 5;

class BrokenModule : public Module {
public:
    using Module::Module;

    void open() override {
        if (kFault == Fault::Silent) {
            Module::open();
            return;
        }
        SEModule_base::open();
        for (int32_t k = 0; k < kPinCount; ++k) {
            SEPinProperties properties{};
            Module::getPinProperties(k, &properties);
            m_buffers[k] = static_cast<float**>(properties.variable_ptr);
        }
        setSubProcess(static_cast<SeProcessMember>(&BrokenModule::broken_process));
    }

    void OnPlugStateChange(SEPin* pin) override {
        if (kFault == Fault::Silent) {
            return;
        }
        if (kFault == Fault::UnmendedStateRule) {
            unmended_evaluation();
            return;
        }
        // The gain's own evaluation, with the faulty routine in place of the running one.
        Module::OnPlugStateChange(pin);
        if (getSubProcess() == static_cast<SeProcessMember>(&Module::sub_process)) {
            setSubProcess(static_cast<SeProcessMember>(&BrokenModule::broken_process));
        }
    }

    void SE_CALL broken_process(int32_t offset, int32_t count) {
        if (kFault == Fault::Crashes && count == 17) {
            __builtin_trap();
        }
        if (kFault == Fault::ChangesMxcsr) {
            _mm_setcsr(_mm_getcsr() | 0x8040u); // flush-to-zero left on for the host
        }
        const float* in_l = *m_buffers[PN_IN_L] + offset;
        const float* in_r = *m_buffers[PN_IN_R] + offset;
        const float* gain = *m_buffers[PN_GAIN] + offset;
        float* out_l = *m_buffers[PN_OUT_L] + offset;
        float* out_r = *m_buffers[PN_OUT_R] + offset;
        for (int32_t i = 0; i < count; ++i) {
            if (kFault == Fault::RoundsTwice) {
                out_l[i] = (in_l[i] * gain[i]) * static_cast<float>(kFactor);
                out_r[i] = (in_r[i] * gain[i]) * static_cast<float>(kFactor);
            } else {
                const double g = gain[i];
                out_l[i] = static_cast<float>(in_l[i] * g * kFactor);
                out_r[i] = static_cast<float>(in_r[i] * g * kFactor);
            }
        }
    }

private:
    void unmended_evaluation() {
        state_type out_state = STATE_STOPPED;
        bool any_static_zero = false;
        for (int32_t k = PN_IN_L; k <= PN_GAIN; ++k) {
            const state_type state = getPin(k)->getStatus();
            out_state = state > out_state ? state : out_state;
            any_static_zero |= state < STATE_RUNNING && getPin(k)->getValue() == 0.0f;
        }
        if (any_static_zero) {
            out_state = STATE_ONE_OFF;
        }
        getPin(PN_OUT_L)->TransmitStatusChange(SampleClock(), out_state);
        getPin(PN_OUT_R)->TransmitStatusChange(SampleClock(), out_state);
        setSubProcess(out_state == STATE_RUNNING
                          ? static_cast<SeProcessMember>(&BrokenModule::broken_process)
                          : static_cast<SeProcessMember>(&Module::sub_process_static));
    }

    float** m_buffers[kPinCount] = {};
};

} // namespace

extern const SeVariant kVariant = {
    "Broken.sep", "Broken gain (test)", "Test - broken gain", kFactor, {0, 0, 0, 1}};

#ifdef _WIN32
#define SE_EXPORT extern "C" __declspec(dllexport)
#else
#define SE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

SE_EXPORT int32_t SE_CALL getModuleProperties(int32_t index, SEModuleProperties* properties) {
    properties->sdk_version = kSdkVersion;
    if (index != 0) {
        return 0;
    }
    Module::getModuleProperties(properties);
    return 1;
}

SE_EXPORT SEMod_struct_base2* SE_CALL makeModule(int32_t index, int32_t kind,
                                                 SeAudioMasterFn host_callback,
                                                 void* host_reserved) {
    if (index != 0 || kind != kModuleKindAudio) {
        return nullptr;
    }
    BrokenModule* module = new (std::nothrow) BrokenModule(host_callback, host_reserved);
    return module != nullptr ? module->getAeffect() : nullptr;
}
