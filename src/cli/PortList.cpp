#include "cli/PortList.h"

#include <cstdio>

#include <QFile>

namespace qm240lx {
namespace {

CliExit unreadable(const QString& name, const QString& reason)
{
    return {ExitCode::NoProfile, QStringLiteral("%1: cannot read the ports: %2").arg(name, reason)};
}

CliExit badLine(const QString& name, qsizetype line, const QString& what)
{
    return {ExitCode::Usage, QStringLiteral("%1, line %2: %3").arg(name).arg(line).arg(what)};
}

} // namespace

std::variant<QList<PortChoice>, CliExit> PortList::read(const QString& argument)
{
    const QString path = argument.mid(1);
    const bool standardInput = path == QLatin1String("-");
    const QString name = standardInput ? QStringLiteral("standard input") : path;
    QFile file(path);
    if (!(standardInput ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly)))
        return unreadable(name, file.errorString());
    QByteArray text;
    while (text.size() <= largestBytes) {
        const QByteArray piece = file.read(largestBytes + 1 - text.size());
        if (piece.isEmpty())
            break;
        text += piece;
    }
    if (file.error() != QFileDevice::NoError)
        return unreadable(name, file.errorString());
    if (text.size() > largestBytes)
        return CliExit{ExitCode::Usage, QStringLiteral("%1: more than %2 MiB of ports")
                                            .arg(name)
                                            .arg(largestBytes / (1024 * 1024))};
    return parse(text, name);
}

std::variant<QList<PortChoice>, CliExit> PortList::parse(const QByteArray& text,
                                                         const QString& name)
{
    QList<PortChoice> ports;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QByteArray line = lines[index].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString entry = QString::fromUtf8(line);
        if (entry.toUtf8() != line)
            return badLine(name, index + 1, QStringLiteral("not UTF-8 text"));
        const std::optional<PortChoice> port = PortChoice::parse(entry);
        if (!port)
            return badLine(name, index + 1,
                           QStringLiteral("%1: expected %2")
                               .arg(entry, QString::fromLatin1(PortChoice::expectedFor(entry))));
        ports.append(*port);
    }
    return ports;
}

} // namespace qm240lx
