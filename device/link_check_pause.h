#pragma once

#include "link/link_flags.h"

namespace verimant {

// Keeps the connection manager's echo test off the line while a writer streams requests, and turns
// it back on however the writer leaves.
class LinkCheckPause {
public:
    explicit LinkCheckPause(LinkFlags& flags) : flags_(flags) { flags_.linkCheckEnabled = false; }
    ~LinkCheckPause() { flags_.linkCheckEnabled = true; }
    LinkCheckPause(const LinkCheckPause&) = delete;
    LinkCheckPause& operator=(const LinkCheckPause&) = delete;

private:
    LinkFlags& flags_;
};

}  // namespace verimant
