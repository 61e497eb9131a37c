#pragma once

#include "async/Misuse.h"

#include <coroutine>
#include <exception>
#include <optional>
#include <utility>

namespace qm240lx {

namespace detail {

// What every task's promise shares: who waits for the task, and how the task
// hands control back to it when it ends.
struct TaskPromiseBase
{
    std::coroutine_handle<> continuation;

    // Runs at once, up to its first suspension, like a plain call would.
    std::suspend_never initial_suspend() noexcept { return {}; }

    struct Resumer
    {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> ending) noexcept
        {
            if (const std::coroutine_handle<> next = ending.promise().continuation)
                return next;
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    // A finished task stays suspended until its owner lets it go.
    Resumer final_suspend() noexcept { return {}; }

    // Nothing here throws on purpose; a throw is a bug to stop at.
    void unhandled_exception() noexcept { std::terminate(); }
};

// The result goes to one taker, once.
template <typename T> struct TaskPromise : TaskPromiseBase
{
    std::optional<T> value;
    void return_value(T result) { value = std::move(result); }
    T take()
    {
        if (!value)
            stopOnMisuse("a task's result taken twice");
        T result = std::move(*value);
        value.reset();
        return result;
    }
};

template <> struct TaskPromise<void> : TaskPromiseBase
{
    bool taken = false;
    void return_void() {}
    void take()
    {
        if (std::exchange(taken, true))
            stopOnMisuse("a task's end taken twice");
    }
};

} // namespace detail

// A procedure that can suspend until data, a deadline or a signal resumes
// it, on the thread that started it. It starts when called and runs until its
// first suspension; a caller that is itself a task awaits its result with
// co_await. The task owns its frame: letting it go before it ends abandons it
// where it waits, and what it holds is released as on any other way out.
template <typename T = void> class [[nodiscard]] Task
{
public:
    struct promise_type : detail::TaskPromise<T>
    {
        Task get_return_object()
        {
            return Task(std::coroutine_handle<promise_type>::from_promise(*this));
        }
    };

    Task(Task&& other) noexcept : m_frame(std::exchange(other.m_frame, {})) {}
    Task& operator=(Task&& other) noexcept
    {
        if (this != &other) {
            release();
            m_frame = std::exchange(other.m_frame, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { release(); }

    bool done() const { return !m_frame || m_frame.done(); }

    // The result of a task that has ended; it can be taken once, by this or
    // by the one co_await.
    T result()
    {
        if (!m_frame || !m_frame.done())
            stopOnMisuse("the result of a task that has not ended");
        return m_frame.promise().take();
    }

    class Awaiter
    {
    public:
        explicit Awaiter(std::coroutine_handle<promise_type> frame) : m_frame(frame) {}
        bool await_ready() const noexcept { return m_frame.done(); }
        // The task resumes one awaiter when it ends.
        void await_suspend(std::coroutine_handle<> awaiting) noexcept
        {
            if (m_frame.promise().continuation)
                stopOnMisuse("a task awaited twice at once");
            m_frame.promise().continuation = awaiting;
        }
        T await_resume() { return m_frame.promise().take(); }

    private:
        std::coroutine_handle<promise_type> m_frame;
    };
    Awaiter operator co_await() const noexcept
    {
        if (!m_frame)
            stopOnMisuse("a task awaited after it was moved from");
        return Awaiter(m_frame);
    }

private:
    explicit Task(std::coroutine_handle<promise_type> frame) : m_frame(frame) {}

    void release()
    {
        if (m_frame)
            std::exchange(m_frame, {}).destroy();
    }

    std::coroutine_handle<promise_type> m_frame;
};

} // namespace qm240lx
