#include "app/ClockPanel.h"

#include <utility>

#include <QLocale>

namespace qm240lx {

namespace {

constexpr int refreshMs = 1000;

} // namespace

ClockPanel::ClockPanel(Shows shows, QWidget* parent, Clock clock)
    : QLabel(parent), shows_(shows), clock_(std::move(clock))
{
    connect(&timer_, &QTimer::timeout, this, &ClockPanel::refresh);
    timer_.start(refreshMs);
    refresh();
}

void ClockPanel::refresh()
{
    const QDateTime now = clock_();
    const QLocale locale = QLocale::system();
    setText(shows_ == Shows::Date ? locale.toString(now.date(), QLocale::ShortFormat)
                                  : locale.toString(now.time(), QLocale::ShortFormat));
}

} // namespace qm240lx
