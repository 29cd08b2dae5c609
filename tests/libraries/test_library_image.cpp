// What the operating system and a host see of every built Windows library before any module code
// runs: its exports, its imports, its read-only data and its version resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "library_under_test.h"

namespace {

using LibraryImage = LibraryUnderTest;

const uint8_t* image_base(const SeLibrary& library) {
    return static_cast<const uint8_t*>(library.handle);
}

const IMAGE_NT_HEADERS32* nt_headers(const uint8_t* base) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
}

const IMAGE_DATA_DIRECTORY& data_directory(const uint8_t* base, int entry) {
    return nt_headers(base)->OptionalHeader.DataDirectory[entry];
}

template <typename T> const T* at_rva(const uint8_t* base, uint32_t rva) {
    return reinterpret_cast<const T*>(base + rva);
}

TEST_P(LibraryImage, IsA32BitDll) {
    const IMAGE_NT_HEADERS32* nt = nt_headers(image_base(library));
    EXPECT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
    EXPECT_NE(0, nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);
}

TEST_P(LibraryImage, ExportsBothEntriesByUndecoratedNameAndByTheirOrdinal) {
    const auto module = static_cast<HMODULE>(library.handle);
    const FARPROC make = GetProcAddress(module, "makeModule");
    const FARPROC properties = GetProcAddress(module, "getModuleProperties");
    ASSERT_NE(nullptr, make);
    ASSERT_NE(nullptr, properties);
    EXPECT_EQ(make, GetProcAddress(module, MAKEINTRESOURCEA(1)));
    EXPECT_EQ(properties, GetProcAddress(module, MAKEINTRESOURCEA(2)));
    EXPECT_EQ(nullptr, GetProcAddress(module, MAKEINTRESOURCEA(3)));
    for (const char* decorated : {"_makeModule", "makeModule@16", "_getModuleProperties@8"}) {
        EXPECT_EQ(nullptr, GetProcAddress(module, decorated)) << decorated;
    }
}

