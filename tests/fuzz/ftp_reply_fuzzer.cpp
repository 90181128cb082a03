// Arbitrary bytes as what an FTP server says: the reply reader and the passive-reply parser must
// neither crash nor break their rules, whatever a hostile server sends.
#include "tests/fuzz/ftp_reply_fuzz_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = verimant::fuzz::checkFtpReplyInput(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!problem.empty()) {
        std::fprintf(stderr, "ftp reply: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
