// The two exports of every built library, called through the loaded file exactly as a host
// calls them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "library_under_test.h"
#include "recording_host.h"

namespace {

constexpr uint8_t kHostFill = 0xA5; // what the host left in its records before the call

SEModuleProperties filled_properties() {
    SEModuleProperties properties;
    std::memset(&properties, kHostFill, sizeof properties);
    return properties;
}

// Calls `entry` with four stack arguments and returns by how many bytes the stack pointer moved
// during the call. With the caller removing the arguments, the callee leaves all 16 bytes.
uint32_t stack_left_by_call(void* entry, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t arguments[4] = {a, b, c, d};
    const uint32_t* argument = arguments;
    uint32_t left = 0;
    uint32_t scratch = 0;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "andl $-16, %%esp\n\t" // the callee may rely on the 16-byte alignment of the i386 ABI
        "movl %%esp, %%edi\n\t"
        "pushl 12(%%ecx)\n\t"
        "pushl 8(%%ecx)\n\t"
        "pushl 4(%%ecx)\n\t"
        "pushl (%%ecx)\n\t"
        "call *%%eax\n\t"
        "subl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "=D"(left), "+a"(entry), "+c"(argument), "=d"(scratch)
        :
        : "esi", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7");
    return left;
}

using EntryPoints = LibraryUnderTest;

TEST_P(EntryPoints, PropertiesOfIndexZeroGiveTheTextsAndVersionAndLeaveTheHostFields) {
    SEModuleProperties properties = filled_properties();
    SEModuleProperties untouched = filled_properties();

    EXPECT_EQ(1, library.get_module_properties(0, &properties));

    ASSERT_NE(untouched.name, properties.name);
    ASSERT_NE(untouched.id, properties.id);
    ASSERT_NE(untouched.about, properties.about);
    EXPECT_STREQ(variant().display_name, properties.name);
    EXPECT_STREQ(variant().identifier, properties.id);
    EXPECT_STREQ(kAboutText, properties.about);
    EXPECT_EQ(kSdkVersion, properties.sdk_version);
    EXPECT_EQ(untouched.host_field0, properties.host_field0) << "field at 0x0C";
    EXPECT_EQ(untouched.host_field1, properties.host_field1) << "field at 0x10";
}

TEST_P(EntryPoints, PropertiesOfAnyOtherIndexWriteOnlyTheSdkVersion) {
    for (int32_t index : {1, -1, 2, INT32_MAX, INT32_MIN}) {
        SEModuleProperties properties = filled_properties();
        SEModuleProperties expected = filled_properties();
        expected.sdk_version = kSdkVersion;

        EXPECT_EQ(0, library.get_module_properties(index, &properties)) << "index " << index;
        EXPECT_EQ(0, std::memcmp(&expected, &properties, sizeof properties)) << "index " << index;
    }
}

TEST_P(EntryPoints, MakeModuleRefusesAnyIndexOrKindButTheAudioModule) {
    struct Case {
        int32_t index;
        int32_t kind;
    };
    const Case cases[] = {{0, 2}, {1, 1}, {-1, 1}, {0, 0}, {0, -1}, {1, 2}};
    RecordingHost host;
    int opaque = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(nullptr, library.make_module(c.index, c.kind, RecordingHost::callback, &opaque))
            << "index " << c.index << ", kind " << c.kind;
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST_P(EntryPoints, EachMakeModuleHandsOutANewRecordCarryingTheHostPointer) {
    RecordingHost host;
    int opaque[2] = {0, 0};
    SEMod_struct_base2* first =
        library.make_module(0, kModuleKindAudio, RecordingHost::callback, &opaque[0]);
    SEMod_struct_base2* second =
        library.make_module(0, kModuleKindAudio, RecordingHost::callback, &opaque[1]);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);

    EXPECT_NE(first, second);
    EXPECT_NE(first->object_ptr, second->object_ptr);
    EXPECT_EQ(kSeMagic, first->magic);
    EXPECT_EQ(kSeMagic, second->magic);
    EXPECT_EQ(&opaque[0], first->host_reserved);
    EXPECT_EQ(&opaque[1], second->host_reserved);
    EXPECT_TRUE(host.calls.empty()) << "makeModule neither opens the instance nor calls the host";

    EXPECT_EQ(1, first->dispatcher_ptr(first, MOD_CLOSE, 0, 0, nullptr, 0.0f));
    EXPECT_EQ(1, second->dispatcher_ptr(second, MOD_CLOSE, 0, 0, nullptr, 0.0f));
}

TEST_P(EntryPoints, MakeModuleWithoutACallbackStillMakesAnInstance) {
    SEMod_struct_base2* record = library.make_module(0, kModuleKindAudio, nullptr, nullptr);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(nullptr, record->host_reserved);
    EXPECT_EQ(1, record->dispatcher_ptr(record, MOD_CLOSE, 0, 0, nullptr, 0.0f));
}

TEST_P(EntryPoints, BothEntriesLeaveTheirArgumentsForTheCallerToRemove) {
    SEModuleProperties properties = filled_properties();
    const auto properties_address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&properties));
    EXPECT_EQ(16u, stack_left_by_call(reinterpret_cast<void*>(library.get_module_properties), 1,
                                      properties_address, 0, 0));
    EXPECT_EQ(kSdkVersion, properties.sdk_version) << "the call did not reach the entry";
    EXPECT_EQ(16u, stack_left_by_call(reinterpret_cast<void*>(library.make_module), 1,
                                      kModuleKindAudio, 0, 0));
}

