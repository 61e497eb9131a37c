#include "link/PortComm.h"

#include "link/ComMap.h"
#include "link/NetAddress.h"

#include <utility>

namespace qm240lx {

PortComm::PortComm() : PortComm([](int com) { return comDevice(com); }, isSystemConsole) {}

PortComm::PortComm(const QtSerialComm::DeviceResolver& resolveDevice,
                   QtSerialComm::ConsoleCheck isConsole)
    : m_resolveDevice(resolveDevice), m_serial(resolveDevice, std::move(isConsole)),
      m_network(resolveDevice)
{}

void PortComm::setCommPort(int port)
{
    if (m_active->portOpen())
        return;
    m_serial.setCommPort(port);
    m_network.setCommPort(port);
}

int PortComm::commPort() const
{
    return m_active->commPort();
}

Task<bool> PortComm::open()
{
    if (m_active->portOpen())
        co_return true;
    const std::optional<QString> device = m_resolveDevice(m_serial.commPort());
    m_active = device && NetAddress::isNetworkPort(*device) ? static_cast<CommControl*>(&m_network)
                                                            : &m_serial;
    co_return co_await m_active->open();
}

void PortComm::close()
{
    m_serial.close();
    m_network.close();
}

void PortComm::setNewsHandler(std::function<void()> handler)
{
    m_serial.setNewsHandler(handler);
    m_network.setNewsHandler(std::move(handler));
}

bool PortComm::portOpen() const
{
    return m_active->portOpen();
}

bool PortComm::output(const QByteArray& bytes)
{
    return m_active->output(bytes);
}

void PortComm::setInputLen(int length)
{
    m_serial.setInputLen(length);
    m_network.setInputLen(length);
}

int PortComm::inputLen() const
{
    return m_active->inputLen();
}

std::optional<int> PortComm::inBufferCount()
{
    return m_active->inBufferCount();
}

std::optional<QByteArray> PortComm::input()
{
    return m_active->input();
}

void PortComm::discardInput()
{
    m_active->discardInput();
}

QString PortComm::deviceName() const
{
    return m_active->deviceName();
}

PortError PortComm::lastError() const
{
    return m_active->lastError();
}

} // namespace qm240lx
