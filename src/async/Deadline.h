#pragma once

#include "async/Alarm.h"
#include "async/Tick.h"
#include "async/Wakeup.h"

#include <utility>

namespace qm240lx {

// A bound on the injected clock for a wait that suspends on a Wakeup: when it
// passes, or when it is given up, it wakes the Wakeup last handed to it. An
// alarm that rings before the clock says the bound has passed is set again.
class Deadline
{
public:
    Deadline(Alarm& alarm, TickSource tick, Tick limitMs);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    Tick limitMs() const { return m_limitMs; }
    // More than the limit has passed.
    bool expired() const;
    bool givenUp() const { return m_givenUp; }
    bool over() const { return m_givenUp || expired(); }

    // Ends every wait on it at once, as if it had passed.
    void giveUp();

    // While it lives, a wait on `wakeup` ends at the latest when the deadline
    // is over.
    class Watch
    {
    public:
        Watch(Deadline& deadline, Wakeup& wakeup)
            : m_deadline(deadline), m_before(std::exchange(deadline.m_waiting, &wakeup))
        {}
        ~Watch() { m_deadline.m_waiting = m_before; }
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        Deadline& m_deadline;
        Wakeup* m_before;
    };
    [[nodiscard]] Watch watch(Wakeup& wakeup) { return Watch(*this, wakeup); }

private:
    void arm();
    void ring();

    Alarm& m_alarm;
    TickSource m_tick;
    Tick m_start;
    Tick m_limitMs;
    bool m_givenUp = false;
    Wakeup* m_waiting = nullptr;
};

} // namespace qm240lx
