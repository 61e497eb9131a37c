#include "cli/ProfileFile.h"

#include "settings/Profile.h"

#include <cstdio>

#include <QFile>

namespace qm240lx {
namespace {

bool openProfile(QFile& file, const QString& path)
{
    if (path == QLatin1String("-"))
        return file.open(stdin, QIODevice::ReadOnly);
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

CliExit unreadable(const QString& name, const QIODevice& input)
{
    return {ExitCode::NoProfile,
            QStringLiteral("%1: cannot read the profile: %2").arg(name, input.errorString()),
            FailureKind::ProfileUnreadable};
}

} // namespace

std::variant<FieldChanges, CliExit> ProfileFile::load(const QString& path)
{
    const QString name = path == QLatin1String("-") ? QStringLiteral("standard input") : path;
    QFile file;
    if (!openProfile(file, path))
        return unreadable(name, file);
    return read(file, name);
}

// One byte more than a profile may have is enough to tell it is too large.
std::variant<FieldChanges, CliExit> ProfileFile::read(QIODevice& input, const QString& name)
{
    QByteArray text;
    while (text.size() <= Profile::largestBytes) {
        const QByteArray piece = input.read(Profile::largestBytes + 1 - text.size());
        if (piece.isEmpty())
            break;
        text += piece;
    }
    if (auto* file = qobject_cast<QFileDevice*>(&input);
        file && file->error() != QFileDevice::NoError)
        return unreadable(name, input);
    std::variant<FieldChanges, QString> parsed = Profile::parse(text);
    if (const QString* error = std::get_if<QString>(&parsed))
        return CliExit{ExitCode::BadProfile, QStringLiteral("%1: %2").arg(name, *error),
                       FailureKind::BadProfile};
    return std::get<FieldChanges>(parsed);
}

} // namespace qm240lx
