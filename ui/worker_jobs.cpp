#include "ui/worker_jobs.h"

#include <system_error>

namespace qubopost::ui {

WorkerJobs::~WorkerJobs() {
    RequestStop();
    JoinAll();
}

bool WorkerJobs::Start(Job job) {
    Reap();
    ++m_running;
    auto body = [this, job = std::move(job)] {
        job();
        std::lock_guard lock(m_mutex);
        --m_running;
        m_idle.notify_all();
    };
    if (m_starter) {
        if (!m_starter(body)) {
            --m_running;
            return false;
        }
        return true;
    }
    try {
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([body = std::move(body), done] {
            body();
            done->store(true);
        });
        std::lock_guard lock(m_mutex);
        m_threads.push_back(Worker{std::move(thread), done});
        return true;
    } catch (const std::system_error&) {
        --m_running;
        return false;
    }
}

void WorkerJobs::RequestStop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_wake.notify_all();
}

bool WorkerJobs::Pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, duration, [this] { return m_stop.load(); });
}

void WorkerJobs::Reap() {
    std::list<Worker> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            if (it->done->load()) {
                finished.splice(finished.end(), m_threads, it++);
            } else {
                ++it;
            }
        }
    }
    for (auto& worker : finished) worker.thread.join();
}

void WorkerJobs::JoinAll() {
    {
        // Jobs started through a custom starter are not ours to join: wait for them to end.
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_running.load() == 0; });
    }
    std::list<Worker> all;
    {
        std::lock_guard lock(m_mutex);
        all.swap(m_threads);
    }
    for (auto& worker : all) worker.thread.join();
}

}  // namespace qubopost::ui
