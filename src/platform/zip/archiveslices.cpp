#include "platform/zip/archiveslices.h"

#include "platform/zip/entryinfo.h"
#include "platform/zip/seekablesource.h"

#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace quillory::zipdetail {

namespace {

constexpr qsizetype recordLength = 46;
constexpr qsizetype readSize = 1024 * 1024;

// A slice as libzip sees it: the archive's bytes up to the directory, the slice's records, and
// end records of its own.
struct SliceSource {
    zip_source_t *base = nullptr;
    quint64 dataEnd = 0;
    quint64 recordsAt = 0;
    quint64 recordsSize = 0;
    QByteArray end;
    quint64 position = 0;
    zip_error_t error{};

    quint64 size() const { return dataEnd + recordsSize + quint64(end.size()); }

    zip_int64_t fail(zip_error_t *cause)
    {
        zip_error_set(&error, zip_error_code_zip(cause), zip_error_code_system(cause));
        return -1;
    }

    zip_int64_t read(char *data, quint64 wanted)
    {
        const quint64 length = std::min(wanted, size() - std::min(position, size()));
        if (length == 0)
            return 0;
        const quint64 recordsEnd = dataEnd + recordsSize;
        if (position >= recordsEnd) {
            std::copy_n(end.constData() + (position - recordsEnd), length, data);
            position += length;
            return zip_int64_t(length);
        }
        const quint64 baseAt = position < dataEnd ? position : recordsAt + (position - dataEnd);
        const quint64 piece =
            std::min(length, (position < dataEnd ? dataEnd : recordsEnd) - position);
        if (zip_source_seek(base, zip_int64_t(baseAt), SEEK_SET) != 0)
            return fail(zip_source_error(base));
        const zip_int64_t got = zip_source_read(base, data, piece);
        if (got < 0)
            return fail(zip_source_error(base));
        position += quint64(got);
        return got;
    }
};

Expected<ArchiveHandle> openFromSource(zip_source_t *source)
{
    zip_error_t error;
    zip_error_init(&error);
    ArchiveHandle archive(zip_open_from_source(source, ZIP_RDONLY, &error));
    const QString why = zipErrorText(&error);
    zip_error_fini(&error);
    if (!archive)
        return Result::failure(why);
    return archive;
}

} // namespace

Expected<ArchiveSlices> ArchiveSlices::open(SourceHandle base)
{
    ArchiveSlices slices;
    slices.m_base = std::move(base);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(slices.m_base.get(), &st) == 0 && (st.valid & ZIP_STAT_SIZE) &&
        zip_source_open(slices.m_base.get()) == 0) {
        if (const std::optional<DirectoryEnd> end = readEndRecords(slices.m_base.get(), st.size);
            end && end->entries > entriesPerSlice) {
            slices.m_end = *end;
            if (slices.cut())
                return slices;
        }
        zip_source_close(slices.m_base.get());
    }
    // Whole: libzip takes the source over once the archive is open.
    Expected<ArchiveHandle> whole = openFromSource(slices.m_base.get());
    if (!whole)
        return whole.result();
    (void)slices.m_base.release();
    slices.m_opened = std::move(whole.value());
    slices.m_whole = slices.m_opened.get();
    slices.m_slices.clear();
    return slices;
}

// Finds where each slice's records start, walking the directory record by record.
bool ArchiveSlices::cut()
{
    const quint64 end = m_end.directoryAt + m_end.directorySize;
    QByteArray buffer;
    quint64 bufferAt = m_end.directoryAt;
    // Makes the `length` bytes from `at` lie in the buffer.
    const auto load = [&](quint64 at, qsizetype length) {
        if (at >= bufferAt && at + quint64(length) <= bufferAt + quint64(buffer.size()))
            return true;
        if (end - at < quint64(length))
            return false;
        const qsizetype wanted = qsizetype(
            std::min<quint64>(std::max<quint64>(quint64(readSize), quint64(length)), end - at));
        if (!readSourceAt(m_base.get(), at, buffer, wanted))
            return false;
        bufferAt = at;
        return true;
    };
    quint64 at = m_end.directoryAt;
    for (quint64 entry = 0; entry < m_end.entries; ++entry) {
        if (entry % entriesPerSlice == 0)
            m_slices.emplace_back(entry, at);
        if (!load(at, recordLength))
            return false;
        const char *record = buffer.constData() + (at - bufferAt);
        if (QByteArrayView(record, 4) != "PK\x01\x02")
            return false;
        const quint64 length = quint64(recordLength) + qFromLittleEndian<quint16>(record + 28) +
                               qFromLittleEndian<quint16>(record + 30) +
                               qFromLittleEndian<quint16>(record + 32);
        if (end - at < length)
            return false;
        at += length;
    }
    if (at != end)
        return false;
    m_slices.emplace_back(m_end.entries, at);
    return true;
}

quint64 ArchiveSlices::entryCount() const
{
    return m_whole ? quint64(std::max<zip_int64_t>(zip_get_num_entries(m_whole, 0), 0))
                   : m_slices.back().first;
}

Result ArchiveSlices::eachSlice(const std::function<Result(zip_t *entries, quint64 first)> &visit)
{
    for (qsizetype at = 0; at < count(); ++at) {
        const Expected<zip_t *> entries = slice(at);
        if (!entries)
            return entries.result();
        if (Result visited = visit(*entries, first(at)); !visited)
            return visited;
    }
    return Result::success();
}

Expected<zip_t *> ArchiveSlices::slice(qsizetype slice)
{
    if (m_whole)
        return m_whole;
    m_opened.reset();
    const auto &[first, recordsAt] = m_slices[size_t(slice)];
    const auto &[next, recordsEnd] = m_slices[size_t(slice) + 1];
    auto source = std::make_unique<SliceSource>();
    source->base = m_base.get();
    source->dataEnd = m_end.directoryAt;
    source->recordsAt = recordsAt;
    source->recordsSize = recordsEnd - recordsAt;
    source->end = endRecords({next - first, m_end.directoryAt, recordsEnd - recordsAt}, false);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *made = createSeekableSource(std::move(source), &error);
    const QString why = zipErrorText(&error);
    zip_error_fini(&error);
    if (!made)
        return Result::failure(why);
    Expected<ArchiveHandle> opened = openFromSource(made);
    if (!opened) {
        zip_source_free(made);
        return opened.result();
    }
    m_opened = std::move(opened.value());
    return m_opened.get();
}

} // namespace quillory::zipdetail
