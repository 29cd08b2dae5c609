// open(): the pin count, the order in which descriptions are asked for, which descriptions get a
// pin, the copies of a repeatable last pin, and the faults a host can provoke.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "assert_capture.h"
#include "probe_module.h"

namespace {
bool g_fail_nothrow_array_new = false;
}

// The pin array is the only nothrow array allocation; this lets a test make it fail.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (g_fail_nothrow_array_new) {
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

constexpr int kNoVariable = -1;
constexpr int kUnbound = -2;

// What element k of the array must hold: the description whose variable it uses (or kNoVariable
// for a copy, kUnbound for an element left unbound) and its data type.
struct ExpectedPin {
    int variable_of;
    int32_t datatype;
};

struct SetupCase {
    const char* what;
    std::vector<PinScript> descriptions;
    int32_t pin_count;
    std::vector<int32_t> asked;
    std::vector<ExpectedPin> pins; // empty: no array at all
};

const PinScript kPlain{};
const PinScript kUiOnly{DT_FSAMPLE, IO_UI_COMMUNICATION};
const PinScript kUiAndDsp{DT_FSAMPLE, IO_UI_COMMUNICATION | IO_UI_AND_DSP};
const PinScript kRepeatable{6, IO_REPEATABLE};
const PinScript kRepeatableUiOnly{6, IO_REPEATABLE | IO_UI_COMMUNICATION};

std::vector<SetupCase> setup_cases() {
    const ExpectedPin unbound{kUnbound, 0};
    return {
        {"five plain pins, five host pins",
         {kPlain, kPlain, kPlain, kPlain, kPlain},
         5,
         {0, 1, 2, 3, 4, 5, 4},
         {{0, DT_FSAMPLE}, {1, DT_FSAMPLE}, {2, DT_FSAMPLE}, {3, DT_FSAMPLE}, {4, DT_FSAMPLE}}},
        {"five plain pins, three host pins: one description more than used",
         {kPlain, kPlain, kPlain, kPlain, kPlain},
         3,
         {0, 1, 2, 3, 2},
         {{0, DT_FSAMPLE}, {1, DT_FSAMPLE}, {2, DT_FSAMPLE}}},
        {"a user-interface-only description takes no pin index",
         {kPlain, kUiOnly, kPlain},
         2,
         {0, 1, 2, 3, 2},
         {{0, DT_FSAMPLE}, {2, DT_FSAMPLE}}},
        {"user interface and audio side gets a pin",
         {kPlain, kUiAndDsp},
         2,
         {0, 1, 2, 1},
         {{0, DT_FSAMPLE}, {1, DT_FSAMPLE}}},
        {"repeatable last pin fills the host's count with copies",
         {kPlain, kRepeatable},
         4,
         {0, 1, 2, 1},
         {{0, DT_FSAMPLE}, {1, 6}, {kNoVariable, 6}, {kNoVariable, 6}}},
        {"repeatable last pin and exactly enough host pins makes no copy",
         {kPlain, kRepeatable},
         2,
         {0, 1, 2, 1},
         {{0, DT_FSAMPLE}, {1, 6}}},
        {"repeatable user-interface-only last pin makes no copy",
         {kPlain, kRepeatableUiOnly},
         4,
         {0, 1, 2, 1},
         {{0, DT_FSAMPLE}, unbound, unbound, unbound}},
        {"no repeatable pin leaves the rest unbound",
         {kPlain, kPlain},
         4,
         {0, 1, 2, 1},
         {{0, DT_FSAMPLE}, {1, DT_FSAMPLE}, unbound, unbound}},
        {"a module that describes nothing gets unbound pins", {}, 2, {0, -1}, {unbound, unbound}},
        {"no host pins: no array, descriptions 0 and -1 asked", {kPlain, kPlain}, 0, {0, -1}, {}},
        {"negative host pin count behaves as zero", {kPlain}, -3, {0, -1}, {}},
        {"implausible host pin count behaves as zero", {kPlain}, 65537, {0, -1}, {}},
        {"most negative host pin count behaves as zero", {kPlain}, INT32_MIN, {0, -1}, {}},
    };
}

