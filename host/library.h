// Loading a module library by path and finding its two exports. The host side knows only the
// binary contract: nothing here sees the module classes behind the record.
#pragma once

#include <string>

#include "se_contract.h"

struct SeLibrary {
    void* handle = nullptr; // HMODULE on Windows, dlopen handle elsewhere
    SeGetModulePropertiesFn get_module_properties = nullptr;
    SeMakeModuleFn make_module = nullptr;
    std::string path;
};

// Loads `path` and resolves getModuleProperties and makeModule by name. On failure returns false,
// leaves `library` empty and says why in `error` (the file cannot be loaded, or it lacks an
// export).
bool se_load_library(const std::string& path, SeLibrary& library, std::string& error);

// Unloads a library loaded by se_load_library; every instance must have been closed first.
void se_unload_library(SeLibrary& library);
