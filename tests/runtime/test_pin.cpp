// SEPin: binding per data type, state updates, the host calls of each operation, and getValue.
#include <gtest/gtest.h>

#include <cstring>

#include "assert_capture.h"
#include "probe_module.h"

// Declared a friend by SEPin so tests can see the pin's own storage.
struct SEPinInspector {
    static SEPin::OwnValue& own(SEPin& pin) { return pin.m_own_value; }
};

namespace {

struct PinFixture : ::testing::Test {
    RecordingHost host;
    AssertCapture asserts;
    ProbeModule module;
};

using PinInit = PinFixture;

TEST_F(PinInit, WithAVariableUsesItZeroesOwnValueAndCallsNoHost) {
    for (const int32_t datatype : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1}) {
        host.clear();
        SEPin pin;
        SEPinInspector::own(pin).bits = 0xDEADBEEF;
        float variable = 0.0f;
        pin.Init(&module, 3, static_cast<EPlugDataType>(datatype), &variable);
        EXPECT_EQ(&variable, pin.getValuePtr()) << datatype;
        EXPECT_EQ(0u, SEPinInspector::own(pin).bits) << datatype;
        EXPECT_EQ(STATE_STOPPED, pin.getStatus()) << datatype;
        EXPECT_EQ(&module, pin.getModule()) << datatype;
        EXPECT_EQ(3, pin.getIndex()) << datatype;
        EXPECT_EQ(datatype, pin.getDataType()) << datatype;
        EXPECT_TRUE(host.calls.empty()) << datatype;
    }
}

TEST_F(PinInit, WithoutAVariableGivesEachDataTypeItsOwnValue) {
    const struct {
        int32_t datatype;
        bool own_storage;
        uint32_t bits_after; // the whole own word when own_storage, else must be left alone
    } cases[] = {
        {0, true, 0xDEAD0000}, // 16-bit integer: only its low half is the value
        {1, false, 0xDEADBEEF},
        {2, false, 0xDEADBEEF},
        {3, false, 0xDEADBEEF},
        {4, true, 0xDEADBE00}, // 8-bit boolean
        {6, true, 0},          // float 0.0
        {7, false, 0xDEADBEEF},
        {8, true, 0},
        {9, false, 0xDEADBEEF},
        {-1, false, 0xDEADBEEF},
        {100, false, 0xDEADBEEF},
    };
    for (const auto& c : cases) {
        host.clear();
        SEPin pin;
        SEPinInspector::own(pin).bits = 0xDEADBEEF;
        pin.Init(&module, 1, static_cast<EPlugDataType>(c.datatype), nullptr);
        if (c.own_storage) {
            EXPECT_EQ(&SEPinInspector::own(pin), pin.getValuePtr()) << c.datatype;
        } else {
            EXPECT_EQ(nullptr, pin.getValuePtr()) << c.datatype;
        }
        EXPECT_EQ(c.bits_after, SEPinInspector::own(pin).bits) << c.datatype;
        EXPECT_TRUE(host.calls.empty()) << c.datatype;
    }
}

TEST_F(PinInit, SamplePinWithoutAVariableAsksTheHostForItsBufferOnce) {
    float buffer[4] = {};
    host.pin_buffer[3] = buffer;
    SEPin pin;
    pin.Init(&module, 3, DT_FSAMPLE, nullptr);
    ASSERT_EQ(std::vector<int32_t>{HOST_GET_PIN_BUFFER}, host.opcodes());
    EXPECT_EQ(3, host.calls[0].index);
    EXPECT_EQ(0, host.calls[0].value);
    EXPECT_EQ(nullptr, host.calls[0].ptr);
    EXPECT_EQ(0.0f, host.calls[0].opt);
    ASSERT_EQ(&SEPinInspector::own(pin), pin.getValuePtr());
    EXPECT_EQ(buffer, *static_cast<float* const*>(pin.getValuePtr()));
}

TEST(PinInitNoHost, SamplePinWithoutHostGetsANullBuffer) {
    ProbeModule module(nullptr, nullptr);
    SEPin pin;
    SEPinInspector::own(pin).bits = 0xDEADBEEF;
    pin.Init(&module, 0, DT_FSAMPLE, nullptr);
    EXPECT_EQ(nullptr, *static_cast<float* const*>(pin.getValuePtr()));
    EXPECT_FALSE(pin.IsConnected());
}

