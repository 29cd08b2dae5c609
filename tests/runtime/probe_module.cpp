#include "probe_module.h"

std::vector<std::string> ProbeModule::s_lifecycle;

ProbeModule::ProbeModule(SeAudioMasterFn host_callback, void* host_reserved)
    : SEModule_base(host_callback, host_reserved) {}

ProbeModule::~ProbeModule() {
    s_lifecycle.push_back("destructor");
}

bool ProbeModule::getPinProperties(int32_t index, SEPinProperties* properties) {
    asked.push_back(index);
    if (index < 0 || index >= static_cast<int32_t>(script.size()) || index >= kMaxScript) {
        return false;
    }
    const PinScript& d = script[index];
    if (d.has_variable) {
        properties->variable_ptr = &m_variables[index];
    }
    if (d.direction != DR_IN) {
        properties->direction = d.direction;
    }
    if (d.datatype != 0) {
        properties->datatype = static_cast<EPlugDataType>(d.datatype);
    }
    if (d.flags != 0) {
        properties->flags = d.flags;
    }
    return true;
}

void ProbeModule::OnPlugStateChange(SEPin* pin) {
    log.push_back("plug " + std::to_string(pin->getIndex()) + " " +
                  std::to_string(pin->getStatus()));
}
void ProbeModule::close() {
    s_lifecycle.push_back("close");
}
void ProbeModule::Resume() {
    log.push_back("Resume");
}
void ProbeModule::VoiceReset(int voice) {
    log.push_back("VoiceReset " + std::to_string(voice));
}
void ProbeModule::OnGuiNotify(int user_msg_id, int size, void* data) {
    log.push_back("OnGuiNotify " + std::to_string(user_msg_id) + " " + std::to_string(size) + " " +
                  std::to_string(reinterpret_cast<uintptr_t>(data)));
}
void ProbeModule::OnMidiData(uint32_t time_stamp, uint32_t midi_data, int16_t extra) {
    log.push_back("OnMidiData " + std::to_string(time_stamp) + " " + std::to_string(midi_data) +
                  " " + std::to_string(extra));
}

void SE_CALL ProbeModule::routine_a(int32_t buffer_offset, int32_t sample_count) {
    routine_this = this;
    log.push_back("a " + std::to_string(buffer_offset) + " " + std::to_string(sample_count));
}
void SE_CALL ProbeModule::routine_b(int32_t buffer_offset, int32_t sample_count) {
    routine_this = this;
    log.push_back("b " + std::to_string(buffer_offset) + " " + std::to_string(sample_count));
}

void ProbeModule::delayed_plain() {
    routine_this = this;
    log.push_back("delayed_plain");
}
void ProbeModule::delayed_virtual() {
    routine_this = this;
    log.push_back("delayed_virtual base");
}
void OverridingProbe::delayed_virtual() {
    routine_this = this;
    log.push_back("delayed_virtual override");
}
