// libFuzzer entry: one gain instance of the linked variant, driven by the fuzz input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gain_session.h"
#include "se_contract.h"

extern "C" int32_t SE_CALL getModuleProperties(int32_t index, SEModuleProperties* properties);
extern "C" SEMod_struct_base2* SE_CALL makeModule(int32_t index, int32_t kind,
                                                  SeAudioMasterFn host_callback,
                                                  void* host_reserved);

namespace {

SeLibrary linked_library() {
    SeLibrary library;
    library.get_module_properties = getModuleProperties;
    library.make_module = makeModule;
    library.path = "(linked)";
    return library;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const SeLibrary library = linked_library();
    static const int32_t gain_factor = gain_factor_of(library);
    if (gain_factor == 0) {
        std::fputs("gain_fuzz: the linked module is no row of the variant table\n", stderr);
        std::abort();
    }
    play_gain_session(library, gain_factor, data, size);
    return 0;
}
