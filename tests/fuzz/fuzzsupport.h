#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace quillory::fuzz {

// The input as bytes, without copying.
inline QByteArray inputBytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A folder of the process's own, emptied before every input so that no input sees what an
// earlier one left.
class Scratch {
public:
    Scratch();
    // The folder, emptied.
    QString fresh();
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Every file and folder below the scratch folder, relative, folders ending in "/".
    QStringList contents() const;

private:
    QTemporaryDir m_dir;
};

void writeInput(const QString &path, const QByteArray &bytes);

// Ends the run as a finding: libFuzzer keeps the input that got here.
[[noreturn]] void fail(const QString &what);

} // namespace quillory::fuzz

#define FUZZ_REQUIRE(condition, what)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::quillory::fuzz::fail(what);                                                          \
    } while (false)
