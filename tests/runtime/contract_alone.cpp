// The contract header must compile on its own, warning-free, because a host includes nothing else.
#include "se_contract.h"

int32_t se_contract_alone_compiles(const SEMod_struct_base2* record) {
    return record->version;
}
