#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillory {

// Threads for work that may run elsewhere. A thread the system will not start (a full pids
// cgroup, a thread limit) is not an error here: `start` says so, and the caller does the work
// on its own thread instead. Every thread started is joined before this is gone.
class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads() { joinAll(); }
    WorkerThreads(const WorkerThreads &) = delete;
    WorkerThreads &operator=(const WorkerThreads &) = delete;

    // Runs a copy of `job` on a new thread; false when none could be started, and it was not
    // run.
    bool start(const std::function<void()> &job);
    // Runs `job` on a new thread, or here when none can be started.
    void startOrRun(const std::function<void()> &job);
    void joinAll();

private:
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
};

} // namespace quillory
