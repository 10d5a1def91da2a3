#include "platform/zip/sequentialzipwriter.h"

#include "platform/zip/endrecords.h"
#include "platform/zip/entryinfo.h"
#include "platform/zip/recordbytes.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

namespace quillory::zipdetail {

namespace {

constexpr quint64 max32 = std::numeric_limits<quint32>::max();
// The largest file whose deflated form surely fits in 32 bits: beyond it the local header makes
// room for 64-bit sizes before the data is known.
constexpr quint64 largestDeflatedIn32Bits = 4293656963u;
constexpr quint16 winZipAesMethod = 99;
constexpr quint16 encryptedFlag = 0x0001;
constexpr quint16 utf8NameFlag = 0x0800;
constexpr quint16 zip64Field = 0x0001;
constexpr quint16 winZipAesField = 0x9901;
// Unix as the host, version 6.3 of the format.
constexpr quint16 madeBy = (ZIP_OPSYS_UNIX << 8) | 63;
// An AE-2 entry of fewer bytes than this carries no CRC: it would give away too much of them.
constexpr quint64 smallestAesCrc = 20;
constexpr qsizetype copySize = 256 * 1024;

// The date and time in local time, as the DOS fields hold them; years before 1980 become 1980.
void dosTime(time_t time, quint16 *dosTime, quint16 *dosDate)
{
    struct tm local {};
    if (!::localtime_r(&time, &local)) {
        *dosDate = (1 << 5) + 1;
        *dosTime = 0;
        return;
    }
    local.tm_year = std::max(local.tm_year, 80);
    *dosDate =
        quint16(((local.tm_year + 1900 - 1980) << 9) + ((local.tm_mon + 1) << 5) + local.tm_mday);
    *dosTime = quint16((local.tm_hour << 11) + (local.tm_min << 5) + (local.tm_sec >> 1));
}

bool isAscii(const QByteArray &name)
{
    return std::all_of(name.cbegin(), name.cend(), [](char c) { return quint8(c) < 0x80; });
}

} // namespace

SequentialZipWriter::SequentialZipWriter(zip_source_t *target, QString name, quint64 entries,
                                         NameOf nameOf, Stopped stopped, Progress progress)
    : m_target(target), m_name(std::move(name)), m_entries(entries), m_nameOf(std::move(nameOf)),
      m_stopped(std::move(stopped)), m_progress(std::move(progress))
{
    m_written.reserve(size_t(entries));
}

SequentialZipWriter::~SequentialZipWriter()
{
    if (m_begun && !m_finished)
        zip_source_rollback_write(m_target);
}

Result SequentialZipWriter::begin()
{
    if (zip_source_begin_write(m_target) != 0)
        return writeFailed();
    m_begun = true;
    return Result::success();
}

Result SequentialZipWriter::writeFailed()
{
    return Result::failure(QStringLiteral("Cannot write %1: %2")
                               .arg(m_name, zipErrorText(zip_source_error(m_target))));
}

Result SequentialZipWriter::write(const void *data, quint64 length)
{
    if (zip_source_write(m_target, data, length) != zip_int64_t(length))
        return writeFailed();
    m_position += length;
    return Result::success();
}

Result SequentialZipWriter::stoppedIfAsked() const
{
    if (m_stopped && m_stopped())
        return Result::failure(QStringLiteral("Writing %1 was stopped.").arg(m_name));
    return Result::success();
}

void SequentialZipWriter::advance(double withinEntry)
{
    if (m_progress && m_entries > 0)
        m_progress((double(m_written.size()) + withinEntry) / double(m_entries));
}

Result SequentialZipWriter::writeHeader(const Written &header, const QByteArray &name, bool local)
{
    const bool reallyZip64 = header.size >= max32 || header.compressedSize >= max32 ||
                             (!local && header.offset >= max32);
    const bool zip64 = (local && header.forceZip64) || reallyZip64;
    m_zip64 = m_zip64 || (!local && zip64);

    quint16 needed = 10;
    if (header.aes)
        needed = 51;
    else if (header.forceZip64 || header.size >= max32 || header.compressedSize >= max32)
        needed = 45;
    else if (header.method == ZIP_CM_DEFLATE || name.endsWith('/'))
        needed = 20;
    if (reallyZip64)
        needed = std::max<quint16>(needed, 45);

    const bool bothSizesIn64 = local && (header.compressedSize >= max32 || header.size >= max32);
    // The fields that hold the marker, whose values are in the zip64 field.
    const bool allIn64 = bothSizesIn64 || (!local && zip64);
    QByteArray extra;
    RecordBytes fields(extra);
    if (header.aes)
        fields.u16(winZipAesField).u16(7).u16(2).bytes("AE").u8(3).u16(header.method);
    if (zip64) {
        QByteArray values;
        RecordBytes sizes(values);
        // A field that holds the 0xFFFFFFFF marker has its value here, also when the value is
        // 0xFFFFFFFF itself: readers take the marker as "look in the zip64 field" whatever
        // the value.
        if (local) {
            if (header.forceZip64 || bothSizesIn64)
                sizes.u64(header.size).u64(header.compressedSize);
        } else {
            // All three, each field holding the marker: Info-ZIP's unzip takes a size from here
            // also when the entry before had exactly 0xFFFFFFFF for it, and then misreads a
            // field that holds fewer values.
            sizes.u64(header.size).u64(header.compressedSize).u64(header.offset);
        }
        fields.u16(zip64Field).u16(quint16(values.size())).bytes(values);
    }

    QByteArray bytes;
    bytes.reserve(46 + name.size() + extra.size());
    RecordBytes record(bytes);
    record.bytes(local ? QByteArrayLiteral("PK\x03\x04") : QByteArrayLiteral("PK\x01\x02"));
    if (!local)
        record.u16(madeBy);
    record.u16(needed)
        .u16(quint16((header.aes ? encryptedFlag : 0) | (isAscii(name) ? 0 : utf8NameFlag)))
        .u16(header.aes ? winZipAesMethod : header.method)
        .u16(header.dosTime)
        .u16(header.dosDate)
        .u32(header.aes && header.size < smallestAesCrc ? 0 : header.crc)
        .u32(allIn64 ? quint32(max32) : quint32(header.compressedSize))
        .u32(allIn64 ? quint32(max32) : quint32(header.size))
        .u16(quint16(name.size()))
        .u16(quint16(extra.size()));
    if (!local)
        record.u16(0)
            .u16(0)
            .u16(0)
            .u32(header.externalAttributes)
            .u32(allIn64 ? quint32(max32) : quint32(header.offset));
    record.bytes(name).bytes(extra);
    return write(bytes.constData(), quint64(bytes.size()));
}

Result SequentialZipWriter::addFolder(mode_t mode, time_t modified)
{
    if (Result stopped = stoppedIfAsked(); !stopped)
        return stopped;
    constexpr quint32 dosFolder = 0x10;
    Written folder;
    dosTime(modified, &folder.dosTime, &folder.dosDate);
    folder.offset = m_position;
    folder.externalAttributes = (quint32(mode & 0xffff) << 16) | dosFolder;
    if (Result written = writeHeader(folder, m_nameOf(m_written.size()), true); !written)
        return written;
    m_written.push_back(folder);
    advance(0);
    return Result::success();
}

Result SequentialZipWriter::addFile(zip_source_t *source, const QString &sourcePath)
{
    if (Result stopped = stoppedIfAsked(); !stopped)
        return stopped;
    const auto unreadable = [&] {
        return Result::failure(
            QStringLiteral("Cannot read %1 while writing %2: %3")
                .arg(sourcePath, m_name, zipErrorText(zip_source_error(source))));
    };
    // What is known before the data: the size found when the file was added, its attributes,
    // whether it is encrypted.
    zip_stat_t before;
    zip_stat_init(&before);
    zip_file_attributes_t attributes;
    zip_file_attributes_init(&attributes);
    if (zip_source_stat(source, &before) != 0 ||
        zip_source_get_file_attributes(source, &attributes) != 0)
        return unreadable();
    const QByteArray name = m_nameOf(m_written.size());
    Written header;
    header.aes =
        (before.valid & ZIP_STAT_ENCRYPTION_METHOD) && before.encryption_method != ZIP_EM_NONE;
    header.offset = m_position;
    header.externalAttributes = attributes.external_file_attributes;
    header.forceZip64 = (before.valid & ZIP_STAT_SIZE) && before.size > largestDeflatedIn32Bits;
    header.method = ZIP_CM_DEFLATE;
    header.size = before.size;
    if (Result written = writeHeader(header, name, true); !written)
        return written;

    if (zip_source_open(source) != 0)
        return unreadable();
    const quint64 dataStart = m_position;
    m_buffer.resize(copySize);
    Result copied = Result::success();
    for (;;) {
        const zip_int64_t got = zip_source_read(source, m_buffer.data(), quint64(m_buffer.size()));
        if (got < 0) {
            copied = unreadable();
            break;
        }
        if (got == 0)
            break;
        if (!(copied = write(m_buffer.constData(), quint64(got))) || !(copied = stoppedIfAsked()))
            break;
        if (before.size > 0)
            advance(std::min(1.0, double(m_position - dataStart) / double(before.size)));
    }
    zip_stat_t after;
    zip_stat_init(&after);
    if (copied && zip_source_stat(source, &after) != 0)
        copied = unreadable();
    zip_source_close(source);
    if (!copied)
        return copied;

    header.method = after.comp_method;
    dosTime(after.mtime, &header.dosTime, &header.dosDate);
    header.crc = after.crc;
    header.size = after.size;
    header.compressedSize = m_position - dataStart;
    const quint64 end = m_position;
    if (zip_source_seek_write(m_target, zip_int64_t(header.offset), SEEK_SET) != 0)
        return writeFailed();
    m_position = header.offset;
    if (Result written = writeHeader(header, name, true); !written)
        return written;
    if (m_position != dataStart)
        return Result::failure(
            QStringLiteral("Cannot write %1: the header of %2 changed its length.")
                .arg(m_name, sourcePath));
    if (zip_source_seek_write(m_target, 0, SEEK_END) != 0)
        return writeFailed();
    m_position = end;
    m_written.push_back(header);
    advance(0);
    return Result::success();
}

Result SequentialZipWriter::finish()
{
    const quint64 directoryAt = m_position;
    for (quint64 index = 0; index < m_written.size(); ++index)
        if (Result written = writeHeader(m_written[index], m_nameOf(index), false); !written)
            return written;
    const quint64 directorySize = m_position - directoryAt;
    const quint64 entries = m_written.size();
    const QByteArray end = endRecords({entries, directoryAt, directorySize}, m_zip64);
    if (Result written = write(end.constData(), quint64(end.size())); !written)
        return written;
    if (zip_source_commit_write(m_target) != 0)
        return writeFailed();
    m_finished = true;
    advance(0);
    return Result::success();
}

} // namespace quillory::zipdetail
