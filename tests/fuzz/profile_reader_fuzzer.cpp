// Arbitrary bytes as the update configuration: the profile reader and everything built on it must
// neither crash nor keep what the rules refuse, whatever the server publishes.
#include "tests/fuzz/profile_fuzz_check.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString scratch =
        QDir::tempPath() + QStringLiteral("/profile_reader_fuzzer_%1.ini").arg(getpid());
    const std::string problem = verimant::fuzz::checkProfileInput(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), scratch);
    if (!problem.empty()) {
        std::fprintf(stderr, "profile: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
