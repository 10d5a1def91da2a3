#pragma once

#include "platform/result.h"
#include "platform/zip/entryinfo.h"

#include <QString>

#include <optional>
#include <sys/types.h>
#include <vector>

struct libdeflate_decompressor;

namespace quillory::zipdetail {

// Writes small entries as new files in one piece: the raw data is read whole, inflated with
// libdeflate into a buffer kept for the next entry, its CRC checked, and the file written with
// one call. Most files of a mail store are small, and this costs a fraction of libzip's
// streaming inflate per file. One writer per thread.
class WholeEntryWriter {
public:
    // Entries larger than this are streamed, so that memory stays bounded.
    static constexpr quint64 sizeLimit = 4 * 1024 * 1024;

    WholeEntryWriter();
    ~WholeEntryWriter();
    WholeEntryWriter(const WholeEntryWriter &) = delete;
    WholeEntryWriter &operator=(const WholeEntryWriter &) = delete;

    // Whether `entry` is written here: an unencrypted file, stored or deflated, within the limit.
    static bool fits(const EntryInfo &entry);

    // Writes `entry` as the new file `target` with the entry's modification time; nullopt when
    // something is already there (a file to replace, a link or folder to refuse), which is
    // `writeEntryFile`'s to handle. A file that fails half-way is removed again. When the file
    // `unchanged` already holds exactly what the entry would write, `target` becomes another name
    // for it instead.
    std::optional<Result> write(zip_t *archive, const EntryInfo &entry, const QString &target,
                                const QString &unchanged = {});

private:
    // The entry's data, inflated and its CRC checked, in a buffer valid until the next call.
    Expected<const char *> inflate(zip_t *archive, const EntryInfo &entry);
    mode_t modeIn(const QString &folder);

    libdeflate_decompressor *m_decompressor = nullptr;
    std::vector<char> m_packed;
    std::vector<char> m_data;
    QString m_folder;
    mode_t m_folderMode = 0666;
};

} // namespace quillory::zipdetail
