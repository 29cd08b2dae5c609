#include "recording_host.h"

#include <cstdlib>

RecordingHost* RecordingHost::s_current = nullptr;

RecordingHost::RecordingHost() {
    if (s_current != nullptr) {
        std::abort(); // a test bug: two live hosts would interleave their records
    }
    s_current = this;
}

RecordingHost::~RecordingHost() {
    s_current = nullptr;
}

int32_t SE_CALL RecordingHost::callback(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                        int32_t value, void* ptr, float opt) {
    RecordingHost* host = s_current;
    HostCall call{record, opcode, index, value, ptr, opt, SeEvent{}};
    call.event = SeEvent(0, 0, 0, 0, nullptr);
    if (opcode == HOST_ADD_EVENT && ptr != nullptr) {
        call.event = *static_cast<SeEvent*>(ptr);
    }
    host->calls.push_back(call);
    if (host->on_call) {
        host->on_call(call);
    }
    return host->answer(call);
}

int32_t RecordingHost::answer(const HostCall& call) const {
    switch (call.opcode) {
    case HOST_GET_PIN_COUNT:
        return pin_count;
    case HOST_GET_SAMPLE_CLOCK:
        return static_cast<int32_t>(sample_clock);
    case HOST_GET_BLOCK_START: {
        auto it = block_start.find(call.index);
        return it == block_start.end() ? 0 : static_cast<int32_t>(it->second);
    }
    case HOST_GET_PIN_BUFFER: {
        auto it = pin_buffer.find(call.index);
        return it == pin_buffer.end()
                   ? 0
                   : static_cast<int32_t>(reinterpret_cast<uintptr_t>(it->second));
    }
    case HOST_IS_PIN_CONNECTED: {
        auto it = pin_connected.find(call.index);
        return it == pin_connected.end() ? 0 : it->second;
    }
    default:
        return 0;
    }
}

std::vector<int32_t> RecordingHost::opcodes() const {
    std::vector<int32_t> out;
    for (const auto& c : calls) {
        out.push_back(c.opcode);
    }
    return out;
}

std::vector<HostCall> RecordingHost::calls_with(int32_t opcode) const {
    std::vector<HostCall> out;
    for (const auto& c : calls) {
        if (c.opcode == opcode) {
            out.push_back(c);
        }
    }
    return out;
}
