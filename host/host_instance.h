// One module instance driven the way a host drives it, through the record alone.
//
//   SeLibrary lib; se_load_library(path, lib, error);
//   HostInstance inst(lib);                 // makeModule(0, 1, callback, &inst)
//   inst.describe_and_open();                // pin descriptions, buffers bound, MOD_OPEN
//   inst.input(0)[k] = ...;                  // fill input buffers for the next block
//   inst.set_input_state(2, STATE_RUNNING);  // queue EV_PIN_STATUS at the current clock
//   inst.run_block(256);                     // split at due events, call sub_process_ptr
//   inst.output(3)[k] ...; inst.announced(3) // results and announced output states
//
// The host callback finds the instance through record->host_reserved, the opaque pointer given
// to makeModule. Every call the module makes is logged with the clock at the time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "event_queue.h"
#include "library.h"
#include "se_contract.h"

struct SeHostCall {
    int32_t opcode;
    int32_t index;
    int32_t value;
    void* ptr;
    float opt;
    uint32_t clock; // the sample clock when the call was made
};

struct SeAnnouncedState {
    state_type state;
    uint32_t clock; // the clock the module stamped the change with
};

struct SePinInfo {
    SEPinProperties properties; // as the module described it to a zeroed record
    std::vector<float> storage; // guard + block + guard samples
    float* buffer = nullptr;    // the pin's block buffer inside storage
};

class HostInstance {
public:
    static constexpr int32_t kGuardSamples = 64; // around each buffer, to catch stray writes

    HostInstance(const SeLibrary& library, int32_t block_size = 1024, float sample_rate = 44100.0f);
    ~HostInstance(); // closes the instance if still open
    HostInstance(const HostInstance&) = delete;
    HostInstance& operator=(const HostInstance&) = delete;

    bool created() const { return m_record != nullptr; }
    SEMod_struct_base2* record() const { return m_record; }

    // Asks for pin descriptions 0, 1, ... until refused (at most max_pins), gives every
    // DT_FSAMPLE pin a buffer through its variable, sets rate and block size, sends MOD_OPEN.
    void describe_and_open(int32_t max_pins = 256);
    // The two halves of describe_and_open: a tool that only lists pins never opens.
    void describe_pins(int32_t max_pins = 256);
    void open();
    int32_t dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
    void close(); // MOD_CLOSE; the record is gone afterwards

    int32_t pin_count() const { return static_cast<int32_t>(m_pins.size()); }
    const SePinInfo& pin(int32_t index) const { return m_pins.at(index); }
    float* input(int32_t pin) { return m_pins.at(pin).buffer; }
    float* output(int32_t pin) { return m_pins.at(pin).buffer; }
    // Points a pin at another buffer (for aliasing layouts); null restores its own.
    void set_pin_buffer(int32_t pin, float* buffer);
    // Answer to HOST_GET_PIN_COUNT; by default the number of pins described.
    void set_reported_pin_count(int32_t count) { m_reported_pin_count = count; }

    // Queues a pin-status event for an input, as a host does when the input's source becomes
    // constant, changes once or streams; it is delivered at `time` (default: the current clock).
    void set_input_state(int32_t pin, state_type state);
    void set_input_state_at(int32_t pin, state_type state, uint32_t time);
    void queue_event(const SeEvent& event) { m_queue.push(event); }

    // Runs one block of `samples`: stretches between due events go to sub_process_ptr (read
    // afresh for every stretch); each due event goes to event_handler_ptr with the clock reading
    // its time. A sleeping instance is not called until a pin-status event wakes it.
    void run_block(int32_t samples);
    void set_block_size(int32_t block_size); // MOD_SET_BLOCK_SIZE and new buffers
    int32_t block_size() const { return m_block_size; }

    uint32_t clock() const { return m_clock; }
    void set_clock(uint32_t clock) { m_clock = m_block_start = clock; }
    bool sleeping() const { return m_sleeping; }
    int32_t sleep_requests() const { return m_sleep_requests; }
    int32_t routine_changes() const { return m_routine_changes; }
    int32_t process_calls() const { return m_process_calls; }
    const std::vector<SeHostCall>& calls() const { return m_calls; }
    const std::vector<SeAnnouncedState>& announced(int32_t pin) const;
    const SeEventQueue& queue() const { return m_queue; }
    void clear_log();

    // Runs inside the host callback after the call is logged (tests look at the record there).
    std::function<void(const SeHostCall&)> on_call;

private:
    static int32_t SE_CALL callback(SEMod_struct_base2* record, int32_t opcode, int32_t index,
                                    int32_t value, void* ptr, float opt);
    int32_t answer(int32_t opcode, int32_t index, int32_t value, void* ptr);
    void allocate_buffers();
    void bind_variable(int32_t pin);
    void deliver(const SeEvent& event);
    int32_t due_offset(const SeEvent& event) const;

    SeLibrary m_library;
    SEMod_struct_base2* m_record = nullptr;
    std::vector<SePinInfo> m_pins;
    std::vector<std::vector<SeAnnouncedState>> m_announced;
    SeEventQueue m_queue;
    std::vector<SeHostCall> m_calls;
    int32_t m_block_size;
    float m_sample_rate;
    int32_t m_reported_pin_count = -1;
    uint32_t m_clock = 0;       // the sample clock the module reads
    uint32_t m_block_start = 0; // clock of element 0 of every buffer
    bool m_sleeping = false;
    int32_t m_sleep_requests = 0;
    int32_t m_routine_changes = 0;
    int32_t m_process_calls = 0;
};
