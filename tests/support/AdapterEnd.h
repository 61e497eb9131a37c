#pragma once

#include "sim/Adapter.h"
#include "support/FarEnd.h"

namespace qm240lx::test {

// The emulator's adapter model at the far end: it takes each byte at the
// line's time and its replies arrive when due. Once unplugged it is gone:
// the port neither works nor opens again.
class AdapterEnd : public FarEnd
{
public:
    explicit AdapterEnd(sim::Adapter adapter) : m_adapter(std::move(adapter)) {}

    const sim::Adapter& adapter() const { return m_adapter; }
    int flashWrites() const { return m_flashWrites; }

    void take(std::uint8_t byte, VirtualLine& line) override;

private:
    sim::Adapter m_adapter;
    int m_flashWrites = 0;
};

} // namespace qm240lx::test
