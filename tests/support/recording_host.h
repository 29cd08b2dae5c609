// A host for unit tests: records every call a module makes through its callback and answers
// from what the test set up. One RecordingHost is live at a time; its callback finds it through
// a static pointer, so modules built with any host_reserved value reach it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "se_contract.h"

struct HostCall {
    SEMod_struct_base2* record;
    int32_t opcode;
    int32_t index;
    int32_t value;
    void* ptr;
    float opt;
    SeEvent event; // a copy of *ptr for HOST_ADD_EVENT, otherwise zero
};

class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    static int32_t SE_CALL callback(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                    int32_t value, void* ptr, float opt);

    // Answers.
    int32_t pin_count = 0;
    uint32_t sample_clock = 0;
    std::map<int32_t, uint32_t> block_start;  // by pin; absent pins answer 0
    std::map<int32_t, float*> pin_buffer;     // by pin, for HOST_GET_PIN_BUFFER
    std::map<int32_t, int32_t> pin_connected; // by pin, for HOST_IS_PIN_CONNECTED
    // Runs inside the callback after the call is recorded, before the answer is made.
    std::function<void(const HostCall&)> on_call;

    std::vector<HostCall> calls;
    std::vector<int32_t> opcodes() const;
    std::vector<HostCall> calls_with(int32_t opcode) const;
    void clear() { calls.clear(); }

private:
    int32_t answer(const HostCall& call) const;
    static RecordingHost* s_current;
};
