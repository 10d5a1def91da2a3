// Files deflated the fast way come out of the archive writer as small as zlib makes them.
#include "platform/zip/compresseddata.h"
#include "platform/zip/piecewisedeflate.h"
#include "platform/zip/ziparchive.h"
#include "support/testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

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

qsizetype zlibSize(const QByteArray &data, int strategy = Z_DEFAULT_STRATEGY)
{
    z_stream zlib{};
    deflateInit2(&zlib, thoroughDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, strategy);
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

// Inflates a raw deflate stream; empty when it is not one whole stream.
QByteArray inflated(const QByteArray &deflated, qsizetype size)
{
    z_stream zlib{};
    inflateInit2(&zlib, -MAX_WBITS);
    QByteArray out(size + 1, 0);
    zlib.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(deflated.constData()));
    zlib.avail_in = uInt(deflated.size());
    zlib.next_out = reinterpret_cast<Bytef *>(out.data());
    zlib.avail_out = uInt(out.size());
    const int status = inflate(&zlib, Z_FINISH);
    out.truncate(qsizetype(zlib.total_out));
    const bool whole = status == Z_STREAM_END && zlib.avail_in == 0;
    inflateEnd(&zlib);
    return whole ? out : QByteArray();
}

} // namespace

class CompressedDataTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void piecesMakeOneStream_data()
    {
        QTest::addColumn<qsizetype>("started");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<int>("strategy");
        QTest::addColumn<qsizetype>("failAt");
        const qsizetype piece = qsizetype(PiecewiseDeflate::pieceSize);
        QTest::newRow("started with all of it")
            << 4 * piece << 4 * piece << Z_DEFAULT_STRATEGY << qsizetype(-1);
        QTest::newRow("read on, ending inside a piece")
            << 4 * piece << 6 * piece + 12345 << Z_DEFAULT_STRATEGY << qsizetype(-1);
        QTest::newRow("codes only")
            << 4 * piece << 5 * piece + 1 << Z_HUFFMAN_ONLY << qsizetype(-1);
        QTest::newRow("read fails") << 4 * piece << 8 * piece << Z_DEFAULT_STRATEGY << 6 * piece;
    }

    // Deflated piece by piece on several threads, a file is still one deflate stream, and a read
    // that fails fails the whole.
    void piecesMakeOneStream()
    {
        QFETCH(qsizetype, started);
        QFETCH(qsizetype, size);
        QFETCH(int, strategy);
        QFETCH(qsizetype, failAt);
        const QByteArray prose = readFile(test::sourceDir() + QStringLiteral("/README.md"));
        const QByteArray file = (prose.repeated(20) + mimeEncoded(noise(size))).left(size);
        QCOMPARE(file.size(), size);
        qsizetype readTo = started;
        PiecewiseDeflate pieces(
            thoroughDeflateLevel, strategy,
            [&](uint8_t *data, size_t length) -> qint64 {
                if (failAt >= 0 && readTo >= failAt)
                    return -1;
                // Odd lengths, as reads of a pipe or a slow disk give them.
                const qsizetype count =
                    std::min({qsizetype(length), size - readTo, qsizetype(77777)});
                std::memcpy(data, file.constData() + readTo, size_t(count));
                readTo += count;
                return count;
            },
            reinterpret_cast<const uint8_t *>(file.constData()), size_t(started));
        QByteArray deflated;
        char buffer[100000];
        qint64 got = 0;
        while ((got = pieces.read(reinterpret_cast<uint8_t *>(buffer), sizeof buffer)) > 0)
            deflated.append(buffer, got);
        if (failAt >= 0) {
            QCOMPARE(got, -1);
            return;
        }
        QCOMPARE(got, 0);
        QVERIFY(inflated(deflated, size) == file);
        // As small as one stream of the same kind.
        const qsizetype single = zlibSize(file, strategy);
        QVERIFY2(deflated.size() <= single * 1.01,
                 qPrintable(QStringLiteral("%1 against %2").arg(deflated.size()).arg(single)));
    }

    // Files up to 4 MB are deflated whole, larger ones in pieces.
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
