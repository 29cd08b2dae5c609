#include "gain_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "variants_table.h"

const GainLibrary* loadGainLibrary(const char* file_name) {
    static std::map<std::string, GainLibrary> loaded;
    auto it = loaded.find(file_name);
    if (it != loaded.end()) {
        return &it->second;
    }
    const SeVariant* row = nullptr;
    for (const SeVariant& candidate : kVariantTable) {
        if (std::strcmp(candidate.file_name, file_name) == 0) {
            row = &candidate;
        }
    }
    if (row == nullptr) {
        ADD_FAILURE() << file_name << " is not a row of the variant table";
        return nullptr;
    }
    GainLibrary entry{row, {}};
    std::string error;
    if (!se_load_library(std::string(SE_DIST_DIR) + "/" + file_name, entry.library, error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return &loaded.emplace(file_name, entry).first->second;
}

void callRoutine(HostInstance& host, int32_t buffer_offset, int32_t sample_count) {
    SEMod_struct_base2* record = host.record();
    record->sub_process_ptr(record->object_ptr, buffer_offset, sample_count);
}

void deliverNow(HostInstance& host, int32_t pin, state_type state) {
    // A new block starts here, so the value the module reads at this clock lies in its buffers.
    host.set_clock(host.clock());
    SEMod_struct_base2* record = host.record();
    SeEvent event(host.clock(), EV_PIN_STATUS, state, 0,
                  reinterpret_cast<void*>(static_cast<intptr_t>(pin)));
    record->event_handler_ptr(record->object_ptr, &event);
}

bool runsRoutine(const HostInstance& host, SeProcessFn routine) {
    return host.record()->sub_process_ptr == routine;
}

float exactGainProduct(float input, float gain, int32_t gain_factor) {
    if (input == 0.0f || gain == 0.0f || gain_factor == 0) {
        return 0.0f;
    }
    // Each operand as an integer significand times a power of two; the product of the three
    // significands (24 + 24 + 4 bits) fits a 64-bit integer exactly.
    int input_exponent = 0;
    int gain_exponent = 0;
    const double input_fraction = std::frexp(static_cast<double>(input), &input_exponent);
    const double gain_fraction = std::frexp(static_cast<double>(gain), &gain_exponent);
    const uint64_t input_significand =
        static_cast<uint64_t>(std::ldexp(std::fabs(input_fraction), 24));
    const uint64_t gain_significand =
        static_cast<uint64_t>(std::ldexp(std::fabs(gain_fraction), 24));
    const bool negative = ((input < 0.0f) != (gain < 0.0f)) != (gain_factor < 0);
    uint64_t product = input_significand * gain_significand *
                       static_cast<uint64_t>(std::llabs(static_cast<long long>(gain_factor)));
    int exponent = input_exponent + gain_exponent - 48;

    // Round to nearest, ties to even, keeping 24 significant bits.
    int bits = 0;
    for (uint64_t p = product; p != 0; p >>= 1) {
        ++bits;
    }
    if (bits > 24) {
        const int shift = bits - 24;
        const uint64_t remainder = product & ((uint64_t{1} << shift) - 1);
        const uint64_t half = uint64_t{1} << (shift - 1);
        product >>= shift;
        exponent += shift;
        if (remainder > half || (remainder == half && (product & 1) != 0)) {
            ++product;
        }
    }
    const double magnitude = std::ldexp(static_cast<double>(product), exponent);
    return static_cast<float>(negative ? -magnitude : magnitude);
}

void fillWithSignal(float* samples, int32_t count, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1u;
    for (int32_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const double significand = 1.0 + static_cast<double>(state & 0x7FFFFF) / 8388608.0;
        const int exponent = static_cast<int>((state >> 23) & 7) - 4;
        const double sign = (state >> 31) != 0 ? -1.0 : 1.0;
        samples[i] = static_cast<float>(sign * std::ldexp(significand, exponent));
    }
}
