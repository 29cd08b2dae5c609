// sephost info against the six built libraries: texts and pins come from the instance itself,
// and a Windows library's file carries the export table and version resource of its row.
#include <gtest/gtest.h>

#include <string>

#include "json_text.h"
#include "pe_image.h"
#include "tool_runner.h"
#include "variants_table.h"

namespace {

#ifdef _WIN32
std::string version_text(const uint16_t (&v)[4]) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}
#endif

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Info, JsonCarriesEachLibrarysOwnTextsPinsAndOnWindowsItsFileTables) {
    for (const SeVariant& variant : kVariantTable) {
        SCOPED_TRACE(variant.file_name);
        const ToolRun run = run_sephost({"info", library_path(variant.file_name), "--json"});
        ASSERT_EQ(0, run.status) << run.err;
        const std::string& j = run.out;
        EXPECT_TRUE(contains(j, "\"name\": " + json_quote(variant.display_name))) << j;
        EXPECT_TRUE(contains(j, "\"identifier\": " + json_quote(variant.identifier))) << j;
        EXPECT_TRUE(contains(j, "\"sdk_version\": 2230")) << j;
        EXPECT_TRUE(contains(j, "{\"index\": 2, \"direction\": \"in\", \"datatype\": 5, "
                                "\"name\": \"Gain aspect\", \"default\": \"0.1\", \"flags\": 0}"))
            << j;
        EXPECT_TRUE(contains(j, "{\"index\": 4, \"direction\": \"out\", \"datatype\": 5, "
                                "\"name\": \"Out R\", \"flags\": 0}"))
            << j;
#ifdef _WIN32
        const std::string version = json_quote(version_text(variant.version));
        EXPECT_TRUE(contains(j, "\"export_name\": " + json_quote(variant.file_name))) << j;
        EXPECT_TRUE(contains(j, "\"file_version\": " + version)) << j;
        EXPECT_TRUE(contains(j, "\"product_version\": " + version)) << j;
        EXPECT_TRUE(contains(j, "{\"name\": \"makeModule\"")) << j;
        EXPECT_TRUE(contains(j, "{\"name\": \"getModuleProperties\"")) << j;
        EXPECT_TRUE(contains(j, "\"translations\": [" + std::to_string(0x04E40809u) + "]")) << j;
#else
        EXPECT_FALSE(contains(j, "export_name")) << "an ELF library has no PE tables";
#endif
    }
}

TEST(PeImage, DamagedOrForeignBytesAreNeitherReadNorCrashedOn) {
    std::vector<uint8_t> bytes(512, 0);
    PeImage image;
    std::string error;
    EXPECT_FALSE(pe_read(bytes, image, error));
    EXPECT_TRUE(error.empty()) << "bytes without MZ are simply not PE";
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0xF0; // e_lfanew past the end of the file
    bytes[0x3D] = 0xFF;
    EXPECT_FALSE(pe_read(bytes, image, error));
    bytes[0x3C] = 0x40; // "PE\0\0" with a 64-bit optional header
    bytes[0x3D] = 0;
    const uint8_t header[] = {'P', 'E', 0, 0};
    std::copy(header, header + 4, bytes.begin() + 0x40);
    bytes[0x40 + 20] = 0xF0; // optional header size
    bytes[0x40 + 24] = 0x0B;
    bytes[0x40 + 25] = 0x02;
    EXPECT_FALSE(pe_read(bytes, image, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
