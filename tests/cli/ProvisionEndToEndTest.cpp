// `qm240lx provision` as a station: devices appear and vanish as links in a
// watched folder, each leading to an emulator's pseudo-terminal; what each
// adapter hears, the lines, the record and how the station ends.
#include "CliProcess.h"
#include "support/Bytes.h"
#include "support/SimProcess.h"

#include <csignal>
#include <sys/stat.h>
#include <vector>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::bytes;
using test::CliProcess;
using test::hex;
using test::StartedSim;

constexpr int waitMs = 15000;

class Station
{
public:
    // The emulators `present` are plugged in before the station starts.
    explicit Station(const QStringList& options, const std::vector<const StartedSim*>& present = {})
    {
        for (std::size_t index = 0; index < present.size(); ++index)
            plug(QStringLiteral("ttyPresent%1").arg(index), *present[index]);
        QFile profile(m_dir.filePath("site.json"));
        EXPECT_TRUE(profile.open(QIODevice::WriteOnly) && profile.write(R"({"baud": 57600})") > 0);
        profile.close();
        m_process.setProcessEnvironment(CliProcess::environment({}));
        m_process.start(
            QStringLiteral(QM240LX_CLI_PATH),
            QStringList{"provision", profile.fileName(), "--watch", m_dir.filePath("tty*")} +
                options);
        EXPECT_TRUE(m_process.waitForStarted());
        // The station says what it watches once it watches.
        waitToSay("watching");
    }

    // Waits until the station has said `text` on standard error.
    void waitToSay(const char* text)
    {
        m_process.setReadChannel(QProcess::StandardError);
        while (!m_err.contains(text) && m_process.waitForReadyRead(waitMs))
            m_err += m_process.readAllStandardError();
        m_process.setReadChannel(QProcess::StandardOutput);
    }

    ~Station()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void plug(const QString& name, const StartedSim& sim) const
    {
        EXPECT_TRUE(QFile::link(sim.devicePath(), path(name)));
    }
    void unplug(const QString& name) const { EXPECT_TRUE(QFile::remove(path(name))); }

    // The lines of standard output once there are `count`.
    QStringList linesOnceThere(qsizetype count)
    {
        while (m_out.count('\n') < count && m_process.waitForReadyRead(waitMs))
            m_out += m_process.readAllStandardOutput();
        return QString::fromUtf8(m_out).split('\n', Qt::SkipEmptyParts);
    }

    // Never to process 0, which would be this test's whole group.
    void signal(int number)
    {
        const qint64 pid = m_process.processId();
        ASSERT_GT(pid, 0) << "the station has ended: " << m_err.toStdString();
        ::kill(static_cast<pid_t>(pid), number);
    }

    // Sends `signal` and returns the exit code once the station ended.
    int stop(int number)
    {
        signal(number);
        return waitForEnd();
    }

