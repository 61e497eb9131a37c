#pragma once

#include <cstdint>
#include <optional>
#include <set>

#include <QList>
#include <QMap>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>

namespace qm240lx {

// Serial devices as they appear under glob patterns such as /dev/ttyUSB*,
// told by the kernel (inotify on each pattern's folder), never by polling. A
// device is known by the file it resolves to, so that a device seen through
// two names (/dev/ttyUSB0 and its /dev/serial/by-id link) is one device,
// which appears with its first name and appears again only once its last
// name has gone.
class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatch(QStringList patterns, QObject* parent = nullptr);
    ~DeviceWatch() override;
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Starts watching; the devices present now are returned, not announced.
    // nullopt, with error() telling why, when the kernel refuses to watch.
    std::optional<QStringList> start();
    void stop();
    QString error() const { return m_error; }

Q_SIGNALS:
    // A device appeared: the file its first name resolves to.
    void appeared(const QString& device);
    // The kernel refused to watch a folder again: nothing more is told.
    void failed(const QString& why);

private:
    bool watchFolders(bool announce);
    bool watchFolder(const QString& folder, bool announce);
    void keepWatching();
    void rescan();
    void readEvents();
    void handle(int watch, std::uint32_t mask, const QString& name);
    void scan(const QString& folder, bool announce);
    void nameAppeared(const QString& path, bool announce);
    void nameVanished(const QString& path);
    bool matches(const QString& path) const;

    QStringList m_patterns;
    std::set<QString> m_wanted; // the patterns' folders
    int m_fd = -1;
    std::optional<QSocketNotifier> m_notifier;
    // inotify watch -> the folder it watches: a wanted folder, or the nearest
    // existing folder above one that does not exist yet (/dev/serial/by-id
    // comes and goes with the first and last USB serial device).
    QMap<int, QString> m_watched;
    QMap<QString, QString> m_names; // a present name -> the device it resolves to
    QString m_error;
};

} // namespace qm240lx
