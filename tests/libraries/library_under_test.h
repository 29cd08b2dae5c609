// The built library of one variant, loaded by path the way a host loads it. The fixture is
// parameterised by the rows of the variant table, so every library is checked against its row.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "library.h"
#include "variants_table.h"

// SE_DIST_DIR is the build tree's collection of libraries, in a form the target system's loader
// understands (a Z: path under Wine).
inline std::string library_path(const SeVariant& variant) {
#ifdef _WIN32
    return std::string(SE_DIST_DIR) + "\\" + variant.file_name;
#else
    return std::string(SE_DIST_DIR) + "/" + variant.file_name;
#endif
}

class LibraryUnderTest : public ::testing::TestWithParam<SeVariant> {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(se_load_library(library_path(GetParam()), library, error)) << error;
    }
    void TearDown() override { se_unload_library(library); }

    const SeVariant& variant() const { return GetParam(); }

    SeLibrary library;
};

// "Tarnelle" for Tarnelle.sep: a failing case names its library.
std::string library_stem(const ::testing::TestParamInfo<SeVariant>& info);

// Failure messages name the library instead of dumping the row's bytes.
inline void PrintTo(const SeVariant& variant, std::ostream* out) {
    *out << variant.file_name;
}
