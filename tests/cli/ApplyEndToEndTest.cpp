// `qm240lx apply` against several emulators at once: what reaches each
// adapter, byte for byte, and how the tool reports each port and ends.
#include "CliProcess.h"
#include "support/Bytes.h"
#include "support/InterruptedRun.h"
#include "support/PortLocks.h"
#include "support/SimProcess.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::CliProcess;
using test::SimProcess;
using test::words;

constexpr int firstCom = 101;

// Emulators on COM101, COM102, ..., each started with its own options.
class Adapters
{
public:
    explicit Adapters(const std::vector<const char*>& options)
    {
        for (const char* arguments : options) {
            m_sims.push_back(std::make_unique<test::StartedSim>(words(arguments)));
            m_overrides.insert(firstCom + int(m_sims.size()) - 1, m_sims.back()->devicePath());
        }
    }

    const QMap<int, QString>& overrides() const { return m_overrides; }
    const SimProcess& sim(std::size_t index) const { return *m_sims.at(index); }

    // The bytes the emulator at `index` heard, once `expected` many arrived
    // (or the wait ran out), as hex.
    QByteArray heard(std::size_t index, const char* expected) const
    {
        m_sims.at(index)->waitForReceived(test::bytes(expected).size());
        return m_sims.at(index)->received().toHex(' ');
    }

private:
    std::vector<std::unique_ptr<test::StartedSim>> m_sims;
    QMap<int, QString> m_overrides;
};

QByteArray hex(const char* text)
{
    return test::bytes(text).toHex(' ');
}

class ProfileFiles
{
public:
    QString write(const QString& name, const QByteArray& text) const
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        return path;
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

QJsonObject settingsOnly(QJsonObject configuration)
{
    for (const char* key : {"port", "device", "h_byte", "d_byte", "p_byte"})
        configuration.remove(QLatin1String(key));
    return configuration;
}

// The configuration read from one adapter, given on standard input, goes to
// each adapter named, once however it is named: the bytes whose fields differ
// and nothing else, then the save.
TEST(Apply, TakesOneAdaptersConfigurationToOthersSendingOnlyWhatDiffers)
{
    const Adapters adapters(
        {"--h-byte 0x1F --d-byte 0xF9 --p-byte 0x02", "", "--h-byte 0xFF --p-byte 0x02"});
    const ProfileFiles files;
    const CliProcess read = CliProcess::run(words("--json --port 101 read"), adapters.overrides());
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    const QString site = files.write("site.json", read.out);
    const auto fromProfile = [&] {
        const int input = ::open(site.toLocal8Bit().constData(), O_RDONLY);
        if (input >= 0)
            ::dup2(input, STDIN_FILENO);
    };
    const CliProcess apply =
        CliProcess::run(words("--trace --port 103 --port 102 --port 103 apply - --save") +
                            QStringList{"--port", adapters.sim(2).devicePath()},
                        adapters.overrides(), fromProfile);
    EXPECT_EQ(apply.exitCode, 0) << apply.err.toStdString();
    QStringList lines = apply.standardOutput().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << apply.out.toStdString();
    std::sort(lines.begin(), lines.end() - 1); // the ports end in any order
    EXPECT_EQ(lines, QStringList({"COM102: configured: h_byte set, d_byte set, p_byte set, saved "
                                  "into flash",
                                  "COM103: configured: d_byte set, saved into flash",
                                  "2 adapters: 2 configured, 0 failed"}));
    const char* wires[] = {"acad", "acad ae1fad aaf9ad ab02ad af", "acad aaf9ad af"};
    qsizetype written = 0; // by the apply: the read wrote to the first
    for (std::size_t index = 0; index < 3; ++index) {
        EXPECT_EQ(adapters.heard(index, wires[index]), hex(wires[index])) << index;
        written += index > 0 ? test::bytes(wires[index]).size() : 0;
    }
    EXPECT_EQ(apply.tracedWrites().size(), written);

    const CliProcess after = CliProcess::run(words("--json --port 102 read"), adapters.overrides());
    EXPECT_EQ(settingsOnly(after.json()), settingsOnly(read.json()));
}

TEST(Apply, RefusesAProfileItCannotUseBeforeAnyPortOpens)
{
    struct Case
    {
        const char* file;
        QByteArray text; // the file is not written when null
        int exitCode;
        const char* mentions;
    };
    const Case cases[] = {
        {"missing.json", QByteArray(), 66, "missing.json: cannot read the profile"},
        {"", QByteArray(), 66, ": cannot read the profile"}, // the folder itself
        {"misspelt.json", R"({"baudrate": 9600})", 65,
         "misspelt.json: key \"baudrate\": unknown; expected baud,"},
        {"large.json", QByteArray(70000, ' ') + R"({"baud": 9600})", 65,
         "large.json: more than 65536 bytes"},
    };
    const Adapters adapters({""});
    const ProfileFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = c.text.isNull() ? files.path(c.file) : files.write(c.file, c.text);
        const CliProcess run =
            CliProcess::run({"--port", "101", "apply", path, "--save"}, adapters.overrides());
        test::expectEnd(run, c.exitCode, QString::fromUtf8(c.mentions));
        EXPECT_TRUE(run.standardError().startsWith("qm240lx: " + path)) << run.err.toStdString();
    }
    EXPECT_EQ(adapters.heard(0, ""), QByteArray());
}

