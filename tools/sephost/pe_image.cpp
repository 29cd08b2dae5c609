#include "pe_image.h"

#include <cstring>

namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint32_t kResourceTypeVersion = 16;

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    bool has(size_t at, size_t size) const {
        return at <= m_bytes.size() && size <= m_bytes.size() - at;
    }
    uint16_t u16(size_t at) const {
        return has(at, 2) ? static_cast<uint16_t>(m_bytes[at] | (m_bytes[at + 1] << 8)) : 0;
    }
    uint32_t u32(size_t at) const {
        return static_cast<uint32_t>(u16(at)) | (static_cast<uint32_t>(u16(at + 2)) << 16);
    }
    std::string cstring(size_t at) const {
        std::string text;
        while (at < m_bytes.size() && m_bytes[at] != 0 && text.size() < 4096) {
            text.push_back(static_cast<char>(m_bytes[at++]));
        }
        return text;
    }

private:
    const std::vector<uint8_t>& m_bytes;
};

struct Section {
    uint32_t rva;
    uint32_t size;
    uint32_t file_offset;
};

struct Image {
    const Reader& reader;
    std::vector<Section> sections;

    // File offset of an address relative to the image base, or 0 if no section holds it.
    size_t offset(uint32_t rva) const {
        for (const Section& s : sections) {
            if (rva >= s.rva && rva - s.rva < s.size) {
                return s.file_offset + (rva - s.rva);
            }
        }
        return 0;
    }
};

void append_utf8(std::string& out, uint16_t unit) {
    if (unit < 0x80) {
        out.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
        out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
        out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
}

// One node of the version tree: length, value length, type, key, value, children.
struct VersionNode {
    size_t start = 0;
    size_t end = 0;
    uint16_t value_length = 0;
    uint16_t type = 0;
    std::string key;
    size_t value = 0;    // file offset of the value
    size_t children = 0; // file offset of the first child
};

size_t align4(size_t base, size_t at) {
    return base + ((at - base + 3) & ~size_t{3});
}

bool read_node(const Reader& r, size_t base, size_t at, size_t limit, VersionNode& node) {
    const uint16_t length = r.u16(at);
    if (length < 6 || at + length > limit || !r.has(at, length)) {
        return false;
    }
    node.start = at;
    node.end = at + length;
    node.value_length = r.u16(at + 2);
    node.type = r.u16(at + 4);
    node.key.clear();
    size_t p = at + 6;
    while (p + 2 <= node.end && r.u16(p) != 0) {
        append_utf8(node.key, r.u16(p));
        p += 2;
    }
    p += 2;
    node.value = align4(base, p);
    const size_t value_bytes = node.type == 1 ? 2u * node.value_length : node.value_length;
    node.children = align4(base, node.value + value_bytes);
    return node.value + value_bytes <= node.end;
}

std::string utf16_text(const Reader& r, size_t at, size_t end) {
    std::string text;
    for (size_t p = at; p + 2 <= end && r.u16(p) != 0; p += 2) {
        append_utf8(text, r.u16(p));
    }
    return text;
}

bool read_version(const Reader& r, size_t base, size_t size, PeVersionInfo& info,
                  std::string& error) {
    VersionNode root;
    if (!read_node(r, base, base, base + size, root) || root.key != "VS_VERSION_INFO") {
        error = "damaged version resource";
        return false;
    }
    if (root.value_length >= 52 && r.u32(root.value) == 0xFEEF04BD) {
        const size_t f = root.value;
        const uint32_t words[4] = {r.u32(f + 8), r.u32(f + 12), r.u32(f + 16), r.u32(f + 20)};
        for (int k = 0; k < 2; ++k) {
            info.file_version[2 * k] = static_cast<uint16_t>(words[k] >> 16);
            info.file_version[2 * k + 1] = static_cast<uint16_t>(words[k]);
            info.product_version[2 * k] = static_cast<uint16_t>(words[2 + k] >> 16);
            info.product_version[2 * k + 1] = static_cast<uint16_t>(words[2 + k]);
        }
        info.file_flags_mask = r.u32(f + 24);
        info.file_flags = r.u32(f + 28);
        info.file_os = r.u32(f + 32);
        info.file_type = r.u32(f + 36);
        info.file_subtype = r.u32(f + 40);
    }
    for (size_t at = root.children; at + 6 <= root.end;) {
        VersionNode block;
        if (!read_node(r, base, at, root.end, block)) {
            break;
        }
        if (block.key == "StringFileInfo") {
            VersionNode table;
            if (read_node(r, base, block.children, block.end, table)) {
                info.string_table_key = table.key;
                for (size_t s = table.children; s + 6 <= table.end;) {
                    VersionNode entry;
                    if (!read_node(r, base, s, table.end, entry)) {
                        break;
                    }
                    info.strings.emplace_back(
                        entry.key, entry.value_length == 0 ? std::string()
                                                           : utf16_text(r, entry.value, entry.end));
                    s = align4(base, entry.end);
                }
            }
        } else if (block.key == "VarFileInfo") {
            VersionNode var;
            if (read_node(r, base, block.children, block.end, var) && var.key == "Translation") {
                for (size_t k = 0; k + 4 <= var.value_length; k += 4) {
                    info.translations.push_back(r.u32(var.value + k));
                }
            }
        }
        at = align4(base, block.end);
    }
    info.present = true;
    return true;
}

// The data entry below a resource directory entry: first subdirectory entry at each level.
size_t first_entry(size_t dir) {
    return dir + 16; // the entries follow the 16-byte directory header
}

bool find_version_resource(const Reader& r, const Image& image, uint32_t rva, size_t& data,
                           uint32_t& size) {
    const size_t root = image.offset(rva);
    if (root == 0) {
        return false;
    }
    const uint16_t count = static_cast<uint16_t>(r.u16(root + 12) + r.u16(root + 14));
    for (uint16_t k = 0; k < count; ++k) {
        const size_t entry = first_entry(root) + 8u * k;
        if (r.u32(entry) != kResourceTypeVersion) {
            continue;
        }
        // type -> name -> language -> data entry; take the first at each level
        uint32_t next = r.u32(entry + 4);
        for (int level = 0; level < 2; ++level) {
            if ((next & 0x80000000u) == 0) {
                return false;
            }
            const size_t dir = root + (next & 0x7FFFFFFFu);
            if (r.u16(dir + 12) + r.u16(dir + 14) == 0) {
                return false;
            }
            next = r.u32(first_entry(dir) + 4);
        }
        if ((next & 0x80000000u) != 0) {
            return false;
        }
        const size_t leaf = root + next;
        data = image.offset(r.u32(leaf));
        size = r.u32(leaf + 4);
        return data != 0 && r.has(data, size);
    }
    return false;
}

} // namespace

