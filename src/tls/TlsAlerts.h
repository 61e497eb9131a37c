#pragma once

#include <optional>

#include <QSsl>
#include <QString>

class QSslSocket;

namespace qm240lx {

// What a TLS server said of a handshake, as Qt reports it, typed: the first
// fatal alert it sent, and whether it sent that before or after it had seen this
// client's answer to its own first flight (with TLS 1.2 a client certificate
// goes in that answer; a server that shares no cipher suite or version
// answers the greeting alone).
class TlsAlerts
{
public:
    // Records the socket's news from now on; once per socket.
    void watch(QSslSocket& socket);

    // Forgets what a former handshake recorded.
    void clear();

    std::optional<QSsl::AlertType> received() const { return m_received; }
    // Its name as OpenSSL gives it ("handshake failure").
    QString description() const { return m_description; }

    // Whether the alert came after this client wrote more than its greeting.
    bool afterAnswer() const { return m_writesBeforeAlert > 1; }

    // The first fatal alert this side sent: for one, a server's answer in a
    // TLS version older than 1.2.
    std::optional<QSsl::AlertType> sent() const { return m_sent; }

private:
    void onWritten();
    void onAlert(QSsl::AlertLevel level, QSsl::AlertType type, const QString& description);

    std::optional<QSsl::AlertType> m_received;
    std::optional<QSsl::AlertType> m_sent;
    QString m_description;
    int m_writes = 0;
    int m_writesBeforeAlert = 0;
};

} // namespace qm240lx
