// Arbitrary bytes as a firmware record file: the parser and image build must neither crash nor
// write outside the image, whatever arrives from the update server.
#include "tests/fuzz/record_file_fuzz_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = verimant::fuzz::checkRecordFileInput(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!problem.empty()) {
        std::fprintf(stderr, "record file: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
