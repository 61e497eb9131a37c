#include "support/Ser2net.h"

#include <algorithm>
#include <set>

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

namespace qm240lx::test {
namespace {

constexpr int startPolls = 100;
constexpr int pollIntervalMs = 50;

// Whether a socket listens on 127.0.0.1:`port`, from the kernel's own table;
// connecting to find out would open the serial device.
bool listening(std::uint16_t port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
            return true;
    }
    return false;
}

} // namespace

Ser2net::~Ser2net()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        kill();
}

std::uint16_t Ser2net::freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool Ser2net::start(const QString& device, const QString& line, const std::optional<Tls>& tls)
{
    return start(QStringList{device}, line, tls);
}

bool Ser2net::start(const QStringList& devices, const QString& line, const std::optional<Tls>& tls)
{
    m_tls = tls;
    // An ordinary user's PATH may lack /usr/sbin.
    QString program = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                                 {QStringLiteral("/usr/sbin")});
    if (program.isEmpty() || !m_dir.isValid()) {
        m_error = QStringLiteral("ser2net is not installed (scripts/install-deps installs it)");
        return false;
    }
    if (m_tls && !m_tls->clientCa.isEmpty() && !allowClients())
        return false;
    std::set<std::uint16_t> taken;
    const auto newPort = [&taken] {
        std::uint16_t port = 0;
        do {
            port = freePort();
        } while (!taken.insert(port).second);
        return port;
    };
    for (qsizetype index = 0; index < devices.size(); ++index)
        m_ports.push_back({newPort(), newPort()});
    QFile config(m_dir.filePath(QStringLiteral("ser2net.yaml")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(configuration(devices, line).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(config.fileName());
        return false;
    }
    config.close();
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("output")));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                              config.fileName(), QStringLiteral("-P"),
                              m_dir.filePath(QStringLiteral("ser2net.pid"))});
    return waitUntilListening();
}

bool Ser2net::waitUntilListening()
{
    const auto allListening = [this] {
        return std::ranges::all_of(m_ports, [](const Ports& ports) {
            return listening(ports.rfc2217) && listening(ports.tcp);
        });
    };
    for (int poll = 0; poll < startPolls; ++poll) {
        if (allListening())
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
        QThread::msleep(pollIntervalMs);
    }
    QFile output(m_dir.filePath(QStringLiteral("output")));
    output.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("ser2net does not listen on ports %1 and %2 and on: %3 %4")
                  .arg(m_ports.front().rfc2217)
                  .arg(m_ports.front().tcp)
                  .arg(m_process.errorString(), QString::fromLocal8Bit(output.readAll()));
    return false;
}

// A new client takes the device over from one that is still connected, so
// a test never waits for ser2net to notice that the last one left.
QString Ser2net::configuration(const QStringList& devices, const QString& line) const
{
    const QString authdir =
        m_tls && !m_tls->clientCa.isEmpty()
            ? QStringLiteral("    authdir: %1\n").arg(m_dir.filePath(QStringLiteral("auth")))
            : QString();
    QString text = QStringLiteral("%YAML 1.1\n---\n");
    for (qsizetype index = 0; index < devices.size(); ++index) {
        const QString connector =
            QStringLiteral("serialdev,%1,%2,local").arg(devices.at(index), line);
        text += QStringLiteral("connection: &rfc2217_%6\n"
                               "  accepter: telnet(rfc2217),%4tcp,127.0.0.1,%1\n"
                               "  connector: %3\n"
                               "  options:\n"
                               "    kickolduser: true\n%5"
                               "\n"
                               "connection: &raw_%6\n"
                               "  accepter: %4tcp,127.0.0.1,%2\n"
                               "  connector: %3\n"
                               "  options:\n"
                               "    kickolduser: true\n%5\n")
                    .arg(m_ports.at(index).rfc2217)
                    .arg(m_ports.at(index).tcp)
                    .arg(connector, tlsLayer(), authdir)
                    .arg(index);
    }
    return text;
}

// "ssl(key=KEY,cert=CERT)," in front of tcp; with client certificates, ssl
// asks for one and ser2net lets through those that a CA in the user's
// allowed_certs issued, the user being the certificate's common name.
QString Ser2net::tlsLayer() const
{
    if (!m_tls)
        return QString();
    const QString clientAuth =
        m_tls->clientCa.isEmpty() ? QString() : QStringLiteral(",clientauth");
    return QStringLiteral("ssl(key=%1,cert=%2%3),").arg(m_tls->key, m_tls->cert, clientAuth);
}

bool Ser2net::allowClients()
{
    const QString allowed = m_dir.filePath(QStringLiteral("auth/client/allowed_certs"));
    QProcess rehash;
    if (QDir().mkpath(allowed) &&
        QFile::copy(m_tls->clientCa, allowed + QStringLiteral("/ca.crt"))) {
        rehash.start(QStringLiteral("openssl"), {QStringLiteral("rehash"), allowed});
        if (rehash.waitForFinished(10000) && rehash.exitCode() == 0)
            return true;
    }
    m_error = QStringLiteral("cannot set up %1: %2").arg(allowed, rehash.errorString());
    return false;
}

QString Ser2net::rfc2217Address(int index) const
{
    return QStringLiteral("rfc2217%1://127.0.0.1:%2")
        .arg(m_tls ? "+tls" : "")
        .arg(m_ports.at(index).rfc2217);
}

QString Ser2net::tcpAddress(int index) const
{
    return QStringLiteral("tcp%1://127.0.0.1:%2")
        .arg(m_tls ? "+tls" : "")
        .arg(m_ports.at(index).tcp);
}

void Ser2net::kill()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

} // namespace qm240lx::test
