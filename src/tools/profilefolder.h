#pragma once

#include "platform/result.h"

#include <QIODevice>
#include <QSet>
#include <QString>

#include <functional>

// The folder a profile is made in. Everything is written below it and nowhere else: no link
// met on the way is followed, and a file already there is replaced, not written through.
class ProfileFolder {
public:
    explicit ProfileFolder(QString root);

    const QString &root() const { return m_root; }

    // Paths are relative to the root, separated by "/"; missing parent folders are made.
    quillory::Result makeFolder(const QString &relative);
    quillory::Result makeLink(const QString &relative, const QString &target);
    quillory::Result writeFile(const QString &relative, const QByteArray &bytes);
    // `produce` writes the content and returns false when a write fails.
    quillory::Result writeFile(const QString &relative,
                               const std::function<bool(QIODevice &)> &produce);

    qsizetype folderCount() const { return m_folders.size(); }
    qsizetype fileCount() const { return m_files; }
    qint64 byteCount() const { return m_bytes; }

private:
    quillory::Result makeParent(const QString &relative);
    quillory::Result clearEntry(const QString &path);

    QString m_root;
    QSet<QString> m_folders;
    qsizetype m_files = 0;
    qint64 m_bytes = 0;
};
