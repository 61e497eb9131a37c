#include "async/Wakeup.h"

#include <utility>

namespace qm240lx {

Wakeup::Wakeup() = default;

void Wakeup::wake()
{
    m_woken = true;
    if (m_waiting)
        QMetaObject::invokeMethod(
            &m_context, [this] { resume(); }, Qt::QueuedConnection);
}

void Wakeup::resume()
{
    if (const std::coroutine_handle<> waiting = std::exchange(m_waiting, {}))
        waiting.resume();
}

} // namespace qm240lx
