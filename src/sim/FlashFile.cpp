#include "sim/FlashFile.h"

#include <utility>

#include <QFile>
#include <QSaveFile>

namespace qm240lx::sim {

namespace {

constexpr qint64 flashSize = 3;

} // namespace

FlashFile::FlashFile(QString path) : path_(std::move(path)) {}

FlashFile::Loaded FlashFile::load() const
{
    QFile file(path_);
    if (!file.exists())
        return {std::nullopt, QStringLiteral("%1 does not exist").arg(path_)};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("cannot read %1: %2").arg(path_, file.errorString())};
    const QByteArray bytes = file.read(flashSize + 1);
    if (bytes.size() != flashSize)
        return {std::nullopt,
                QStringLiteral("%1 does not hold exactly %2 bytes").arg(path_).arg(flashSize)};
    const auto byteAt = [&bytes](int index) { return static_cast<std::uint8_t>(bytes[index]); };
    return {Configuration{byteAt(0), byteAt(1), byteAt(2)}, {}};
}

QString FlashFile::save(const Configuration& configuration) const
{
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path_, file.errorString());
    if (file.write(configuration.toBytes()) != flashSize || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path_, file.errorString());
    return {};
}

} // namespace qm240lx::sim
