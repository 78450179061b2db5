// Shared helpers of the lock and job-queue tests: bounded waiting, callback
// objects around lambdas, and a thread that runs closures handed to it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "core/threads/TCXCallback.h"

namespace concurrencytest {

// Polls until the condition holds; false after the (generous) bound. Sleeps
// here only pace the polling, they never decide an outcome.
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds bound = std::chrono::milliseconds(5000))
{
    auto until = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A callback around a lambda that counts its own deletions.
class FnJob : public TCXCallbackBase {
public:
    explicit FnJob(std::function<void(intptr_t)> fn, std::atomic<int>* deleted = nullptr)
        : fn_(std::move(fn)), deleted_(deleted)
    {
    }
    ~FnJob() override
    {
        if (deleted_)
            deleted_->fetch_add(1);
    }
    int32_t Invoke(intptr_t argument) override
    {
        fn_(argument);
        return 0;
    }

private:
    std::function<void(intptr_t)> fn_;
    std::atomic<int>* deleted_;
};

// A gate many threads wait at until it is opened.
class Latch {
public:
    void Open()
    {
        std::lock_guard<std::mutex> g(m_);
        open_ = true;
        cv_.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> g(m_);
        cv_.wait(g, [&] { return open_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

// A thread of its own that runs the closures given to Run (in order) and
// hands back a future for each; Post runs one without waiting.
//
// A closure is type-erased the moment it arrives: the task, its shared state
// and the queue entry are made once per result type, and each lambda of a
// test adds only a call and a delete through a plain function pointer. The
// concurrency tests hand over dozens of lambdas a file, and building a
// packaged task per lambda made them the slowest files of the build.
class TaskThread {
public:
    TaskThread() : t_([this] { Loop(); }) {}
    ~TaskThread()
    {
        {
            std::lock_guard<std::mutex> g(m_);
            stop_ = true;
            cv_.notify_all();
        }
        t_.join();
    }

    template <class F>
    auto Post(F f) -> std::future<decltype(f())>
    {
        return PostClosure(Closure<decltype(f())>(std::move(f)));
    }

    // Runs a closure there and waits for its result.
    template <class F>
    auto Run(F f) -> decltype(f())
    {
        return Post(std::move(f)).get();
    }

private:
    // Owns a closure of any type (move-only ones too) behind two function
    // pointers.
    template <class R>
    class Closure {
    public:
        template <class F>
        explicit Closure(F f) : closure_(new F(std::move(f))), call_(&Call<F>), destroy_(&Destroy<F>)
        {
        }
        Closure(Closure&& other) noexcept
            : closure_(std::exchange(other.closure_, nullptr)), call_(other.call_), destroy_(other.destroy_)
        {
        }
        Closure& operator=(Closure&&) = delete;
        ~Closure()
        {
            if (closure_)
                destroy_(closure_);
        }
        R operator()() { return call_(closure_); }

    private:
        template <class F>
        static R Call(void* closure)
        {
            return (*static_cast<F*>(closure))();
        }
        template <class F>
        static void Destroy(void* closure)
        {
            delete static_cast<F*>(closure);
        }

        void* closure_;
        R (*call_)(void*);
        void (*destroy_)(void*);
    };

    template <class R>
    std::future<R> PostClosure(Closure<R> closure)
    {
        auto task = std::make_shared<std::packaged_task<R()>>(std::move(closure));
        auto future = task->get_future();
        Enqueue([task] { (*task)(); });
        return future;
    }

    void Enqueue(std::function<void()> task)
    {
        std::lock_guard<std::mutex> g(m_);
        tasks_.push_back(std::move(task));
        cv_.notify_all();
    }

    void Loop()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> g(m_);
                cv_.wait(g, [&] { return stop_ || !tasks_.empty(); });
                if (tasks_.empty())
                    return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    bool stop_ = false;
    std::thread t_;
};

// A future that has become ready, without blocking.
template <class T>
bool IsReady(const std::future<T>& f)
{
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

}  // namespace concurrencytest
