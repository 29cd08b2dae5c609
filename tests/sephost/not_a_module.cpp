// A well-formed library that exports something, but neither of the two module entry points.
#ifdef _WIN32
#define EXPORTED __declspec(dllexport)
#else
#define EXPORTED __attribute__((visibility("default")))
#endif

extern "C" EXPORTED int answer_something(int value) {
    return value + 1;
}
