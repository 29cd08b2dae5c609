// Timed events and the switch of the processing routine, driven through the raw entries the way
// a host drives them.
#include <gtest/gtest.h>

#include <cstring>

#include "assert_capture.h"
#include "probe_module.h"

namespace {

void* as_pointer(uint32_t v) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(v));
}
uint32_t word(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

struct EventFixture : ::testing::Test {
    RecordingHost host;
    AssertCapture asserts;
    OverridingProbe module;
    // Delivers through the record's event entry with the host clock at the event's time.
    void deliver(SeEvent event) {
        host.sample_clock = event.time_stamp;
        SEMod_struct_base2* record = module.getAeffect();
        record->event_handler_ptr(record->object_ptr, &event);
    }
    void open_with_pins(int32_t count) {
        host.pin_count = count;
        module.script.assign(static_cast<size_t>(count), PinScript{});
        module.open();
        host.clear();
    }
};

using EventDelivery = EventFixture;

TEST_F(EventDelivery, UnknownTypesOnlyQueryTheClock) {
    open_with_pins(3);
    for (const int32_t type : {1, 3, 6, 20, 22, -1, 0x7FFFFFFF, INT32_MIN}) {
        host.clear();
        deliver(SeEvent(77, type, STATE_RUNNING, 0x12345, as_pointer(1)));
        EXPECT_EQ(std::vector<int32_t>{HOST_GET_SAMPLE_CLOCK}, host.opcodes()) << type;
    }
    EXPECT_TRUE(module.log.empty());
    EXPECT_TRUE(asserts.reports().empty());
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(STATE_STOPPED, module.getPin(k)->getStatus());
    }
}

TEST_F(EventDelivery, MidiPassesTimeUnsignedDataAndSignExtendedLowHalf) {
    const struct {
        int32_t value1, value2;
        const char* call;
    } cases[] = {
        {0x90, 0x18000, "OnMidiData 300 144 -32768"},
        {0x90, 0x12345, "OnMidiData 300 144 9029"},
        {0x90, 0x0000FFFF, "OnMidiData 300 144 -1"},
        {0x90, 0x7FFF, "OnMidiData 300 144 32767"},
        {0x90, -1, "OnMidiData 300 144 -1"},
        {-1, 0, "OnMidiData 300 4294967295 0"},
        {INT32_MIN, 0x10000, "OnMidiData 300 2147483648 0"},
    };
    for (const auto& c : cases) {
        module.log.clear();
        deliver(SeEvent(300, EV_MIDI, c.value1, c.value2, nullptr));
        EXPECT_EQ(std::vector<std::string>{c.call}, module.log) << c.value1 << " " << c.value2;
    }
}

TEST_F(EventDelivery, PinStatusReachesThePinNamedByValuePtr) {
    open_with_pins(3);
    module.getPin(0)->OnStatusUpdate(STATE_RUNNING);
    module.log.clear();

    deliver(SeEvent(40, EV_PIN_STATUS, STATE_ONE_OFF, 0, as_pointer(2)));
    EXPECT_EQ(std::vector<std::string>{"plug 2 1"}, module.log);
    EXPECT_EQ(STATE_STOPPED, module.getPin(2)->getStatus());
    EXPECT_EQ(STATE_RUNNING, module.getPin(0)->getStatus()) << "other pins keep their state";

    module.log.clear();
    deliver(SeEvent(41, EV_PIN_STATUS, STATE_RUNNING, 0, as_pointer(1)));
    EXPECT_EQ(std::vector<std::string>{"plug 1 2"}, module.log);
    EXPECT_EQ(STATE_RUNNING, module.getPin(1)->getStatus());
    EXPECT_TRUE(asserts.reports().empty());
}

