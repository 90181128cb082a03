#pragma once

namespace verimant {

// How a firmware writer goes about its image, beyond what the image itself says.
struct WriteOptions {
    // After the last chunk, read back every byte the image covers and compare it: an answered write
    // only says the instrument took the request, not that its flash holds the bytes. On unless the
    // user turns it off.
    bool verify = true;
    // Send every chunk, even one that only repeats the erased state of a page or sector erased in
    // this run, for a boot loader that might count on receiving all of them.
    bool writeAll = false;
};

}  // namespace verimant
