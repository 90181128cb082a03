#pragma once

#include <QThread>

#include <curl/curl.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

namespace verimant {

// Runs one curl transfer on a thread of its own, from its connection to its QUIT, while the
// calling thread's event loop keeps running: curl waits in curl_multi_poll there, the caller in
// its event loop, and neither polls. curl's parts that block (the closing reply, QUIT) therefore
// never hold the window.
class CurlWorker {
public:
    CurlWorker() = default;
    CurlWorker(const CurlWorker&) = delete;
    CurlWorker& operator=(const CurlWorker&) = delete;

    // Runs `easy` to its end and returns how it ended. `limitMs` is a last resort behind the
    // transfer's own time-out options, after which the transfer is cancelled. `pollMs` is the
    // longest curl waits for its sockets before it looks again on its own.
    CURLcode run(CURL* easy, int limitMs, int pollMs = 1000);
    // Ends the running transfer as soon as curl returns to its loop; from any thread.
    void cancel();
    bool cancelled() const { return cancelled_; }
    // From curl's callbacks on the transfer's thread: runs `work` on the calling thread, in order.
    void post(std::function<void()> work);

private:
    void transfer(CURL* easy, int pollMs);
    void runPosted();

    QThread* caller_ = nullptr;
    std::atomic<bool> cancelled_ = false;
    std::atomic<bool> finished_ = false;
    CURLcode result_ = CURLE_OK;
    std::mutex mutex_;
    CURLM* multi_ = nullptr;  // guarded by mutex_ for cancel()
    std::deque<std::function<void()>> posted_;
};

}  // namespace verimant
