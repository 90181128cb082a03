#include "update/curl_worker.h"

#include "platform/event_wait.h"

#include <thread>

namespace verimant {

CURLcode CurlWorker::run(CURL* easy, int limitMs, int pollMs) {
    caller_ = QThread::currentThread();
    finished_ = false;
    result_ = CURLE_OK;
    std::thread worker([this, easy, pollMs] { transfer(easy, pollMs); });
    const auto done = [this] {
        runPosted();
        return finished_.load();
    };
    if (!pumpEventsUntil(done, limitMs)) {
        cancel();
        pumpEventsUntil(done, limitMs);
    }
    worker.join();
    runPosted();
    return result_;
}

void CurlWorker::cancel() {
    cancelled_ = true;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (multi_)
        curl_multi_wakeup(multi_);
}

void CurlWorker::post(std::function<void()> work) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(work));
    }
    wakeThread(caller_);
}

void CurlWorker::runPosted() {
    for (;;) {
        std::function<void()> work;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (posted_.empty())
                return;
            work = std::move(posted_.front());
            posted_.pop_front();
        }
        work();
    }
}

void CurlWorker::transfer(CURL* easy, int pollMs) {
    CURLM* multi = curl_multi_init();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        multi_ = multi;
    }
    CURLcode result = CURLE_FAILED_INIT;
    if (curl_multi_add_handle(multi, easy) == CURLM_OK) {
        int running = 1;
        while (running > 0 && !cancelled_) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (running > 0)
                curl_multi_poll(multi, nullptr, 0, pollMs, nullptr);
        }
        int left = 0;
        result = cancelled_ ? CURLE_ABORTED_BY_CALLBACK : CURLE_OK;
        while (CURLMsg* message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                result = message->data.result;
        curl_multi_remove_handle(multi, easy);
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        multi_ = nullptr;
    }
    // Closes the connection: QUIT and its reply, still off the calling thread.
    curl_multi_cleanup(multi);
    result_ = result;
    finished_ = true;
    wakeThread(caller_);
}

}  // namespace verimant