TEST_F(EventDelivery, BadPinIndexIsReportedAndIgnored) {
    // Before open there is no array at all.
    deliver(SeEvent(1, EV_PIN_STATUS, STATE_RUNNING, 0, as_pointer(0)));
    EXPECT_EQ(std::vector<std::string>{"m_pins != 0"}, asserts.expressions());
    EXPECT_TRUE(module.log.empty());

    open_with_pins(3);
    for (const uint32_t index : {0xFFFFFFFFu, 3u, 4u, 100000u, 0x80000000u}) {
        asserts.clear();
        deliver(SeEvent(2, EV_PIN_STATUS, STATE_RUNNING, 0, as_pointer(index)));
        EXPECT_EQ(1u, asserts.reports().size()) << index;
        EXPECT_TRUE(module.log.empty()) << index;
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(STATE_STOPPED, module.getPin(k)->getStatus()) << k;
    }
}

TEST_F(EventDelivery, UnboundPinIsReportedAndIgnored) {
    host.pin_count = 3;
    module.script = {PinScript{}}; // one described pin, elements 1 and 2 stay unbound
    module.open();
    deliver(SeEvent(2, EV_PIN_STATUS, STATE_RUNNING, 0, as_pointer(2)));
    EXPECT_EQ(std::vector<std::string>{"pin->getModule() != 0"}, asserts.expressions());
    EXPECT_TRUE(module.log.empty());
}

TEST_F(EventDelivery, EarlyOrLateEventIsReportedAndStillActedOn) {
    for (const uint32_t clock : {299u, 301u, 0u}) {
        asserts.clear();
        module.log.clear();
        host.sample_clock = clock;
        SeEvent event(300, EV_MIDI, 1, 2, nullptr);
        module.getAeffect()->event_handler_ptr(&module, &event);
        EXPECT_EQ(std::vector<std::string>{"e->time_stamp == SampleClock()"}, asserts.expressions())
            << clock;
        EXPECT_NE(std::string::npos, asserts.reports()[0].file.find("se_sdk2/SEModule_base"));
        EXPECT_EQ(std::vector<std::string>{"OnMidiData 300 1 2"}, module.log) << clock;
    }
}

TEST_F(EventDelivery, DelayedCallRunsTheOverrideOfAVirtualRoutine) {
    const delayed_delegate routine(static_cast<SeDelayedMember>(&ProbeModule::delayed_virtual));
    ASSERT_EQ(1u, routine.code_word() & 1u) << "a virtual member's raw pointer is odd";
    deliver(SeEvent(10, EV_RUN_DELAYED, 0, 0, routine.RawPointer()));
    EXPECT_EQ(std::vector<std::string>{"delayed_virtual override"}, module.log);
    EXPECT_EQ(&module, module.routine_this);
}

TEST_F(EventDelivery, DelayedCallRunsAPlainRoutineAtItsAddress) {
    const delayed_delegate routine(static_cast<SeDelayedMember>(&ProbeModule::delayed_plain));
    ASSERT_EQ(0u, routine.code_word() & 1u);
    deliver(SeEvent(10, EV_RUN_DELAYED, 0, 0, routine.RawPointer()));
    EXPECT_EQ(std::vector<std::string>{"delayed_plain"}, module.log);
    EXPECT_EQ(&module, module.routine_this);
}

TEST_F(EventDelivery, DelayedCallWithNullRoutineIsReportedAndRunsNothing) {
    deliver(SeEvent(10, EV_RUN_DELAYED, 0, 0, nullptr));
    EXPECT_EQ(std::vector<std::string>{"e->value_ptr != 0"}, asserts.expressions());
    EXPECT_TRUE(module.log.empty());
}

using Scheduling = EventFixture;

