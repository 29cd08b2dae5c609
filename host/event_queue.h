// The host's queue of timed events: ordered by time stamp, first-in first-out among equal times.
#pragma once

#include <cstddef>
#include <deque>

#include "se_contract.h"

class SeEventQueue {
public:
    void push(const SeEvent& event);
    bool empty() const { return m_events.empty(); }
    size_t size() const { return m_events.size(); }
    const SeEvent& front() const { return m_events.front(); }
    SeEvent pop();
    void clear() { m_events.clear(); }

private:
    std::deque<SeEvent> m_events;
};
