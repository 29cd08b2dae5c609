// How the module answers input state changes delivered as pin-status events: the state it
// announces on both outputs, what it asks the host on the way, the routine it selects, the static
// routine's countdown to the sleep request, and the independence of instances.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "gain_fixture.h"

namespace {

constexpr int32_t kBlock = 1024;
constexpr uint32_t kStartClock = 5000;
constexpr int32_t kEventPosition = 37;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Every sleep request must carry index 0, value 0, a null pointer and 0.0.
int checkedSleepRequests(const HostInstance& host) {
    int count = 0;
    for (const SeHostCall& call : host.calls()) {
        if (call.opcode == HOST_SLEEP) {
            EXPECT_EQ(0, call.index);
            EXPECT_EQ(0, call.value);
            EXPECT_EQ(nullptr, call.ptr);
            EXPECT_EQ(0.0f, call.opt);
            ++count;
        }
    }
    EXPECT_EQ(host.calls().size(), static_cast<size_t>(count))
        << "processing asks nothing but sleep";
    return count;
}

// Both outputs of the first `count` samples are their inputs scaled by the gain and the factor.
void expectScaled(HostInstance& host, int32_t factor, int32_t count) {
    int wrong = 0;
    for (int32_t i = 0; i < count && wrong < 3; ++i) {
        const float gain = host.input(PIN_GAIN)[i];
        for (const auto& [in, out] :
             {std::pair{PIN_IN_L, PIN_OUT_L}, std::pair{PIN_IN_R, PIN_OUT_R}}) {
            const float x = host.input(in)[i];
            const float y = host.output(out)[i];
            const bool right = std::isnan(x) || std::isnan(gain)
                                   ? std::isnan(y)
                                   : y == exactGainProduct(x, gain, factor);
            if (!right) {
                ++wrong;
                ADD_FAILURE() << "sample " << i << " of pin " << out << ": " << y;
            }
        }
    }
}

struct StateRow {
    const char* name;
    state_type state[3]; // In L, In R, Gain aspect
    float value[3];      // the constant each input holds; read only for static inputs
    int32_t last;        // the pin whose event is delivered last and evaluated
    state_type announced;
    bool running; // the running routine is selected
};

// Streaming inputs hold 0.0 at the event's sample too: read by mistake, they would count as static
// zeros and change the outcome.
// clang-format off
const StateRow kStateRows[] = {
    {"In L static zero, In R and gain streaming",
     {STATE_STOPPED, STATE_RUNNING, STATE_RUNNING}, {0.0f, 0.0f, 0.0f}, PIN_IN_L, STATE_RUNNING, true},
    {"In L static zero, In R static 0.3, gain streaming",
     {STATE_STOPPED, STATE_STOPPED, STATE_RUNNING}, {0.0f, 0.3f, 0.0f}, PIN_GAIN, STATE_RUNNING, true},
    {"In L streaming, In R static zero, gain static 0.4",
     {STATE_RUNNING, STATE_STOPPED, STATE_STOPPED}, {0.0f, 0.0f, 0.4f}, PIN_IN_R, STATE_RUNNING, true},
    {"both channels static zero, gain streaming",
     {STATE_STOPPED, STATE_STOPPED, STATE_RUNNING}, {0.0f, 0.0f, 0.0f}, PIN_IN_R, STATE_ONE_OFF, false},
    {"gain static zero, both channels streaming",
     {STATE_RUNNING, STATE_RUNNING, STATE_STOPPED}, {0.0f, 0.0f, 0.0f}, PIN_GAIN, STATE_ONE_OFF, false},
    {"gain static zero, In L streaming, In R static 0.25",
     {STATE_RUNNING, STATE_STOPPED, STATE_STOPPED}, {0.0f, 0.25f, 0.0f}, PIN_IN_L, STATE_ONE_OFF, false},
    {"all stopped and non-zero",
     {STATE_STOPPED, STATE_STOPPED, STATE_STOPPED}, {0.5f, -0.3f, 0.1f}, PIN_IN_L, STATE_STOPPED, false},
    {"all stopped, In R zero",
     {STATE_STOPPED, STATE_STOPPED, STATE_STOPPED}, {0.5f, 0.0f, 0.1f}, PIN_GAIN, STATE_ONE_OFF, false},
    {"all streaming",
     {STATE_RUNNING, STATE_RUNNING, STATE_RUNNING}, {0.0f, 0.0f, 0.0f}, PIN_IN_R, STATE_RUNNING, true},
    {"negative zeros on both channels are static zeros",
     {STATE_STOPPED, STATE_STOPPED, STATE_RUNNING}, {-0.0f, -0.0f, 0.0f}, PIN_IN_L, STATE_ONE_OFF, false},
    {"negative zero gain is a static zero",
     {STATE_RUNNING, STATE_RUNNING, STATE_STOPPED}, {0.0f, 0.0f, -0.0f}, PIN_GAIN, STATE_ONE_OFF, false},
    {"NaN on both channels is not a zero",
     {STATE_STOPPED, STATE_STOPPED, STATE_RUNNING}, {kNaN, kNaN, 0.0f}, PIN_IN_R, STATE_RUNNING, true},
    {"NaN gain with stopped channels is not a zero",
     {STATE_STOPPED, STATE_STOPPED, STATE_STOPPED}, {0.5f, 0.5f, kNaN}, PIN_GAIN, STATE_STOPPED, false},
    {"one-off In L is static and read, gain streaming",
     {STATE_ONE_OFF, STATE_STOPPED, STATE_RUNNING}, {0.5f, 0.0f, 0.0f}, PIN_IN_L, STATE_RUNNING, true},
    {"one-off gain over stopped channels",
     {STATE_STOPPED, STATE_STOPPED, STATE_ONE_OFF}, {0.5f, 0.2f, 0.7f}, PIN_GAIN, STATE_ONE_OFF, false},
    {"one-off zero on In L over stopped inputs",
     {STATE_ONE_OFF, STATE_STOPPED, STATE_STOPPED}, {0.0f, 0.2f, 0.1f}, PIN_IN_L, STATE_ONE_OFF, false},
    {"states below the known ones announce no state outside them",
     {state_type(-1), state_type(-7), state_type(-1)}, {0.5f, 0.2f, 0.1f}, PIN_GAIN, STATE_STOPPED, false},
};
// clang-format on

TEST(GainStateEvaluation, AnnouncesOneStateOnBothOutputsAndSelectsItsRoutine) {
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    for (const StateRow& row : kStateRows) {
        SCOPED_TRACE(row.name);
        HostInstance host(library->library, kBlock);
        host.describe_and_open();
        host.set_clock(kStartClock);
        const SeProcessFn running = host.record()->sub_process_ptr;
        for (int32_t pin = 0; pin < 3; ++pin) {
            std::fill_n(host.input(pin), kBlock, row.value[pin]);
        }
        // The other two inputs change in the block before, so the evaluation under test sees
        // their states as left behind (a one-off falls back to stopped once told).
        for (int32_t pin = 0; pin < 3; ++pin) {
            if (pin != row.last) {
                host.set_input_state_at(pin, row.state[pin], host.clock() + kEventPosition);
            }
        }
        host.run_block(kBlock);

        host.clear_log();
        const uint32_t time = host.clock() + kEventPosition;
        const SeProcessFn before = host.record()->sub_process_ptr;
        host.set_input_state_at(row.last, row.state[row.last], time);
        host.run_block(kBlock);

        // Inside the delivery: the time test, one value read (block start, then clock) per static
        // input in pin order, a fresh clock for each announcement, and a notice if the routine
        // changed. What the stretch before the event asked was made at the block's start clock.
        std::vector<std::pair<int32_t, int32_t>> expected = {{HOST_GET_SAMPLE_CLOCK, 0}};
        for (int32_t pin = 0; pin < 3; ++pin) {
            if (row.state[pin] < STATE_RUNNING) {
                expected.insert(expected.end(),
                                {{HOST_GET_BLOCK_START, pin}, {HOST_GET_SAMPLE_CLOCK, 0}});
            }
        }
        expected.insert(expected.end(), {{HOST_GET_SAMPLE_CLOCK, 0},
                                         {HOST_SET_PIN_STATUS, PIN_OUT_L},
                                         {HOST_GET_SAMPLE_CLOCK, 0},
                                         {HOST_SET_PIN_STATUS, PIN_OUT_R}});
        if (host.record()->sub_process_ptr != before) {
            expected.push_back({HOST_SUB_PROCESS_CHANGED, 0});
        }
        std::vector<std::pair<int32_t, int32_t>> delivery;
        for (const SeHostCall& call : host.calls()) {
            if (call.clock == time) {
                delivery.emplace_back(call.opcode, call.index);
            }
        }
        EXPECT_EQ(expected, delivery);
        for (const int32_t out : {PIN_OUT_L, PIN_OUT_R}) {
            ASSERT_EQ(1u, host.announced(out).size()) << "pin " << out;
            EXPECT_EQ(row.announced, host.announced(out)[0].state) << "pin " << out;
            EXPECT_EQ(time, host.announced(out)[0].clock) << "pin " << out;
        }
        EXPECT_EQ(row.running, runsRoutine(host, running));

        // A whole block with the selected routine: both compute every sample, only the static
        // one (which has 37 samples of its count left) asks for sleep.
        for (int32_t pin = 0; pin < 3; ++pin) {
            if (row.state[pin] == STATE_RUNNING) {
                fillWithSignal(host.input(pin), kBlock, 40 + pin);
            }
        }
        host.clear_log();
        host.run_block(kBlock);
        EXPECT_EQ(row.running ? 0 : 1, checkedSleepRequests(host));
        expectScaled(host, library->row->gain_factor, kBlock);
    }
}

TEST(GainStateEvaluation, StampsEachAnnouncementWithItsOwnClockRead) {
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    HostInstance host(library->library, kBlock);
    host.describe_and_open();
    host.set_clock(kStartClock);
    std::fill_n(host.input(PIN_GAIN), kBlock, 0.5f);
    // A clock that moves on between the two announcements shows whether the second one was
    // stamped from a fresh read.
    host.on_call = [&host](const SeHostCall& call) {
        if (call.opcode == HOST_SET_PIN_STATUS && call.index == PIN_OUT_L) {
            host.set_clock(host.clock() + 1);
        }
    };
    deliverNow(host, PIN_IN_L, STATE_RUNNING);
    ASSERT_EQ(1u, host.announced(PIN_OUT_L).size());
    ASSERT_EQ(1u, host.announced(PIN_OUT_R).size());
    EXPECT_EQ(kStartClock, host.announced(PIN_OUT_L)[0].clock);
    EXPECT_EQ(kStartClock + 1, host.announced(PIN_OUT_R)[0].clock);
}

// A script of what the host does to one instance whose inputs all hold non-zero constants.
struct Step {
    enum Kind { STATIC_EVALUATION, RUNNING_EVALUATION, PROCESS, BLOCK_SIZE } kind;
    int32_t count; // samples for PROCESS, the new size for BLOCK_SIZE
    bool sleeps;   // PROCESS asks the host for sleep
};

Step evaluateStatic() {
    return {Step::STATIC_EVALUATION, 0, false};
}
Step evaluateRunning() {
    return {Step::RUNNING_EVALUATION, 0, false};
}
Step process(int32_t count, bool sleeps) {
    return {Step::PROCESS, count, sleeps};
}
Step blockSize(int32_t size) {
    return {Step::BLOCK_SIZE, size, false};
}

struct CountdownCase {
    const char* name;
    std::vector<Step> steps;
};

// Processing calls go straight to the routine here: the block driver stops calling a sleeping
// instance, and never passes a count of zero or less.
TEST(GainStaticCountdown, AsksForSleepOnEveryCallOnceABlockIsDoneUntilReloaded) {
    const bool kSleeps = true;
    const bool kAwake = false;
    const CountdownCase cases[] = {
        {"block 1024, then 600, 600, 600",
         {evaluateStatic(), process(600, kAwake), process(600, kSleeps), process(600, kSleeps)}},
        {"a count reaching exactly zero asks",
         {evaluateStatic(), process(1023, kAwake), process(1, kSleeps)}},
        {"zero and negative counts still count",
         {evaluateStatic(), process(0, kAwake), process(-100, kAwake), process(1024, kAwake),
          process(100, kSleeps), process(0, kSleeps), process(-5, kAwake), process(5, kSleeps)}},
        {"a second static evaluation reloads the count",
         {evaluateStatic(), process(600, kAwake), evaluateStatic(), process(600, kAwake),
          process(424, kSleeps)}},
        {"a static evaluation after the sleep request reloads the count",
         {evaluateStatic(), process(1024, kSleeps), process(8, kSleeps), evaluateStatic(),
          process(1023, kAwake), process(1, kSleeps)}},
        {"the count is the block size at the evaluation",
         {blockSize(64), evaluateStatic(), process(63, kAwake), process(1, kSleeps), blockSize(100),
          process(1, kSleeps), evaluateStatic(), process(99, kAwake), process(1, kSleeps)}},
        {"the running routine never asks",
         {evaluateStatic(), process(600, kAwake), evaluateRunning(), process(1024, kAwake),
          process(1024, kAwake), evaluateStatic(), process(600, kAwake), process(424, kSleeps)}},
    };
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    for (const CountdownCase& c : cases) {
        SCOPED_TRACE(c.name);
        HostInstance host(library->library, kBlock);
        host.describe_and_open();
        const SeProcessFn running = host.record()->sub_process_ptr;
        for (int32_t pin = 0; pin < 3; ++pin) {
            std::fill_n(host.input(pin), kBlock, 0.5f);
        }
        for (size_t k = 0; k < c.steps.size(); ++k) {
            const Step& step = c.steps[k];
            SCOPED_TRACE(testing::Message() << "step " << k);
            host.clear_log();
            switch (step.kind) {
            case Step::STATIC_EVALUATION:
                deliverNow(host, PIN_IN_L, STATE_STOPPED);
                ASSERT_FALSE(runsRoutine(host, running));
                break;
            case Step::RUNNING_EVALUATION:
                deliverNow(host, PIN_IN_L, STATE_RUNNING);
                ASSERT_TRUE(runsRoutine(host, running));
                break;
            case Step::BLOCK_SIZE:
                host.dispatch(MOD_SET_BLOCK_SIZE, 0, step.count);
                break;
            case Step::PROCESS:
                callRoutine(host, 0, step.count);
                EXPECT_EQ(step.sleeps ? 1 : 0, checkedSleepRequests(host));
                break;
            }
        }
    }
}

TEST(GainInstances, TwoInstancesOfOneLibraryKeepTheirOwnBuffersCountsAndRoutines) {
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    const int32_t factor = library->row->gain_factor;
    HostInstance first(library->library, kBlock);
    HostInstance second(library->library, kBlock);
    first.describe_and_open();
    second.describe_and_open();
    const SeProcessFn running = first.record()->sub_process_ptr;
    for (int32_t pin = 0; pin < 3; ++pin) {
        fillWithSignal(first.input(pin), kBlock, 50 + pin);
        fillWithSignal(second.input(pin), kBlock, 60 + pin);
    }

    // Only the first goes static; the second keeps streaming and hears nothing of it.
    first.clear_log();
    second.clear_log();
    first.set_input_state(PIN_IN_L, STATE_STOPPED);
    first.run_block(600);
    second.run_block(kBlock);
    second.run_block(kBlock);
    EXPECT_FALSE(runsRoutine(first, running));
    EXPECT_TRUE(runsRoutine(second, running));
    EXPECT_EQ(0, first.sleep_requests());
    EXPECT_TRUE(second.calls().empty());
    expectScaled(second, factor, kBlock);

    // Each counts its own block: a count shared between the two would be reloaded by the second
    // one's evaluation and keep the first awake.
    deliverNow(second, PIN_IN_L, STATE_STOPPED);
    EXPECT_FALSE(runsRoutine(second, running));
    first.run_block(424);
    EXPECT_EQ(1, first.sleep_requests());
    second.run_block(600);
    EXPECT_EQ(0, second.sleep_requests());
    second.run_block(424);
    EXPECT_EQ(1, second.sleep_requests());
    EXPECT_EQ(1, first.sleep_requests());
    expectScaled(first, factor, 600);
}

} // namespace