TEST(Apply, CheckOnlyComparesAndSaysWhatDiffers)
{
    const Adapters adapters({"--h-byte 0x06 --d-byte 0x92", "", "--h-byte 0x06 --d-byte 0x90"});
    const ProfileFiles files;
    const QString profile = files.write("fast.json", R"({"baud": 57600, "slots": 1})");
    struct Case
    {
        const char* ports;
        int exitCode;
        const char* output;
    };
    const Case cases[] = {
        {"--port 101", 0,
         "COM101: matches the profile\n1 adapter: 1 matching, 0 differing, 0 failed\n"},
        {"--port 103 --port 101 --port 102", 1,
         "COM101: matches the profile\nCOM102: baud 9600, profile 57600\n"
         "COM103: slots 6, profile 1\n"
         "3 adapters: 1 matching, 2 differing, 0 failed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ports);
        const CliProcess run = CliProcess::run(
            words(c.ports) + QStringList{"apply", profile, "--check"}, adapters.overrides());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        QStringList lines = run.standardOutput().split(u'\n');
        std::sort(lines.begin(), lines.end() - 2); // the ports end in any order
        EXPECT_EQ(lines.join(u'\n').toStdString(), c.output);
    }
    const CliProcess json = CliProcess::run(
        {"--json", "--port", "102", "apply", profile, "--check"}, adapters.overrides());
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.json()["ports"][0]["differences"].toArray(),
              QJsonArray{"baud 9600, profile 57600"});
    EXPECT_EQ(json.json()["ports"][0]["result"], "differs");
    for (std::size_t index = 0; index < 3; ++index)
        EXPECT_EQ(adapters.heard(index, ""), hex(index == 2 ? "acad" : "acad acad"));
}

