#include "assert_capture.h"

namespace {
std::vector<AssertReport> g_reports;
void capture(const char* expression, const char* file, int line) {
    g_reports.push_back({expression, file, line});
}
} // namespace

AssertCapture::AssertCapture() : m_previous(se_set_assert_handler(capture)) {
    g_reports.clear();
}
AssertCapture::~AssertCapture() {
    se_set_assert_handler(m_previous);
}
const std::vector<AssertReport>& AssertCapture::reports() const {
    return g_reports;
}
std::vector<std::string> AssertCapture::expressions() const {
    std::vector<std::string> out;
    for (const auto& r : g_reports) {
        out.push_back(r.expression);
    }
    return out;
}
void AssertCapture::clear() {
    g_reports.clear();
}
