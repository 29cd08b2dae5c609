// What a 32-bit Windows library says about itself in its file: the export table and the version
// resource. Read from the file bytes, so it works the same on any platform.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct PeExport {
    std::string name;
    uint16_t ordinal = 0;
    uint32_t rva = 0;
};

struct PeVersionInfo {
    bool present = false;
    uint16_t file_version[4] = {};
    uint16_t product_version[4] = {};
    uint32_t file_flags_mask = 0;
    uint32_t file_flags = 0;
    uint32_t file_os = 0;
    uint32_t file_type = 0;
    uint32_t file_subtype = 0;
    std::string string_table_key; // language and code page in hex, e.g. "080904E4"
    std::vector<std::pair<std::string, std::string>> strings; // in file order, UTF-8
    std::vector<uint32_t> translations; // language in the low word, code page in the high word
};

struct PeImage {
    std::string export_name; // the name the library gives itself in its export table
    std::vector<PeExport> exports;
    PeVersionInfo version;
};

// True if `bytes` is a PE32 image; fills what it carries. A PE file whose tables are damaged
// returns false with the reason in `error`; a file that is not PE at all leaves `error` empty.
bool pe_read(const std::vector<uint8_t>& bytes, PeImage& image, std::string& error);

std::string pe_version_text(const uint16_t (&version)[4]);
