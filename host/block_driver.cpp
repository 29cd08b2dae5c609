// The block loop of HostInstance: the part of a host that turns a block into stretches and
// events.
#include "host_instance.h"

void HostInstance::deliver(const SeEvent& event) {
    SeEvent copy = event;
    // During delivery the clock reads the event's time, as the module's time check expects.
    const uint32_t clock = m_clock;
    m_clock = event.time_stamp;
    if (event.event_type == EV_PIN_STATUS) {
        m_sleeping = false; // an input changed: the instance must look at it
    }
    m_record->event_handler_ptr(m_record->object_ptr, &copy);
    m_clock = clock;
}

int32_t HostInstance::due_offset(const SeEvent& event) const {
    // Signed distance from the block start: an overdue event counts as due at once.
    return static_cast<int32_t>(event.time_stamp - m_block_start);
}

void HostInstance::run_block(int32_t samples) {
    if (m_record == nullptr || samples <= 0) {
        return;
    }
    m_block_start = m_clock;
    int32_t offset = 0;
    while (offset < samples) {
        // Everything due now (or overdue) goes first; events queued during delivery for the
        // current sample are taken in the same pass.
        while (!m_queue.empty() && due_offset(m_queue.front()) <= offset) {
            deliver(m_queue.pop());
        }
        int32_t end = samples;
        if (!m_queue.empty()) {
            const int32_t due = due_offset(m_queue.front());
            if (due < samples) {
                end = due;
            }
        }
        if (!m_sleeping) {
            ++m_process_calls;
            m_record->sub_process_ptr(m_record->object_ptr, offset, end - offset);
        }
        offset = end;
        m_clock = m_block_start + static_cast<uint32_t>(offset);
    }
}
