#pragma once

#include "sim/UniqueFd.h"

#include <optional>

#include <QString>

namespace qm240lx::sim {

// The emulator's end of the serial line: a pseudo-terminal whose slave side a
// host opens as its serial device. The emulator reads and writes the master.
// It keeps a slave descriptor of its own, so the master sees no hangup while
// no host has the device open and bytes sent in between wait for the next host.
class PtyPort
{
public:
    // Opens the pseudo-terminal, slave side raw 9600 8N1 without echo, master
    // side non-blocking. nullopt with `error` set when that fails.
    static std::optional<PtyPort> open(QString& error);

    PtyPort(PtyPort&& other) noexcept;
    PtyPort& operator=(PtyPort&&) = delete;
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;
    ~PtyPort();

    int masterFd() const { return m_master.get(); }
    const QString& slavePath() const { return m_slavePath; }
    bool isOpen() const { return m_master.isValid(); }

    // Makes `path` a symbolic link to the slave device, replacing a link that
    // is there; another kind of file is left alone and reported. The link goes
    // with the port.
    bool link(const QString& path, QString& error);

    // Pulls the cable: the host sees a hangup, and the device and the link go.
    void unplug();

private:
    PtyPort(UniqueFd master, UniqueFd slave, QString slavePath);
    void removeLink();

    UniqueFd m_master;
    UniqueFd m_slave;
    QString m_slavePath;
    std::optional<QString> m_linkPath;
};

} // namespace qm240lx::sim
