// The dispatcher: which opcodes act, which arguments each reads, and what it answers.
#include <gtest/gtest.h>

#include <cstring>

#include "assert_capture.h"
#include "probe_module.h"

namespace {

struct ProbeFixture : ::testing::Test {
    RecordingHost host;
    AssertCapture asserts;
    ProbeModule module;
    int32_t dispatch(int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
        return dispatchEffectClass(module.getAeffect(), opcode, index, value, ptr, opt);
    }
};

using Dispatcher = ProbeFixture;

TEST_F(Dispatcher, OpcodesWithoutMeaningAnswerZeroAndDoNothing) {
    const int32_t opcodes[] = {4, 5, 9, 11, 14, 15, 100, 0x7FFFFFFF, -1, INT32_MIN};
    int payload = 0;
    for (const int32_t opcode : opcodes) {
        EXPECT_EQ(0, dispatch(opcode, 3, 48000, &payload, 96000.0f)) << "opcode " << opcode;
    }
    EXPECT_TRUE(module.log.empty());
    EXPECT_TRUE(module.asked.empty());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(asserts.reports().empty());
    EXPECT_EQ(44100.0f, module.getSampleRate());
    EXPECT_EQ(1024, module.getBlockSize());
    EXPECT_EQ(nullptr, module.pins());
}

TEST_F(Dispatcher, OpcodesSevenAndTenAreAssertedFalseAndRefused) {
    for (const int32_t opcode : {7, 10}) {
        asserts.clear();
        EXPECT_EQ(0, dispatch(opcode, 1, 2, &host, 3.0f)) << "opcode " << opcode;
        ASSERT_EQ(std::vector<std::string>{"false"}, asserts.expressions()) << "opcode " << opcode;
        EXPECT_NE(std::string::npos, asserts.reports()[0].file.find("se_sdk2/SEModule_base"));
        EXPECT_GT(asserts.reports()[0].line, 0);
    }
    EXPECT_TRUE(module.log.empty());
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Dispatcher, SampleRateComesFromOptOnlyAndBlockSizeFromValueOnly) {
    EXPECT_EQ(0, dispatch(MOD_SET_SAMPLE_RATE, 0, 48000, nullptr, 0.0f));
    EXPECT_EQ(0.0f, module.getSampleRate());
    EXPECT_EQ(0, dispatch(MOD_SET_SAMPLE_RATE, 7, 0, nullptr, 48000.0f));
    EXPECT_EQ(48000.0f, module.getSampleRate());

    EXPECT_EQ(0, dispatch(MOD_SET_BLOCK_SIZE, 0, 256, nullptr, 512.0f));
    EXPECT_EQ(256, module.getBlockSize());
    EXPECT_EQ(0, dispatch(MOD_SET_BLOCK_SIZE, 64, 64, nullptr, 0.0f));
    EXPECT_EQ(64, module.getBlockSize());
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Dispatcher, ResumeResetsTheVoiceOnlyForAPositiveIndex) {
    const struct {
        int32_t index;
        std::vector<std::string> log;
    } cases[] = {
        {0, {"Resume"}},
        {-1, {"Resume"}},
        {INT32_MIN, {"Resume"}},
        {3, {"Resume", "VoiceReset 3"}},
        {1, {"Resume", "VoiceReset 1"}},
    };
    for (const auto& c : cases) {
        module.log.clear();
        EXPECT_EQ(0, dispatch(MOD_RESUME, c.index, 99, nullptr, 1.0f));
        EXPECT_EQ(c.log, module.log) << "index " << c.index;
    }
}

TEST_F(Dispatcher, GuiNotifyPassesValueThenIndexThenPtr) {
    int payload = 0;
    EXPECT_EQ(0, dispatch(MOD_GUI_NOTIFY, 1, 2, &payload, 5.0f));
    EXPECT_EQ(std::vector<std::string>{"OnGuiNotify 2 1 " +
                                       std::to_string(reinterpret_cast<uintptr_t>(&payload))},
              module.log);
}

TEST_F(Dispatcher, OpenAsksTheHostForThePinCountAndAnswersZero) {
    host.pin_count = 0;
    EXPECT_EQ(0, dispatch(MOD_OPEN, 5, 6, &host, 7.0f));
    EXPECT_EQ(std::vector<int32_t>{HOST_GET_PIN_COUNT}, host.opcodes());
    const HostCall& call = host.calls[0];
    EXPECT_EQ(module.getAeffect(), call.record);
    EXPECT_EQ(0, call.index);
    EXPECT_EQ(0, call.value);
    EXPECT_EQ(nullptr, call.ptr);
    EXPECT_EQ(0.0f, call.opt);
}

TEST(DispatcherClose, CloseRunsBeforeTheDestructorAndAnswersOne) {
    RecordingHost host;
    ProbeModule::s_lifecycle.clear();
    auto* module = new ProbeModule();
    host.pin_count = 2;
    module->script = {PinScript{}, PinScript{}};
    module->dispatcher(MOD_OPEN, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(1, dispatchEffectClass(module->getAeffect(), MOD_CLOSE, 0, 0, nullptr, 0.0f));
    EXPECT_EQ((std::vector<std::string>{"close", "destructor"}), ProbeModule::s_lifecycle);
}

TEST(DispatcherEntry, NullRecordAnswersZero) {
    EXPECT_EQ(0, dispatchEffectClass(nullptr, MOD_GET_SUB_PROCESS_INFO, 0, 0, nullptr, 0.0f));
}

using PinProperties = ProbeFixture;

TEST_F(PinProperties, AnswersOneForADescribedPinWithoutClearingTheHostRecord) {
    module.script = {PinScript{DT_FSAMPLE, 0, true, DR_OUT}};
    SEPinProperties record;
    std::memset(&record, 0xA5, sizeof record);
    record.flags = 0;
    EXPECT_EQ(1, dispatch(MOD_GET_PIN_PROPERTIES, 0, 9, &record, 2.0f));
    EXPECT_EQ(std::vector<int32_t>{0}, module.asked);
    EXPECT_EQ(module.variable_of(0), record.variable_ptr);
    EXPECT_EQ(DR_OUT, record.direction);
    EXPECT_EQ(DT_FSAMPLE, record.datatype);
    // Fields the module does not describe keep what the host put there.
    uint32_t untouched;
    std::memcpy(&untouched, &record.reserved1, sizeof untouched);
    EXPECT_EQ(0xA5A5A5A5u, untouched);
    std::memcpy(&untouched, &record.name, sizeof untouched);
    EXPECT_EQ(0xA5A5A5A5u, untouched);
}

TEST_F(PinProperties, AnswersZeroPastTheLastPinAndForNegativeIndexes) {
    module.script = {PinScript{}};
    for (const int32_t index : {1, 2, -1, INT32_MIN}) {
        SEPinProperties record = {};
        EXPECT_EQ(0, dispatch(MOD_GET_PIN_PROPERTIES, index, 0, &record, 0.0f)) << index;
        const SEPinProperties zero = {};
        EXPECT_EQ(0, std::memcmp(&zero, &record, sizeof record)) << index;
    }
}

TEST_F(PinProperties, NullRecordAnswersZeroAndAsksTheModuleNothing) {
    module.script = {PinScript{}};
    EXPECT_EQ(0, dispatch(MOD_GET_PIN_PROPERTIES, 0, 0, nullptr, 0.0f));
    EXPECT_TRUE(module.asked.empty());
    EXPECT_TRUE(asserts.reports().empty());
}

constexpr const char* kPinFlagAssertion =
    "(((SEPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
    "(((SEPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
    "((SEPinProperties*)ptr)->direction == DR_OUT || "
    "( ( (SEPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0";

TEST_F(PinProperties, PatchStoredPinMustBeOutputPrivateOrUserInterface) {
    const struct {
        const char* what;
        int32_t host_flags;   // what the host left in the record
        int32_t module_flags; // what the module's description writes (0: leaves them)
        EDirection direction;
        bool described;
        bool fails;
    } cases[] = {
        {"plain input", 0, 0, DR_IN, true, false},
        {"patch-stored input", 0, IO_PATCH_STORE, DR_IN, true, true},
        {"patch-stored private input", 0, IO_PATCH_STORE | IO_PRIVATE, DR_IN, true, false},
        {"patch-stored output", 0, IO_PATCH_STORE, DR_OUT, true, false},
        {"patch-stored user-interface input", 0, IO_PATCH_STORE | IO_UI_COMMUNICATION, DR_IN, true,
         false},
        {"host left patch-store on an input", IO_PATCH_STORE, 0, DR_IN, true, true},
        {"host left patch-store on an output", IO_PATCH_STORE, 0, DR_OUT, true, false},
        {"host left patch-store and private", IO_PATCH_STORE | IO_PRIVATE, 0, DR_IN, true, false},
        {"host left patch-store and ui", IO_PATCH_STORE | IO_UI_COMMUNICATION, 0, DR_IN, true,
         false},
        {"undescribed index still checked", IO_PATCH_STORE, 0, DR_IN, false, true},
        {"repeatable and ui-and-dsp do not excuse an input", 0,
         IO_PATCH_STORE | IO_REPEATABLE | IO_UI_AND_DSP, DR_IN, true, true},
    };
    for (const auto& c : cases) {
        asserts.clear();
        module.script = {PinScript{DT_FSAMPLE, c.module_flags, false, c.direction}};
        SEPinProperties record = {};
        record.flags = c.host_flags;
        const int32_t index = c.described ? 0 : 1;
        EXPECT_EQ(c.described ? 1 : 0, dispatch(MOD_GET_PIN_PROPERTIES, index, 0, &record, 0.0f))
            << c.what;
        if (c.fails) {
            EXPECT_EQ(std::vector<std::string>{kPinFlagAssertion}, asserts.expressions()) << c.what;
        } else {
            EXPECT_TRUE(asserts.reports().empty()) << c.what;
        }
        // The assertion changes nothing in the record.
        EXPECT_EQ(c.host_flags | c.module_flags, record.flags) << c.what;
    }
}

TEST(CallHost, NullCallbackAnswersZeroForEveryOpcode) {
    ProbeModule module(nullptr, nullptr);
    for (const int32_t opcode : {0, 1, 3, 4, 7, 8, 10, 14, 19, 22, -1}) {
        EXPECT_EQ(0, module.CallHost(opcode, 1, 2, &module, 3.0f)) << opcode;
    }
    EXPECT_EQ(0u, module.SampleClock());
}

TEST(CallHost, PassesTheRecordAndAllArgumentsAndReturnsTheAnswer) {
    RecordingHost host;
    host.pin_count = -123456;
    ProbeModule module;
    int payload = 0;
    EXPECT_EQ(-123456, module.CallHost(HOST_GET_PIN_COUNT, 7, -8, &payload, 2.5f));
    ASSERT_EQ(1u, host.calls.size());
    const HostCall& call = host.calls[0];
    EXPECT_EQ(module.getAeffect(), call.record);
    EXPECT_EQ(7, call.index);
    EXPECT_EQ(-8, call.value);
    EXPECT_EQ(&payload, call.ptr);
    EXPECT_EQ(2.5f, call.opt);
}

TEST(CallHost, SampleClockAsksTheHostEveryTimeAndReadsItUnsigned) {
    RecordingHost host;
    ProbeModule module;
    host.sample_clock = 0xFFFFFFF0u;
    EXPECT_EQ(0xFFFFFFF0u, module.SampleClock());
    host.sample_clock = 12;
    EXPECT_EQ(12u, module.SampleClock());
    EXPECT_EQ((std::vector<int32_t>{HOST_GET_SAMPLE_CLOCK, HOST_GET_SAMPLE_CLOCK}), host.opcodes());
    for (const HostCall& call : host.calls) {
        EXPECT_EQ(0, call.index);
        EXPECT_EQ(0, call.value);
        EXPECT_EQ(nullptr, call.ptr);
        EXPECT_EQ(0.0f, call.opt);
    }
}

} // namespace
