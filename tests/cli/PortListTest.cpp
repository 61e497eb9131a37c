#include "cli/PortList.h"

#include "cli/CliOptions.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

TEST(PortList, TakesOnePortALineAndNamesTheLineItRefuses)
{
    const PortChoice usb{std::nullopt, "/dev/ttyUSB0"};
    const PortChoice server{std::nullopt, "tcp://10.0.0.7:4001"};
    const PortChoice tls{std::nullopt, "rfc2217+tls://[::1]:4001"};
    const std::tuple<const char*, QList<PortChoice>, const char*> cases[] = {
        {"COM3\n/dev/ttyUSB0\ntcp://10.0.0.7:4001\nrfc2217+tls://[::1]:4001\n",
         {PortChoice::comPort(3), usb, server, tls},
         ""},
        {"# site A\n\n  com3 \r\n\t# off: 4\n", {PortChoice::comPort(3)}, ""},
        {"", {}, ""},
        {"3\n\nCOM256\n", {}, "ports.txt, line 3: COM256: expected a COM number"},
        {"rfc2217://host\n", {}, "ports.txt, line 1: rfc2217://host: expected rfc2217://"},
        {"tcp+ssl://host:1\n", {}, "line 1: tcp+ssl://host:1: expected rfc2217://"},
        {"3 4\n", {}, "line 1: 3 4: expected"},
        {"COM3\n\xff\n", {}, "line 2: not UTF-8 text"},
    };
    for (const auto& [text, ports, refusal] : cases) {
        SCOPED_TRACE(text);
        const auto parsed = PortList::parse(QByteArray(text), QStringLiteral("ports.txt"));
        if (*refusal == '\0') {
            ASSERT_TRUE(std::holds_alternative<QList<PortChoice>>(parsed))
                << std::get<CliExit>(parsed).text.toStdString();
            EXPECT_EQ(std::get<QList<PortChoice>>(parsed), ports);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<CliExit>(parsed));
        EXPECT_EQ(std::get<CliExit>(parsed).code, ExitCode::Usage);
        EXPECT_TRUE(std::get<CliExit>(parsed).text.contains(QLatin1String(refusal)))
            << std::get<CliExit>(parsed).text.toStdString();
    }
}

// Inventories and single ports mix and repeat, each port once in the order
// first named; an inventory that names nothing, or cannot be read, ends the
// tool before any port is opened.
TEST(PortList, MixesWithPortsOnTheCommandLine)
{
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    };
    const QString east = write("east", "COM5\nCOM6\n");
    const QString west = write("west", "COM6\n/dev/ttyUSB1\n");
    const QString empty = write("empty", "# nothing yet\n");
    const auto parse = [](const QStringList& words) {
        return CliOptions::parse(QStringList{"qm240lx"} + words);
    };
    const auto parsed = parse({"--port", "@" + east, "--port", "COM2", "--port", "@" + west,
                               "--port", "@" + east, "apply", "site.json"});
    ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed));
    EXPECT_EQ(std::get<CliOptions>(parsed).ports,
              (QList<PortChoice>{PortChoice::comPort(5),
                                 PortChoice::comPort(6),
                                 PortChoice::comPort(2),
                                 {std::nullopt, "/dev/ttyUSB1"}}));
    const std::tuple<QStringList, ExitCode, QString> refusals[] = {
        {{"--port", "@" + empty, "apply", "site.json"}, ExitCode::Usage, "names no port"},
        {{"--port", "@" + dir.filePath("missing"), "apply", "site.json"},
         ExitCode::NoProfile,
         dir.filePath("missing") + ": cannot read the ports"},
        {{"--port", "@-", "apply", "-"}, ExitCode::Usage, "both come from standard input"},
        {{"--port", "@" + east, "scan"}, ExitCode::Usage, "take more than one --port"},
    };
    for (const auto& [words, code, says] : refusals) {
        SCOPED_TRACE(words.join(' ').toStdString());
        const auto refused = parse(words);
        ASSERT_TRUE(std::holds_alternative<CliExit>(refused));
        EXPECT_EQ(std::get<CliExit>(refused).code, code);
        EXPECT_TRUE(std::get<CliExit>(refused).text.contains(says))
            << std::get<CliExit>(refused).text.toStdString();
    }
}

} // namespace
} // namespace qm240lx
