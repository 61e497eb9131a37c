#include "link/HostLookup.h"

#include <memory>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <vector>

#include <QUrl>

namespace qm240lx {
namespace {

// One request to glibc's asynchronous resolver and everything it points to.
struct Request
{
    explicit Request(const QString& host) : name(QUrl::toAce(host))
    {
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        block.ar_name = name.constData();
        block.ar_request = &hints;
    }
    ~Request()
    {
        if (block.ar_result)
            ::freeaddrinfo(block.ar_result);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    QByteArray name;
    addrinfo hints{};
    gaicb block{};
};

// A request given up on may still be written to by the resolver, so it is
// kept for the rest of the run: one small block per opening that timed out.
void keepUntilExit(std::unique_ptr<Request> request)
{
    static std::mutex guard;
    static std::vector<std::unique_ptr<Request>> abandoned;
    const std::lock_guard lock(guard);
    abandoned.push_back(std::move(request));
}

QList<QHostAddress> addressesOf(const addrinfo* list)
{
    QList<QHostAddress> addresses;
    for (const addrinfo* each = list; each; each = each->ai_next) {
        const QHostAddress address(each->ai_addr);
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    return addresses;
}

} // namespace

std::variant<QList<QHostAddress>, HostLookup::Failure>
HostLookup::run(const QString& host, const QDeadlineTimer& deadline)
{
    if (const QHostAddress literal(host); !literal.isNull())
        return QList<QHostAddress>{literal};
    auto request = std::make_unique<Request>(host);
    gaicb* requests[] = {&request->block};
    if (::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0)
        return Failure::Unknown;
    while (::gai_error(&request->block) == EAI_INPROGRESS && !deadline.hasExpired()) {
        const qint64 ms = deadline.remainingTime();
        const timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
        ::gai_suspend(requests, 1, &wait);
    }
    const int status = ::gai_error(&request->block);
    if (status == EAI_INPROGRESS && ::gai_cancel(&request->block) != EAI_CANCELED) {
        keepUntilExit(std::move(request));
        return Failure::TimedOut;
    }
    if (status != 0)
        return status == EAI_INPROGRESS ? Failure::TimedOut : Failure::Unknown;
    const QList<QHostAddress> addresses = addressesOf(request->block.ar_result);
    if (addresses.isEmpty())
        return Failure::Unknown;
    return addresses;
}

} // namespace qm240lx
