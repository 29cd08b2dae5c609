#include <gtest/gtest.h>

#include <cstring>

#include "SEModule_base.h"
#include "recording_host.h"

namespace {

TEST(Record, CreationFillsTheContractFieldsAndZeroesTheRest) {
    RecordingHost host;
    int opaque = 0;
    auto* module = new SEModule_base(RecordingHost::callback, &opaque);
    const SEMod_struct_base2* record = module->getAeffect();
    const auto* bytes = reinterpret_cast<const uint8_t*>(record);

    EXPECT_EQ(0, std::memcmp(bytes, "\x4C\x50\x45\x53", 4));
    EXPECT_EQ(1, record->version);
    EXPECT_EQ(&opaque, record->host_reserved);
    EXPECT_EQ(module, record->object_ptr);
    EXPECT_EQ(0, record->reserved1);
    EXPECT_EQ(&dispatchEffectClass, record->dispatcher_ptr);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(0, bytes[0x20 + k]) << "reserved2 byte " << k;
    }
    EXPECT_EQ(reinterpret_cast<void*>(record->sub_process_ptr),
              module->getSubProcessDelegate().RawPointer());
    EXPECT_EQ(0u, module->getSubProcessDelegate().adjustment_word());
    EXPECT_TRUE(host.calls.empty()) << "the constructor calls no host";

    // Both raw entries are called exactly as a host calls them.
    record->sub_process_ptr(record->object_ptr, 0, 16);
    SeEvent event(0, 1, 0, 0, nullptr);
    record->event_handler_ptr(record->object_ptr, &event);
    EXPECT_EQ(std::vector<int32_t>{HOST_GET_SAMPLE_CLOCK}, host.opcodes());

    EXPECT_EQ(1, record->dispatcher_ptr(module->getAeffect(), MOD_CLOSE, 0, 0, nullptr, 0.0f));
}

} // namespace