// The silent ports are not among the adapters --all finds; the one that
// rejects every D-Byte fails alone, telling the H-Byte it took and what it
// holds, and its code is the tool's. Each adapter hears one probe: the one that found it.
TEST(Apply, AllConfiguresTheAdaptersThatAnswerAndAFailureStopsNoOther)
{
    const Adapters adapters({"--silent all", "", "--reject 3 --reject-ops aa", "--silent all", ""});
    const ProfileFiles files;
    const QString profile = files.write("site.json", R"({"baud": 2400, "slots": 6})");
    const CliProcess run = CliProcess::run(
        {"--json", "apply", profile, "--all", "--only-overrides", "--save"}, adapters.overrides());
    EXPECT_EQ(run.exitCode, 76) << run.err.toStdString();
    const QJsonArray ports = run.json()["ports"].toArray();
    ASSERT_EQ(ports.size(), 3) << run.out.toStdString();
    const char* results[][2] = {{"102", "configured"}, {"103", "failed"}, {"105", "configured"}};
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(ports[index]["port"].toInt(), QByteArray(results[index][0]).toInt());
        EXPECT_EQ(ports[index]["result"], results[index][1]);
    }
    EXPECT_EQ(ports[0]["changed"].toArray(), QJsonArray({"h_byte", "d_byte"}));
    EXPECT_EQ(ports[0]["saved"], true);
    EXPECT_EQ(ports[1]["changed"].toArray(), QJsonArray{"h_byte"});
    EXPECT_EQ(ports[1]["saved"], false);
    EXPECT_TRUE(ports[1]["error"].toString().contains("rejected the D-Byte 0x90 three times"));
    EXPECT_EQ(ports[1]["baud"], 2400) << "what the adapter holds after the failure";
    EXPECT_EQ(ports[1]["d_byte"], 0x92);
    const char* wires[] = {"ac", "acad ae01ad aa90ad af", "acad ae01ad aa90 aa90 aa90 ad", "ac",
                           "acad ae01ad aa90ad af"};
    for (std::size_t index = 0; index < 5; ++index)
        EXPECT_EQ(adapters.heard(index, wires[index]), hex(wires[index])) << index;
}

// Ports named in any order end the tool with the code of the first failing
// one in COM order; each of the others still gets the profile.
TEST(Apply, EndsWithTheCodeOfTheFirstFailingPortInComOrder)
{
    const Adapters adapters({"", "--reject 3", "--silent all", "--unplug-after 3", ""});
    const ProfileFiles files;
    const QString profile = files.write("slow.json", R"({"baud": 2400})");
    const CliProcess run = CliProcess::run(
        words("--port 105 --port 104 --port 103 --port 102 --port 101 --port 106 apply") +
            QStringList{profile},
        adapters.overrides());
    EXPECT_EQ(run.exitCode, 76) << run.err.toStdString();
    const QString out = run.standardOutput();
    for (const char* line :
         {"COM101: configured: h_byte set\n", "COM102: failed: the adapter rejected",
          "COM103: failed: no adapter", "COM104: failed: ", "COM105: configured: h_byte set\n",
          "COM106: failed: ", "6 adapters: 2 configured, 4 failed\n"})
        EXPECT_TRUE(out.contains(QLatin1String(line))) << line << "\n" << out.toStdString();
    EXPECT_EQ(adapters.heard(0, "acad ae01ad"), hex("acad ae01ad"));
    EXPECT_EQ(adapters.heard(4, "acad ae01ad"), hex("acad ae01ad"));
}

