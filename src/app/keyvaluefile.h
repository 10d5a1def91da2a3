#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace quillory {

// Key-value text files: one "key=value" line each, CR LF line ends. Written in UTF-8; read as
// UTF-8 or, when a file is not, in the legacy code page that archives made on Windows use.

// No key-value file of the program's comes near this; a larger one is refused unread.
constexpr qint64 maxKeyValueFileSize = 1024 * 1024;

// The lines of a key-value file, decoded once, for looking up many keys.
class KeyValueText {
public:
    // `bytes` is the file's content; `filename` names it in messages. Reading stops at the first
    // empty line.
    static Expected<KeyValueText> parse(const QByteArray &bytes, const QString &filename);

    // The value of the first line whose key matches without regard to case; the empty text
    // when no line matches.
    QString value(const QString &KeyName) const;
    // The same value as the file holds its bytes, for matching names written in whatever code
    // page.
    QByteArray rawValue(const QString &KeyName) const;

private:
    struct Line {
        QString value;
        QByteArray raw;
    };
    QList<Line> m_lines;
    // The first line of each key, upper case.
    QHash<QString, qsizetype> m_first;
};

// Appends one line, creating the file when it does not exist. Nothing is ever replaced.
Result SaveINI(const QString &KeyName, const QString &KeyValue, const QString &filename);

// The value of the first line whose key matches without regard to case; the empty text when
// no line matches. Reading stops at the first empty line. Fails when the file cannot be read.
Expected<QString> GetINI(const QString &KeyName, const QString &filename);

} // namespace quillory
