#pragma once

#include <functional>
#include <optional>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace qm240lx {

// Looks up one environment variable: nullopt when it is not set.
using EnvLookup = std::function<std::optional<QString>(const QString& name)>;

inline constexpr int firstComNumber = 1;
inline constexpr int lastComNumber = 255;

// The process environment as an EnvLookup.
std::optional<QString> processEnvironment(const QString& name);

// "COM<n>", as ports are named to the user.
QString comName(int com);

// "QM240LX_COM<n>": a non-empty value replaces the device of COM n.
QString comOverrideVariable(int com);

// COM 1-32 are /dev/ttyS0-31, 33-64 /dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31;
// the others map to nothing.
std::optional<QString> builtInComDevice(int com);

// The device COM n stands for, overrides included.
std::optional<QString> comDevice(int com, const EnvLookup& env);
std::optional<QString> comDevice(int com);

// The device behind a path, symbolic links followed: the canonical path, or
// for a file that is not there its absolute, cleaned spelling. A network
// port stays as it is, without asking the file system.
QString resolvedPath(const QString& device);

// The lowest COM number that stands for `device`, overrides included;
// symbolic links are followed on both sides.
std::optional<int> comNumberOf(const QString& device, const EnvLookup& env);

// The lowest COM number of each network port, or else of each device file,
// that the COM map names, keyed by its resolvedPath(): comNumberOf() for many
// devices at the cost of one. Only device files are looked for in the file
// system.
QHash<QString, int> comNumbersByResolvedPath(const EnvLookup& env, bool networkPorts);

// The lowest COM number that stands for no device at all.
std::optional<int> firstFreeComNumber(const EnvLookup& env);

// Accepts "7", "COM7" or "com7" for COM numbers 1 to 255.
std::optional<int> parseComNumber(const QString& text);

// The COM numbers whose device is overridden, ascending.
QList<int> overriddenComNumbers(const EnvLookup& env);
QList<int> overriddenComNumbers();

// The device paths named by /sys/class/tty/console/active ("tty0 ttyS0").
QStringList parseActiveConsoles(const QString& contents);

// Whether `device` is one of `consoleDevices`, /dev/console or /dev/tty0,
// after following symbolic links on both sides.
bool isConsoleDevice(const QString& device, const QStringList& consoleDevices);

// Whether the device file is there. A network port counts as present: only
// connecting to it would tell.
bool devicePresent(const QString& device);

// The same against the consoles the kernel reports as active right now.
bool isSystemConsole(const QString& device);

} // namespace qm240lx
