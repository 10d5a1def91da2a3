// Data deflated the fast way comes out no larger than deflated thoroughly.
#include "platform/zip/compresseddata.h"
#include "platform/zip/ziparchive.h"
#include "support/testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <libdeflate.h>
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

QByteArray prose()
{
    return readFile(test::sourceDir() + QStringLiteral("/README.md"));
}

const uint8_t *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const uint8_t *>(data.constData());
}

qsizetype libdeflateSize(const QByteArray &data, int level)
{
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(level);
    QByteArray out(qsizetype(libdeflate_deflate_compress_bound(nullptr, size_t(data.size()))), 0);
    const size_t size = libdeflate_deflate_compress(
        compressor, data.constData(), size_t(data.size()), out.data(), size_t(out.size()));
    libdeflate_free_compressor(compressor);
    return qsizetype(size);
}

qsizetype zlibSize(const QByteArray &data)
{
    z_stream zlib{};
    deflateInit2(&zlib, thoroughDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zlib, uLong(data.size()))), 0);
    zlib.next_in = const_cast<Bytef *>(bytesOf(data));
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
    void fastOnlyWhereItCostsNoSize_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("compressed");
        const QByteArray text = prose();
        const QByteArray program =
            readFile(test::binDir() + QStringLiteral("/brevnor")).left(1 << 20);
        QVERIFY(text.size() > 4000 && program.size() > 100000);
        QTest::newRow("prose") << text << false;
        QTest::newRow("program") << program << false;
        QTest::newRow("prose, base64") << mimeEncoded(text) << false;
        QTest::newRow("compressed") << noise(40000) << true;
        QTest::newRow("compressed, base64") << mimeEncoded(noise(40000)) << true;
        QTest::newRow("message with an attachment")
            << text.left(4000) + "\r\n\r\n" + mimeEncoded(noise(40000)) << true;
        QTest::newRow("a few bytes") << QByteArray("Subject: hi\r\n") << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }

    void fastOnlyWhereItCostsNoSize()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, compressed);
        QCOMPARE(looksCompressed(bytesOf(data), size_t(data.size())), compressed);
        if (compressed)
            QVERIFY(libdeflateSize(data, fastDeflateLevel) <=
                    libdeflateSize(data, thoroughDeflateLevel) * 1.005);
    }

    // Files too large to deflate whole, in an archive as zip would make them.
    void largeFilesAsSmallAsZlibMakesThem_data()
    {
        QTest::addColumn<QByteArray>("data");
        QByteArray text;
        while (text.size() < 5 << 20)
            text += prose();
        QTest::newRow("text") << text;
        QTest::newRow("message with an attachment")
            << prose().left(4000) + "\r\n\r\n" + mimeEncoded(noise(4 << 20));
    }

    void largeFilesAsSmallAsZlibMakesThem()
    {
        QFETCH(QByteArray, data);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("large.eml"));
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
        QVERIFY2(qsizetype(st.comp_size) <= zlibSize(data) * 1.005,
                 qPrintable(QStringLiteral("%1 against %2").arg(st.comp_size).arg(zlibSize(data))));
    }
};

QUILLORY_TEST(CompressedDataTest)
#include "tst_compresseddata.moc"
