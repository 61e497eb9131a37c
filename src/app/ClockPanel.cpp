#include "app/ClockPanel.h"

#include <utility>

#include <QLocale>

namespace qm240lx {

namespace {

constexpr int refreshMs = 1000;

} // namespace

ClockPanel::ClockPanel(Shows shows, QWidget* parent, Clock clock)
    : QLabel(parent), m_shows(shows), m_clock(std::move(clock))
{
    connect(&m_timer, &QTimer::timeout, this, &ClockPanel::refresh);
    m_timer.start(refreshMs);
    refresh();
}

void ClockPanel::refresh()
{
    const QDateTime now = m_clock();
    const QLocale locale = QLocale::system();
    setText(m_shows == Shows::Date ? locale.toString(now.date(), QLocale::ShortFormat)
                                   : locale.toString(now.time(), QLocale::ShortFormat));
}

} // namespace qm240lx
