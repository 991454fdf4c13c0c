// Worker jobs: background work that runs beside the dialog's message loop, each job
// on a thread of its own. The owner can tell running jobs to stop (a pause waiting in a
// job wakes at once) and waits for them before it goes away.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace qubopost::ui {

class WorkerJobs {
public:
    using Job = std::function<void()>;
    // Starts a thread for the job and returns true, or returns false when it can't be started.
    using ThreadStarter = std::function<bool(std::function<void()> body)>;

    explicit WorkerJobs(ThreadStarter starter = nullptr) : m_starter(std::move(starter)) {}
    ~WorkerJobs();
    WorkerJobs(const WorkerJobs&) = delete;
    WorkerJobs& operator=(const WorkerJobs&) = delete;

    // false when no thread could be started; the job then never runs.
    bool Start(Job job);

    // Tells every job to stop; waiting pauses wake at once. Jobs started later see it too.
    void RequestStop();
    bool StopRequested() const { return m_stop.load(); }
    const std::atomic<bool>& StopFlag() const { return m_stop; }

    // Waits for the given time or until a stop is requested. false if stopped.
    bool Pause(std::chrono::milliseconds duration);

    int Running() const { return m_running.load(); }
    // Waits until every job has ended.
    void JoinAll();

private:
    void Reap();

    ThreadStarter m_starter;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_running{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> m_threads;  // guarded by m_mutex
    std::condition_variable m_idle;
};

}  // namespace qubopost::ui