bool pe_read(const std::vector<uint8_t>& bytes, PeImage& image, std::string& error) {
    error.clear();
    Reader r(bytes);
    if (!r.has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z') {
        return false;
    }
    const size_t pe = r.u32(0x3C);
    if (!r.has(pe, 24) || std::memcmp(bytes.data() + pe, "PE\0\0", 4) != 0) {
        return false;
    }
    const uint16_t section_count = r.u16(pe + 6);
    const uint16_t optional_size = r.u16(pe + 20);
    const size_t optional = pe + 24;
    if (r.u16(optional) != kPe32Magic || optional_size < 96 + 8 * 3) {
        error = "not a 32-bit PE image";
        return false;
    }
    Image img{r, {}};
    const size_t section_table = optional + optional_size;
    for (uint16_t k = 0; k < section_count; ++k) {
        const size_t s = section_table + 40u * k;
        if (!r.has(s, 40)) {
            error = "damaged section table";
            return false;
        }
        const uint32_t virtual_size = r.u32(s + 8);
        const uint32_t raw_size = r.u32(s + 16);
        img.sections.push_back(
            {r.u32(s + 12), virtual_size > raw_size ? raw_size : virtual_size, r.u32(s + 20)});
    }
    const uint32_t directory_count = r.u32(optional + 92);
    const size_t directories = optional + 96;
    if (directory_count > 0) {
        const size_t exports = img.offset(r.u32(directories));
        if (exports != 0 && r.has(exports, 40)) {
            image.export_name = r.cstring(img.offset(r.u32(exports + 12)));
            const uint32_t ordinal_base = r.u32(exports + 16);
            const uint32_t name_count = r.u32(exports + 24);
            const size_t functions = img.offset(r.u32(exports + 28));
            const size_t names = img.offset(r.u32(exports + 32));
            const size_t ordinals = img.offset(r.u32(exports + 36));
            for (uint32_t k = 0; k < name_count && k < 4096; ++k) {
                PeExport e;
                e.name = r.cstring(img.offset(r.u32(names + 4u * k)));
                const uint16_t index = r.u16(ordinals + 2u * k);
                e.ordinal = static_cast<uint16_t>(index + ordinal_base);
                e.rva = r.u32(functions + 4u * index);
                image.exports.push_back(e);
            }
        }
    }
    if (directory_count > 2) {
        size_t data = 0;
        uint32_t size = 0;
        if (find_version_resource(r, img, r.u32(directories + 16), data, size) &&
            !read_version(r, data, size, image.version, error)) {
            return false;
        }
    }
    return true;
}

std::string pe_version_text(const uint16_t (&version)[4]) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}
