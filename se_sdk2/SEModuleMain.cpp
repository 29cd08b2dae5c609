// The library's two exports. They keep no state: each makeModule makes a new, independent
// instance, and getModuleProperties only writes the caller's record.
#include <new>

#include "Module.h"
#include "se_contract.h"

extern "C" int32_t SE_CALL getModuleProperties(int32_t index, SEModuleProperties* properties) {
    // No record to write into: the host learns nothing, rather than crash inside the library.
    if (properties == nullptr) {
        return 0;
    }
    // Written first and for every index, so that a host probing for more modules still learns
    // the version of the interface it talks to.
    properties->sdk_version = kSdkVersion;
    if (index != 0) {
        return 0;
    }
    Module::getModuleProperties(properties);
    return 1;
}

extern "C" SEMod_struct_base2* SE_CALL makeModule(int32_t index, int32_t kind,
                                                  SeAudioMasterFn host_callback,
                                                  void* host_reserved) {
    if (index != 0 || kind != kModuleKindAudio) {
        return nullptr;
    }
    // Out of memory is a null record for the host, never an exception crossing into it.
    Module* module = new (std::nothrow) Module(host_callback, host_reserved);
    return module != nullptr ? module->getAeffect() : nullptr;
}
