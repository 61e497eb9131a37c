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

CliExit unreadable(const QString& name, const QFile& file)
{
    return {ExitCode::NoProfile,
            QStringLiteral("%1: cannot read the profile: %2").arg(name, file.errorString())};
}

} // namespace

// One byte more than a profile may have is enough to tell it is too large.
std::variant<FieldChanges, CliExit> ProfileFile::load(const QString& path)
{
    const QString name = path == QLatin1String("-") ? QStringLiteral("standard input") : path;
    QFile file;
    if (!openProfile(file, path))
        return unreadable(name, file);
    const QByteArray text = file.read(Profile::largestBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return unreadable(name, file);
    std::variant<FieldChanges, QString> parsed = Profile::parse(text);
    if (const QString* error = std::get_if<QString>(&parsed))
        return CliExit{ExitCode::BadProfile, QStringLiteral("%1: %2").arg(name, *error)};
    return std::get<FieldChanges>(parsed);
}

} // namespace qm240lx
