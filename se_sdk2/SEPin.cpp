#include "SEPin.h"

#include "SEModule_base.h"
#include "se_assert.h"

namespace {
void* clock_as_pointer(uint32_t clock) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(clock));
}
} // namespace

void SEPin::Init(SEModule_base* module, int index, EPlugDataType datatype, void* variable) {
    m_module = module;
    m_index = index;
    m_datatype = datatype;
    m_value_ptr = variable;
    m_state = STATE_STOPPED;
    if (variable != nullptr) {
        m_own_value.bits = 0;
        return;
    }
    switch (static_cast<int32_t>(datatype)) {
    case 0:
        m_own_value.as_int16 = 0;
        m_value_ptr = &m_own_value;
        break;
    case 4:
        m_own_value.as_bool = false;
        m_value_ptr = &m_own_value;
        break;
    case DT_FSAMPLE:
        m_own_value.as_buffer = reinterpret_cast<float*>(
            static_cast<uintptr_t>(CallHost(HOST_GET_PIN_BUFFER, 0, nullptr)));
        m_value_ptr = &m_own_value;
        break;
    case 6:
        m_own_value.as_float = 0.0f;
        m_value_ptr = &m_own_value;
        break;
    case 8:
        m_own_value.as_int32 = 0;
        m_value_ptr = &m_own_value;
        break;
    default:
        // Types without an own value (1, 2, 3, 7 and unknown codes) keep their value elsewhere.
        m_value_ptr = nullptr;
        break;
    }
}

int32_t SEPin::CallHost(int32_t opcode, int32_t value, void* ptr) {
    // An unbound pin has no module to speak through; it stays silent rather than crash.
    if (m_module == nullptr) {
        return 0;
    }
    return m_module->CallHost(opcode, m_index, value, ptr, 0.0f);
}

void SEPin::OnStatusUpdate(state_type state) {
    m_state = state;
    if (m_module != nullptr) {
        m_module->OnPlugStateChange(this);
    }
    if (state == STATE_ONE_OFF) {
        m_state = STATE_STOPPED;
    }
}

void SEPin::TransmitStatusChange(uint32_t sample_clock, state_type state) {
    CallHost(HOST_SET_PIN_STATUS, state, clock_as_pointer(sample_clock));
}

void SEPin::TransmitMIDI(uint32_t sampleclock, uint32_t message) {
    if (m_module != nullptr) {
        se_check(sampleclock >= m_module->SampleClock(), "sampleclock >= m_module->SampleClock()");
    }
    CallHost(HOST_SEND_MIDI, static_cast<int32_t>(message), clock_as_pointer(sampleclock));
}

bool SEPin::IsConnected() {
    return CallHost(HOST_IS_PIN_CONNECTED, 0, nullptr) != 0;
}

float SEPin::getValue() {
    se_check(m_datatype == DT_FSAMPLE, "m_datatype == DT_FSAMPLE");
    // An unbound pin has no module to ask for the clock.
    if (!se_check(m_module != nullptr, "m_module != 0")) {
        return 0.0f;
    }
    const uint32_t block_start = static_cast<uint32_t>(CallHost(HOST_GET_BLOCK_START, 0, nullptr));
    const uint32_t now = m_module->SampleClock();
    const float* buffer =
        m_value_ptr != nullptr ? *static_cast<float* const*>(m_value_ptr) : nullptr;
    // Unsigned: a clock before the block start wraps to a huge position and fails the test too.
    const uint32_t position = now - block_start;
    const int32_t block_size = m_module->getBlockSize();
    // A host that reports a clock outside the current block would otherwise have us read outside
    // its buffer.
    if (!se_check(buffer != nullptr, "buffer != 0") ||
        !se_check(block_size > 0 && position < static_cast<uint32_t>(block_size),
                  "SampleClock() - block start < getBlockSize()")) {
        return 0.0f;
    }
    return buffer[position];
}
