#include "validate_variant.h"

#include <cctype>
#include <cstring>

#include "variants_table.h"

namespace {
bool same_name(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}
} // namespace

const SeVariant* se_find_variant(const std::string& path, const char* identifier) {
    const size_t slash = path.find_last_of("/\\");
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const SeVariant& row : kVariantTable) {
        if (same_name(base, row.file_name)) {
            return &row;
        }
    }
    for (const SeVariant& row : kVariantTable) {
        if (identifier != nullptr && std::strcmp(identifier, row.identifier) == 0) {
            return &row;
        }
    }
    return nullptr;
}

std::string se_version_text(const SeVariant& variant) {
    return std::to_string(variant.version[0]) + "." + std::to_string(variant.version[1]) + "." +
           std::to_string(variant.version[2]) + "." + std::to_string(variant.version[3]);
}