TEST_F(Scheduling, RunDelayedAtTheCurrentClockHandsTheHostTheExactEvent) {
    host.sample_clock = 4410;
    const delayed_delegate routine(static_cast<SeDelayedMember>(&ProbeModule::delayed_virtual));
    uint8_t seen[24] = {};
    host.on_call = [&seen](const HostCall& call) {
        if (call.opcode == HOST_ADD_EVENT) {
            std::memcpy(seen, call.ptr, sizeof seen); // the record exists only during the call
        }
    };
    module.RunDelayed(4410, static_cast<SeDelayedMember>(&ProbeModule::delayed_virtual));

    EXPECT_TRUE(asserts.reports().empty());
    ASSERT_EQ((std::vector<int32_t>{HOST_GET_SAMPLE_CLOCK, HOST_ADD_EVENT}), host.opcodes());
    const HostCall& add = host.calls[1];
    EXPECT_EQ(0, add.index);
    EXPECT_EQ(0, add.value);
    EXPECT_EQ(0.0f, add.opt);
    const uint32_t expected[6] = {4410, EV_RUN_DELAYED, 0, 0, routine.code_word(), 0};
    EXPECT_EQ(0, std::memcmp(expected, seen, sizeof seen));

    // Handed back at its time, it runs the module's own override.
    deliver(add.event);
    EXPECT_EQ(std::vector<std::string>{"delayed_virtual override"}, module.log);
}

TEST_F(Scheduling, AddEventTimeCheckIsPlainUnsignedComparison) {
    const struct {
        uint32_t now, when;
        bool fails;
    } cases[] = {
        {100, 100, false},
        {100, 101, false},
        {100, 99, true},
        {0xFFFFFFF0u, 5, true}, // past the wrap reads as earlier
        {0xFFFFFFF0u, 0xFFFFFFFFu, false},
        {5, 0xFFFFFFF0u, false},
        {0, 0, false},
    };
    for (const auto& c : cases) {
        host.clear();
        asserts.clear();
        host.sample_clock = c.now;
        module.AddEvent(c.when, 99, -7, 8, as_pointer(0xABCD));
        if (c.fails) {
            EXPECT_EQ(std::vector<std::string>{"p_time_stamp >= SampleClock()"},
                      asserts.expressions())
                << c.now << " " << c.when;
        } else {
            EXPECT_TRUE(asserts.reports().empty()) << c.now << " " << c.when;
        }
        // The assertion changes nothing: the event is handed over either way.
        const auto added = host.calls_with(HOST_ADD_EVENT);
        ASSERT_EQ(1u, added.size());
        const SeEvent& e = added[0].event;
        EXPECT_EQ(c.when, e.time_stamp);
        EXPECT_EQ(99, e.event_type);
        EXPECT_EQ(-7, e.value1);
        EXPECT_EQ(8, e.value2);
        EXPECT_EQ(0xABCDu, word(e.value_ptr));
        EXPECT_EQ(0, e.reserved);
    }
}

TEST(SchedulingNoHost, AddEventWithoutHostGoesNowhere) {
    AssertCapture asserts;
    ProbeModule module(nullptr, nullptr);
    module.AddEvent(0, EV_MIDI, 1, 2, nullptr);
    EXPECT_TRUE(asserts.reports().empty()) << "the clock reads 0, so time 0 is not early";
}

using SubProcess = EventFixture;

TEST_F(SubProcess, InstallingTheCurrentRoutineWritesNothingAndSendsNothing) {
    module.setSubProcess(&SEModule_base::process_idle);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(module.getSubProcessDelegate().code_word(),
              word(reinterpret_cast<void*>(module.getAeffect()->sub_process_ptr)));

    module.setSubProcess(routine_a());
    host.clear();
    // Make the record disagree with the delegate: an equal routine must not rewrite it.
    SEMod_struct_base2* record = module.getAeffect();
    const SeProcessFn installed = record->sub_process_ptr;
    record->sub_process_ptr = nullptr;
    module.setSubProcess(routine_a());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(nullptr, record->sub_process_ptr) << "nothing was written";
    record->sub_process_ptr = installed;
}

