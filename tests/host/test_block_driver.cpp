#include <gtest/gtest.h>

#include <string>

#include "host_instance.h"
#include "variants_table.h"

namespace {

std::string library_path(const SeVariant& variant) {
    return std::string(SE_DIST_DIR) + "/" + variant.file_name;
}

class BlockDriver : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(se_load_library(library_path(kVariantTable[0]), library, error)) << error;
    }
    void TearDown() override { se_unload_library(library); }
    SeLibrary library;
};

TEST(EventQueue, OrdersByTimeAndKeepsArrivalOrderForEqualTimes) {
    SeEventQueue queue;
    const uint32_t times[] = {30, 10, 30, 20, 10};
    for (int k = 0; k < 5; ++k) {
        queue.push(SeEvent(times[k], EV_MIDI, k, 0, nullptr));
    }
    const int expected_order[] = {1, 4, 3, 0, 2};
    for (int k : expected_order) {
        ASSERT_FALSE(queue.empty());
        EXPECT_EQ(k, queue.pop().value1);
    }
    EXPECT_TRUE(queue.empty());
}

TEST_F(BlockDriver, SplitsTheBlockAtDueEventsAndReadsTheEventTimeDuringDelivery) {
    HostInstance host(library, 256);
    host.describe_and_open();
    host.set_clock(1000);
    host.set_input_state_at(2, STATE_RUNNING, 1100);
    host.set_input_state_at(0, STATE_RUNNING, 1100);
    host.set_input_state_at(1, STATE_RUNNING, 1200);
    host.clear_log();
    host.run_block(256);

    EXPECT_EQ(3, host.process_calls()); // [0,100) [100,200) [200,256)
    EXPECT_EQ(1256u, host.clock());
    std::vector<uint32_t> clock_answers;
    for (const SeHostCall& call : host.calls()) {
        if (call.opcode == HOST_GET_SAMPLE_CLOCK) {
            clock_answers.push_back(call.clock);
        }
    }
    ASSERT_FALSE(clock_answers.empty());
    for (uint32_t clock : clock_answers) {
        EXPECT_TRUE(clock == 1100 || clock == 1200) << clock;
    }
    ASSERT_EQ(3u, host.announced(3).size());
    EXPECT_EQ(1200u, host.announced(3).back().clock);
}

TEST_F(BlockDriver, PicksUpANewRoutineAndHonoursSleepUntilAnInputChanges) {
    const int32_t block = 64;
    HostInstance host(library, block);
    host.describe_and_open();
    host.clear_log();
    const SeProcessFn running = host.record()->sub_process_ptr;
    for (int32_t k = 0; k < block; ++k) {
        host.input(0)[k] = 1.0f;
        host.input(1)[k] = 1.0f;
        host.input(2)[k] = 0.5f;
    }
    // All inputs constant and non-zero: the static routine runs one block, then asks for sleep.
    host.set_input_state(0, STATE_STOPPED);
    host.set_input_state(1, STATE_STOPPED);
    host.set_input_state(2, STATE_STOPPED);
    host.run_block(block);
    EXPECT_NE(running, host.record()->sub_process_ptr);
    EXPECT_EQ(1, host.routine_changes());
    EXPECT_TRUE(host.sleeping());
    const float expected = static_cast<float>(1.0 * 0.5 * kVariantTable[0].gain_factor);
    EXPECT_EQ(expected, host.output(3)[block - 1]);

    host.clear_log();
    host.run_block(block);
    EXPECT_EQ(0, host.process_calls()) << "a sleeping instance is not called";

    host.set_input_state(2, STATE_RUNNING);
    host.run_block(block);
    EXPECT_FALSE(host.sleeping());
    EXPECT_EQ(running, host.record()->sub_process_ptr);
    EXPECT_EQ(1, host.process_calls());
}

} // namespace
