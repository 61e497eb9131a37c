#pragma once

#include "protocol/Exchange.h"

#include <vector>

namespace qm240lx {

// The exchanges under way, so that a termination signal ends every port's
// command at once, and any that starts later before it sends anything.
class Interruption
{
public:
    void add(Exchange& exchange)
    {
        m_running.push_back(&exchange);
        if (m_interrupted)
            exchange.abort();
    }
    void remove(Exchange& exchange) { std::erase(m_running, &exchange); }

    void interrupt()
    {
        m_interrupted = true;
        for (Exchange* exchange : m_running)
            exchange->abort();
    }
    bool interrupted() const { return m_interrupted; }

private:
    std::vector<Exchange*> m_running;
    bool m_interrupted = false;
};

} // namespace qm240lx