// detect, read and save given many ports run on all at once, a line each and
// a summary, or one JSON entry each; the code is the first failing port's in
// COM order. With --all, the ports where nothing answers are left out.
TEST(ManyPorts, EveryCommandRunsOnEachPortAndReportsEach)
{
    struct Case
    {
        const char* arguments;
        int exitCode;
        const char* output; // text, the port lines sorted; or the JSON's ports' results
        const char* wire;   // what each answering adapter hears
    };
    const Case cases[] = {
        {"--port 103 --port 102 --port 101 detect", 69,
         "COM101: ready\nCOM102: failed: no adapter: nothing answered the probe within 2 seconds\n"
         "COM103: ready\n3 adapters: 2 ready, 1 failed\n",
         "ac"},
        {"--port 101 --port 103 read", 0,
         "COM101: baud 57600, ignore_cts no, ignore_dsr no, mode primary-secondary, slots 1, "
         "discovery_time_s 3, protocol ircomm; H-Byte 0x06 D-Byte 0x92 P-Byte 0x00\n"
         "COM103: baud 9600, ignore_cts no, ignore_dsr no, mode primary-secondary, slots 1, "
         "discovery_time_s 3, protocol ircomm; H-Byte 0x03 D-Byte 0x92 P-Byte 0x00\n"
         "2 adapters: 2 read, 0 failed\n",
         "acad"},
        {"--json read --all --only-overrides", 0, "101 read 57600, 103 read 9600", "acad"},
        {"--json --port 101 --port 102 --port 103 save", 69,
         "101 saved, 102 failed no_adapter, 103 saved", "acaf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Adapters adapters({"--h-byte 0x06", "--silent all", ""});
        const CliProcess run = CliProcess::run(words(c.arguments), adapters.overrides());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        QString output;
        if (QByteArray(c.arguments).startsWith("--json")) {
            QStringList results;
            for (const QJsonValue port : run.json()["ports"].toArray()) {
                QString result =
                    QString::number(port["port"].toInt()) + ' ' + port["result"].toString();
                if (port["baud"].isDouble())
                    result += ' ' + QString::number(port["baud"].toInt());
                if (port["error_kind"].isString())
                    result += ' ' + port["error_kind"].toString();
                results << result;
                EXPECT_EQ(port["error"].isNull(), port["result"] != "failed");
            }
            output = results.join(", ");
        } else {
            QStringList lines = run.standardOutput().split(u'\n');
            std::sort(lines.begin(), lines.end() - 2); // the ports end in any order
            output = lines.join(u'\n');
        }
        EXPECT_EQ(output.toStdString(), c.output);
        for (const std::size_t index : {0, 2})
            EXPECT_EQ(adapters.heard(index, c.wire), hex(c.wire)) << index;
    }
}

// Ctrl-C while every port waits for its probe's answer: each port's wait
// ends, nothing more is sent, every lock file goes, and no port is reported.
// A wait that ran on would get the late answer and send the read-back.
TEST(Apply, ASignalEndsEveryPortAndFreesThem)
{
    const Adapters adapters({"--delay 1500", "--delay 1500", "--delay 1500"});
    const ProfileFiles files;
    const QString profile = files.write("slow.json", R"({"baud": 2400})");
    const test::InterruptedRun run = test::InterruptedRun::run(
        QStringLiteral(QM240LX_CLI_PATH),
        words("--port 101 --port 102 --port 103 apply --save") + QStringList{profile},
        CliProcess::environment(adapters.overrides()), adapters.sim(1), SIGINT);
    ASSERT_TRUE(run.probed) << run.err.toStdString();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 130);
    EXPECT_EQ(run.err, "qm240lx: interrupted\n");
    EXPECT_EQ(adapters.heard(1, "ac"), hex("ac"));
    for (std::size_t index = 0; index < 3; ++index) {
        // The other ports may not have sent their probe yet when the signal came.
        EXPECT_TRUE(QByteArray("\xAC").startsWith(adapters.sim(index).received())) << index;
        EXPECT_EQ(test::lockFilesOf(adapters.sim(index).devicePath()), QStringList()) << index;
    }
}

// More ports than the soft limit on open files allows: the tool raises it to
// the hard limit, so that each port fails for its own reason (nothing listens
// on any), or says in one line that even the hard limit is too small.
TEST(Apply, MakesRoomForManyPortsUnderTheOpenFileLimit)
{
    constexpr int ports = 100;
    QByteArray inventory;
    {
        // Free ports, each one different, closed again: refused.
        std::vector<std::unique_ptr<QTcpServer>> closed;
        for (int index = 0; index < ports; ++index) {
            closed.push_back(std::make_unique<QTcpServer>());
            ASSERT_TRUE(closed.back()->listen(QHostAddress::LocalHost));
            inventory +=
                "tcp://127.0.0.1:" + QByteArray::number(closed.back()->serverPort()) + '\n';
        }
    }
    const ProfileFiles files;
    const QStringList arguments{"--port", "@" + files.write("ports", inventory), "apply",
                                files.write("site.json", R"({"baud": 9600})")};
    for (const rlim_t hard : {rlim_t(4096), rlim_t(64)}) {
        SCOPED_TRACE(hard);
        const CliProcess run = CliProcess::run(arguments, {}, [hard] {
            const rlimit limit{64, hard};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        if (hard == 64) {
            test::expectEnd(run, 71, "100 ports need 164 open files, but the limit is 64");
            continue;
        }
        EXPECT_EQ(run.exitCode, 74) << run.err.toStdString();
        EXPECT_EQ(run.standardOutput().count("refused the connection"), ports)
            << run.out.toStdString();
    }
}

} // namespace
} // namespace qm240lx