TEST_P(LibraryImage, ExportDirectoryNamesTheFileAndHoldsExactlyTheTwoEntries) {
    const uint8_t* base = image_base(library);
    const IMAGE_DATA_DIRECTORY& entry = data_directory(base, IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(0u, entry.VirtualAddress);
    const auto* exports = at_rva<IMAGE_EXPORT_DIRECTORY>(base, entry.VirtualAddress);

    EXPECT_STREQ(variant().file_name, at_rva<char>(base, exports->Name));
    EXPECT_EQ(1u, exports->Base);
    ASSERT_EQ(2u, exports->NumberOfFunctions);
    ASSERT_EQ(2u, exports->NumberOfNames);

    // Names are sorted for the loader's binary search; each maps to its ordinal's address.
    const auto* names = at_rva<uint32_t>(base, exports->AddressOfNames);
    const auto* name_ordinals = at_rva<uint16_t>(base, exports->AddressOfNameOrdinals);
    const auto* functions = at_rva<uint32_t>(base, exports->AddressOfFunctions);
    struct Expected {
        const char* name;
        uint32_t ordinal;
    };
    const Expected expected[] = {{"getModuleProperties", 2}, {"makeModule", 1}};
    for (uint32_t k = 0; k < 2; ++k) {
        EXPECT_STREQ(expected[k].name, at_rva<char>(base, names[k]));
        EXPECT_EQ(expected[k].ordinal, exports->Base + name_ordinals[k]) << expected[k].name;
        EXPECT_EQ(reinterpret_cast<const void*>(
                      GetProcAddress(static_cast<HMODULE>(library.handle), expected[k].name)),
                  base + functions[name_ordinals[k]])
            << expected[k].name;
    }
}

TEST_P(LibraryImage, ExportDataHoldsNothingBeyondTheTwoEntries) {
    // A linker that exports every symbol may append its own table after the directory: the
    // loader never sees it, but the runtime's names would ship in the file.
    const uint8_t* base = image_base(library);
    const IMAGE_DATA_DIRECTORY& entry = data_directory(base, IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(0u, entry.VirtualAddress);
    const auto* exports = at_rva<IMAGE_EXPORT_DIRECTORY>(base, entry.VirtualAddress);
    uint32_t farthest = entry.VirtualAddress + sizeof(IMAGE_EXPORT_DIRECTORY);
    const auto reach = [&](uint32_t rva, uint32_t size) {
        farthest = std::max(farthest, rva + size);
    };
    const auto reach_text = [&](uint32_t rva) {
        reach(rva, static_cast<uint32_t>(std::strlen(at_rva<char>(base, rva)) + 1));
    };
    reach(exports->AddressOfFunctions, 4 * exports->NumberOfFunctions);
    reach(exports->AddressOfNames, 4 * exports->NumberOfNames);
    reach(exports->AddressOfNameOrdinals, 2 * exports->NumberOfNames);
    reach_text(exports->Name);
    const auto* names = at_rva<uint32_t>(base, exports->AddressOfNames);
    for (uint32_t k = 0; k < exports->NumberOfNames; ++k) {
        reach_text(names[k]);
    }
    EXPECT_LE(entry.Size, farthest - entry.VirtualAddress + 3) << "bytes beyond the directory";
}

TEST_P(LibraryImage, ImportsComeOnlyFromLibrariesOfTheSystemDirectory) {
    char system_directory[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system_directory, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<UINT>(MAX_PATH));

    const uint8_t* base = image_base(library);
    const IMAGE_DATA_DIRECTORY& entry = data_directory(base, IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(0u, entry.VirtualAddress);
    int imported = 0;
    for (const auto* import = at_rva<IMAGE_IMPORT_DESCRIPTOR>(base, entry.VirtualAddress);
         import->Name != 0; ++import) {
        const std::string dll = at_rva<char>(base, import->Name);
        const std::string path = std::string(system_directory) + "\\" + dll;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()))
            << dll << " is not a system library";
        ++imported;
    }
    EXPECT_GT(imported, 0);
}

TEST_P(LibraryImage, ExportDescriptionLiesInReadOnlyData) {
    const uint8_t* base = image_base(library);
    const IMAGE_NT_HEADERS32* nt = nt_headers(base);
    const auto* section = IMAGE_FIRST_SECTION(nt);
    const char kDescription[] = "SE_MODULE";
    std::vector<std::string> found_in;
    for (int k = 0; k < nt->FileHeader.NumberOfSections; ++k, ++section) {
        const uint8_t* begin = base + section->VirtualAddress;
        const uint8_t* end = begin + section->Misc.VirtualSize;
        const auto* last = end - sizeof kDescription;
        for (const uint8_t* p = begin; p <= last; ++p) {
            if (std::memcmp(p, kDescription, sizeof kDescription) == 0) {
                found_in.emplace_back(reinterpret_cast<const char*>(section->Name),
                                      strnlen(reinterpret_cast<const char*>(section->Name), 8));
                EXPECT_EQ(0u,
                          section->Characteristics & (IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE))
                    << "found in " << found_in.back();
                break;
            }
        }
    }
    EXPECT_EQ(std::vector<std::string>{".rdata"}, found_in);
}

// The raw block of one version resource node: wLength, wValueLength, wType, key, value, children.
struct VersionNode {
    const uint8_t* begin;
    uint16_t length;
    uint16_t value_length;
    uint16_t type;
    std::wstring key;
    const uint8_t* value;
    const uint8_t* children;
    const uint8_t* end;
};

const uint8_t* align4(const uint8_t* origin, const uint8_t* p) {
    return origin + ((p - origin + 3) & ~3);
}

VersionNode read_node(const uint8_t* origin, const uint8_t* at) {
    VersionNode node;
    node.begin = at;
    std::memcpy(&node.length, at, 2);
    std::memcpy(&node.value_length, at + 2, 2);
    std::memcpy(&node.type, at + 4, 2);
    const auto* key = reinterpret_cast<const wchar_t*>(at + 6);
    node.key.assign(key, wcsnlen(key, (node.length - 6) / 2));
    node.value = align4(origin, at + 6 + (node.key.size() + 1) * 2);
    // Text values count characters, binary values bytes.
    const size_t value_bytes = node.type == 1 ? node.value_length * 2u : node.value_length;
    node.children = align4(origin, node.value + value_bytes);
    node.end = at + node.length;
    return node;
}

std::vector<VersionNode> children_of(const uint8_t* origin, const VersionNode& parent) {
    std::vector<VersionNode> out;
    for (const uint8_t* p = parent.children; p < parent.end;) {
        VersionNode child = read_node(origin, p);
        if (child.length == 0) {
            break;
        }
        out.push_back(child);
        p = align4(origin, child.end);
    }
    return out;
}

class VersionResource {
public:
    explicit VersionResource(const std::string& path) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size != 0) {
            m_block.resize(size);
            if (!GetFileVersionInfoA(path.c_str(), 0, size, m_block.data())) {
                m_block.clear();
            }
        }
    }
    bool present() const { return !m_block.empty(); }
    bool query(const char* sub_block, void** value, UINT* length) {
        return VerQueryValueA(m_block.data(), sub_block, value, length) != 0;
    }

