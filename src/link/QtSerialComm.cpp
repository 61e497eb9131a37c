#include "link/QtSerialComm.h"

#include "link/ComMap.h"
#include "link/PortLock.h"

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

QtSerialComm::QtSerialComm(QObject* parent)
    : QtSerialComm([](int com) { return comDevice(com); }, isSystemConsole, parent)
{}

QtSerialComm::QtSerialComm(DeviceResolver resolveDevice, ConsoleCheck isConsole, QObject* parent)
    : QObject(parent), m_resolveDevice(std::move(resolveDevice)), m_isConsole(std::move(isConsole)),
      m_lockDirectories(PortLock::systemDirectories())
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComm::onErrorOccurred);
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialComm::tellNews, Qt::QueuedConnection);
}

QtSerialComm::~QtSerialComm()
{
    close();
}

void QtSerialComm::setCommPort(int port)
{
    if (m_port.isOpen() || port < firstComNumber || port > lastComNumber)
        return;
    m_commPort = port;
}

int QtSerialComm::commPort() const
{
    return m_commPort;
}

Task<bool> QtSerialComm::open()
{
    co_return portOpen() || openNow();
}

bool QtSerialComm::portOpen() const
{
    return m_port.isOpen() && !m_lost;
}

bool QtSerialComm::output(const QByteArray& bytes)
{
    if (!portOpen())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    m_port.flush();
    return true;
}

void QtSerialComm::setInputLen(int length)
{
    m_inputLen = std::max(length, 0);
}

int QtSerialComm::inputLen() const
{
    return m_inputLen;
}

std::optional<int> QtSerialComm::inBufferCount()
{
    if (!portOpen())
        return std::nullopt;
    return static_cast<int>(m_port.bytesAvailable());
}

std::optional<QByteArray> QtSerialComm::input()
{
    if (!portOpen())
        return std::nullopt;
    const qint64 available = m_port.bytesAvailable();
    const qint64 wanted = m_inputLen == 0 ? available : std::min<qint64>(m_inputLen, available);
    if (wanted == 0)
        return QByteArray();
    return m_port.read(wanted);
}

void QtSerialComm::discardInput()
{
    if (!portOpen())
        return;
    m_port.readAll();
    m_port.clear(QSerialPort::Input);
}

QString QtSerialComm::deviceName() const
{
    return m_resolveDevice(m_commPort).value_or(QString());
}

PortError QtSerialComm::lastError() const
{
    return m_error;
}

void QtSerialComm::setNewsHandler(std::function<void()> handler)
{
    m_news = std::move(handler);
}

void QtSerialComm::tellNews()
{
    if (m_news)
        m_news();
}

void QtSerialComm::setLockDirectories(const QStringList& directories)
{
    m_lockDirectories = directories;
}

bool QtSerialComm::openNow()
{
    close();
    m_lost = false;
    m_error = {};
    const std::optional<QString> device = m_resolveDevice(m_commPort);
    if (!device) {
        return fail(PortError::Kind::NoSuchDevice, QString(),
                    tr("COM%1 stands for no serial device; set %2 to choose one.")
                        .arg(m_commPort)
                        .arg(comOverrideVariable(m_commPort)));
    }
    if (!QFileInfo::exists(*device)) {
        return fail(
            PortError::Kind::NoSuchDevice, *device,
            tr("The serial device %1 (COM%2) does not exist.").arg(*device).arg(m_commPort));
    }
    if (m_isConsole(*device)) {
        return fail(
            PortError::Kind::SystemConsole, *device,
            tr("%1 is the system console and is never opened as a serial port.").arg(*device));
    }
    configurePort(*device);
    if (!m_port.open(QIODevice::ReadWrite))
        return failOpening(*device);
    ++m_opening;
    m_device = *device;
    dropStaleBytes();
    return true;
}

void QtSerialComm::close()
{
    m_lost = false;
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialComm::fail(PortError::Kind kind, const QString& device, const QString& message)
{
    m_error = PortError{kind, device, message};
    return false;
}

// QSerialPort says PermissionError both for a port another program holds and
// for a device we may not use.
bool QtSerialComm::failOpening(const QString& device)
{
    const QSerialPort::SerialPortError error = m_port.error();
    const QString reason = m_port.errorString();
    m_port.clearError();
    if (error == QSerialPort::DeviceNotFoundError) {
        return fail(PortError::Kind::NoSuchDevice, device,
                    tr("The serial device %1 (COM%2) does not exist.").arg(device).arg(m_commPort));
    }
    if (error != QSerialPort::PermissionError) {
        return fail(PortError::Kind::Other, device, tr("Cannot open %1: %2").arg(device, reason));
    }
    if (const std::optional<PortLock> lock = PortLock::find(device, m_lockDirectories)) {
        if (lock->ownerRuns) {
            return fail(PortError::Kind::Busy, device,
                        tr("%1 is in use by another program (pid %2).").arg(device).arg(lock->pid));
        }
        return failOnStaleLock(device, *lock);
    }
    if (!mayReadAndWrite(device)) {
        return fail(PortError::Kind::PermissionDenied, device,
                    tr("No permission to use %1: add your user to the dialout group and log in "
                       "again.")
                        .arg(device));
    }
    return fail(PortError::Kind::Busy, device, tr("%1 is in use by another program.").arg(device));
}

// QSerialPort removes a stale lock by itself; one it could not remove
// belongs to another user, in a folder where only that user or root may
// delete it.
bool QtSerialComm::failOnStaleLock(const QString& device, const PortLock& lock)
{
    const QString owner = lock.program.isEmpty()
                              ? QString::number(lock.pid)
                              : QStringLiteral("%1 (%2)").arg(lock.pid).arg(lock.program);
    return fail(PortError::Kind::StaleLock, device,
                tr("%1 is held by the stale lock file %2 left by pid %3, which no longer runs; "
                   "its owner or root must remove it.")
                    .arg(device, lock.file, owner));
}

void QtSerialComm::configurePort(const QString& device)
{
    m_port.setPortName(device);
    m_port.setBaudRate(baudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(receiveBufferSize);
    m_port.clearError();
}

// Bytes the driver received before the opening survive it.
void QtSerialComm::dropStaleBytes()
{
    m_port.clear(QSerialPort::AllDirections);
    m_port.readAll();
}

// A failed read is a loss only when the system reports the device hung up
// or failing. The event loop can run a discard between seeing bytes on the
// device and Qt's read of them, which then finds nothing and says ReadError
// (or ResourceError, after which Qt stops reading until told again).
bool QtSerialComm::systemReportsLoss()
{
    pollfd device{static_cast<int>(m_port.handle()), POLLIN, 0};
    const int ready = ::poll(&device, 1, 0);
    return ready < 0 || (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Never closes the port here: QSerialPort is still inside its own handler.
void QtSerialComm::onErrorOccurred(QSerialPort::SerialPortError error)
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
void QtSerialComm::closeLostPort(std::uint64_t opening)
{
    if (opening != m_opening || !m_lost)
        return;
    m_port.close();
    Q_EMIT portLost();
    tellNews();
}

} // namespace qm240lx
