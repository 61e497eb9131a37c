#include "link/ComMap.h"

#include <optional>

#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

EnvLookup fakeEnvironment(QHash<QString, QString> variables)
{
    return [variables](const QString& name) -> std::optional<QString> {
        const auto found = variables.constFind(name);
        if (found == variables.constEnd())
            return std::nullopt;
        return *found;
    };
}

const EnvLookup emptyEnvironment = fakeEnvironment({});

struct MapCase
{
    int com;
    std::optional<QString> device;
};

TEST(ComMapTest, BuiltInDevicesAtTheFamilyBounds)
{
    const MapCase cases[] = {
        {-1, std::nullopt},
        {0, std::nullopt},
        {1, QStringLiteral("/dev/ttyS0")},
        {2, QStringLiteral("/dev/ttyS1")},
        {32, QStringLiteral("/dev/ttyS31")},
        {33, QStringLiteral("/dev/ttyUSB0")},
        {64, QStringLiteral("/dev/ttyUSB31")},
        {65, QStringLiteral("/dev/ttyACM0")},
        {96, QStringLiteral("/dev/ttyACM31")},
        {97, std::nullopt},
        {255, std::nullopt},
        {256, std::nullopt},
    };
    for (const MapCase& c : cases) {
        SCOPED_TRACE(c.com);
        EXPECT_EQ(comDevice(c.com, emptyEnvironment), c.device);
    }
}

TEST(ComMapTest, OverridesReplaceTheBuiltInDevice)
{
    const EnvLookup env = fakeEnvironment({
        {QStringLiteral("QM240LX_COM1"), QStringLiteral("/dev/pts/4")},
        {QStringLiteral("QM240LX_COM200"), QStringLiteral("/dev/pts/7")},
        {QStringLiteral("QM240LX_COM255"), QStringLiteral("/tmp/adapter")},
        {QStringLiteral("QM240LX_COM33"), QString()},
        {QStringLiteral("QM240LX_COM0"), QStringLiteral("/dev/pts/9")},
        {QStringLiteral("QM240LX_COM256"), QStringLiteral("/dev/pts/9")},
    });
    const MapCase cases[] = {
        {1, QStringLiteral("/dev/pts/4")},
        {2, QStringLiteral("/dev/ttyS1")},
        {200, QStringLiteral("/dev/pts/7")},
        {255, QStringLiteral("/tmp/adapter")},
        {33, QStringLiteral("/dev/ttyUSB0")}, // an empty value overrides nothing
        {0, std::nullopt},
        {256, std::nullopt},
    };
    for (const MapCase& c : cases) {
        SCOPED_TRACE(c.com);
        EXPECT_EQ(comDevice(c.com, env), c.device);
    }
}

TEST(ComMapTest, ListsTheOverriddenNumbersInOrder)
{
    const EnvLookup env = fakeEnvironment({
        {QStringLiteral("QM240LX_COM255"), QStringLiteral("/dev/pts/1")},
        {QStringLiteral("QM240LX_COM3"), QStringLiteral("/dev/pts/2")},
        {QStringLiteral("QM240LX_COM1"), QStringLiteral("/dev/pts/3")},
        {QStringLiteral("QM240LX_COM7"), QString()},
        {QStringLiteral("QM240LX_COM0"), QStringLiteral("/dev/pts/4")},
        {QStringLiteral("QM240LX_COM256"), QStringLiteral("/dev/pts/5")},
        {QStringLiteral("QM240LX_COMx"), QStringLiteral("/dev/pts/6")},
    });
    EXPECT_EQ(overriddenComNumbers(env), (QList<int>{1, 3, 255}));
    EXPECT_TRUE(overriddenComNumbers(emptyEnvironment).isEmpty());
}

TEST(ComMapTest, ProcessEnvironmentOverloadsReadTheVariables)
{
    qputenv("QM240LX_COM254", "/dev/pts/77");
    qunsetenv("QM240LX_COM253");
    EXPECT_EQ(comDevice(254), QStringLiteral("/dev/pts/77"));
    EXPECT_EQ(comDevice(253), std::nullopt);
    EXPECT_TRUE(overriddenComNumbers().contains(254));
    EXPECT_FALSE(overriddenComNumbers().contains(253));
    qunsetenv("QM240LX_COM254");
    EXPECT_EQ(comDevice(254), std::nullopt);
}

TEST(ComMapTest, ParsesComNumbers)
{
    const struct
    {
        const char* text;
        std::optional<int> number;
    } cases[] = {
        {"1", 1},
        {"COM1", 1},
        {"com1", 1},
        {"Com12", 12},
        {"255", 255},
        {"COM255", 255},
        {"0", std::nullopt},
        {"COM0", std::nullopt},
        {"256", std::nullopt},
        {"COM256", std::nullopt},
        {"COMx", std::nullopt},
        {"COM", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"1a", std::nullopt},
        {"COM 1", std::nullopt},
        {"LPT1", std::nullopt},
        {"1000", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseComNumber(QString::fromLatin1(c.text)), c.number);
    }
}

TEST(ComMapTest, ParsesTheActiveConsoles)
{
    const struct
    {
        const char* contents;
        QStringList devices;
    } cases[] = {
        {"tty0 ttyS0\n", {QStringLiteral("/dev/tty0"), QStringLiteral("/dev/ttyS0")}},
        {"ttyS0", {QStringLiteral("/dev/ttyS0")}},
        {"  hvc0   ttyAMA0 \n", {QStringLiteral("/dev/hvc0"), QStringLiteral("/dev/ttyAMA0")}},
        {"\n", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents);
        EXPECT_EQ(parseActiveConsoles(QString::fromLatin1(c.contents)), c.devices);
    }
}

TEST(ComMapTest, RecognisesConsolesThroughSymbolicLinks)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString console = dir.filePath(QStringLiteral("ttyConsole"));
    const QString other = dir.filePath(QStringLiteral("ttyOther"));
    const QString link = dir.filePath(QStringLiteral("by-id-adapter"));
    for (const QString& path : {console, other}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(console, link));

    const QStringList consoles{console};
    const struct
    {
        QString device;
        bool isConsole;
    } cases[] = {
        {console, true},
        {link, true},
        {other, false},
        {QStringLiteral("/dev/console"), true},
        {QStringLiteral("/dev/tty0"), true},
        {QStringLiteral("/dev/ttyS31"), false},
        {QString(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.toStdString());
        EXPECT_EQ(isConsoleDevice(c.device, consoles), c.isConsole);
    }
}

TEST(ComMapTest, LinkToAConsoleThatIsNotActiveIsNoConsole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("ttyS9"));
    const QString link = dir.filePath(QStringLiteral("adapter"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_FALSE(isConsoleDevice(link, {dir.filePath(QStringLiteral("ttyS0"))}));
    EXPECT_TRUE(isConsoleDevice(link, {dir.filePath(QStringLiteral("ttyS0")), target}));
}

} // namespace
} // namespace qm240lx
