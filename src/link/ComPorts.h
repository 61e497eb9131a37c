#pragma once

#include "link/PortMaker.h"
#include "link/PortSource.h"

#include <memory>

namespace qm240lx {

// The ports of a COM map, the process environment's unless told, one at a
// time.
class ComPorts : public PortSource
{
public:
    explicit ComPorts(PortMaker maker, EnvLookup env = processEnvironment)
        : m_maker(std::move(maker)), m_env(std::move(env))
    {}

    Port& portFor(int com) override
    {
        m_current.reset();
        m_current = m_maker.makeForCom(com, m_env);
        return *m_current;
    }

private:
    PortMaker m_maker;
    EnvLookup m_env;
    std::unique_ptr<Port> m_current;
};

} // namespace qm240lx
