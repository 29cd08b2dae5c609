// The module's handle on one of its pins, as the host numbers them. Pins live in the array that
// SEModule_base::open() builds; a default-constructed pin is unbound and inert until Init.
#pragma once

#include "se_contract.h"

class SEModule_base;

class SEPin {
public:
    SEPin() = default;
    virtual ~SEPin() = default;

    // Binds the pin; a null variable gives the pin its own storage (and, for DT_FSAMPLE, asks the
    // host for the buffer address once).
    void Init(SEModule_base* module, int index, EPlugDataType datatype, void* variable);

    SEModule_base* getModule() const { return m_module; }
    state_type getStatus() const { return m_state; }
    int getIndex() const { return m_index; }
    EPlugDataType getDataType() const { return m_datatype; }
    void* getValuePtr() const { return m_value_ptr; }

    // The host reported a new state: store it, tell the module, then let a one-off fall back.
    void OnStatusUpdate(state_type state);
    void TransmitStatusChange(uint32_t sample_clock, state_type state);
    void TransmitMIDI(uint32_t sampleclock, uint32_t message);
    bool IsConnected();
    // The sample at the current clock; 0.0, with a report, when it lies outside the buffer.
    float getValue();

    // The pin's own value when the module gave no variable for it; one pointer-wide word.
    union OwnValue {
        int16_t as_int16;
        bool as_bool;
        float as_float;
        int32_t as_int32;
        float* as_buffer;
        uint32_t bits;
    };

private:
    int32_t CallHost(int32_t opcode, int32_t value, void* ptr);

    void* m_value_ptr = nullptr;
    SEModule_base* m_module = nullptr;
    int m_index = 0;
    state_type m_state = STATE_STOPPED;
    EPlugDataType m_datatype = EPlugDataType{0};
    OwnValue m_own_value = {};

    friend struct SEPinInspector; // tests read the own value through this
};
static_assert(sizeof(SEPin::OwnValue) == sizeof(void*), "the own value is one pointer-wide word");
