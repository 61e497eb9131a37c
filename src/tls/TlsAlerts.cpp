#include "tls/TlsAlerts.h"

#include <QSslSocket>

namespace qm240lx {

void TlsAlerts::watch(QSslSocket& socket)
{
    QObject::connect(&socket, &QSslSocket::encryptedBytesWritten, &socket, [this] { onWritten(); });
    QObject::connect(&socket, &QSslSocket::alertReceived, &socket,
                     [this](QSsl::AlertLevel level, QSsl::AlertType type,
                            const QString& description) { onAlert(level, type, description); });
    QObject::connect(&socket, &QSslSocket::alertSent, &socket,
                     [this](QSsl::AlertLevel level, QSsl::AlertType type, const QString&) {
                         if (level == QSsl::AlertLevel::Fatal && !m_sent)
                             m_sent = type;
                     });
}

void TlsAlerts::clear()
{
    m_received.reset();
    m_sent.reset();
    m_description.clear();
    m_writes = 0;
    m_writesBeforeAlert = 0;
}

void TlsAlerts::onWritten()
{
    if (!m_received)
        ++m_writes;
}

void TlsAlerts::onAlert(QSsl::AlertLevel level, QSsl::AlertType type, const QString& description)
{
    if (level != QSsl::AlertLevel::Fatal || m_received)
        return;
    m_received = type;
    m_description = description;
    m_writesBeforeAlert = m_writes;
}

} // namespace qm240lx