using PinStatus = PinFixture;

TEST_F(PinStatus, ModuleSeesTheReportedStateAndOneOffFallsBackAfterwards) {
    const struct {
        state_type from, reported, after;
        const char* during;
    } cases[] = {
        {STATE_STOPPED, STATE_STOPPED, STATE_STOPPED, "plug 2 0"},
        {STATE_RUNNING, STATE_STOPPED, STATE_STOPPED, "plug 2 0"},
        {STATE_STOPPED, STATE_ONE_OFF, STATE_STOPPED, "plug 2 1"},
        {STATE_RUNNING, STATE_ONE_OFF, STATE_STOPPED, "plug 2 1"},
        {STATE_STOPPED, STATE_RUNNING, STATE_RUNNING, "plug 2 2"},
        {STATE_RUNNING, STATE_RUNNING, STATE_RUNNING, "plug 2 2"},
    };
    for (const auto& c : cases) {
        SEPin pin;
        float variable = 0.0f;
        pin.Init(&module, 2, DT_FSAMPLE, &variable);
        pin.OnStatusUpdate(c.from);
        module.log.clear();
        pin.OnStatusUpdate(c.reported);
        EXPECT_EQ(std::vector<std::string>{c.during}, module.log) << c.from << " -> " << c.reported;
        EXPECT_EQ(c.after, pin.getStatus()) << c.from << " -> " << c.reported;
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(PinStatus, TransmitStatusChangeTellsTheHostAndKeepsTheLocalState) {
    SEPin pin;
    float variable = 0.0f;
    pin.Init(&module, 4, DT_FSAMPLE, &variable);
    pin.TransmitStatusChange(0xFFFFFFFEu, STATE_RUNNING);
    EXPECT_EQ(STATE_STOPPED, pin.getStatus());
    ASSERT_EQ(std::vector<int32_t>{HOST_SET_PIN_STATUS}, host.opcodes());
    const HostCall& call = host.calls[0];
    EXPECT_EQ(4, call.index);
    EXPECT_EQ(STATE_RUNNING, call.value);
    EXPECT_EQ(0xFFFFFFFEu, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(call.ptr)));
    EXPECT_EQ(0.0f, call.opt);
}

TEST_F(PinStatus, IsConnectedForAnyNonZeroAnswer) {
    SEPin pin;
    float variable = 0.0f;
    pin.Init(&module, 1, DT_FSAMPLE, &variable);
    for (const int32_t answer : {1, 2, -1, INT32_MIN, 0}) {
        host.clear();
        host.pin_connected[1] = answer;
        EXPECT_EQ(answer != 0, pin.IsConnected()) << answer;
        ASSERT_EQ(1u, host.calls.size());
        EXPECT_EQ(HOST_IS_PIN_CONNECTED, host.calls[0].opcode);
        EXPECT_EQ(1, host.calls[0].index);
        EXPECT_EQ(0, host.calls[0].value);
        EXPECT_EQ(nullptr, host.calls[0].ptr);
    }
}

TEST_F(PinStatus, TransmitMidiChecksItsClockAgainstTheCurrentOneUnsigned) {
    SEPin pin;
    float variable = 0.0f;
    pin.Init(&module, 2, DT_FSAMPLE, &variable);
    const struct {
        uint32_t now, sampleclock;
        bool fails;
    } cases[] = {
        {1000, 1000, false},     {1000, 1001, false},
        {1000, 999, true},       {0xFFFFFFF0u, 5, true}, // no allowance for the wrap
        {5, 0xFFFFFFF0u, false},
    };
    for (const auto& c : cases) {
        host.clear();
        asserts.clear();
        host.sample_clock = c.now;
        pin.TransmitMIDI(c.sampleclock, 0x00907F3Cu);
        if (c.fails) {
            EXPECT_EQ(std::vector<std::string>{"sampleclock >= m_module->SampleClock()"},
                      asserts.expressions())
                << c.now << " " << c.sampleclock;
            EXPECT_NE(std::string::npos, asserts.reports()[0].file.find("se_sdk2/SEPin"));
        } else {
            EXPECT_TRUE(asserts.reports().empty()) << c.now << " " << c.sampleclock;
        }
        const auto sent = host.calls_with(HOST_SEND_MIDI);
        ASSERT_EQ(1u, sent.size()) << "the message goes out either way";
        EXPECT_EQ(2, sent[0].index);
        EXPECT_EQ(0x00907F3C, sent[0].value);
        EXPECT_EQ(c.sampleclock, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sent[0].ptr)));
    }
}

