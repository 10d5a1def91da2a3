#include "platform/zip/entryinfo.h"

#include "platform/text/legacytext.h"

#include <sys/stat.h>

namespace quillory::zipdetail {

namespace {

bool endsWithSeparator(const QString &name)
{
    return name.endsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('\\'));
}

// Only archives made on Unix-like systems carry a file type; the others hold plain files and
// folders, the latter named with a trailing separator.
EntryInfo::Kind kindOf(zip_t *archive, zip_uint64_t index, const QString &name)
{
    if (endsWithSeparator(name))
        return EntryInfo::Kind::Folder;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0 ||
        (system != ZIP_OPSYS_UNIX && system != ZIP_OPSYS_OS_X))
        return EntryInfo::Kind::File;
    const mode_t type = (attributes >> 16) & S_IFMT;
    if (type == 0 || type == S_IFREG)
        return EntryInfo::Kind::File;
    if (type == S_IFDIR)
        return EntryInfo::Kind::Folder;
    if (type == S_IFLNK)
        return EntryInfo::Kind::SymbolicLink;
    return EntryInfo::Kind::Special;
}

std::optional<mode_t> permissionsOf(zip_t *archive, zip_uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0 ||
        (system != ZIP_OPSYS_UNIX && system != ZIP_OPSYS_OS_X))
        return std::nullopt;
    const mode_t permissions = (attributes >> 16) & 0777;
    // Some archivers store no bits at all: that is no file nobody may read.
    if (permissions == 0)
        return std::nullopt;
    return permissions;
}

} // namespace

QString entryName(zip_t *archive, zip_uint64_t index)
{
    const char *raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    if (!raw)
        return QString();
    return decodeName(raw);
}

Expected<EntryInfo> readEntryInfo(zip_t *archive, zip_uint64_t index)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
        return Result::failure(QStringLiteral("entry number %1 cannot be read: %2")
                                   .arg(index)
                                   .arg(archiveErrorText(archive)));
    EntryInfo info;
    info.index = index;
    info.name = entryName(archive, index);
    info.kind = kindOf(archive, index, info.name);
    if (info.kind == EntryInfo::Kind::File)
        info.permissions = permissionsOf(archive, index);
    info.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    if (st.valid & ZIP_STAT_MTIME)
        info.modified = QDateTime::fromSecsSinceEpoch(st.mtime);
    info.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    if (st.valid & ZIP_STAT_ENCRYPTION_METHOD)
        info.encryptionMethod = st.encryption_method;
    if (st.valid & ZIP_STAT_COMP_METHOD)
        info.compressionMethod = zip_int32_t(st.comp_method);
    if ((st.valid & ZIP_STAT_CRC) && !(info.winZipAes() && st.crc == 0))
        info.crc = st.crc;
    // libzip reports an entry whose central header sets the "strong encryption" flag (general
    // purpose bit 6) as of an unknown method. It cannot decrypt such an entry, and version 1.7
    // leaks memory when asked to open one with a password, so it is refused before any read.
    if (info.encryptionMethod == ZIP_EM_UNKNOWN)
        return Result::failure(
            QStringLiteral("entry \"%1\" uses PKWARE's strong encryption, which cannot be read")
                .arg(info.name));
    info.withoutCrc = info.winZipAes() && (st.valid & ZIP_STAT_CRC) && st.crc == 0;
    // Deflate makes at most 1032 bytes of each byte it reads, and a stored entry none. An entry
    // that claims more would take its reader minutes to check for every kilobyte it holds: it is
    // refused as damaged. Other methods have no such bound (bzip2 makes tens of thousands of bytes
    // of one); for them what guards the disk is the space check before anything is written and
    // extraction stopping at the declared size.
    constexpr quint64 mostGrowth = 1032;
    constexpr quint64 slack = 64 * 1024;
    const bool bounded =
        info.compressionMethod == ZIP_CM_DEFLATE || info.compressionMethod == ZIP_CM_STORE;
    if (bounded && info.size > slack &&
        info.size / mostGrowth > info.compressedSize + slack / mostGrowth)
        return Result::failure(
            QStringLiteral("entry \"%1\" is damaged: it declares %2 bytes made of %3 stored "
                           "bytes, more than compression makes of data")
                .arg(info.name.left(120))
                .arg(info.size)
                .arg(info.compressedSize));
    return info;
}

Result checkStoredSizes(zip_t *archive, quint64 archiveSize, quint64 *stored)
{
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, zip_uint64_t(index), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_COMP_SIZE))
            continue;
        *stored += st.comp_size;
        if (*stored > archiveSize)
            return Result::failure(
                QStringLiteral("it is damaged: its entries hold more data than its %1 bytes, so "
                               "they overlap")
                    .arg(archiveSize));
    }
    return Result::success();
}

QString kindText(EntryInfo::Kind kind)
{
    switch (kind) {
    case EntryInfo::Kind::File:
        return QStringLiteral("a file");
    case EntryInfo::Kind::Folder:
        return QStringLiteral("a folder");
    case EntryInfo::Kind::SymbolicLink:
        return QStringLiteral("a symbolic link");
    case EntryInfo::Kind::Special:
        break;
    }
    return QStringLiteral("a special file");
}

QString archiveErrorText(zip_t *archive)
{
    return QString::fromLocal8Bit(zip_strerror(archive));
}

Result unreadableEntry(const EntryInfo &entry, const QString &why)
{
    if (Result readable = checkReadableMethod(entry); !readable)
        return readable;
    return Result::failure(
        (entry.encrypted()
             ? QStringLiteral("Entry \"%1\" cannot be read (wrong password or damaged archive): %2")
             : QStringLiteral("Entry \"%1\" cannot be read (damaged archive): %2"))
            .arg(entry.name, why));
}

QString zipErrorText(zip_error_t *error)
{
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

QString zipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = zipErrorText(&error);
    zip_error_fini(&error);
    return text;
}

QString compressionMethodName(zip_int32_t method)
{
    switch (method) {
    case ZIP_CM_STORE:
        return QStringLiteral("Stored");
    case ZIP_CM_DEFLATE:
        return QStringLiteral("Deflate");
    case ZIP_CM_DEFLATE64:
        return QStringLiteral("Deflate64");
    case ZIP_CM_BZIP2:
        return QStringLiteral("BZip2");
    case ZIP_CM_LZMA:
        return QStringLiteral("LZMA");
    case ZIP_CM_XZ:
        return QStringLiteral("XZ");
    // Zstandard, which this libzip does not name.
    case 93:
        return QStringLiteral("Zstandard");
    case ZIP_CM_PPMD:
        return QStringLiteral("PPMd");
    case ZIP_CM_IMPLODE:
        return QStringLiteral("Implode");
    case ZIP_CM_SHRINK:
        return QStringLiteral("Shrink");
    default:
        return QStringLiteral("number %1").arg(method);
    }
}

Result checkReadableMethod(const EntryInfo &entry)
{
    if (entry.kind == EntryInfo::Kind::Folder ||
        zip_compression_method_supported(entry.compressionMethod, 0))
        return Result::success();
    return Result::failure(
        QStringLiteral("entry \"%1\" uses the compression method %2, which Quillory cannot read; "
                       "the archive itself may be sound (7-Zip reads it)")
            .arg(entry.name.left(120), compressionMethodName(entry.compressionMethod)));
}

} // namespace quillory::zipdetail