private:
    std::vector<uint8_t> m_block;
};

TEST_P(LibraryImage, FixedVersionInfoCarriesTheTableVersionForADllWithoutFlags) {
    VersionResource resource(library_path(variant()));
    ASSERT_TRUE(resource.present());
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(resource.query("\\", &value, &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    const uint16_t* v = variant().version;

    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(static_cast<DWORD>(v[0] << 16 | v[1]), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(v[2] << 16 | v[3]), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(0u, fixed->dwFileOS);
}

TEST_P(LibraryImage, TranslationIsEnglishUnitedKingdomInCodePage1252) {
    VersionResource resource(library_path(variant()));
    ASSERT_TRUE(resource.present());
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(resource.query("\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(4u, length);
    const auto* pair = static_cast<const uint16_t*>(value);
    EXPECT_EQ(0x0809, pair[0]);
    EXPECT_EQ(1252, pair[1]);
}

const char* const kStringNames[] = {"Comments",         "CompanyName",  "FileDescription",
                                    "FileVersion",      "InternalName", "LegalCopyright",
                                    "OriginalFilename", "ProductName",  "ProductVersion"};

TEST_P(LibraryImage, StringTableHasTheNineEntriesEmptyButForAOneLineDescription) {
    VersionResource resource(library_path(variant()));
    ASSERT_TRUE(resource.present());
    for (const char* name : kStringNames) {
        const std::string sub_block = std::string("\\StringFileInfo\\080904E4\\") + name;
        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(resource.query(sub_block.c_str(), &value, &length)) << name << " is missing";
        // An empty value may have no terminator of its own: read only `length` characters.
        std::string text = length != 0 && value != nullptr
                               ? std::string(static_cast<const char*>(value), length)
                               : std::string();
        text.erase(text.find_last_not_of('\0') + 1);
        if (std::strcmp(name, "FileDescription") == 0) {
            EXPECT_FALSE(text.empty());
            EXPECT_EQ(std::string::npos, text.find_first_of("\r\n")) << text;
        } else {
            EXPECT_EQ("", text) << name;
        }
    }
}

TEST_P(LibraryImage, StringTableHoldsNoOtherBlockOrEntry) {
    const auto module = static_cast<HMODULE>(library.handle);
    // Filed under the language of its string table, English (United Kingdom).
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1), // RT_VERSION
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
    ASSERT_NE(nullptr, found);
    const auto* origin = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(nullptr, origin);

    const VersionNode root = read_node(origin, origin);
    ASSERT_EQ(L"VS_VERSION_INFO", root.key);
    std::vector<std::wstring> top;
    std::vector<std::wstring> tables;
    std::vector<std::wstring> strings;
    for (const VersionNode& node : children_of(origin, root)) {
        top.push_back(node.key);
        if (node.key != L"StringFileInfo") {
            continue;
        }
        for (const VersionNode& table : children_of(origin, node)) {
            tables.push_back(table.key);
            for (const VersionNode& entry : children_of(origin, table)) {
                strings.push_back(entry.key);
            }
        }
    }
    EXPECT_EQ((std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}), top);
    EXPECT_EQ(std::vector<std::wstring>{L"080904E4"}, tables);
    std::vector<std::wstring> expected;
    for (const char* name : kStringNames) {
        expected.emplace_back(name, name + std::strlen(name));
    }
    EXPECT_EQ(expected, strings);
}

INSTANTIATE_TEST_SUITE_P(EveryLibrary, LibraryImage, ::testing::ValuesIn(kVariantTable),
                         library_stem);

} // namespace