struct GetValue : PinFixture {
    float buffer[8] = {10, 11, 12, 13, 14, 15, 16, 17};
    float* variable = buffer;
    SEPin pin;
    void SetUp() override {
        module.dispatcher(MOD_SET_BLOCK_SIZE, 0, 8, nullptr, 0.0f);
        pin.Init(&module, 2, DT_FSAMPLE, &variable);
    }
};

TEST_F(GetValue, ReadsTheSampleAtClockMinusBlockStart) {
    const struct {
        uint32_t block_start, now;
        float value;
    } cases[] = {
        {1000, 1000, 10},     {1000, 1005, 15}, {1000, 1007, 17}, {0xFFFFFFFEu, 0xFFFFFFFEu, 10},
        {0xFFFFFFFEu, 3, 15}, // the block spans the wrap of the clock
    };
    for (const auto& c : cases) {
        host.clear();
        host.block_start[2] = c.block_start;
        host.sample_clock = c.now;
        EXPECT_EQ(c.value, pin.getValue()) << c.block_start << " " << c.now;
        EXPECT_TRUE(asserts.reports().empty());
        // Block start first, then the clock; the block start is asked for this pin.
        ASSERT_EQ((std::vector<int32_t>{HOST_GET_BLOCK_START, HOST_GET_SAMPLE_CLOCK}),
                  host.opcodes());
        EXPECT_EQ(2, host.calls[0].index);
        EXPECT_EQ(0, host.calls[0].value);
        EXPECT_EQ(nullptr, host.calls[0].ptr);
        EXPECT_EQ(0, host.calls[1].index);
    }
}

TEST_F(GetValue, PositionOutsideTheBlockIsReportedAndReadsZero) {
    const struct {
        uint32_t block_start, now;
    } cases[] = {{1000, 1008}, {1000, 999}, {1000, 0}, {0, 0x7FFFFFFF}, {5, 0xFFFFFFFFu}};
    for (const auto& c : cases) {
        asserts.clear();
        host.block_start[2] = c.block_start;
        host.sample_clock = c.now;
        EXPECT_EQ(0.0f, pin.getValue()) << c.block_start << " " << c.now;
        EXPECT_EQ(std::vector<std::string>{"SampleClock() - block start < getBlockSize()"},
                  asserts.expressions())
            << c.block_start << " " << c.now;
    }
}

TEST_F(GetValue, NullBufferIsReportedAndReadsZero) {
    variable = nullptr;
    host.block_start[2] = 0;
    host.sample_clock = 0;
    EXPECT_EQ(0.0f, pin.getValue());
    EXPECT_EQ(std::vector<std::string>{"buffer != 0"}, asserts.expressions());
}

TEST_F(GetValue, NonSamplePinIsReported) {
    SEPin float_pin;
    float_pin.Init(&module, 1, static_cast<EPlugDataType>(6), nullptr);
    float_pin.getValue();
    ASSERT_FALSE(asserts.reports().empty());
    EXPECT_EQ("m_datatype == DT_FSAMPLE", asserts.expressions().front());
}

TEST_F(GetValue, NonPositiveBlockSizeReadsNothing) {
    host.block_start[2] = 1000;
    host.sample_clock = 1000;
    for (const int32_t size : {0, -1}) {
        asserts.clear();
        module.dispatcher(MOD_SET_BLOCK_SIZE, 0, size, nullptr, 0.0f);
        EXPECT_EQ(0.0f, pin.getValue()) << size;
        EXPECT_EQ(1u, asserts.reports().size()) << size;
    }
}

} // namespace
