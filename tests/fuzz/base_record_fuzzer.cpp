// Arbitrary bytes as the serial-number base and as one record: lookups and record reads must
// neither crash nor read outside the base, whatever the server publishes.
#include "tests/fuzz/base_record_fuzz_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = verimant::fuzz::checkBaseRecordInput(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!problem.empty()) {
        std::fprintf(stderr, "base record: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
