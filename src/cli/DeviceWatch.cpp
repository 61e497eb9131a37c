#include "cli/DeviceWatch.h"

#include <cerrno>
#include <cstring>
#include <fnmatch.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

namespace qm240lx {
namespace {

// Enough for every folder on the way to come or go between two looks.
constexpr int maxLooks = 16;

constexpr std::uint32_t events =
    IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE_SELF | IN_ONLYDIR;

// The folder that exists, `folder` itself or the nearest above it.
QString nearestExisting(QString folder)
{
    while (!QFileInfo(folder).isDir() && folder != QLatin1String("/"))
        folder = QFileInfo(folder).path();
    return folder;
}

} // namespace

DeviceWatch::DeviceWatch(QStringList patterns, QObject* parent)
    : QObject(parent), m_patterns(std::move(patterns))
{
    for (const QString& pattern : m_patterns)
        m_wanted.insert(QFileInfo(pattern).path());
}

DeviceWatch::~DeviceWatch()
{
    stop();
}

std::optional<QStringList> DeviceWatch::start()
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        m_error = QStringLiteral("cannot watch for devices: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    if (!watchFolders(false)) {
        stop();
        return std::nullopt;
    }
    m_notifier.emplace(m_fd, QSocketNotifier::Read);
    connect(&*m_notifier, &QSocketNotifier::activated, this, &DeviceWatch::readEvents);
    QStringList present = m_names.values();
    present.removeDuplicates();
    return present;
}

void DeviceWatch::stop()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_watched.clear();
}

// Watches each wanted folder that exists and is not watched yet, and the
// nearest existing folder above each one that does not, so that its creation
// is seen. The names a newly watched folder already holds appear.
bool DeviceWatch::watchFolders(bool announce)
{
    for (const QString& folder : m_wanted) {
        if (!m_watched.values().contains(folder) && !watchFolder(folder, announce))
            return false;
    }
    return true;
}

// A folder on the way may be removed, or made, between the look and the
// watch: the look is taken again until it holds.
bool DeviceWatch::watchFolder(const QString& folder, bool announce)
{
    for (int look = 1;; ++look) {
        const QString watched = nearestExisting(folder);
        const int watch = ::inotify_add_watch(m_fd, QFile::encodeName(watched).constData(), events);
        if (watch < 0 && errno == ENOENT && look < maxLooks)
            continue;
        if (watch < 0) {
            m_error = QStringLiteral("cannot watch %1: %2")
                          .arg(watched, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        m_watched.insert(watch, watched);
        if (watched == folder) {
            scan(folder, announce);
            return true;
        }
        if (nearestExisting(folder) == watched)
            return true;
    }
}

// The kernel's queue overflowed and events were lost: what is there now
// counts.
void DeviceWatch::rescan()
{
    for (const QString& known : m_names.keys()) {
        if (!QFileInfo::exists(known))
            nameVanished(known);
    }
    for (const QString& folder : m_watched) {
        if (m_wanted.contains(folder))
            scan(folder, true);
    }
}

// Told from the next turn: the watch is stopped outside its notifier's signal.
void DeviceWatch::keepWatching()
{
    if (watchFolders(true))
        return;
    m_notifier->setEnabled(false);
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT failed(m_error); }, Qt::QueuedConnection);
}

void DeviceWatch::scan(const QString& folder, bool announce)
{
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        nameAppeared(folder + QLatin1Char('/') + name, announce);
}

void DeviceWatch::readEvents()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            handle(event->wd, event->mask,
                   event->len > 0 ? QFile::decodeName(event->name) : QString());
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void DeviceWatch::handle(int watch, std::uint32_t mask, const QString& name)
{
    if (mask & IN_Q_OVERFLOW) {
        rescan();
        return;
    }
    if (mask & IN_IGNORED) {
        // The folder went: watch for it to come back.
        const QString gone = m_watched.take(watch);
        for (const QString& known : m_names.keys()) {
            if (QFileInfo(known).path() == gone)
                nameVanished(known);
        }
        keepWatching();
        return;
    }
    const QString folder = m_watched.value(watch);
    if (folder.isEmpty() || name.isEmpty())
        return;
    const QString path = folder + QLatin1Char('/') + name;
    if (mask & IN_ISDIR) {
        if (mask & (IN_CREATE | IN_MOVED_TO)) {
            // A wanted folder, or one on the way to it, was made.
            for (auto other = m_watched.begin(); other != m_watched.end();) {
                if (!m_wanted.contains(other.value())) {
                    ::inotify_rm_watch(m_fd, other.key());
                    other = m_watched.erase(other);
                } else {
                    ++other;
                }
            }
            keepWatching();
        }
        return;
    }
    if (mask & (IN_CREATE | IN_MOVED_TO))
        nameAppeared(path, true);
    else if (mask & (IN_DELETE | IN_MOVED_FROM))
        nameVanished(path);
}

bool DeviceWatch::matches(const QString& path) const
{
    const QFileInfo file(path);
    const QByteArray name = QFile::encodeName(file.fileName());
    for (const QString& pattern : m_patterns) {
        const QFileInfo glob(pattern);
        if (glob.path() == file.path() && ::fnmatch(QFile::encodeName(glob.fileName()).constData(),
                                                    name.constData(), FNM_PERIOD) == 0)
            return true;
    }
    return false;
}

void DeviceWatch::nameAppeared(const QString& path, bool announce)
{
    if (m_names.contains(path) || !matches(path))
        return;
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty())
        return; // a link to nothing, or gone already
    const bool known = m_names.values().contains(device);
    m_names.insert(path, device);
    if (announce && !known)
        Q_EMIT appeared(device);
}

void DeviceWatch::nameVanished(const QString& path)
{
    m_names.remove(path);
}

} // namespace qm240lx
