#pragma once

#include "async/Task.h"

#include <stdexcept>

#include <QTest>

namespace qm240lx::test {

// Lets the event loop run until `task` ends, and gives its result.
template <typename T> T finish(Task<T> task, int mostMs = 30000)
{
    if (!QTest::qWaitFor([&task] { return task.done(); }, mostMs))
        throw std::runtime_error("a task did not end");
    return task.result();
}

} // namespace qm240lx::test
