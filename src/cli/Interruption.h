#pragma once

#include "protocol/Exchange.h"

#include <unordered_set>

namespace qm240lx {

// The exchanges under way, so that a termination signal ends every port's
// command at once, and any that starts later before it sends anything.
class Interruption
{
public:
    void add(Exchange& exchange)
    {
        m_running.insert(&exchange);
        if (m_interrupted)
            exchange.abort();
    }
    void remove(Exchange& exchange) { m_running.erase(&exchange); }

    void interrupt()
    {
        m_interrupted = true;
        const std::unordered_set<Exchange*> running = m_running;
        for (Exchange* exchange : running)
            exchange->abort();
    }
    bool interrupted() const { return m_interrupted; }

private:
    std::unordered_set<Exchange*> m_running; // thousands of ports come and go
    bool m_interrupted = false;
};

} // namespace qm240lx
