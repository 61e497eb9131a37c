#include "naming/ComMap.h"

#include "naming/NetAddress.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace qm240lx {

namespace {

constexpr int portsPerFamily = 32;

struct DeviceFamily
{
    int firstCom;
    const char* prefix;
};

constexpr DeviceFamily deviceFamilies[] = {
    {1, "/dev/ttyS"},
    {33, "/dev/ttyUSB"},
    {65, "/dev/ttyACM"},
};

const QString activeConsolesFile = QStringLiteral("/sys/class/tty/console/active");

} // namespace

QString resolvedPath(const QString& device)
{
    if (NetAddress::isNetworkPort(device))
        return device;
    const QFileInfo info(device);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

std::optional<QString> processEnvironment(const QString& name)
{
    const QByteArray key = name.toLocal8Bit();
    if (!qEnvironmentVariableIsSet(key.constData()))
        return std::nullopt;
    return qEnvironmentVariable(key.constData());
}

QString comName(int com)
{
    return QStringLiteral("COM%1").arg(com);
}

QString comOverrideVariable(int com)
{
    return QStringLiteral("QM240LX_COM%1").arg(com);
}

std::optional<QString> builtInComDevice(int com)
{
    for (const DeviceFamily& family : deviceFamilies) {
        const int index = com - family.firstCom;
        if (index >= 0 && index < portsPerFamily)
            return QString::fromLatin1(family.prefix) + QString::number(index);
    }
    return std::nullopt;
}

std::optional<QString> comDevice(int com, const EnvLookup& env)
{
    if (com < firstComNumber || com > lastComNumber)
        return std::nullopt;
    const std::optional<QString> overridden = env(comOverrideVariable(com));
    if (overridden && !overridden->isEmpty())
        return overridden;
    return builtInComDevice(com);
}

std::optional<QString> comDevice(int com)
{
    return comDevice(com, processEnvironment);
}

std::optional<int> comNumberOf(const QString& device, const EnvLookup& env)
{
    // A network address names no file: it matches only an override spelling
    // it the same way, and the file system is not asked about either.
    const bool networkPort = NetAddress::isNetworkPort(device);
    const QString wanted = resolvedPath(device);
    for (int com = firstComNumber; com <= lastComNumber; ++com) {
        const std::optional<QString> mapped = comDevice(com, env);
        if (!mapped || NetAddress::isNetworkPort(*mapped) != networkPort)
            continue;
        if (resolvedPath(*mapped) == wanted)
            return com;
    }
    return std::nullopt;
}

QHash<QString, int> comNumbersByResolvedPath(const EnvLookup& env, bool networkPorts)
{
    QHash<QString, int> numbers;
    for (int com = lastComNumber; com >= firstComNumber; --com) {
        const std::optional<QString> mapped = comDevice(com, env);
        if (mapped && NetAddress::isNetworkPort(*mapped) == networkPorts)
            numbers.insert(resolvedPath(*mapped), com);
    }
    return numbers;
}

std::optional<int> firstFreeComNumber(const EnvLookup& env)
{
    for (int com = firstComNumber; com <= lastComNumber; ++com) {
        if (!comDevice(com, env))
            return com;
    }
    return std::nullopt;
}

std::optional<int> parseComNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:com)?([0-9]{1,3})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int number = match.captured(1).toInt();
    if (number < firstComNumber || number > lastComNumber)
        return std::nullopt;
    return number;
}

QList<int> overriddenComNumbers(const EnvLookup& env)
{
    QList<int> numbers;
    for (int com = firstComNumber; com <= lastComNumber; ++com) {
        const std::optional<QString> value = env(comOverrideVariable(com));
        if (value && !value->isEmpty())
            numbers.append(com);
    }
    return numbers;
}

QList<int> overriddenComNumbers()
{
    return overriddenComNumbers(processEnvironment);
}

QStringList parseActiveConsoles(const QString& contents)
{
    QStringList devices;
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    const QStringList names = contents.split(whitespace, Qt::SkipEmptyParts);
    for (const QString& name : names)
        devices.append(QStringLiteral("/dev/") + name);
    return devices;
}

bool isConsoleDevice(const QString& device, const QStringList& consoleDevices)
{
    if (device.isEmpty())
        return false;
    QStringList candidates = consoleDevices;
    candidates << QStringLiteral("/dev/console") << QStringLiteral("/dev/tty0");
    const QString resolvedDevice = resolvedPath(device);
    for (const QString& console : candidates) {
        if (resolvedPath(console) == resolvedDevice)
            return true;
    }
    return false;
}

bool devicePresent(const QString& device)
{
    return NetAddress::isNetworkPort(device) || QFileInfo::exists(device);
}

bool isSystemConsole(const QString& device)
{
    QFile file(activeConsolesFile);
    QStringList consoles;
    if (file.open(QIODevice::ReadOnly))
        consoles = parseActiveConsoles(QString::fromLocal8Bit(file.readAll()));
    return isConsoleDevice(device, consoles);
}

} // namespace qm240lx
