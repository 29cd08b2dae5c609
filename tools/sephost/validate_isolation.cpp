#include "validate_isolation.h"

#include <cstdio>
#include <cstring>

#include "validate_check.h"
#include "validate_rig.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

bool probe(SeValidateContext& context, std::string& text) {
    // In L = Gain = 1 makes Out L the factor itself; Out R checks it with another input.
    context.gain_factor = 1;
    SeGainRig rig(context, 16);
    if (!rig.open(text)) {
        return false;
    }
    rig.fill_input(PIN_IN_L, 1.0f);
    rig.fill_input(PIN_IN_R, 0.5f);
    rig.fill_input(PIN_GAIN, 1.0f);
    rig.fill_outputs_with_sentinel();
    rig.process(0, 16);
    const float left = rig.buffer(PIN_OUT_L)[0];
    const float right = rig.buffer(PIN_OUT_R)[0];
    const float factor = static_cast<float>(static_cast<int32_t>(left));
    if (!(left == factor) || factor == 0.0f || !(right == factor * 0.5f)) {
        text = "cannot measure a gain factor: In 1.0 x Gain 1.0 gives " + se_describe_sample(left);
        return false;
    }
    SEModuleProperties properties{};
    context.library.get_module_properties(0, &properties);
    text = std::to_string(static_cast<int32_t>(factor)) + " " +
           (properties.id != nullptr ? properties.id : "");
    return true;
}

} // namespace

int se_run_job_here(const SeJob& job) {
    SeValidateContext context;
    context.gain_factor = job.gain_factor;
    context.seed = job.seed;
    std::string text;
    bool passed = false;
    if (!se_load_library(job.library, context.library, text)) {
        passed = false;
    } else if (job.kind == "probe") {
        passed = probe(context, text);
    } else {
        text = "no check named " + job.check;
        for (const SeValidateCheck& check : se_validate_checks()) {
            if (job.check == check.name) {
                text.clear();
                passed = check.run(context, text);
                if (!passed && text.empty()) {
                    text = "failed without saying why";
                }
            }
        }
    }
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    // The library stays loaded: instances a failed check left open must not outlive their code.
    return passed ? 0 : 1;
}

// A check takes well under a second; a child still busy after this long is stuck in the module.
constexpr unsigned kChildSeconds = 600;

#ifdef _WIN32

namespace {

LONG WINAPI report_crash(EXCEPTION_POINTERS* info) {
    std::printf("crashed: exception 0x%08lX inside the module",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    std::fflush(stdout);
    ExitProcess(3);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

// Installed by the child before it touches the module.
void se_prepare_child() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(report_crash);
}

SeJobResult se_run_isolated(const SeJob& job) {
    SeJobResult result;
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string command = quoted(exe) + " validate " + kChildOption + " " + job.kind + " " +
                          quoted(job.check.empty() ? "-" : job.check) + " " + quoted(job.library) +
                          " " + std::to_string(job.gain_factor) + " " + std::to_string(job.seed);

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
        result.text = "cannot create a pipe for the child process";
        return result;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        result.text = "cannot start the child process " + std::string(exe);
        return result;
    }
    CloseHandle(write_end);
    // Drain the pipe while waiting, so that a child that never returns can be ended.
    const auto drain = [&] {
        DWORD ready = 0;
        while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &ready, nullptr) && ready > 0) {
            char chunk[512];
            DWORD got = 0;
            if (!ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) || got == 0) {
                break;
            }
            result.text.append(chunk, got);
        }
    };
    bool hung = false;
    for (DWORD waited = 0; WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT;
         waited += 100) {
        drain();
        if (waited >= kChildSeconds * 1000) {
            TerminateProcess(process.hProcess, 4);
            WaitForSingleObject(process.hProcess, INFINITE);
            hung = true;
            break;
        }
    }
    drain();
    CloseHandle(read_end);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    result.passed = status == 0;
    if (hung) {
        result.text = "the module did not return within " + std::to_string(kChildSeconds) + " s";
    } else if (status != 0 && status != 1 && result.text.rfind("crashed", 0) != 0) {
        char text[96];
        std::snprintf(text, sizeof text, "crashed: the child process ended with status 0x%08lX",
                      static_cast<unsigned long>(status));
        result.text = text + (result.text.empty() ? std::string() : " after: " + result.text);
    }
    return result;
}

#else

void se_prepare_child() {}

SeJobResult se_run_isolated(const SeJob& job) {
    SeJobResult result;
    int channel[2];
    if (pipe(channel) != 0) {
        result.text = "cannot create a pipe for the child process";
        return result;
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        result.text = "cannot fork a child process";
        return result;
    }
    if (child == 0) {
        close(channel[0]);
        dup2(channel[1], STDOUT_FILENO);
        close(channel[1]);
        // Assertion reports of the module would interleave with the tool's lines.
        const int null_device = open("/dev/null", O_WRONLY);
        if (null_device >= 0) {
            dup2(null_device, STDERR_FILENO);
        }
        alarm(kChildSeconds); // a module that never returns ends its check, not the run
        _exit(se_run_job_here(job));
    }
    close(channel[1]);
    char chunk[512];
    ssize_t got = 0;
    while ((got = read(channel[0], chunk, sizeof chunk)) > 0) {
        result.text.append(chunk, static_cast<size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status)) {
        const int signal_number = WTERMSIG(status);
        if (signal_number == SIGALRM) {
            result.text =
                "the module did not return within " + std::to_string(kChildSeconds) + " s";
            return result;
        }
        result.text = "crashed: signal " + std::to_string(signal_number) + " (" +
                      strsignal(signal_number) + ") inside the module" +
                      (result.text.empty() ? std::string() : " after: " + result.text);
        return result;
    }
    result.passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

#endif
