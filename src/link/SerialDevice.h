#pragma once

#include "link/Layer.h"
#include "link/Port.h"

#include <cstdint>
#include <functional>
#include <optional>

#include <QObject>
#include <QSerialPort>
#include <QStringList>

namespace qm240lx {

struct PortLock;

// A serial device, at 9600 baud, 8N1, no flow control. Received bytes stay in
// QSerialPort's own buffer, which the event loop fills; each readyRead is
// news. A port that fails while open (an unplugged adapter, a closed
// pseudo-terminal master) is marked lost at once and closed from the event
// loop afterwards.
class SerialDevice : public QObject, public Layer
{
    Q_OBJECT

public:
    using ConsoleCheck = std::function<bool(const QString& device)>;

    static constexpr qint32 baudRate = 9600;
    static constexpr qint64 receiveBufferSize = 1024;

    // `com`, when the device was named by its COM number, names it in messages.
    SerialDevice(QString device, std::optional<int> com, ConsoleCheck isConsole,
                 QStringList lockDirectories);
    ~SerialDevice() override;

    Task<bool> open(Deadline& deadline) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    std::optional<int> waiting() override;
    std::optional<QByteArray> take(int most) override;
    void discard() override;
    Tick quietGapMs() const override { return serialQuietGapMs; }
    void setNewsHandler(std::function<void()> handler) override;
    PortError failure() const override { return m_error; }

Q_SIGNALS:
    // The open port failed and has been closed.
    void portLost();

private:
    bool openNow();
    void tellNews();
    bool fail(PortError::Kind kind, const QString& message);
    QString notFound() const;
    bool failOpening();
    bool failOnStaleLock(const PortLock& lock);
    void configurePort();
    void dropStaleBytes();
    bool systemReportsLoss();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void closeLostPort(std::uint64_t opening);

    QSerialPort m_port;
    QString m_device;
    std::optional<int> m_com;
    ConsoleCheck m_isConsole;
    QStringList m_lockDirectories;
    bool m_lost = false;
    std::uint64_t m_opening = 0;
    PortError m_error;
    std::function<void()> m_news;
};

} // namespace qm240lx
