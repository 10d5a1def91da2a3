#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <zip.h>

namespace quillory::test {

// The bytes of `text` in a code page of Windows; code page 0 stands for UTF-8.
QByteArray inCodePage(const QString &text, int codePage);

// A zip archive written as programs on Windows write one: entry names are the bytes given,
// marked as nothing but the old DOS code page (UTF-8 only for code page 0), and with a password
// every entry is encrypted with `method` under the password's bytes.
class WindowsArchive {
public:
    explicit WindowsArchive(int codePage) : m_codePage(codePage) {}

    WindowsArchive &add(const QString &name, const QByteArray &data);
    // A registry text file: every line ended by CR LF, in the code page.
    WindowsArchive &addText(const QString &name, const QString &text);
    bool write(const QString &path, const QString &password = {},
               zip_uint16_t method = ZIP_EM_TRAD_PKWARE) const;

private:
    struct Entry {
        QByteArray name;
        QByteArray data;
    };
    int m_codePage;
    QList<Entry> m_entries;
};

} // namespace quillory::test
