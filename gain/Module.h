// The stereo gain: Out L = In L x Gain aspect x gain_factor, Out R likewise, with a running
// routine for streaming inputs and a static one that counts a block down to sleep.
#pragma once

#include "SEModule_base.h"

class Module : public SEModule_base {
public:
    Module(SeAudioMasterFn host_callback, void* host_reserved);
    ~Module() override;

    void OnPlugStateChange(SEPin* pin) override;
    void open() override;
    bool getPinProperties(int32_t index, SEPinProperties* properties) override;

    void SE_CALL sub_process(int32_t buffer_offset, int32_t sample_count);
    void SE_CALL sub_process_static(int32_t buffer_offset, int32_t sample_count);

    // Class-wide: the library's display name, identifier and about text.
    static bool getModuleProperties(SEModuleProperties* properties);

    enum PinIndex : int32_t { PN_IN_L = 0, PN_IN_R = 1, PN_GAIN = 2, PN_OUT_L = 3, PN_OUT_R = 4 };
    static constexpr int32_t kPinCount = 5;

private:
    // Buffer addresses, stored by the host through each pin's variable_ptr.
    float* m_in_l = nullptr;
    float* m_in_r = nullptr;
    float* m_out_l = nullptr;
    float* m_out_r = nullptr;
    float* m_gain = nullptr;
    int32_t m_static_count = 0; // samples the static routine computes before it asks for sleep
};
