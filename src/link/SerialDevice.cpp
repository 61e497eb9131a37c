#include "link/SerialDevice.h"

#include "naming/PortLock.h"

#include <algorithm>
#include <poll.h>
#include <unistd.h>
#include <utility>

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

namespace qm240lx {

namespace {

bool mayReadAndWrite(const QString& device)
{
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}

bool meansLostPort(QSerialPort::SerialPortError error)
{
    // Qt 6.4.2 reports a hung-up port as an endless ReadError, never as
    // ResourceError; a write to it fails as WriteError.
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
           error == QSerialPort::WriteError;
}

} // namespace

SerialDevice::SerialDevice(QString device, std::optional<int> com, ConsoleCheck isConsole,
                           QStringList lockDirectories)
    : m_device(std::move(device)), m_com(com), m_isConsole(std::move(isConsole)),
      m_lockDirectories(std::move(lockDirectories))
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialDevice::onErrorOccurred);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialDevice::tellNews);
}

SerialDevice::~SerialDevice()
{
    close();
}

Task<bool> SerialDevice::open(Deadline&)
{
    co_return isOpen() || openNow();
}

bool SerialDevice::isOpen() const
{
    return m_port.isOpen() && !m_lost;
}

bool SerialDevice::write(const QByteArray& bytes)
{
    if (!isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    m_port.flush();
    return true;
}

std::optional<int> SerialDevice::waiting()
{
    if (!isOpen())
        return std::nullopt;
    return static_cast<int>(m_port.bytesAvailable());
}

std::optional<QByteArray> SerialDevice::take(int most)
{
    if (!isOpen())
        return std::nullopt;
    const qint64 wanted = std::min<qint64>(std::max(most, 0), m_port.bytesAvailable());
    if (wanted == 0)
        return QByteArray();
    return m_port.read(wanted);
}

void SerialDevice::discard()
{
    if (!isOpen())
        return;
    m_port.readAll();
    m_port.clear(QSerialPort::Input);
}

void SerialDevice::setNewsHandler(std::function<void()> handler)
{
    m_news = std::move(handler);
}

void SerialDevice::tellNews()
{
    if (m_news)
        m_news();
}

bool SerialDevice::openNow()
{
    close();
    m_lost = false;
    m_error = {};
    if (!QFileInfo::exists(m_device))
        return fail(PortError::Kind::DeviceNotFound, notFound());
    if (m_isConsole(m_device)) {
        return fail(
            PortError::Kind::SystemConsole,
            tr("%1 is the system console and is never opened as a serial port.").arg(m_device));
    }
    configurePort();
    if (!m_port.open(QIODevice::ReadWrite))
        return failOpening();
    ++m_opening;
    dropStaleBytes();
    return true;
}

void SerialDevice::close()
{
    m_lost = false;
    if (m_port.isOpen())
        m_port.close();
}

bool SerialDevice::fail(PortError::Kind kind, const QString& message)
{
    m_error = PortError{kind, m_device, message};
    return false;
}

QString SerialDevice::notFound() const
{
    if (!m_com)
        return tr("The serial device %1 does not exist.").arg(m_device);
    return tr("The serial device %1 (COM%2) does not exist.").arg(m_device).arg(*m_com);
}

// QSerialPort says PermissionError both for a port another program holds and
// for a device we may not use.
bool SerialDevice::failOpening()
{
    const QSerialPort::SerialPortError error = m_port.error();
    const QString reason = m_port.errorString();
    m_port.clearError();
    if (error == QSerialPort::DeviceNotFoundError)
        return fail(PortError::Kind::DeviceNotFound, notFound());
    if (error != QSerialPort::PermissionError)
        return fail(PortError::Kind::CannotOpen, tr("Cannot open %1: %2").arg(m_device, reason));
    if (const std::optional<PortLock> lock = PortLock::find(m_device, m_lockDirectories)) {
        if (lock->ownerRuns) {
            return fail(
                PortError::Kind::Busy,
                tr("%1 is in use by another program (pid %2).").arg(m_device).arg(lock->pid));
        }
        return failOnStaleLock(*lock);
    }
    if (!mayReadAndWrite(m_device)) {
        return fail(PortError::Kind::PermissionDenied,
                    tr("No permission to use %1: add your user to the dialout group and log in "
                       "again.")
                        .arg(m_device));
    }
    return fail(PortError::Kind::Busy, tr("%1 is in use by another program.").arg(m_device));
}

// QSerialPort removes a stale lock by itself; one it could not remove
// belongs to another user, in a folder where only that user or root may
// delete it.
bool SerialDevice::failOnStaleLock(const PortLock& lock)
{
    const QString owner = lock.program.isEmpty()
                              ? QString::number(lock.pid)
                              : QStringLiteral("%1 (%2)").arg(lock.pid).arg(lock.program);
    return fail(PortError::Kind::StaleLock,
                tr("%1 is held by the stale lock file %2 left by pid %3, which no longer runs; "
                   "its owner or root must remove it.")
                    .arg(m_device, lock.file, owner));
}

void SerialDevice::configurePort()
{
    m_port.setPortName(m_device);
    m_port.setBaudRate(baudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(receiveBufferSize);
    m_port.clearError();
}

// Bytes the driver received before the opening survive it.
void SerialDevice::dropStaleBytes()
{
    m_port.clear(QSerialPort::AllDirections);
    m_port.readAll();
}

// A failed read is a loss only when the system reports the device hung up
// or failing. The event loop can run a discard between seeing bytes on the
// device and Qt's read of them, which then finds nothing and says ReadError
// (or ResourceError, after which Qt stops reading until told again).
bool SerialDevice::systemReportsLoss()
{
    pollfd device{static_cast<int>(m_port.handle()), POLLIN, 0};
    const int ready = ::poll(&device, 1, 0);
    return ready < 0 || (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Never closes the port here: QSerialPort is still inside its own handler.
void SerialDevice::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (!meansLostPort(error) || m_lost || !m_port.isOpen())
        return;
    if (error != QSerialPort::WriteError && !systemReportsLoss()) {
        m_port.clearError();
        // Setting the buffer size makes QSerialPort read again.
        m_port.setReadBufferSize(receiveBufferSize);
        return;
    }
    m_lost = true;
    m_error =
        PortError{PortError::Kind::Lost, m_device,
                  tr("The connection to %1 was lost; is the adapter unplugged?").arg(m_device)};
    const std::uint64_t opening = m_opening;
    QMetaObject::invokeMethod(
        this, [this, opening] { closeLostPort(opening); }, Qt::QueuedConnection);
}

// A close and reopen since the loss leaves the new port alone.
void SerialDevice::closeLostPort(std::uint64_t opening)
{
    if (opening != m_opening || !m_lost)
        return;
    m_port.close();
    Q_EMIT portLost();
    tellNews();
}

} // namespace qm240lx
