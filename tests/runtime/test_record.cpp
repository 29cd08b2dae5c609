// The record a new instance hands the host, the member-pointer words behind its two raw entries,
// and the one-per-library info record.
#include <gtest/gtest.h>

#include <cstring>

#include "assert_capture.h"
#include "probe_module.h"

// GCC can turn a member-function constant into the plain address it calls; that address is the
// independent reference for what code_word must hold.
#pragma GCC diagnostic ignored "-Wpmf-conversions"

namespace {

void* entry_of_process_idle() {
    return reinterpret_cast<void*>((SeProcessFn)(&SEModule_base::process_idle));
}
void* entry_of_private_HandleEvent() {
    return reinterpret_cast<void*>((SeEventFn)(&SEModule_base::private_HandleEvent));
}
uint32_t word(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

TEST(Record, NewInstanceRecordHasExactlyTheContractBytes) {
    RecordingHost host;
    int opaque = 0;
    ProbeModule module(RecordingHost::callback, &opaque);

    const uint32_t expected[12] = {0x5345504C,
                                   1,
                                   word(&opaque),
                                   word(&module),
                                   0,
                                   word(reinterpret_cast<void*>(&dispatchEffectClass)),
                                   word(entry_of_process_idle()),
                                   word(entry_of_private_HandleEvent()),
                                   0,
                                   0,
                                   0,
                                   0};
    const auto* bytes = reinterpret_cast<const uint8_t*>(module.getAeffect());
    EXPECT_EQ(0, std::memcmp(bytes, "\x4C\x50\x45\x53", 4)) << "magic is little-endian";
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));
    EXPECT_TRUE(host.calls.empty()) << "the constructor calls no host";
}

TEST(Record, FreshInstanceStartsWithDefaultRateAndBlockSize) {
    RecordingHost host;
    ProbeModule module;
    EXPECT_EQ(44100.0f, module.getSampleRate());
    EXPECT_EQ(1024, module.getBlockSize());
}

TEST(MemberPointer, NonVirtualRoutinesAreTheirEntryAddressWithNoAdjustment) {
    const process_delegate idle(&SEModule_base::process_idle);
    EXPECT_EQ(word(entry_of_process_idle()), idle.code_word());
    EXPECT_EQ(0u, idle.adjustment_word());

    const my_delegate<void (SE_CALL SEModule_base::*)(SeEvent*)> handler(
        &SEModule_base::private_HandleEvent);
    EXPECT_EQ(word(entry_of_private_HandleEvent()), handler.code_word());
    EXPECT_EQ(0u, handler.adjustment_word());

    // A routine of a derived class, as a module installs it.
    const process_delegate derived(routine_a());
    EXPECT_EQ(word(reinterpret_cast<void*>((SeProcessFn)(&ProbeModule::routine_a))),
              derived.code_word());
    EXPECT_EQ(0u, derived.adjustment_word());
}

TEST(MemberPointer, VirtualMemberIsOneMoreThanItsTableOffset) {
    const delayed_delegate virtual_member(
        static_cast<SeDelayedMember>(&ProbeModule::delayed_virtual));
    EXPECT_EQ(1u, virtual_member.code_word() & 1u);
    EXPECT_EQ(0u, (virtual_member.code_word() - 1) % sizeof(void*));
    EXPECT_EQ(0u, virtual_member.adjustment_word());
}

TEST(MemberPointer, RawPointerRoundTripKeepsCodeWordAndZeroesAdjustment) {
    const delayed_delegate plain(static_cast<SeDelayedMember>(&ProbeModule::delayed_plain));
    const delayed_delegate back(plain.RawPointer());
    EXPECT_EQ(plain.code_word(), back.code_word());
    EXPECT_EQ(0u, back.adjustment_word());
    EXPECT_TRUE(back == plain);

    const auto adjusted = delayed_delegate::from_words(plain.code_word(), 4);
    const delayed_delegate dropped(adjusted.RawPointer());
    EXPECT_EQ(0u, dropped.adjustment_word());
    EXPECT_FALSE(dropped == adjusted);
}

struct EqualityCase {
    const char* what;
    uint32_t code_a, adjustment_a, code_b, adjustment_b;
    bool equal;
};

