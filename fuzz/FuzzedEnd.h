#pragma once

#include "support/FarEnd.h"

class FuzzedDataProvider;

namespace qm240lx::fuzz {

// The adapter's end of a virtual line and the passing of time, both played
// from the fuzz input: each command byte written draws its answer (some bytes
// after some delay, the loss of the port, both, or silence), and each pass of
// a wait draws how far the clock moves.
class FuzzedEnd : public test::FarEnd
{
public:
    explicit FuzzedEnd(FuzzedDataProvider& input) : m_input(input) {}

    void take(std::uint8_t byte, test::VirtualLine& line) override;
    Tick passStep(Tick longest, Tick toNextDelivery) override;

    // Lets time pass between commands, with stray bytes arriving meanwhile.
    void idle(test::VirtualLine& line);

private:
    FuzzedDataProvider& m_input;
    bool m_valueNext = false;
};

} // namespace qm240lx::fuzz
