#pragma once

#include <QByteArray>
#include <QtEndian>

namespace quillory::zipdetail {

// Appends a zip record's fields to `bytes`, little-endian, as the format lays them out.
class RecordBytes {
public:
    explicit RecordBytes(QByteArray &bytes) : m_bytes(bytes) {}
    RecordBytes &u8(quint8 value) { return put(value); }
    RecordBytes &u16(quint16 value) { return put(value); }
    RecordBytes &u32(quint32 value) { return put(value); }
    RecordBytes &u64(quint64 value) { return put(value); }
    RecordBytes &bytes(const QByteArray &value)
    {
        m_bytes.append(value);
        return *this;
    }

private:
    template <typename T> RecordBytes &put(T value)
    {
        const T little = qToLittleEndian(value);
        m_bytes.append(reinterpret_cast<const char *>(&little), sizeof little);
        return *this;
    }
    QByteArray &m_bytes;
};

} // namespace quillory::zipdetail
