// Arbitrary bytes as the version texts that instruments and the update server supply: the
// decoders must agree with a plain reading and never touch memory they do not own.
#include "tests/fuzz/version_text_fuzz_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = verimant::fuzz::checkVersionTextInput(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!problem.empty()) {
        std::fprintf(stderr, "version text: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
