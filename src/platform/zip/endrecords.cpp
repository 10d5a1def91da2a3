#include "platform/zip/endrecords.h"

#include "platform/zip/recordbytes.h"
#include "platform/zip/seekablesource.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace quillory::zipdetail {

namespace {

constexpr quint64 max16 = std::numeric_limits<quint16>::max();
constexpr quint64 max32 = std::numeric_limits<quint32>::max();
constexpr qsizetype endLength = 22;
constexpr qsizetype zip64EndLength = 56;
constexpr qsizetype locatorLength = 20;
constexpr qsizetype longestComment = 0xffff;

template <typename T> T field(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<T>(bytes.constData() + at);
}

} // namespace

QByteArray endRecords(const DirectoryEnd &end, bool zip64)
{
    // A count or place that fills its classic field is the marker that sends readers to the
    // zip64 records, so it needs them.
    zip64 = zip64 || end.directoryAt >= max32 || end.directorySize >= max32 || end.entries >= max16;
    QByteArray bytes;
    RecordBytes record(bytes);
    if (zip64)
        record.bytes(QByteArrayLiteral("PK\x06\x06"))
            .u64(zip64EndLength - 12)
            .u16(45)
            .u16(45)
            .u32(0)
            .u32(0)
            .u64(end.entries)
            .u64(end.entries)
            .u64(end.directorySize)
            .u64(end.directoryAt)
            .bytes(QByteArrayLiteral("PK\x06\x07"))
            .u32(0)
            .u64(end.directoryAt + end.directorySize)
            .u32(1);
    record.bytes(QByteArrayLiteral("PK\x05\x06"))
        .u32(0)
        .u16(quint16(std::min(end.entries, max16)))
        .u16(quint16(std::min(end.entries, max16)))
        .u32(quint32(std::min(end.directorySize, max32)))
        .u32(quint32(std::min(end.directoryAt, max32)))
        .u16(0);
    return bytes;
}

std::optional<DirectoryEnd> readEndRecords(zip_source_t *source, quint64 size)
{
    const qsizetype tailLength =
        qsizetype(std::min<quint64>(size, quint64(longestComment + endLength)));
    QByteArray tail;
    if (tailLength < endLength ||
        !readSourceAt(source, size - quint64(tailLength), tail, tailLength))
        return std::nullopt;
    // The last record whose comment ends the archive.
    qsizetype at = tailLength - endLength;
    for (; at >= 0; --at)
        if (tail.at(at) == 'P' && tail.mid(at, 4) == "PK\x05\x06" &&
            at + endLength + field<quint16>(tail, at + 20) == tailLength)
            break;
    if (at < 0)
        return std::nullopt;
    const quint64 endAt = size - quint64(tailLength - at);
    DirectoryEnd end{field<quint16>(tail, at + 10), field<quint32>(tail, at + 16),
                     field<quint32>(tail, at + 12)};
    quint64 recordsAt = endAt;
    QByteArray locator;
    if (endAt >= quint64(locatorLength) &&
        readSourceAt(source, endAt - locatorLength, locator, locatorLength) &&
        locator.startsWith("PK\x06\x07")) {
        const quint64 zip64At = field<quint64>(locator, 8);
        QByteArray zip64End;
        if (zip64At > endAt - locatorLength ||
            !readSourceAt(source, zip64At, zip64End, zip64EndLength) ||
            !zip64End.startsWith("PK\x06\x06"))
            return std::nullopt;
        end = {field<quint64>(zip64End, 32), field<quint64>(zip64End, 48),
               field<quint64>(zip64End, 40)};
        recordsAt = zip64At;
    }
    if (end.directoryAt > recordsAt || end.directorySize > recordsAt - end.directoryAt)
        return std::nullopt;
    return end;
}

} // namespace quillory::zipdetail