    int waitForEnd()
    {
        EXPECT_TRUE(m_process.waitForFinished(waitMs));
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QString out() const { return QString::fromUtf8(m_out); }
    QString err() const { return QString::fromUtf8(m_err); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

QList<QJsonObject> records(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QJsonObject> found;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            found << QJsonDocument::fromJson(line).object();
    }
    return found;
}

// A device present at the start is left alone; each one that appears is
// handled once while it stays, however many names it gets, and again when it
// comes back; a silent one is no adapter, which is no failure; one pulled
// before its last read-back failed, though its save went through.
TEST(Provision, HandlesEachDeviceOnceWhileItStaysAndRecordsEach)
{
    const StartedSim present, adapter, silent({"--silent", "all"}), cut({"--unplug-after", "7"});
    QTemporaryDir logs;
    const QString log = logs.filePath("station.log");
    {
        QFile halfLine(log); // as a crash in the middle of a line leaves it
        ASSERT_TRUE(halfLine.open(QIODevice::WriteOnly) && halfLine.write("{\"time\":") > 0);
    }
    Station station({"--save", "--log", log}, {&present});
    EXPECT_TRUE(station.err().contains("1 device(s) present left alone"))
        << station.err().toStdString();
    station.plug("ttyAdapter", adapter);
    station.plug("ttySilent", silent);
    station.plug("ttyCut", cut);
    const QStringList first = station.linesOnceThere(3);
    station.plug("ttyAdapterById", adapter);
    station.unplug("ttyAdapter");
    station.unplug("ttyAdapterById");
    station.plug("ttyAdapter", adapter);
    const QStringList lines = station.linesOnceThere(4);
    EXPECT_EQ(station.stop(SIGTERM), 1) << station.err().toStdString();

    ASSERT_EQ(lines.size(), 4) << station.out().toStdString();
    const QString configured =
        adapter.devicePath() + ": configured: h_byte set, saved into flash (";
    EXPECT_TRUE(QStringList(lines.mid(0, 3)).filter(configured).size() == 1)
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.filter(silent.devicePath() + ": no adapter: nothing answered").size() == 1);
    EXPECT_TRUE(lines.filter(cut.devicePath() + ": failed (port_lost): ").size() == 1);
    EXPECT_TRUE(lines[3].startsWith("4 " + adapter.devicePath() + ": unchanged: saved into flash"))
        << lines[3].toStdString();
    EXPECT_TRUE(station.out().endsWith("1 configured, 1 unchanged, 1 no adapter, 1 failed\n"))
        << station.out().toStdString();
    EXPECT_EQ(hex(adapter.received()), hex(bytes("acad ae06ad af ad acad af ad")));
    EXPECT_EQ(present.received(), QByteArray());

    const QList<QJsonObject> written = records(log);
    ASSERT_EQ(written.size(), 5); // the half line, ended, then one a device
    QMap<QString, QJsonObject> firstOf;
    for (const QJsonObject& record : written.mid(1, 3)) {
        EXPECT_TRUE(record["time"].toString().contains('T'));
        EXPECT_TRUE(record["by_id"].isNull());
        firstOf.insert(record["device"].toString(), record);
    }
    const QJsonObject firstTime = firstOf[adapter.devicePath()];
    EXPECT_EQ(firstTime["before"]["h_byte"], 0x03);
    EXPECT_EQ(firstTime["after"]["h_byte"], 0x06);
    EXPECT_EQ(firstTime["saved"], true);
    EXPECT_EQ(written[4]["result"], "unchanged");
    EXPECT_EQ(firstOf[silent.devicePath()]["result"], "no_adapter");
    EXPECT_EQ(firstOf[silent.devicePath()]["error_kind"], "no_adapter");
    EXPECT_EQ(firstOf[cut.devicePath()]["result"], "failed");
    EXPECT_EQ(firstOf[cut.devicePath()]["saved"], true);
}

// The first signal lets the adapter in hand finish, saved; a second one
// abandons it at once, before its save.
TEST(Provision, AFirstSignalFinishesTheAdapterInHandAndASecondAbandonsIt)
{
    for (const int signals : {1, 2}) {
        SCOPED_TRACE(signals);
        const StartedSim slow({"--delay", "300"});
        Station station({"--save"});
        station.plug("ttySlow", slow);
        ASSERT_TRUE(slow.waitForReceived(1)); // probed: in hand
        station.signal(SIGTERM);
        if (signals == 2) {
            station.waitToSay("finishing");
            station.signal(SIGTERM);
        }
        const int code = station.waitForEnd();
        if (signals == 1) {
            EXPECT_EQ(code, 0) << station.err().toStdString();
            EXPECT_TRUE(station.out().contains(": configured: h_byte set, saved into flash ("));
            EXPECT_TRUE(slow.received().contains('\xAF'));
        } else {
            EXPECT_EQ(code, 128 + SIGTERM);
            EXPECT_TRUE(station.err().endsWith("qm240lx: interrupted\n"))
                << station.err().toStdString();
            EXPECT_FALSE(slow.received().contains('\xAF'));
            EXPECT_TRUE(station.out().contains(": failed (given_up): abandoned: interrupted ("))
                << station.out().toStdString();
        }
    }
}

// Refused before anything is watched or opened.
TEST(Provision, RefusesWhatItCannotUseBeforeWatching)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    QFile profile(dir.filePath("site.json"));
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly) && profile.write(R"({"baud": 9600})") > 0);
    profile.close();
    const QString site = profile.fileName();
    const std::tuple<QStringList, int, const char*> cases[] = {
        {{"provision", site, "--watch", "tcp://127.0.0.1:4001"}, 64, "local devices"},
        {{"--port", "3", "provision", site}, 64, "takes --watch, not --port"},
        {{"provision", site, "--log", dir.filePath("missing/station.log")},
         73,
         "cannot write the log"},
        {{"provision", site, "--log", fifo}, 73, "not a regular file"},
        {{"provision", dir.filePath("none.json")}, 66, "cannot read the profile"},
    };
    for (const auto& [arguments, code, mentions] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        test::expectEnd(CliProcess::run(arguments, {}), code, QString::fromUtf8(mentions));
    }
}

} // namespace
} // namespace qm240lx
