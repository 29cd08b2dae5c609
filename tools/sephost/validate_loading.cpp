// Loading and description: the two exports, module indexes that name no module, the texts and
// the record makeModule hands out.
#include <climits>
#include <cstring>

#include "validate_check.h"
#include "validate_variant.h"

namespace {

bool exports(SeValidateContext& context, std::string& why) {
    SeLibrary again;
    if (!se_load_library(context.library.path, again, why)) {
        return false;
    }
    se_unload_library(again);
    return true;
}

// The host's record is bigger than the module's part of it; the tail must stay as it was.
struct HostModuleProperties {
    SEModuleProperties properties;
    uint32_t tail[8];
};

HostModuleProperties prefilled() {
    HostModuleProperties record;
    std::memset(&record, 0x5A, sizeof record);
    return record;
}

bool printable_text(const char* text, const char* field, std::string& why) {
    if (text == nullptr) {
        why = std::string(field) + " is null";
        return false;
    }
    size_t length = 0;
    for (; length < 512 && text[length] != '\0'; ++length) {
        if (static_cast<unsigned char>(text[length]) < 0x20) {
            why = std::string(field) + " holds a control character";
            return false;
        }
    }
    if (length == 0 || length == 512) {
        why = std::string(field) + (length == 0 ? " is empty" : " is not terminated in 512 bytes");
        return false;
    }
    return true;
}

bool module_properties(SeValidateContext& context, std::string& why) {
    HostModuleProperties record = prefilled();
    const HostModuleProperties before = record;
    const int32_t result = context.library.get_module_properties(0, &record.properties);
    if (result != 1) {
        why = "getModuleProperties(0) returned " + std::to_string(result) + ", not 1";
        return false;
    }
    if (record.properties.sdk_version != kSdkVersion) {
        why = "sdk_version reads " + std::to_string(record.properties.sdk_version) + ", not 2230";
        return false;
    }
    if (record.properties.host_field0 != before.properties.host_field0 ||
        record.properties.host_field1 != before.properties.host_field1 ||
        std::memcmp(record.tail, before.tail, sizeof record.tail) != 0) {
        why = "getModuleProperties wrote fields of the host's record it does not own "
              "(offsets 0x0C, 0x10 or past 0x17)";
        return false;
    }
    if (!printable_text(record.properties.name, "name", why) ||
        !printable_text(record.properties.id, "id", why) ||
        !printable_text(record.properties.about, "about", why)) {
        return false;
    }
    const SeVariant* variant = se_find_variant(context.library.path, record.properties.id);
    if (variant != nullptr) {
        const std::pair<const char*, const char*> texts[] = {
            {record.properties.name, variant->display_name},
            {record.properties.id, variant->identifier},
            {record.properties.about, kAboutText},
        };
        for (const auto& [got, want] : texts) {
            if (std::strcmp(got, want) != 0) {
                why = std::string("module text \"") + got + "\" should read \"" + want + "\"";
                return false;
            }
        }
    }
    return true;
}

int32_t SE_CALL silent_host(SEMod_struct_base2*, int32_t, int32_t, int32_t, void*, float) {
    return 0;
}

bool unknown_index(SeValidateContext& context, std::string& why) {
    for (int32_t index : {1, 2, -1, INT_MAX, INT_MIN}) {
        HostModuleProperties record = prefilled();
        const HostModuleProperties before = record;
        const int32_t result = context.library.get_module_properties(index, &record.properties);
        const std::string call = "getModuleProperties(" + std::to_string(index) + ")";
        if (result != 0) {
            why =
                call + " returned " + std::to_string(result) + " for an index that names no module";
            return false;
        }
        if (record.properties.sdk_version != kSdkVersion) {
            why = call + " did not write sdk_version 2230";
            return false;
        }
        record.properties.sdk_version = before.properties.sdk_version;
        if (std::memcmp(&record, &before, sizeof record) != 0) {
            why = call + " wrote more than sdk_version";
            return false;
        }
    }
    const int32_t bad[][2] = {{1, 1}, {-1, 1}, {0, 0}, {0, 2}, {0, -1}, {INT_MAX, 1}};
    for (const auto& args : bad) {
        SEMod_struct_base2* record =
            context.library.make_module(args[0], args[1], silent_host, nullptr);
        if (record != nullptr) {
            why = "makeModule(" + std::to_string(args[0]) + ", " + std::to_string(args[1]) +
                  ") made an instance; only index 0, kind 1 exists";
            record->dispatcher_ptr(record, MOD_CLOSE, 0, 0, nullptr, 0.0f);
            return false;
        }
    }
    return true;
}

bool record_fields(SeValidateContext& context, std::string& why) {
    int host_a = 0;
    int host_b = 0;
    SEMod_struct_base2* a = context.library.make_module(0, 1, silent_host, &host_a);
    SEMod_struct_base2* b = context.library.make_module(0, 1, silent_host, &host_b);
    if (a == nullptr || b == nullptr) {
        why = "makeModule(0, 1, callback, host) returned null";
        return false;
    }
    static const uint8_t kZeros[16] = {};
    if (a->magic != kSeMagic || a->version != 1) {
        why = "the record's magic or version is wrong";
    } else if (a->host_reserved != &host_a || b->host_reserved != &host_b) {
        why = "host_reserved is not the host pointer given to makeModule";
    } else if (a == b || a->object_ptr == nullptr || a->object_ptr == b->object_ptr) {
        why = "two makeModule calls did not make two distinct instances";
    } else if (a->dispatcher_ptr == nullptr || a->sub_process_ptr == nullptr ||
               a->event_handler_ptr == nullptr) {
        why = "a new record lacks one of its three entries";
    } else if (a->reserved1 != 0 || std::memcmp(a->reserved2, kZeros, sizeof kZeros) != 0) {
        why = "the reserved fields of a new record are not zero";
    }
    const int32_t closed_a = a->dispatcher_ptr(a, MOD_CLOSE, 0, 0, nullptr, 0.0f);
    const int32_t closed_b = b->dispatcher_ptr(b, MOD_CLOSE, 0, 0, nullptr, 0.0f);
    if (why.empty() && (closed_a != 1 || closed_b != 1)) {
        why = "MOD_CLOSE did not answer 1";
    }
    return why.empty();
}

} // namespace

void se_add_loading_checks(std::vector<SeValidateCheck>& checks) {
    checks.push_back({"loading.exports",
                      "the file loads and exports getModuleProperties and makeModule", exports});
    checks.push_back(
        {"loading.module_properties",
         "index 0 answers 1 with SDK version 2230 and the module texts, writing nothing else",
         module_properties});
    checks.push_back(
        {"loading.unknown_index",
         "indexes and kinds that name no module answer 0 or null and write only sdk_version",
         unknown_index});
    checks.push_back({"loading.record",
                      "makeModule hands out a record with magic, version, host pointer, entries "
                      "and zero reserved fields",
                      record_fields});
}
