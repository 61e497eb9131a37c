#include "link/HostLookup.h"

#include "link/Wakeup.h"

#include <optional>

#include <QHostInfo>
#include <QScopeGuard>
#include <QTimer>

namespace qm240lx {
namespace {

QList<QHostAddress> distinct(const QList<QHostAddress>& found)
{
    QList<QHostAddress> addresses;
    for (const QHostAddress& address : found) {
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    return addresses;
}

} // namespace

Task<HostLookup::Result> HostLookup::run(QString host, QDeadlineTimer deadline)
{
    if (const QHostAddress literal(host); !literal.isNull())
        co_return QList<QHostAddress>{literal};
    Wakeup wakeup;
    std::optional<QHostInfo> answer;
    QObject receiver; // no answer reaches a lookup given up on
    const int request = QHostInfo::lookupHost(host, &receiver, [&](const QHostInfo& info) {
        answer = info;
        wakeup.wake();
    });
    const auto abandon = qScopeGuard([&] {
        if (!answer)
            QHostInfo::abortHostLookup(request);
    });
    // Set again on each turn: a timer may ring a little before the deadline.
    QTimer expiry;
    expiry.setSingleShot(true);
    expiry.setTimerType(Qt::PreciseTimer);
    QObject::connect(&expiry, &QTimer::timeout, [&] { wakeup.wake(); });
    while (!answer && !deadline.hasExpired()) {
        expiry.start(static_cast<int>(deadline.remainingTime()) + 1);
        co_await wakeup;
    }
    if (!answer)
        co_return Failure::TimedOut;
    const QList<QHostAddress> addresses = distinct(answer->addresses());
    if (answer->error() != QHostInfo::NoError || addresses.isEmpty())
        co_return Failure::Unknown;
    co_return addresses;
}

} // namespace qm240lx
