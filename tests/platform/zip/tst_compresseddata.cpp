// Files deflated the fast way come out of the archive writer as small as zlib makes them.
#include "platform/zip/compresseddata.h"
#include "platform/zip/ziparchive.h"
#include "support/testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <zip.h>
#include <zlib.h>

using namespace quillory;
using namespace quillory::zipdetail;
using quillory::test::noise;
using quillory::test::readFile;

namespace {

// As a mail program encodes an attachment: base64 in lines of 76 letters.
QByteArray mimeEncoded(const QByteArray &bytes)
{
    const QByteArray text = bytes.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < text.size(); at += 76)
        lines += text.mid(at, 76) + "\r\n";
    return lines;
}

qsizetype zlibSize(const QByteArray &data)
{
    z_stream zlib{};
    deflateInit2(&zlib, thoroughDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zlib, uLong(data.size()))), 0);
    zlib.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zlib.avail_in = uInt(data.size());
    zlib.next_out = reinterpret_cast<Bytef *>(out.data());
    zlib.avail_out = uInt(out.size());
    deflate(&zlib, Z_FINISH);
    const qsizetype size = qsizetype(zlib.total_out);
    deflateEnd(&zlib);
    return size;
}

} // namespace

class CompressedDataTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Files up to 4 MB are deflated whole, larger ones as a stream.
    void asSmallAsZlibMakesIt_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("compressed");
        const QByteArray prose = readFile(test::sourceDir() + QStringLiteral("/README.md"));
        const QByteArray program =
            readFile(test::binDir() + QStringLiteral("/brevnor")).left(1 << 20);
        QVERIFY(prose.size() > 4000 && program.size() > 100000);
        const QByteArray message = prose.left(4000) + "\r\n\r\n";
        QTest::newRow("prose") << prose << false;
        QTest::newRow("program") << program << false;
        QTest::newRow("prose, base64") << mimeEncoded(prose) << false;
        QTest::newRow("compressed") << noise(40000) << true;
        QTest::newRow("compressed, base64") << mimeEncoded(noise(40000)) << true;
        QTest::newRow("message with an attachment") << message + mimeEncoded(noise(40000)) << true;
        QTest::newRow("a few bytes") << QByteArray("Subject: hi\r\n") << false;
        QTest::newRow("large text") << prose.repeated((5 << 20) / prose.size()) << false;
        QTest::newRow("large message with an attachment")
            << message + mimeEncoded(noise(4 << 20)) << true;
    }

    void asSmallAsZlibMakesIt()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, compressed);
        QCOMPARE(looksCompressed(reinterpret_cast<const uint8_t *>(data.constData()),
                                 size_t(data.size())),
                 compressed);

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.eml"));
        const QString archive = dir.filePath(QStringLiteral("b.zip"));
        QVERIFY(test::writeFile(file, data));
        ZipArchive writer;
        QVERIFY(writer.CreateArchive(archive));
        QVERIFY(writer.AddFiles(file));
        QVERIFY(writer.WriteArchive());
        zip_t *zip = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, nullptr);
        QVERIFY(zip);
        zip_stat_t st;
        QCOMPARE(zip_stat_index(zip, 0, 0, &st), 0);
        zip_discard(zip);
        QCOMPARE(st.size, zip_uint64_t(data.size()));
        // What the archive as a whole promises against zip's, and a few bytes for the smallest
        // file's block headers.
        QVERIFY2(qsizetype(st.comp_size) <= zlibSize(data) * 1.02 + 8,
                 qPrintable(QStringLiteral("%1 against %2").arg(st.comp_size).arg(zlibSize(data))));
    }
};

QUILLORY_TEST(CompressedDataTest)
#include "tst_compresseddata.moc"
