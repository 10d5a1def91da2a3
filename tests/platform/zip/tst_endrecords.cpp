// The end records a written archive closes with are the ones a slice of a directory is read by.
#include "platform/zip/endrecords.h"
#include "support/testsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <zip.h>

#include <algorithm>
#include <optional>
#include <tuple>

using namespace quillory::zipdetail;

namespace {

// Reads the end records of the archive in the file at `path`, which may be sparse.
std::optional<DirectoryEnd> endOf(const QString &path)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_file_create(QFile::encodeName(path).constData(), 0, -1, &error);
    zip_error_fini(&error);
    std::optional<DirectoryEnd> end;
    if (source && zip_source_open(source) == 0) {
        end = readEndRecords(source, quint64(QFileInfo(path).size()));
        zip_source_close(source);
    }
    zip_source_free(source);
    return end;
}

} // namespace

class EndRecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readAsWritten_data()
    {
        const quint64 max32 = 0xFFFFFFFF;
        QTest::addColumn<quint64>("entries");
        QTest::addColumn<quint64>("directoryAt");
        QTest::addColumn<quint64>("directorySize");
        QTest::addColumn<bool>("zip64");
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<qsizetype>("cut");
        QTest::addColumn<bool>("readable");
        const auto row = [](const char *name, quint64 entries, quint64 at, quint64 size,
                            bool zip64 = false) {
            QTest::newRow(name) << entries << at << size << zip64 << QByteArray() << qsizetype(0)
                                << true;
        };
        row("classic", 3, 1000, 300);
        QTest::newRow("with a comment")
            << quint64(3) << quint64(1000) << quint64(300) << false
            << QByteArray("PK\x05\x06 written by hand, elsewhere") << qsizetype(0) << true;
        row("zip64 asked for", 3, 1000, 300, true);
        // A count or place that fills its field is the marker that sends readers to zip64's
        // records; one below is still the value itself.
        row("0xFFFE entries", 0xfffe, 1000, 300);
        row("0xFFFF entries", 0xffff, 1000, 300);
        row("0x10000 entries", 0x10000, 1000, 300);
        row("directory at 0xFFFFFFFE", 3, max32 - 1, 300);
        row("directory at 0xFFFFFFFF", 3, max32, 300);
        row("directory at 0x100000000", 3, max32 + 1, 300);
        row("directory of 0xFFFFFFFE bytes", 3, 1000, max32 - 1);
        row("directory of 0xFFFFFFFF bytes", 3, 1000, max32);
        row("directory of 0x100000000 bytes", 3, 1000, max32 + 1);
        QTest::newRow("directory cut short") << quint64(3) << quint64(1000) << quint64(300) << false
                                             << QByteArray() << qsizetype(10) << false;
        QTest::newRow("zip64 directory cut short")
            << quint64(3) << quint64(1000) << quint64(300) << true << QByteArray() << qsizetype(10)
            << false;
    }

    void readAsWritten()
    {
        QFETCH(quint64, entries);
        QFETCH(quint64, directoryAt);
        QFETCH(quint64, directorySize);
        QFETCH(bool, zip64);
        QFETCH(QByteArray, comment);
        QFETCH(qsizetype, cut);
        QFETCH(bool, readable);
        const DirectoryEnd written{entries, directoryAt, directorySize};
        QByteArray end = endRecords(written, zip64);
        const quint64 max32 = 0xFFFFFFFF;
        const bool needsZip64 =
            zip64 || entries >= 0xffff || directoryAt >= max32 || directorySize >= max32;
        QCOMPARE(end.size(), needsZip64 ? 22 + 56 + 20 : 22);
        // The classic record holds the value itself only below the marker.
        const QByteArray classic = end.right(22);
        QCOMPARE(qFromLittleEndian<quint32>(classic.constData() + 16),
                 quint32(std::min(directoryAt, max32)));
        QCOMPARE(qFromLittleEndian<quint32>(classic.constData() + 12),
                 quint32(std::min(directorySize, max32)));
        end[end.size() - 2] = char(comment.size());

        // Sparse: the places past 4 GiB cost no disk.
        QTemporaryDir dir;
        QFile archive(dir.filePath(QStringLiteral("end.zip")));
        QVERIFY(archive.open(QIODevice::WriteOnly) &&
                archive.resize(qint64(directoryAt + directorySize) - cut) &&
                archive.seek(archive.size()) && archive.write(end + comment) > 0);
        archive.close();

        const std::optional<DirectoryEnd> read = endOf(archive.fileName());
        QCOMPARE(read.has_value(), readable);
        if (readable)
            QCOMPARE(std::tuple(read->entries, read->directoryAt, read->directorySize),
                     std::tuple(entries, directoryAt, directorySize));
    }
};

QUILLORY_TEST(EndRecordsTest)
#include "tst_endrecords.moc"