// An instance opened as a host opens it: describe the pins, store a buffer address through each
// pin's variable, set the block size, open.
class OpenedInstance {
public:
    static constexpr int32_t kBlock = 64;

    OpenedInstance(const SeLibrary& library, RecordingHost& host) {
        host.pin_count = kPins;
        m_record = library.make_module(0, kModuleKindAudio, RecordingHost::callback, nullptr);
        if (m_record == nullptr) {
            return;
        }
        for (int32_t pin = 0; pin < kPins; ++pin) {
            m_buffers[pin].assign(kBlock, 0.0f);
            SEPinProperties properties;
            std::memset(&properties, 0, sizeof properties);
            m_described[pin] = dispatch(MOD_GET_PIN_PROPERTIES, pin, 0, &properties) != 0 &&
                               properties.variable_ptr != nullptr;
            if (m_described[pin]) {
                *static_cast<float**>(properties.variable_ptr) = m_buffers[pin].data();
            }
        }
        dispatch(MOD_SET_BLOCK_SIZE, 0, kBlock, nullptr);
        dispatch(MOD_OPEN, 0, 0, nullptr);
    }
    ~OpenedInstance() {
        if (m_record != nullptr) {
            dispatch(MOD_CLOSE, 0, 0, nullptr);
        }
    }

    bool ready() const {
        for (bool described : m_described) {
            if (!described) {
                return false;
            }
        }
        return m_record != nullptr;
    }
    int32_t close() {
        const int32_t answer = dispatch(MOD_CLOSE, 0, 0, nullptr);
        m_record = nullptr;
        return answer;
    }
    void process(int32_t offset, int32_t count) {
        m_record->sub_process_ptr(m_record->object_ptr, offset, count);
    }
    std::vector<float>& buffer(int32_t pin) { return m_buffers[pin]; }

private:
    static constexpr int32_t kPins = 5; // In L, In R, Gain aspect, Out L, Out R
    int32_t dispatch(int32_t opcode, int32_t index, int32_t value, void* ptr) {
        return m_record->dispatcher_ptr(m_record, opcode, index, value, ptr, 0.0f);
    }
    SEMod_struct_base2* m_record = nullptr;
    std::vector<float> m_buffers[kPins];
    bool m_described[kPins] = {};
};

float reference(float input, float gain, int32_t factor) {
    return static_cast<float>(static_cast<double>(input) * static_cast<double>(gain) *
                              static_cast<double>(factor));
}

TEST_P(EntryPoints, AnOpenedInstanceScalesBothChannelsByTheGainAndTheLibrarysFactor) {
    RecordingHost host;
    OpenedInstance instance(library, host);
    ASSERT_TRUE(instance.ready());

    constexpr int32_t kOffset = 8;
    constexpr int32_t kCount = 40;
    const float one_ulp_up = std::nextafter(1.0f, 2.0f); // the product needs double precision
    for (int32_t i = 0; i < OpenedInstance::kBlock; ++i) {
        instance.buffer(0)[i] = i % 4 == 0 ? one_ulp_up : 0.37f * static_cast<float>(i) - 5.0f;
        instance.buffer(1)[i] = i % 4 == 0 ? -one_ulp_up : 1.0f / static_cast<float>(i + 3);
        instance.buffer(2)[i] = i % 4 == 0 ? one_ulp_up : 0.1f + 0.013f * static_cast<float>(i);
        instance.buffer(3)[i] = -99.0f;
        instance.buffer(4)[i] = -99.0f;
    }
    instance.process(kOffset, kCount);

    const int32_t factor = variant().gain_factor;
    for (int32_t i = 0; i < OpenedInstance::kBlock; ++i) {
        const bool inside = i >= kOffset && i < kOffset + kCount;
        const float gain = instance.buffer(2)[i];
        EXPECT_EQ(inside ? reference(instance.buffer(0)[i], gain, factor) : -99.0f,
                  instance.buffer(3)[i])
            << "Out L sample " << i;
        EXPECT_EQ(inside ? reference(instance.buffer(1)[i], gain, factor) : -99.0f,
                  instance.buffer(4)[i])
            << "Out R sample " << i;
    }
    EXPECT_EQ(1, instance.close());
}

INSTANTIATE_TEST_SUITE_P(EveryLibrary, EntryPoints, ::testing::ValuesIn(kVariantTable),
                         library_stem);

} // namespace