TEST_F(SubProcess, RecordIsRewrittenBeforeTheHostIsTold) {
    SEMod_struct_base2* record = module.getAeffect();
    const process_delegate wanted(routine_b());
    bool checked = false;
    host.on_call = [&](const HostCall& call) {
        if (call.opcode != HOST_SUB_PROCESS_CHANGED) {
            return;
        }
        checked = true;
        EXPECT_EQ(wanted.code_word(), word(reinterpret_cast<void*>(record->sub_process_ptr)));
        EXPECT_TRUE(process_delegate(module.getSubProcess()) == wanted);
        EXPECT_EQ(0u, module.getSubProcessDelegate().adjustment_word());
        // The host can already call the new routine from inside its handler.
        record->sub_process_ptr(record->object_ptr, 1, 2);
    };
    module.setSubProcess(routine_b());
    EXPECT_TRUE(checked);
    ASSERT_EQ(std::vector<int32_t>{HOST_SUB_PROCESS_CHANGED}, host.opcodes());
    EXPECT_EQ(0, host.calls[0].index);
    EXPECT_EQ(0, host.calls[0].value);
    EXPECT_EQ(nullptr, host.calls[0].ptr);
    EXPECT_EQ(0.0f, host.calls[0].opt);
    EXPECT_EQ(std::vector<std::string>{"b 1 2"}, module.log);
}

TEST_F(SubProcess, EachRealSwitchSendsExactlyOneNotice) {
    module.setSubProcess(routine_a());
    module.setSubProcess(routine_a());
    module.setSubProcess(routine_b());
    module.setSubProcess(routine_b());
    module.setSubProcess(routine_a());
    EXPECT_EQ(3u, host.calls_with(HOST_SUB_PROCESS_CHANGED).size());
    SEMod_struct_base2* record = module.getAeffect();
    record->sub_process_ptr(record->object_ptr, 0, 4);
    EXPECT_EQ(std::vector<std::string>{"a 0 4"}, module.log);
}

TEST_F(SubProcess, RoutineTheHostCannotCallIsReportedAndRefused) {
    module.setSubProcess(routine_a());
    host.clear();
    const uint32_t code = process_delegate(routine_b()).code_word();
    const struct {
        const char* what;
        process_delegate routine;
    } cases[] = {
        {"null", process_delegate::from_words(0, 0)},
        {"virtual (odd code word)", process_delegate::from_words(9, 0)},
        {"non-zero adjustment", process_delegate::from_words(code, 4)},
    };
    for (const auto& c : cases) {
        asserts.clear();
        module.setSubProcess(c.routine.member);
        EXPECT_EQ(1u, asserts.reports().size()) << c.what;
        EXPECT_TRUE(process_delegate(module.getSubProcess()) == process_delegate(routine_a()))
            << c.what;
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST(SubProcessNoHost, SwitchStillRewritesTheRecord) {
    ProbeModule module(nullptr, nullptr);
    module.setSubProcess(routine_a());
    SEMod_struct_base2* record = module.getAeffect();
    record->sub_process_ptr(record->object_ptr, 5, 6);
    EXPECT_EQ(std::vector<std::string>{"a 5 6"}, module.log);
}

TEST_F(SubProcess, SwitchDuringPinStatusDeliveryIsPickedUpByTheNextStretch) {
    // A module that switches routine from OnPlugStateChange, as a real module does.
    struct Switching : ProbeModule {
        void OnPlugStateChange(SEPin* pin) override {
            ProbeModule::OnPlugStateChange(pin);
            setSubProcess(pin->getStatus() == STATE_RUNNING ? ::routine_a() : ::routine_b());
        }
    } switching;
    host.pin_count = 1;
    switching.script = {PinScript{}};
    switching.open();
    host.clear();

    SEMod_struct_base2* record = switching.getAeffect();
    host.sample_clock = 64;
    SeEvent event(64, EV_PIN_STATUS, STATE_RUNNING, 0, as_pointer(0));
    record->event_handler_ptr(record->object_ptr, &event);
    EXPECT_EQ((std::vector<int32_t>{HOST_GET_SAMPLE_CLOCK, HOST_SUB_PROCESS_CHANGED}),
              host.opcodes());
    record->sub_process_ptr(record->object_ptr, 0, 32);
    EXPECT_EQ((std::vector<std::string>{"plug 0 2", "a 0 32"}), switching.log);
}

} // namespace
