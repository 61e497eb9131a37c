#pragma once

#include "async/Alarm.h"

#include <QTimer>

namespace qm240lx {

// Alarm on a precise QTimer of the calling thread's event loop.
class QtAlarm : public Alarm
{
public:
    QtAlarm();

    void set(Tick ms, std::function<void()> ring) override;
    void cancel() override;

private:
    QTimer m_timer;
    std::function<void()> m_ring;
};

} // namespace qm240lx
