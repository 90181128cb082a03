// Arbitrary bytes as a file name from the update server (NAME, BASE_NAME): the local path must
// stay one plain file inside the tool's temporary folder.
#include "tests/fuzz/local_name_fuzz_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = verimant::fuzz::checkLocalNameInput(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!problem.empty()) {
        std::fprintf(stderr, "local name: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
