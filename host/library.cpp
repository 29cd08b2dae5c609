#include "library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#ifdef _WIN32
void* open_library(const std::string& path, std::string& error) {
    // LoadLibraryA wants backslashes; callers (and Wine users) often write forward ones.
    std::string file = path;
    for (char& c : file) {
        if (c == '/') {
            c = '\\';
        }
    }
    HMODULE handle = LoadLibraryA(file.c_str());
    if (handle == nullptr) {
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    }
    return reinterpret_cast<void*>(handle);
}
void* find_symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void close_library(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}
#else
void* open_library(const std::string& path, std::string& error) {
    // A path without a slash would be searched for on the library path instead of opened.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = "cannot load " + path + (why ? std::string(": ") + why : std::string());
    }
    return handle;
}
void* find_symbol(void* handle, const char* name) {
    return dlsym(handle, name);
}
void close_library(void* handle) {
    dlclose(handle);
}
#endif

} // namespace

bool se_load_library(const std::string& path, SeLibrary& library, std::string& error) {
    library = SeLibrary{};
    void* handle = open_library(path, error);
    if (handle == nullptr) {
        return false;
    }
    void* properties = find_symbol(handle, "getModuleProperties");
    void* make = find_symbol(handle, "makeModule");
    if (properties == nullptr || make == nullptr) {
        error = path + " is not a module library: it does not export " +
                (properties == nullptr ? "getModuleProperties" : "makeModule");
        close_library(handle);
        return false;
    }
    library.handle = handle;
    library.get_module_properties = reinterpret_cast<SeGetModulePropertiesFn>(properties);
    library.make_module = reinterpret_cast<SeMakeModuleFn>(make);
    library.path = path;
    return true;
}

void se_unload_library(SeLibrary& library) {
    if (library.handle != nullptr) {
        close_library(library.handle);
    }
    library = SeLibrary{};
}
