#include "sim/FlashFile.h"

#include <utility>

#include <QFile>
#include <QSaveFile>

namespace qm240lx::sim {

namespace {

constexpr qint64 flashSize = 3;

} // namespace

FlashFile::FlashFile(QString path) : m_path(std::move(path)) {}

FlashFile::Loaded FlashFile::load() const
{
    QFile file(m_path);
    if (!file.exists())
        return {std::nullopt, QStringLiteral("%1 does not exist").arg(m_path)};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString())};
    const QByteArray bytes = file.read(flashSize + 1);
    if (bytes.size() != flashSize)
        return {std::nullopt,
                QStringLiteral("%1 does not hold exactly %2 bytes").arg(m_path).arg(flashSize)};
    const auto byteAt = [&bytes](int index) { return static_cast<std::uint8_t>(bytes[index]); };
    return {Configuration{byteAt(0), byteAt(1), byteAt(2)}, {}};
}

QString FlashFile::save(const Configuration& configuration) const
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
    if (file.write(configuration.toBytes()) != flashSize || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
    return {};
}

} // namespace qm240lx::sim
