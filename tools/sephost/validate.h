// `sephost validate`: a conformance run of one module library over the binary interface only.
#pragma once

// argv[0] is the command name ("validate") or the program path; the options follow. Prints one
// line per test and a final "N passed, N failed" (or one JSON document with --json); returns 0
// only when every selected test passed.
int run_validate(int argc, char** argv);
