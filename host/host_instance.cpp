#include "host_instance.h"

#include <cstring>

namespace {
const std::vector<SeAnnouncedState> kNoAnnouncements;
}

HostInstance::HostInstance(const SeLibrary& library, int32_t block_size, float sample_rate)
    : m_library(library), m_block_size(block_size), m_sample_rate(sample_rate) {
    if (m_library.make_module != nullptr) {
        m_record = m_library.make_module(0, kModuleKindAudio, callback, this);
    }
}

HostInstance::~HostInstance() {
    close();
}

void HostInstance::close() {
    if (m_record != nullptr) {
        dispatch(MOD_CLOSE);
        m_record = nullptr;
    }
}

int32_t HostInstance::dispatch(int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    if (m_record == nullptr) {
        return 0;
    }
    return m_record->dispatcher_ptr(m_record, opcode, index, value, ptr, opt);
}

void HostInstance::describe_and_open(int32_t max_pins) {
    describe_pins(max_pins);
    open();
}

void HostInstance::describe_pins(int32_t max_pins) {
    m_pins.clear();
    for (int32_t i = 0; i < max_pins; ++i) {
        SePinInfo info;
        std::memset(&info.properties, 0, sizeof info.properties);
        if (dispatch(MOD_GET_PIN_PROPERTIES, i, 0, &info.properties) == 0) {
            break;
        }
        m_pins.push_back(std::move(info));
    }
    m_announced.assign(m_pins.size(), {});
    allocate_buffers();
}

void HostInstance::open() {
    dispatch(MOD_SET_SAMPLE_RATE, 0, 0, nullptr, m_sample_rate);
    dispatch(MOD_SET_BLOCK_SIZE, 0, m_block_size);
    dispatch(MOD_OPEN);
}

void HostInstance::allocate_buffers() {
    for (int32_t k = 0; k < pin_count(); ++k) {
        SePinInfo& info = m_pins[k];
        info.storage.assign(static_cast<size_t>(m_block_size) + 2 * kGuardSamples, 0.0f);
        info.buffer = info.storage.data() + kGuardSamples;
        bind_variable(k);
    }
}

void HostInstance::bind_variable(int32_t pin) {
    const SePinInfo& info = m_pins[pin];
    if (info.properties.datatype == DT_FSAMPLE && info.properties.variable_ptr != nullptr) {
        *static_cast<float**>(info.properties.variable_ptr) = info.buffer;
    }
}

void HostInstance::set_pin_buffer(int32_t pin, float* buffer) {
    SePinInfo& info = m_pins.at(pin);
    info.buffer = buffer != nullptr ? buffer : info.storage.data() + kGuardSamples;
    bind_variable(pin);
}

void HostInstance::set_block_size(int32_t block_size) {
    m_block_size = block_size;
    allocate_buffers();
    dispatch(MOD_SET_BLOCK_SIZE, 0, block_size);
}

void HostInstance::set_input_state(int32_t pin, state_type state) {
    set_input_state_at(pin, state, m_clock);
}

void HostInstance::set_input_state_at(int32_t pin, state_type state, uint32_t time) {
    m_queue.push(SeEvent(time, EV_PIN_STATUS, state, 0,
                         reinterpret_cast<void*>(static_cast<intptr_t>(pin))));
}

const std::vector<SeAnnouncedState>& HostInstance::announced(int32_t pin) const {
    if (pin < 0 || pin >= static_cast<int32_t>(m_announced.size())) {
        return kNoAnnouncements;
    }
    return m_announced[pin];
}

void HostInstance::clear_log() {
    m_calls.clear();
    for (auto& list : m_announced) {
        list.clear();
    }
    m_sleep_requests = 0;
    m_routine_changes = 0;
    m_process_calls = 0;
}

int32_t SE_CALL HostInstance::callback(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                       int32_t value, void* ptr, float opt) {
    auto* host = static_cast<HostInstance*>(record->host_reserved);
    const SeHostCall call{opcode, index, value, ptr, opt, host->m_clock};
    host->m_calls.push_back(call);
    if (host->on_call) {
        host->on_call(call);
    }
    return host->answer(opcode, index, value, ptr);
}

int32_t HostInstance::answer(int32_t opcode, int32_t index, int32_t value, void* ptr) {
    const bool valid_pin = index >= 0 && index < pin_count();
    switch (opcode) {
    case HOST_SET_PIN_STATUS:
        if (valid_pin) {
            m_announced[index].push_back({static_cast<state_type>(value),
                                          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ptr))});
        }
        return 0;
    case HOST_IS_PIN_CONNECTED:
        return valid_pin ? 1 : 0;
    case HOST_GET_SAMPLE_CLOCK:
        return static_cast<int32_t>(m_clock);
    case HOST_GET_PIN_BUFFER:
        return valid_pin ? static_cast<int32_t>(reinterpret_cast<uintptr_t>(m_pins[index].buffer))
                         : 0;
    case HOST_GET_BLOCK_START:
        return static_cast<int32_t>(m_block_start);
    case HOST_SLEEP:
        m_sleeping = true;
        ++m_sleep_requests;
        return 0;
    case HOST_GET_PIN_COUNT:
        return m_reported_pin_count >= 0 ? m_reported_pin_count : pin_count();
    case HOST_ADD_EVENT:
        if (ptr != nullptr) {
            m_queue.push(*static_cast<const SeEvent*>(ptr)); // the module's copy ends with the call
        }
        return 0;
    case HOST_SUB_PROCESS_CHANGED:
        ++m_routine_changes;
        return 0;
    default:
        return 0;
    }
}
