#include "naming/ComMap.h"

#include "naming/PortKeys.h"
#include "naming/PresentPorts.h"

#include <optional>
#include <tuple>
#include <utility>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

EnvLookup environmentOf(const QHash<QString, QString>& variables)
{
    return [variables](const QString& name) -> std::optional<QString> {
        return variables.contains(name) ? std::optional(variables[name]) : std::nullopt;
    };
}

// An empty value overrides nothing; names outside 1 to 255 are no overrides.
TEST(ComMap, BuiltInDevicesAtTheFamilyBoundsUnlessOverridden)
{
    const EnvLookup env = environmentOf({{"QM240LX_COM3", "/dev/pts/4"},
                                         {"QM240LX_COM200", "/dev/pts/7"},
                                         {"QM240LX_COM255", "/tmp/adapter"},
                                         {"QM240LX_COM33", ""},
                                         {"QM240LX_COM0", "/dev/pts/9"},
                                         {"QM240LX_COM256", "/dev/pts/9"},
                                         {"QM240LX_COMx", "/dev/pts/9"}});
    const std::pair<int, const char*> cases[] = {
        {-1, nullptr},         {0, nullptr},         {1, "/dev/ttyS0"},     {3, "/dev/pts/4"},
        {32, "/dev/ttyS31"},   {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"}, {65, "/dev/ttyACM0"},
        {96, "/dev/ttyACM31"}, {97, nullptr},        {200, "/dev/pts/7"},   {254, nullptr},
        {255, "/tmp/adapter"}, {256, nullptr}};
    for (const auto& [com, device] : cases) {
        EXPECT_EQ(comDevice(com, env), device ? std::optional(QString(device)) : std::nullopt)
            << com;
    }
    EXPECT_EQ(overriddenComNumbers(env), (QList<int>{3, 200, 255}));

    qputenv("QM240LX_COM254", "/dev/pts/77");
    EXPECT_EQ(comDevice(254), QStringLiteral("/dev/pts/77")) << "the process environment";
    EXPECT_TRUE(overriddenComNumbers().contains(254));
    qunsetenv("QM240LX_COM254");
    EXPECT_EQ(comDevice(254), std::nullopt);
}

TEST(ComMap, ListsThePresentPortsByTheirComNumbers)
{
    const std::tuple<QHash<QString, QString>, QSet<QString>, const char*> cases[] = {
        {{}, {}, "No serial port is present."},
        {{},
         {"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyS3", "/dev/ttyUSB32"},
         "Serial ports here: COM4 (/dev/ttyS3), COM33 (/dev/ttyUSB0), COM65 (/dev/ttyACM0)"},
        // An override replaces the built-in device, even where it names a missing file.
        {{{"QM240LX_COM33", "/dev/pts/4"}, {"QM240LX_COM200", "/dev/pts/5"}},
         {"/dev/ttyUSB0", "/dev/pts/4", "/dev/pts/5"},
         "Serial ports here: COM33 (/dev/pts/4), COM200 (/dev/pts/5)"},
        {{{"QM240LX_COM33", "/dev/pts/9"}, {"QM240LX_COM34", ""}},
         {"/dev/ttyUSB0", "/dev/ttyUSB1"},
         "Serial ports here: COM34 (/dev/ttyUSB1)"},
    };
    for (const auto& [variables, files, line] : cases) {
        const auto& present = files;
        const auto exists = [&present](const QString& device) { return present.contains(device); };
        EXPECT_EQ(presentPortsLine(environmentOf(variables), exists), line);
    }
}

TEST(ComMap, ParsesComNumbersAndTheActiveConsoles)
{
    const std::pair<const char*, std::optional<int>> numbers[] = {
        {"1", 1},  {"COM1", 1},  {"com1", 1}, {"Com12", 12},  {"255", 255}, {"COM255", 255},
        {"0", {}}, {"COM0", {}}, {"256", {}}, {"COM256", {}}, {"COMx", {}}, {"COM", {}},
        {"", {}},  {"-1", {}},   {"1a", {}},  {"COM 1", {}},  {"LPT1", {}}, {"1000", {}}};
    for (const auto& [text, number] : numbers)
        EXPECT_EQ(parseComNumber(QString::fromLatin1(text)), number) << text;

    const std::pair<const char*, QStringList> consoles[] = {
        {"tty0 ttyS0\n", {"/dev/tty0", "/dev/ttyS0"}},
        {"  hvc0   ttyAMA0 \n", {"/dev/hvc0", "/dev/ttyAMA0"}},
        {"\n", {}}};
    for (const auto& [contents, devices] : consoles)
        EXPECT_EQ(parseActiveConsoles(QString::fromLatin1(contents)), devices) << contents;
}

// Both sides are compared after following symbolic links.
TEST(ComMap, RecognisesTheActiveConsolesThroughSymbolicLinks)
{
    QTemporaryDir dir;
    const QString console = dir.filePath(QStringLiteral("ttyConsole"));
    const QString other = dir.filePath(QStringLiteral("ttyOther"));
    const QString link = dir.filePath(QStringLiteral("by-id-adapter"));
    const QString otherLink = dir.filePath(QStringLiteral("adapter"));
    for (const QString& path : {console, other})
        ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(console, link));
    ASSERT_TRUE(QFile::link(other, otherLink));

    const std::pair<QString, bool> cases[] = {
        {console, true},        {link, true},        {other, false},         {otherLink, false},
        {"/dev/console", true}, {"/dev/tty0", true}, {"/dev/ttyS31", false}, {QString(), false}};
    for (const auto& [device, isConsole] : cases)
        EXPECT_EQ(isConsoleDevice(device, {console}), isConsole) << device.toStdString();
    EXPECT_TRUE(isConsoleDevice(otherLink, {console, other}));
}