TEST(MemberPointer, EqualityComparesCodeAndAdjustmentExceptForNull) {
    const EqualityCase cases[] = {
        {"null pointers with different adjustments", 0, 0, 0, 4, true},
        {"null pointers with the same adjustment", 0, 8, 0, 8, true},
        {"same code, different non-zero adjustments", 0x1000, 4, 0x1000, 8, false},
        {"same code, adjustment 0 and 4", 0x1000, 0, 0x1000, 4, false},
        {"same code and adjustment", 0x1000, 4, 0x1000, 4, true},
        {"different code, same adjustment", 0x1000, 0, 0x2000, 0, false},
        {"null against non-null with the same adjustment", 0, 4, 0x1000, 4, false},
    };
    for (const auto& c : cases) {
        const auto a = process_delegate::from_words(c.code_a, c.adjustment_a);
        const auto b = process_delegate::from_words(c.code_b, c.adjustment_b);
        EXPECT_EQ(c.equal, a == b) << c.what;
        EXPECT_EQ(c.equal, b == a) << c.what << " (swapped)";
    }
}

TEST(RawEntries, HostCallsProcessingRoutineWithObjectFirstOnTheStack) {
    RecordingHost host;
    ProbeModule module;
    SEMod_struct_base2* record = module.getAeffect();

    // The idle routine is callable and does nothing.
    record->sub_process_ptr(record->object_ptr, 0, 16);
    EXPECT_TRUE(module.log.empty());
    EXPECT_TRUE(host.calls.empty());

    module.setSubProcess(routine_a());
    record->sub_process_ptr(record->object_ptr, 7, 64);
    EXPECT_EQ(std::vector<std::string>{"a 7 64"}, module.log);
    EXPECT_EQ(&module, module.routine_this);
}

class EventEntryProbe : public ProbeModule {
public:
    void HandleEvent(SeEvent* event) override {
        seen_this = this;
        seen_event = event;
        SEModule_base::HandleEvent(event);
    }
    const void* seen_this = nullptr;
    const SeEvent* seen_event = nullptr;
};

TEST(RawEntries, HostCallsEventEntryWithObjectFirstAndReachesHandleEvent) {
    RecordingHost host;
    host.sample_clock = 500;
    EventEntryProbe module;
    SEMod_struct_base2* record = module.getAeffect();

    SeEvent event(500, EV_MIDI, 0x90, 0x7F, nullptr);
    record->event_handler_ptr(record->object_ptr, &event);
    EXPECT_EQ(&module, module.seen_this);
    EXPECT_EQ(&event, module.seen_event);
    EXPECT_EQ(std::vector<std::string>{"OnMidiData 500 144 127"}, module.log);
    EXPECT_EQ(std::vector<int32_t>{HOST_GET_SAMPLE_CLOCK}, host.opcodes());
}

TEST(SubProcessInfo, OneRecordPerLibraryPointingAtTheAskingInstance) {
    RecordingHost host;
    ProbeModule a;
    ProbeModule b;
    b.setSubProcess(routine_b());

    const int32_t from_a = a.dispatcher(MOD_GET_SUB_PROCESS_INFO, 0, 0, nullptr, 0.0f);
    const int32_t from_b = b.dispatcher(MOD_GET_SUB_PROCESS_INFO, 5, 6, &host, 7.0f);
    ASSERT_NE(0, from_a);
    EXPECT_EQ(from_a, from_b) << "one info record per library";

    const auto* info = reinterpret_cast<const SeSubProcessInfo*>(static_cast<uintptr_t>(from_b));
    EXPECT_EQ(1, info->tag);
    EXPECT_EQ(8, info->pointer_size);
    EXPECT_EQ(1002, info->code);
    EXPECT_EQ(&b.getSubProcessDelegate(), info->sub_process_member);

    // The member at sub_process_member shows the current routine: code_word = sub_process_ptr.
    uint32_t words[2];
    std::memcpy(words, info->sub_process_member, sizeof words);
    EXPECT_EQ(word(reinterpret_cast<void*>(b.getAeffect()->sub_process_ptr)), words[0]);
    EXPECT_EQ(0u, words[1]);
}

TEST(SubProcessInfo, SubProcessPtrAlwaysEqualsTheDelegateCodeWord) {
    RecordingHost host;
    ProbeModule module;
    const auto matches = [&module] {
        return word(reinterpret_cast<void*>(module.getAeffect()->sub_process_ptr)) ==
               module.getSubProcessDelegate().code_word();
    };
    EXPECT_TRUE(matches()) << "at creation";
    module.setSubProcess(routine_a());
    EXPECT_TRUE(matches()) << "after a switch";
    module.setSubProcess(&SEModule_base::process_idle);
    EXPECT_TRUE(matches()) << "after switching back to idle";
}

} // namespace
