#include "se_assert.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void report_default(const char* expression, const char* file, int line) {
    char text[1024];
    std::snprintf(text, sizeof text, "%s(%d): assertion failed: %s\n", file, line, expression);
#ifdef _WIN32
    OutputDebugStringA(text);
#else
    std::fputs(text, stderr);
#endif
}

SeAssertHandler g_handler = report_default;

} // namespace

bool se_check(bool holds, const char* expression, const char* file, int line) {
    if (!holds) {
        g_handler(expression, file, line);
    }
    return holds;
}

SeAssertHandler se_set_assert_handler(SeAssertHandler handler) {
    SeAssertHandler previous = g_handler;
    g_handler = handler ? handler : report_default;
    return previous;
}
