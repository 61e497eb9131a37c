#pragma once

#include "link/CommControl.h"
#include "link/QtSerialComm.h"
#include "link/QtTcpComm.h"

namespace qm240lx {

// The serial control for whatever a COM number stands for: a device, opened
// as a serial port, or a network port (rfc2217:// or tcp://), reached over
// TCP. Which one is decided at each opening, so the window can go from a
// device to a network port through its COM list.
class PortComm : public CommControl
{
public:
    // The COM map of the process environment and the system console.
    PortComm();
    PortComm(const QtSerialComm::DeviceResolver& resolveDevice,
             QtSerialComm::ConsoleCheck isConsole);

    void setCommPort(int port) override;
    int commPort() const override;
    Task<bool> open() override;
    void close() override;
    bool portOpen() const override;
    void setNewsHandler(std::function<void()> handler) override;
    bool output(const QByteArray& bytes) override;
    void setInputLen(int length) override;
    int inputLen() const override;
    std::optional<int> inBufferCount() override;
    std::optional<QByteArray> input() override;
    void discardInput() override;
    Tick quietGapMs() const override { return m_active->quietGapMs(); }
    QString deviceName() const override;
    PortError lastError() const override;

private:
    QtSerialComm::DeviceResolver m_resolveDevice;
    QtSerialComm m_serial;
    QtTcpComm m_network;
    CommControl* m_active = &m_serial; // the one opened last
};

} // namespace qm240lx
