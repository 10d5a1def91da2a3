#include "platform/workerthreads.h"

#include <system_error>

namespace quillory {

bool WorkerThreads::start(const std::function<void()> &job)
{
    const std::lock_guard lock(m_mutex);
    try {
        m_threads.emplace_back(job);
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void WorkerThreads::startOrRun(const std::function<void()> &job)
{
    if (!start(job))
        job();
}

void WorkerThreads::joinAll()
{
    std::vector<std::thread> threads;
    {
        const std::lock_guard lock(m_mutex);
        threads.swap(m_threads);
    }
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace quillory
