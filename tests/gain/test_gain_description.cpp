// What a gain library tells the host about itself and its pins, and the start of an instance's
// life.
#include <gtest/gtest.h>

#include <cstring>

#include "gain_fixture.h"
#include "variants_table.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;

SEPinProperties untouchedPinRecord() {
    SEPinProperties record;
    std::memset(&record, kUntouched, sizeof record);
    return record;
}

struct PinRow {
    int32_t index;
    const char* name;
    EDirection direction;
    const char* default_value; // null: the field is left as the host filled it
};

const PinRow kPinTable[] = {
    {0, "In L", DR_IN, "0"},       {1, "In R", DR_IN, "0"},       {2, "Gain aspect", DR_IN, "0.1"},
    {3, "Out L", DR_OUT, nullptr}, {4, "Out R", DR_OUT, nullptr},
};

TEST(GainPinTable, DescribesFivePinsAndWritesOnlyTheirFields) {
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    HostInstance host(library->library);
    ASSERT_TRUE(host.created());
    const SEPinProperties untouched = untouchedPinRecord();

    void* variables[kGainPinCount] = {};
    for (const PinRow& row : kPinTable) {
        SCOPED_TRACE(row.name);
        SEPinProperties properties = untouchedPinRecord();
        ASSERT_EQ(1, host.dispatch(MOD_GET_PIN_PROPERTIES, row.index, 0, &properties));
        ASSERT_NE(untouched.name, properties.name);
        EXPECT_STREQ(row.name, properties.name);
        EXPECT_EQ(row.direction, properties.direction);
        EXPECT_EQ(DT_FSAMPLE, properties.datatype);
        if (row.default_value != nullptr) {
            ASSERT_NE(untouched.default_value, properties.default_value);
            EXPECT_STREQ(row.default_value, properties.default_value);
        } else {
            EXPECT_EQ(untouched.default_value, properties.default_value)
                << "an output has no default and must leave the field alone";
        }
        EXPECT_EQ(untouched.reserved1, properties.reserved1);
        EXPECT_EQ(untouched.flags, properties.flags) << "no pin sets or clears a flag";
        EXPECT_EQ(untouched.reserved2, properties.reserved2);
        variables[row.index] = properties.variable_ptr;
    }
    for (int a = 0; a < kGainPinCount; ++a) {
        for (int b = a + 1; b < kGainPinCount; ++b) {
            EXPECT_NE(variables[a], variables[b])
                << "pins " << a << " and " << b << " share a variable";
        }
    }
}

TEST(GainPinTable, RefusesIndexesOutsideTheTableAndLeavesTheRecordAlone) {
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    HostInstance host(library->library);
    ASSERT_TRUE(host.created());
    // -1 and INT32_MIN are huge when compared as unsigned, as the table index must be.
    for (int32_t index : {5, 6, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        SEPinProperties properties = untouchedPinRecord();
        const SEPinProperties before = properties;
        EXPECT_EQ(0, host.dispatch(MOD_GET_PIN_PROPERTIES, index, 0, &properties));
        EXPECT_EQ(0, std::memcmp(&before, &properties, sizeof properties));
    }
}

TEST(GainModuleProperties, EveryLibraryNamesItselfFromItsRowOfTheVariantTable) {
    for (const SeVariant& row : kVariantTable) {
        SCOPED_TRACE(row.file_name);
        const GainLibrary* library = loadGainLibrary(row.file_name);
        ASSERT_NE(nullptr, library);
        SEModuleProperties properties;
        std::memset(&properties, kUntouched, sizeof properties);
        const SEModuleProperties before = properties;
        ASSERT_EQ(1, library->library.get_module_properties(0, &properties));
        EXPECT_STREQ(row.display_name, properties.name);
        EXPECT_STREQ(row.identifier, properties.id);
        EXPECT_STREQ("Version 0.1 by Wendrel.", properties.about);
        EXPECT_EQ(before.host_field0, properties.host_field0);
        EXPECT_EQ(before.host_field1, properties.host_field1);
        EXPECT_EQ(kSdkVersion, properties.sdk_version);
    }
}

TEST(GainLifecycle, OpenInstallsTheRunningRoutineThatScalesEverySample) {
    const GainLibrary* library = loadGainLibrary("Tarnelle.sep");
    ASSERT_NE(nullptr, library);
    HostInstance host(library->library);
    ASSERT_TRUE(host.created());
    EXPECT_TRUE(host.calls().empty()) << "creation calls no host";
    host.describe_and_open();
    ASSERT_EQ(kGainPinCount, host.pin_count());
    std::vector<int32_t> opcodes;
    for (const SeHostCall& call : host.calls()) {
        opcodes.push_back(call.opcode);
    }
    EXPECT_EQ((std::vector<int32_t>{HOST_GET_PIN_COUNT, HOST_SUB_PROCESS_CHANGED}), opcodes);

    fillWithSignal(host.input(PIN_IN_L), host.block_size(), 1);
    fillWithSignal(host.input(PIN_IN_R), host.block_size(), 2);
    fillWithSignal(host.input(PIN_GAIN), host.block_size(), 3);
    host.clear_log();
    host.run_block(host.block_size());
    EXPECT_TRUE(host.calls().empty()) << "the running routine calls no host";
    const int32_t factor = library->row->gain_factor;
    int wrong = 0;
    for (int32_t i = 0; i < host.block_size() && wrong < 3; ++i) {
        const float gain = host.input(PIN_GAIN)[i];
        const float left = exactGainProduct(host.input(PIN_IN_L)[i], gain, factor);
        const float right = exactGainProduct(host.input(PIN_IN_R)[i], gain, factor);
        if (host.output(PIN_OUT_L)[i] != left || host.output(PIN_OUT_R)[i] != right) {
            ++wrong;
            ADD_FAILURE() << "sample " << i << ": Out L " << host.output(PIN_OUT_L)[i] << " want "
                          << left << ", Out R " << host.output(PIN_OUT_R)[i] << " want " << right;
        }
    }
}

} // namespace
