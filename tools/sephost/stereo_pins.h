// Which pins of an instance play the roles of a stereo processor with a gain input: the first
// three audio inputs are left, right and gain, the first two audio outputs left and right.
#pragma once

#include <string>

#include "host_instance.h"

struct SeStereoPins {
    int32_t in_l = -1;
    int32_t in_r = -1;
    int32_t gain = -1;
    int32_t out_l = -1;
    int32_t out_r = -1;
};

// Needs the pins described; false with the reason if the module has too few audio pins.
bool se_find_stereo_pins(const HostInstance& instance, SeStereoPins& pins, std::string& error);
