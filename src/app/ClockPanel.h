#pragma once

#include <functional>

#include <QDateTime>
#include <QLabel>
#include <QTimer>

namespace qm240lx {

// A status bar panel showing today's date or the time of day, kept current
// by its own timer.
class ClockPanel : public QLabel
{
    Q_OBJECT

public:
    enum class Shows
    {
        Date,
        Time
    };
    using Clock = std::function<QDateTime()>;

    explicit ClockPanel(Shows shows, QWidget* parent = nullptr,
                        Clock clock = &QDateTime::currentDateTime);

    // Shows the clock's reading now; the timer calls this every second.
    void refresh();

private:
    Shows m_shows;
    Clock m_clock;
    QTimer m_timer{this};
};

} // namespace qm240lx
