#pragma once

#include "sim/Configuration.h"

#include <optional>

#include <QString>

namespace qm240lx::sim {

// The adapter's flash memory kept in a file between runs of the emulator: the
// H-Byte, D-Byte and P-Byte as three raw bytes, nothing else.
class FlashFile
{
public:
    struct Loaded
    {
        std::optional<Configuration> configuration; // nullopt: missing or malformed
        QString problem;                            // why there is none
    };

    explicit FlashFile(QString path);

    const QString& path() const { return m_path; }

    Loaded load() const;

    // Replaces the file as a whole, so a reader never sees half of it. Returns
    // an empty string on success, otherwise why it failed.
    QString save(const Configuration& configuration) const;

private:
    QString m_path;
};

} // namespace qm240lx::sim
