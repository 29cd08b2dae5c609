// The block driver against a probe module made here from the contract alone: the probe logs
// every processing stretch and every delivered event with the clock it reads, so each test sees
// exactly how the driver cut the block and what the module was told when.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host_instance.h"

namespace {

// Built by appending: GCC 12 warns falsely on "literal" + std::string chains here.
std::string entry(const char* head, int64_t a, const char* middle, int64_t b) {
    std::string text = head;
    text += std::to_string(a);
    text += middle;
    text += std::to_string(b);
    return text;
}

struct Probe {
    SEMod_struct_base2 record{};
    SeAudioMasterFn host = nullptr;
    float* buffer = nullptr;
    std::vector<std::string> log;
    std::function<void(Probe&, const SeEvent&)> on_event;
    std::function<void(Probe&)> on_process;

    int32_t call_host(int32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr) {
        return host(&record, opcode, index, value, ptr, 0.0f);
    }
};

void SE_CALL process_a(void* object, int32_t offset, int32_t count) {
    auto* p = static_cast<Probe*>(object);
    p->log.push_back(entry("A ", offset, "+", count));
    if (p->on_process) {
        p->on_process(*p);
    }
}

void SE_CALL process_b(void* object, int32_t offset, int32_t count) {
    auto* p = static_cast<Probe*>(object);
    p->log.push_back(entry("B ", offset, "+", count));
}

void SE_CALL deliver(void* object, SeEvent* event) {
    auto* p = static_cast<Probe*>(object);
    const auto clock = static_cast<uint32_t>(p->call_host(HOST_GET_SAMPLE_CLOCK));
    std::string head = "E";
    head += std::to_string(event->event_type);
    head += ":";
    p->log.push_back(entry(head.c_str(), event->value1, "@", clock));
    if (p->on_event) {
        p->on_event(*p, *event);
    }
}

int32_t SE_CALL dispatch(SEMod_struct_base2* record, int32_t opcode, int32_t index, int32_t,
                         void* ptr, float) {
    auto* p = static_cast<Probe*>(record->object_ptr);
    if (opcode == MOD_GET_PIN_PROPERTIES && index == 0) {
        auto* pin = static_cast<SEPinProperties*>(ptr);
        pin->variable_ptr = &p->buffer;
        pin->direction = DR_IN;
        pin->datatype = DT_FSAMPLE;
        pin->name = "probe";
        return 1;
    }
    if (opcode == MOD_CLOSE) {
        delete p;
        return 1;
    }
    return 0;
}

int32_t SE_CALL probe_properties(int32_t, SEModuleProperties*) {
    return 0;
}

SEMod_struct_base2* SE_CALL make_probe(int32_t, int32_t, SeAudioMasterFn host, void* reserved) {
    auto* p = new Probe;
    p->host = host;
    p->record.magic = kSeMagic;
    p->record.version = 1;
    p->record.host_reserved = reserved;
    p->record.object_ptr = p;
    p->record.dispatcher_ptr = dispatch;
    p->record.sub_process_ptr = process_a;
    p->record.event_handler_ptr = deliver;
    return &p->record;
}

class ProbeDriver : public ::testing::Test {
protected:
    ProbeDriver() {
        library.get_module_properties = probe_properties;
        library.make_module = make_probe;
    }
    Probe& probe(HostInstance& host) { return *static_cast<Probe*>(host.record()->object_ptr); }
    SeLibrary library;
};

SeEvent midi(uint32_t time, int32_t tag) {
    return SeEvent(time, EV_MIDI, tag, 0, nullptr);
}

struct SplitCase {
    const char* name;
    std::vector<std::pair<uint32_t, int32_t>> events; // time, tag, in the order queued
    std::vector<std::string> expected;                // block of 256 starting at clock 1000
};

TEST_F(ProbeDriver, CutsTheBlockAtDueEventsAndDeliversThemInTimeThenArrivalOrder) {
    const std::vector<SplitCase> cases = {
        {"no events", {}, {"A 0+256"}},
        {"event at the block start", {{1000, 1}}, {"E2:1@1000", "A 0+256"}},
        {"equal times keep arrival order",
         {{1100, 2}, {1050, 1}, {1100, 3}},
         {"A 0+50", "E2:1@1050", "A 50+50", "E2:2@1100", "E2:3@1100", "A 100+156"}},
        {"event on the last sample", {{1255, 1}}, {"A 0+255", "E2:1@1255", "A 255+1"}},
        {"overdue event first, at its own time", {{990, 1}}, {"E2:1@990", "A 0+256"}},
        {"later events stay queued", {{1256, 1}, {5000, 2}}, {"A 0+256"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        HostInstance host(library, 256);
        host.describe_and_open();
        host.set_clock(1000);
        for (const auto& [time, tag] : c.events) {
            host.queue_event(midi(time, tag));
        }
        host.run_block(256);
        EXPECT_EQ(c.expected, probe(host).log);
        EXPECT_EQ(1256u, host.clock()) << "the clock ends one block further on";
    }
}

TEST_F(ProbeDriver, EventsAddedDuringDeliveryAreCopiedAndRunAtTheirOwnTime) {
    HostInstance host(library, 64);
    host.describe_and_open();
    probe(host).on_event = [](Probe& p, const SeEvent& e) {
        if (e.value1 == 1) {
            SeEvent now(e.time_stamp, EV_MIDI, 2, 0, nullptr); // due at once
            SeEvent later(e.time_stamp + 8, EV_MIDI, 3, 0, nullptr);
            p.call_host(HOST_ADD_EVENT, 0, 0, &now);
            p.call_host(HOST_ADD_EVENT, 0, 0, &later);
            now.time_stamp = later.time_stamp = 0; // the host must have taken copies
        }
    };
    host.queue_event(midi(10, 1));
    host.run_block(64);
    const std::vector<std::string> expected = {"A 0+10", "E2:1@10", "E2:2@10",
                                               "A 10+8", "E2:3@18", "A 18+46"};
    EXPECT_EQ(expected, probe(host).log);
}

TEST_F(ProbeDriver, ANewRoutineAnnouncedDuringDeliveryRunsFromTheNextStretch) {
    HostInstance host(library, 100);
    host.describe_and_open();
    probe(host).on_event = [](Probe& p, const SeEvent&) {
        p.record.sub_process_ptr = process_b;
        p.call_host(HOST_SUB_PROCESS_CHANGED);
    };
    host.queue_event(midi(40, 1));
    host.run_block(100);
    host.run_block(100);
    const std::vector<std::string> expected = {"A 0+40", "E2:1@40", "B 40+60", "B 0+100"};
    EXPECT_EQ(expected, probe(host).log);
    EXPECT_EQ(1, host.routine_changes());
}

TEST_F(ProbeDriver, ASleepingInstanceIsCalledAgainOnlyAfterAPinStatusEvent) {
    HostInstance host(library, 100);
    host.describe_and_open();
    probe(host).on_process = [](Probe& p) { p.call_host(HOST_SLEEP); };
    host.run_block(100); // processes, then asks for sleep
    EXPECT_TRUE(host.sleeping());
    host.queue_event(midi(120, 7)); // not a change of an input: the instance sleeps on
    host.run_block(100);
    host.set_input_state_at(0, STATE_RUNNING, 230);
    host.run_block(100);
    const std::vector<std::string> expected = {"A 0+100", "E2:7@120", "E0:2@230", "A 30+70"};
    EXPECT_EQ(expected, probe(host).log);
    EXPECT_EQ(2, host.sleep_requests());
}

} // namespace
