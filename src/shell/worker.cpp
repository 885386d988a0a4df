#include "shell/worker.h"

namespace velt {

Worker::~Worker() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void Worker::post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void Worker::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> hold(mutex_);
            wake_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace velt
