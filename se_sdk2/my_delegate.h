// A member pointer of SEModule_base held as the two words the host can see: code_word (the entry
// address of a non-virtual member, or 1 + the byte offset of a virtual one in the virtual table)
// and adjustment_word (bytes added to the object pointer before the call). The host calls
// code_word directly, so only non-virtual members with adjustment 0 can serve as raw entries.
#pragma once

#include <cstdint>
#include <cstring>

template <typename MemberPointer> struct my_delegate {
    static_assert(sizeof(MemberPointer) == 8, "a member pointer is two 32-bit words here");

    MemberPointer member;

    my_delegate() : member(nullptr) {}
    my_delegate(MemberPointer m) : member(m) {}
    // Rebuilds a member pointer from its raw pointer; the adjustment comes back as 0.
    explicit my_delegate(void* raw)
        : my_delegate(from_words(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(raw)), 0)) {}

    static my_delegate from_words(uint32_t code_word, uint32_t adjustment_word) {
        my_delegate d;
        uint32_t words[2] = {code_word, adjustment_word};
        std::memcpy(&d.member, words, sizeof d.member);
        return d;
    }

    uint32_t code_word() const { return word(0); }
    uint32_t adjustment_word() const { return word(1); }
    void* RawPointer() const {
        return reinterpret_cast<void*>(static_cast<uintptr_t>(code_word()));
    }

    // All null member pointers are equal, whatever their adjustment.
    bool operator==(const my_delegate& other) const {
        return code_word() == other.code_word() &&
               (code_word() == 0 || adjustment_word() == other.adjustment_word());
    }

private:
    uint32_t word(int k) const {
        uint32_t words[2];
        std::memcpy(words, &member, sizeof words);
        return words[k];
    }
};
