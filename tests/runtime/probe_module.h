// A module for unit tests of the base object: scripted pin descriptions, every virtual hook
// logged in call order, and processing routines that record how the host called them.
#pragma once

#include <string>
#include <vector>

#include "SEModule_base.h"
#include "recording_host.h"

// One description the probe answers with. It writes only the non-zero fields, as a module may
// when it relies on getPinProperties_clean having zeroed the record.
struct PinScript {
    int32_t datatype = DT_FSAMPLE;
    int32_t flags = 0;
    bool has_variable = true;
    EDirection direction = DR_IN;
};

class ProbeModule : public SEModule_base {
public:
    static constexpr int kMaxScript = 8;

    explicit ProbeModule(SeAudioMasterFn host_callback = RecordingHost::callback,
                         void* host_reserved = nullptr);
    ~ProbeModule() override;

    bool getPinProperties(int32_t index, SEPinProperties* properties) override;
    void OnPlugStateChange(SEPin* pin) override;
    void close() override;
    void Resume() override;
    void VoiceReset(int voice) override;
    void OnGuiNotify(int user_msg_id, int size, void* data) override;
    void OnMidiData(uint32_t time_stamp, uint32_t midi_data, int16_t extra) override;

    // Processing routines of the processing shape; they record the call.
    void SE_CALL routine_a(int32_t buffer_offset, int32_t sample_count);
    void SE_CALL routine_b(int32_t buffer_offset, int32_t sample_count);

    // Delayed-call routines: one plain, one virtual (OverridingProbe replaces it).
    void delayed_plain();
    virtual void delayed_virtual();

    SEPin* pins() const { return m_pins; }
    // The variable the module names for description k.
    void* variable_of(int k) { return &m_variables[k]; }

    std::vector<PinScript> script;
    std::vector<int32_t> asked;   // description indexes asked for, in order
    std::vector<std::string> log; // virtual hooks and routines, in call order
    const void* routine_this = nullptr;

    // close() and the destructor log here, since the object is gone when the test looks.
    static std::vector<std::string> s_lifecycle;

private:
    float* m_variables[kMaxScript] = {};
};

class OverridingProbe : public ProbeModule {
public:
    using ProbeModule::ProbeModule;
    void delayed_virtual() override;
};

inline SeProcessMember routine_a() {
    return static_cast<SeProcessMember>(&ProbeModule::routine_a);
}
inline SeProcessMember routine_b() {
    return static_cast<SeProcessMember>(&ProbeModule::routine_b);
}