TEST(PinSetup, DescriptionOrderAndBindingFollowTheHostPinCount) {
    float host_buffers[4][4] = {};
    for (const SetupCase& c : setup_cases()) {
        RecordingHost host;
        host.pin_count = c.pin_count;
        for (int k = 0; k < 4; ++k) {
            host.pin_buffer[k] = host_buffers[k];
        }
        ProbeModule module;
        module.script = c.descriptions;
        module.open();

        EXPECT_EQ(c.asked, module.asked) << c.what;
        if (c.pins.empty()) {
            EXPECT_EQ(nullptr, module.pins()) << c.what;
            continue;
        }
        ASSERT_NE(nullptr, module.pins()) << c.what;
        ASSERT_EQ(static_cast<int>(c.pins.size()), module.getPinCount()) << c.what;
        for (int k = 0; k < static_cast<int>(c.pins.size()); ++k) {
            const SEPin& pin = module.pins()[k];
            const ExpectedPin& want = c.pins[k];
            if (want.variable_of == kUnbound) {
                EXPECT_EQ(nullptr, pin.getModule()) << c.what << ", pin " << k << " unbound";
                continue;
            }
            EXPECT_EQ(&module, pin.getModule()) << c.what << ", pin " << k;
            EXPECT_EQ(k, pin.getIndex()) << c.what << ", pin " << k;
            EXPECT_EQ(want.datatype, pin.getDataType()) << c.what << ", pin " << k;
            EXPECT_EQ(STATE_STOPPED, pin.getStatus()) << c.what << ", pin " << k;
            if (want.variable_of == kNoVariable) {
                EXPECT_NE(nullptr, pin.getValuePtr()) << c.what << ", copy " << k;
                EXPECT_NE(module.variable_of(c.descriptions.size() - 1), pin.getValuePtr())
                    << c.what << ", copy " << k << " must not share the described variable";
            } else {
                EXPECT_EQ(module.variable_of(want.variable_of), pin.getValuePtr())
                    << c.what << ", pin " << k;
            }
        }
    }
}

TEST(PinSetup, RepeatedSamplePinCopiesAskTheHostForTheirOwnBuffers) {
    RecordingHost host;
    float buffer2[4] = {};
    float buffer3[4] = {};
    host.pin_count = 4;
    host.pin_buffer[2] = buffer2;
    host.pin_buffer[3] = buffer3;
    ProbeModule module;
    module.script = {kPlain, PinScript{DT_FSAMPLE, IO_REPEATABLE}};
    module.open();

    const auto buffer_calls = host.calls_with(HOST_GET_PIN_BUFFER);
    ASSERT_EQ(2u, buffer_calls.size()) << "the described pins have variables; only copies ask";
    EXPECT_EQ(2, buffer_calls[0].index);
    EXPECT_EQ(3, buffer_calls[1].index);
    EXPECT_EQ(buffer2, *static_cast<float* const*>(module.pins()[2].getValuePtr()));
    EXPECT_EQ(buffer3, *static_cast<float* const*>(module.pins()[3].getValuePtr()));
}

TEST(PinSetup, CleanFetchZeroesTheRecordBeforeTheModuleWritesIt) {
    RecordingHost host;
    ProbeModule module;
    module.script = {PinScript{6, 0, false, DR_IN}}; // writes the data type only
    SEPinProperties record;
    std::memset(&record, 0xFF, sizeof record);
    EXPECT_TRUE(module.getPinProperties_clean(0, &record));
    EXPECT_EQ(0, record.flags);
    EXPECT_EQ(nullptr, record.variable_ptr);
    EXPECT_EQ(DR_IN, record.direction);
    EXPECT_EQ(6, record.datatype);

    std::memset(&record, 0xFF, sizeof record);
    EXPECT_FALSE(module.getPinProperties_clean(1, &record));
    const SEPinProperties zero = {};
    EXPECT_EQ(0, std::memcmp(&zero, &record, sizeof record));
}

