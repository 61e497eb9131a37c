#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace qm240lx {

// A key given twice in one JSON object. A JSON reader keeps one of the two
// values without a word, so a text that reads one way to a person may read
// another way to the tool.
struct RepeatedKey
{
    QString key;    // as decoded, so "b\u0061ud" repeats "baud"
    qsizetype at{}; // the byte offset of its second occurrence's opening quote

    // The first key of the top-level object of `text` that an earlier key
    // already named; nullopt when each key is there once. `text` must be one
    // well-formed JSON object.
    static std::optional<RepeatedKey> find(const QByteArray& text);
};

} // namespace qm240lx