// A run over many ports orders them by COM number and holds each device once.
// A network address is never read as a path, even where a file of that
// spelling exists: here one that leads to COM7's device.
TEST(ComMap, KeysEachPortByItsComOrderAndItsDevice)
{
    QTemporaryDir dir;
    const QString adapter = dir.filePath(QStringLiteral("adapter"));
    ASSERT_TRUE(QFile(adapter).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(adapter, dir.filePath(QStringLiteral("by-id"))));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("tcp:")));
    ASSERT_TRUE(QFile::link(adapter, dir.filePath(QStringLiteral("tcp:/127.0.0.1:4001"))));
    const QString workingDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    int lookups = 0;
    const EnvLookup variables = environmentOf({{"QM240LX_COM7", adapter},
                                               {"QM240LX_COM9", "tcp://127.0.0.1:4002"},
                                               {"QM240LX_COM12", "tcp://127.0.0.1:4002"}});
    const PortKeys keys([&](const QString& name) {
        ++lookups;
        return variables(name);
    });
    for (int port = 0; port < 1000; ++port)
        keys.of({}, QStringLiteral("tcp://127.0.0.1:%1").arg(5000 + port));
    EXPECT_EQ(lookups, lastComNumber) << "the COM map is read once for the network ports";
    const QString tcp4001 = QStringLiteral("tcp://127.0.0.1:4001");
    const std::tuple<std::optional<int>, QString, int, QString> cases[] = {
        {7, {}, 7, adapter},
        {{}, dir.filePath(QStringLiteral("by-id")), 7, adapter},
        {{}, QStringLiteral("by-id"), 7, adapter},
        {33, {}, 33, QStringLiteral("/dev/ttyUSB0")},
        {150, {}, 150, QStringLiteral("COM150")},
        {{},
         dir.filePath(QStringLiteral("gone")),
         PortKeys::outsideComMap,
         dir.filePath(QStringLiteral("gone"))},
        {{}, tcp4001, PortKeys::outsideComMap, tcp4001},
        {{}, QStringLiteral("tcp://127.0.0.1:4002"), 9, QStringLiteral("tcp://127.0.0.1:4002")},
    };
    for (const auto& [com, path, order, device] : cases) {
        SCOPED_TRACE(com ? QString::number(*com).toStdString() : path.toStdString());
        const PortKeys::Key key = keys.of(com, path);
        EXPECT_EQ(key.order, order);
        EXPECT_EQ(key.device.toStdString(), device.toStdString());
    }
    EXPECT_EQ(lookups, 2 * lastComNumber + 3)
        << "once more for the device files, then once per COM port";
    EXPECT_EQ(comNumberOf(tcp4001, variables), std::nullopt);
    EXPECT_EQ(comNumberOf(QStringLiteral("by-id"), variables), 7);
    ASSERT_TRUE(QDir::setCurrent(workingDir));
}

} // namespace
} // namespace qm240lx