TEST(PinSetup, BaseModuleDescribesNoPins) {
    RecordingHost host;
    host.pin_count = 2;
    SEModule_base module(RecordingHost::callback, nullptr);
    SEPinProperties record;
    std::memset(&record, 0x5A, sizeof record);
    SEPinProperties before = record;
    EXPECT_FALSE(module.getPinProperties(0, &record));
    EXPECT_EQ(0, std::memcmp(&before, &record, sizeof record)) << "the record is left untouched";
    module.open();
    ASSERT_EQ(2, module.getPinCount());
    EXPECT_EQ(nullptr, module.getPin(0)->getModule());
    EXPECT_EQ(nullptr, module.getPin(1)->getModule());
}

TEST(PinSetup, NullHostCallbackLeavesNoPinsAndStillAsksForTwoDescriptions) {
    ProbeModule module(nullptr, nullptr);
    module.script = {kPlain, kPlain};
    module.open();
    EXPECT_EQ(nullptr, module.pins());
    EXPECT_EQ((std::vector<int32_t>{0, -1}), module.asked);
}

TEST(PinSetup, FailedPinArrayAllocationBehavesAsZeroPins) {
    RecordingHost host;
    AssertCapture asserts;
    host.pin_count = 3;
    ProbeModule module;
    module.script = {kPlain, kPlain, kPlain};
    g_fail_nothrow_array_new = true;
    module.open();
    g_fail_nothrow_array_new = false;
    EXPECT_EQ(nullptr, module.pins());
    EXPECT_EQ(0, module.getPinCount());
    EXPECT_EQ((std::vector<int32_t>{0, -1}), module.asked);
    EXPECT_EQ(nullptr, module.getPin(0));
}

TEST(PinSetup, SecondOpenReplacesThePinArrayWithOneForTheNewCount) {
    RecordingHost host;
    float buffer[8] = {};
    host.pin_buffer[4] = buffer;
    ProbeModule module;
    module.script = {kPlain, PinScript{DT_FSAMPLE, IO_REPEATABLE}};
    host.pin_count = 2;
    module.open();
    ASSERT_EQ(2, module.getPinCount());

    host.pin_count = 5;
    module.asked.clear();
    module.open();
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 1}), module.asked);
    ASSERT_EQ(5, module.getPinCount());
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(&module, module.getPin(k)->getModule()) << k;
        EXPECT_EQ(k, module.getPin(k)->getIndex()) << k;
    }
    EXPECT_EQ(buffer, *static_cast<float* const*>(module.getPin(4)->getValuePtr()));

    host.pin_count = 0;
    module.open();
    EXPECT_EQ(nullptr, module.pins()) << "a later open with no pins drops the old array";
}

TEST(GetPin, OutOfRangeOrBeforeOpenIsReportedAndYieldsNull) {
    RecordingHost host;
    AssertCapture asserts;
    ProbeModule module;
    module.script = {kPlain, kPlain, kPlain};

    EXPECT_EQ(nullptr, module.getPin(0));
    EXPECT_EQ(std::vector<std::string>{"m_pins != 0"}, asserts.expressions());
    EXPECT_NE(std::string::npos, asserts.reports()[0].file.find("se_sdk2/SEModule_base"));

    host.pin_count = 3;
    module.open();
    for (const int index : {-1, 3, 4, 1000, INT32_MIN}) {
        asserts.clear();
        EXPECT_EQ(nullptr, module.getPin(index)) << index;
        EXPECT_EQ(1u, asserts.reports().size()) << index;
    }
    asserts.clear();
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(&module.pins()[index], module.getPin(index));
    }
    EXPECT_TRUE(asserts.reports().empty());
}

} // namespace
