#pragma once

#include "link/CommControl.h"

#include <cstdint>
#include <functional>
#include <optional>

#include <QObject>
#include <QSerialPort>
#include <QStringList>

namespace qm240lx {

struct PortLock;

// CommControl on QSerialPort. Received bytes stay in QSerialPort's own buffer,
// which the event loop fills; each readyRead is news. A port that
// fails while open (an unplugged adapter, a closed pseudo-terminal master) is
// marked lost at once and closed from the event loop afterwards.
class QtSerialComm : public QObject, public CommControl
{
    Q_OBJECT

public:
    using DeviceResolver = std::function<std::optional<QString>(int com)>;
    using ConsoleCheck = std::function<bool(const QString& device)>;

    static constexpr qint32 baudRate = 9600;
    static constexpr qint64 receiveBufferSize = 1024;
    // QSerialPort has no transmit buffer limit to set: bytes written wait in
    // its write buffer until the driver takes them. Kept to document the line.
    static constexpr qint64 transmitBufferSize = 512;

    explicit QtSerialComm(QObject* parent = nullptr);
    QtSerialComm(DeviceResolver resolveDevice, ConsoleCheck isConsole, QObject* parent = nullptr);
    ~QtSerialComm() override;

    // Numbers outside 1 to 255, and any number while the port is open, are
    // refused: the previous number stays in force.
    void setCommPort(int port) override;
    int commPort() const override;

    Task<bool> open() override;
    void close() override;
    bool portOpen() const override;
    void setNewsHandler(std::function<void()> handler) override;

    bool output(const QByteArray& bytes) override;

    // 0 (the default) takes every waiting byte.
    void setInputLen(int length) override;
    int inputLen() const override;

    std::optional<int> inBufferCount() override;
    std::optional<QByteArray> input() override;
    void discardInput() override;

    QString deviceName() const override;
    PortError lastError() const override;

    // Where the lock file of a port that cannot be opened is looked for, to
    // tell who holds it; QSerialPort's own folders unless set.
    void setLockDirectories(const QStringList& directories);

Q_SIGNALS:
    // The open port failed and has been closed.
    void portLost();

private:
    bool openNow();
    void tellNews();
    bool fail(PortError::Kind kind, const QString& device, const QString& message);
    bool failOpening(const QString& device);
    bool failOnStaleLock(const QString& device, const PortLock& lock);
    void configurePort(const QString& device);
    void dropStaleBytes();
    bool systemReportsLoss();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void closeLostPort(std::uint64_t opening);

    QSerialPort m_port;
    DeviceResolver m_resolveDevice;
    ConsoleCheck m_isConsole;
    QStringList m_lockDirectories;
    int m_commPort = 1;
    int m_inputLen = 0;
    QString m_device; // of the port opened last
    bool m_lost = false;
    std::uint64_t m_opening = 0;
    PortError m_error;
    std::function<void()> m_news;
};

} // namespace qm240lx
