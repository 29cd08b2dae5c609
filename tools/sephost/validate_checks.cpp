#include "validate_check.h"

const std::vector<SeValidateCheck>& se_validate_checks() {
    static const std::vector<SeValidateCheck> checks = [] {
        std::vector<SeValidateCheck> all;
        se_add_loading_checks(all);
        se_add_lifecycle_checks(all);
        se_add_pin_checks(all);
        se_add_processing_checks(all);
        se_add_state_checks(all);
        se_add_config_checks(all);
        se_add_bad_input_checks(all);
        return all;
    }();
    return checks;
}
