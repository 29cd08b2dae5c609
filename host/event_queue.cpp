#include "event_queue.h"

#include <algorithm>

void SeEventQueue::push(const SeEvent& event) {
    // After every event with the same or an earlier time: equal times keep their arrival order.
    auto at = std::upper_bound(
        m_events.begin(), m_events.end(), event,
        [](const SeEvent& a, const SeEvent& b) { return a.time_stamp < b.time_stamp; });
    m_events.insert(at, event);
}

SeEvent SeEventQueue::pop() {
    SeEvent event = m_events.front();
    m_events.pop_front();
    return event;
}
