// Data deflated at the fast level comes out no larger than at the thorough one.
#include "platform/zip/deflatelevel.h"
#include "support/testsupport.h"

#include <QTest>

#include <libdeflate.h>

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

qsizetype deflatedSize(const QByteArray &data, int level)
{
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(level);
    QByteArray out(qsizetype(libdeflate_deflate_compress_bound(nullptr, size_t(data.size()))), 0);
    const size_t size = libdeflate_deflate_compress(
        compressor, data.constData(), size_t(data.size()), out.data(), size_t(out.size()));
    libdeflate_free_compressor(compressor);
    return qsizetype(size);
}

} // namespace

class DeflateLevelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fastOnlyWhereItCostsNoSize_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("level");
        const QByteArray prose = readFile(test::sourceDir() + QStringLiteral("/README.md"));
        const QByteArray program =
            readFile(test::binDir() + QStringLiteral("/brevnor")).left(1 << 20);
        QVERIFY(prose.size() > 4000 && program.size() > 100000);
        QTest::newRow("prose") << prose << thoroughDeflateLevel;
        QTest::newRow("program") << program << thoroughDeflateLevel;
        QTest::newRow("prose, base64") << mimeEncoded(prose) << thoroughDeflateLevel;
        QTest::newRow("compressed") << noise(40000) << fastDeflateLevel;
        QTest::newRow("compressed, base64") << mimeEncoded(noise(40000)) << fastDeflateLevel;
        QTest::newRow("message with an attachment")
            << prose.left(4000) + "\r\n\r\n" + mimeEncoded(noise(40000)) << fastDeflateLevel;
        QTest::newRow("a few bytes") << QByteArray("Subject: hi\r\n") << thoroughDeflateLevel;
        QTest::newRow("nothing") << QByteArray() << thoroughDeflateLevel;
    }

    void fastOnlyWhereItCostsNoSize()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, level);
        QCOMPARE(deflateLevelFor(reinterpret_cast<const uint8_t *>(data.constData()),
                                 size_t(data.size())),
                 level);
        if (level == fastDeflateLevel)
            QVERIFY(deflatedSize(data, level) <= deflatedSize(data, thoroughDeflateLevel) * 1.005);
    }
};

QUILLORY_TEST(DeflateLevelTest)
#include "tst_deflatelevel.moc"
