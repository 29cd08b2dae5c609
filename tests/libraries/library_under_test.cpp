#include "library_under_test.h"

std::string library_stem(const ::testing::TestParamInfo<SeVariant>& info) {
    const std::string file = info.param.file_name;
    return file.substr(0, file.find('.'));
}
