// The end records a written archive closes with are the ones a slice of a directory is read by.
#include "platform/zip/endrecords.h"
#include "support/testsupport.h"

#include <QTest>

#include <zip.h>

#include <optional>

using namespace quillory::zipdetail;

namespace {

std::optional<DirectoryEnd> endOf(const QByteArray &archive)
{
    zip_source_t *source =
        zip_source_buffer_create(archive.constData(), zip_uint64_t(archive.size()), 0, nullptr);
    std::optional<DirectoryEnd> end;
    if (source && zip_source_open(source) == 0) {
        end = readEndRecords(source, quint64(archive.size()));
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
        QTest::addColumn<quint64>("entries");
        QTest::addColumn<bool>("zip64");
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<qsizetype>("cut");
        QTest::addColumn<bool>("readable");
        QTest::newRow("classic") << quint64(3) << false << QByteArray() << qsizetype(0) << true;
        QTest::newRow("with a comment")
            << quint64(3) << false << QByteArray("PK\x05\x06 written by hand, elsewhere")
            << qsizetype(0) << true;
        QTest::newRow("zip64 asked for")
            << quint64(3) << true << QByteArray() << qsizetype(0) << true;
        QTest::newRow("zip64 for the count")
            << quint64(70000) << false << QByteArray() << qsizetype(0) << true;
        QTest::newRow("0xFFFE entries")
            << quint64(0xfffe) << false << QByteArray() << qsizetype(0) << true;
        // A count that fills its field is the marker that sends readers to zip64's records.
        QTest::newRow("0xFFFF entries")
            << quint64(0xffff) << false << QByteArray() << qsizetype(0) << true;
        QTest::newRow("0x10000 entries")
            << quint64(0x10000) << false << QByteArray() << qsizetype(0) << true;
        QTest::newRow("directory cut short")
            << quint64(3) << false << QByteArray() << qsizetype(10) << false;
        QTest::newRow("zip64 directory cut short")
            << quint64(3) << true << QByteArray() << qsizetype(10) << false;
    }

    void readAsWritten()
    {
        QFETCH(quint64, entries);
        QFETCH(bool, zip64);
        QFETCH(QByteArray, comment);
        QFETCH(qsizetype, cut);
        QFETCH(bool, readable);
        const DirectoryEnd written{entries, 1000, 300};
        QByteArray archive(qsizetype(written.directoryAt + written.directorySize) - cut, 'd');
        QByteArray end = endRecords(written, zip64);
        QCOMPARE(end.size(), zip64 || entries >= 0xffff ? 22 + 56 + 20 : 22);
        end[end.size() - 2] = char(comment.size());
        archive += end + comment;

        const std::optional<DirectoryEnd> read = endOf(archive);
        QCOMPARE(read.has_value(), readable);
        if (readable)
            QCOMPARE(std::tuple(read->entries, read->directoryAt, read->directorySize),
                     std::tuple(entries, written.directoryAt, written.directorySize));
    }
};

QUILLORY_TEST(EndRecordsTest)
#include "tst_endrecords.moc"
