#include "stereo_pins.h"

bool se_find_stereo_pins(const HostInstance& instance, SeStereoPins& pins, std::string& error) {
    int32_t inputs[3] = {-1, -1, -1};
    int32_t outputs[2] = {-1, -1};
    int input_count = 0;
    int output_count = 0;
    for (int32_t k = 0; k < instance.pin_count(); ++k) {
        const SEPinProperties& p = instance.pin(k).properties;
        if (p.datatype != DT_FSAMPLE) {
            continue;
        }
        if (p.direction == DR_IN && input_count < 3) {
            inputs[input_count++] = k;
        } else if (p.direction == DR_OUT && output_count < 2) {
            outputs[output_count++] = k;
        }
    }
    if (input_count < 3 || output_count < 2) {
        error = "the module has " + std::to_string(input_count) + " audio inputs and " +
                std::to_string(output_count) +
                " audio outputs; a stereo gain needs 3 (left, right, gain) and 2";
        return false;
    }
    pins = {inputs[0], inputs[1], inputs[2], outputs[0], outputs[1]};
    return true;
}
