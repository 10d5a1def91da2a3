#include "windowsarchive.h"

#include <QFile>
#include <QStringEncoder>

namespace quillory::test {

QByteArray inCodePage(const QString &text, int codePage)
{
    if (codePage == 0)
        return text.toUtf8();
    QStringEncoder encoder(("windows-" + QByteArray::number(codePage)).constData());
    const QByteArray bytes = encoder.encode(text);
    return encoder.hasError() ? QByteArray() : bytes;
}

WindowsArchive &WindowsArchive::add(const QString &name, const QByteArray &data)
{
    m_entries.append({inCodePage(name, m_codePage), data});
    return *this;
}

WindowsArchive &WindowsArchive::addText(const QString &name, const QString &text)
{
    return add(name, inCodePage(text, m_codePage));
}

bool WindowsArchive::write(const QString &path, const QString &password, zip_uint16_t method) const
{
    zip_t *archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (!archive)
        return false;
    const QByteArray secret = inCodePage(password, m_codePage);
    const zip_flags_t encoding = m_codePage == 0 ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_CP437;
    bool added = true;
    for (const Entry &entry : m_entries) {
        zip_int64_t index = -1;
        if (entry.name.endsWith('/')) {
            index = zip_dir_add(archive, entry.name.constData(), encoding);
        } else {
            zip_source_t *source = zip_source_buffer(archive, entry.data.constData(),
                                                     zip_uint64_t(entry.data.size()), 0);
            index = zip_file_add(archive, entry.name.constData(), source, encoding);
            if (index < 0)
                zip_source_free(source);
            else if (!password.isEmpty() &&
                     zip_file_set_encryption(archive, zip_uint64_t(index), method,
                                             secret.constData()) != 0)
                index = -1;
        }
        added = added && index >= 0;
    }
    if (!added || secret.isEmpty() != password.isEmpty()) {
        zip_discard(archive);
        return false;
    }
    return zip_close(archive) == 0;
}

} // namespace quillory::test
