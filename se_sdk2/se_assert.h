// Assertion reports: expression text, source file and line. A failed check reports and returns;
// it never stops the process and never changes a result. Builds keep it on in release.
#pragma once

using SeAssertHandler = void (*)(const char* expression, const char* file, int line);

// Reports `expression` when `holds` is false; returns `holds` so callers can refuse the request.
// The call site comes from the compiler builtins rather than std::source_location, which the
// clang that builds the fuzz target (clang 14 with libstdc++ 12) cannot provide.
bool se_check(bool holds, const char* expression, const char* file = __builtin_FILE(),
              int line = __builtin_LINE());

// Replaces the reporting function (tests capture reports this way); returns the previous one.
// Null restores the default: standard error natively, OutputDebugStringA on Windows.
SeAssertHandler se_set_assert_handler(SeAssertHandler handler);
