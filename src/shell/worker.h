#pragma once
// One thread that runs the jobs given to it one after another, in the order given; started with
// the first job, joined when the worker is destroyed (after the jobs still waiting are run).

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velt {

class Worker {
public:
    Worker() = default;
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Throws std::system_error when no thread can be started.
    void post(std::function<void()> job);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace velt
