#include "link/HostLookup.h"

#include "async/Wakeup.h"

#include <optional>

#include <QHostInfo>
#include <QScopeGuard>

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

Task<HostLookup::Result> HostLookup::run(QString host, Deadline& deadline)
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
    const Deadline::Watch watch = deadline.watch(wakeup);
    while (!answer && !deadline.over())
        co_await wakeup;
    if (!answer)
        co_return Failure::TimedOut;
    const QList<QHostAddress> addresses = distinct(answer->addresses());
    if (answer->error() != QHostInfo::NoError || addresses.isEmpty())
        co_return Failure::Unknown;
    co_return addresses;
}

} // namespace qm240lx
