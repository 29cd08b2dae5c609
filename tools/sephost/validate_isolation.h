// Running module code where a crash cannot take the tool down: each job runs in a child process
// (fork natively; on Windows the tool runs itself again for the one job), and a child that dies
// is reported as that job's failure.
#pragma once

#include <cstdint>
#include <string>

struct SeJobResult {
    bool passed = false;
    std::string text; // what the job printed: the reason of a failure, or the probe's answer
};

struct SeJob {
    std::string kind;  // "check" or "probe"
    std::string check; // the check's name, for kind "check"
    std::string library;
    int32_t gain_factor = 0;
    uint32_t seed = 1;
};

SeJobResult se_run_isolated(const SeJob& job);

// The child's side: runs the job in this process, prints its text on stdout, returns the exit
// status (0 passed, 1 failed).
int se_run_job_here(const SeJob& job);

// Makes a crash in this (child) process print its exception and exit instead of asking anyone.
void se_prepare_child();

// The options that make the tool a child for one job; the dispatcher passes them to
// run_validate like any other.
constexpr const char kChildOption[] = "--child-job";
