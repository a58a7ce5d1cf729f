#pragma once
// A thread with a single-threaded component apartment of its own that runs the jobs posted to it in
// order, pumping its window messages while it waits (as an apartment's thread must).

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel::win {

class StaThread {
public:
    StaThread();
    // Runs what was posted, then ends the thread.
    ~StaThread();
    StaThread(const StaThread&) = delete;
    StaThread& operator=(const StaThread&) = delete;

    void post(std::function<void()> job);
    // Posts job and waits until it has run.
    void call(const std::function<void()>& job);

private:
    void run();

    HANDLE m_wake;
    std::mutex m_lock;
    std::deque<std::function<void()>> m_jobs; // guarded by m_lock
    bool m_ending = false;                     // guarded by m_lock
    std::thread m_thread;
};

} // namespace quorvel::win
