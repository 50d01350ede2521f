// libFuzzer target for the network port's Telnet parser (built with -DZORV_FUZZ=ON
// and clang); tests/unit/net_test.cpp runs the same body over seeded inputs.
#include "tests/fuzz/telnet_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    telnet_fuzz_one(data, size);
    return 0;
}
