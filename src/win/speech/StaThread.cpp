#include "win/speech/StaThread.h"

#include "win/common/Com.h"

namespace quorvel::win {

StaThread::StaThread() : m_wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_thread(&StaThread::run, this) {}

StaThread::~StaThread()
{
    {
        const std::lock_guard guard(m_lock);
        m_ending = true;
    }
    SetEvent(m_wake);
    m_thread.join();
    CloseHandle(m_wake);
}

void StaThread::post(std::function<void()> job)
{
    {
        const std::lock_guard guard(m_lock);
        m_jobs.push_back(std::move(job));
    }
    SetEvent(m_wake);
}

void StaThread::call(const std::function<void()>& job)
{
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;
    post([&] {
        job();
        const std::lock_guard guard(doneLock);
        done = true;
        doneSignal.notify_one();
    });
    std::unique_lock wait(doneLock);
    doneSignal.wait(wait, [&] { return done; });
}

void StaThread::run()
{
    const ComApartment apartment(COINIT_APARTMENTTHREADED);
    for (;;) {
        std::deque<std::function<void()>> jobs;
        bool ending = false;
        {
            const std::lock_guard guard(m_lock);
            jobs.swap(m_jobs);
            ending = m_ending;
        }
        for (auto& job : jobs)
            job();
        if (ending && jobs.empty())
            return;
        if (!jobs.empty())
            continue;
        MsgWaitForMultipleObjects(1, &m_wake, FALSE, INFINITE, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace quorvel::win
