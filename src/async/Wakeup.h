#pragma once

#include <coroutine>

#include <QObject>

namespace qm240lx {

// Where a coroutine waits for a Qt signal or a timer: whoever has news calls
// wake(), and the coroutine resumes from the event loop's next turn, never
// from inside the signal. News that comes while nobody waits is kept for the
// next co_await, which then returns at once.
class Wakeup
{
public:
    Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void wake();

    class Awaiter
    {
    public:
        explicit Awaiter(Wakeup& wakeup) : m_wakeup(wakeup) {}
        Awaiter(const Awaiter&) = delete;
        Awaiter& operator=(const Awaiter&) = delete;
        // A coroutine abandoned while it waits is not resumed.
        ~Awaiter() { m_wakeup.m_waiting = {}; }

        bool await_ready() const { return m_wakeup.m_woken; }
        void await_suspend(std::coroutine_handle<> waiting) { m_wakeup.m_waiting = waiting; }
        void await_resume() { m_wakeup.m_woken = false; }

    private:
        Wakeup& m_wakeup;
    };
    Awaiter operator co_await() { return Awaiter(*this); }

private:
    void resume();

    QObject m_context; // takes the resumption's posted call
    std::coroutine_handle<> m_waiting;
    bool m_woken = false;
};

} // namespace qm240lx
