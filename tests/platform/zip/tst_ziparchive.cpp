#include "platform/zip/archiveslices.h"
#include "platform/zip/archivestream.h"
#include "platform/zip/entrymaker.h"
#include "platform/zip/fileentrysource.h"
#include "platform/zip/sequentialzipwriter.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"
#include "support/testsupport.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QtConcurrent/QtConcurrentRun>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

using namespace quillory;
using quillory::test::noise;
using quillory::test::readFile;
using quillory::test::treeOf;
using quillory::test::writeFile;

namespace {

int run(const QString &program, const QStringList &arguments, const QString &folder = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    process.readAllStandardOutput();
    return process.exitCode();
}

// Writes an archive with Python's zipfile, which writes whatever names and modes it is told.
bool makeZipWithPython(const QString &path, const QString &body)
{
    const QString script =
        QStringLiteral("import sys, zipfile\n"
                       "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
                       "def entry(name, data=b'x', mode=0o100644):\n"
                       "    i = zipfile.ZipInfo(name, (2009, 2, 3, 10, 20, 30))\n"
                       "    i.create_system = 3\n"
                       "    i.external_attr = mode << 16\n"
                       "    z.writestr(i, data)\n") +
        body + QStringLiteral("\nz.close()\n");
    return run(QStringLiteral("python3"), {QStringLiteral("-c"), script, path}) == 0;
}

const QDateTime knownTime(QDate(2009, 2, 3), QTime(10, 20, 30));

// The CRC of `length` zero bytes, without reading them: two runs' CRCs combine into theirs.
quint32 zerosCrc(quint64 length)
{
    const char zero = 0;
    uLong crc = 0;
    uLong run = ::crc32(0, reinterpret_cast<const Bytef *>(&zero), 1);
    for (quint64 runLength = 1; length > 0; length >>= 1, runLength <<= 1) {
        if (length & 1)
            crc = ::crc32_combine(crc, run, z_off_t(runLength));
        run = ::crc32_combine(run, run, z_off_t(runLength));
    }
    return quint32(crc);
}

// An entry of `size` zero bytes, stored, as the file entry source hands a stored file over.
zip_source_t *zerosSource(quint64 size)
{
    struct Zeros {
        quint64 size;
        quint64 read = 0;
    };
    auto *zeros = new Zeros{size};
    const auto callback = [](void *state, void *data, zip_uint64_t length,
                             zip_source_cmd_t command) -> zip_int64_t {
        auto *self = static_cast<Zeros *>(state);
        switch (command) {
        case ZIP_SOURCE_OPEN:
            self->read = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const quint64 count = std::min<quint64>(length, self->size - self->read);
            std::memset(data, 0, count);
            self->read += count;
            return zip_int64_t(count);
        }
        case ZIP_SOURCE_STAT: {
            auto *st = static_cast<zip_stat_t *>(data);
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_MTIME |
                        ZIP_STAT_ENCRYPTION_METHOD;
            st->size = self->size;
            st->comp_method = ZIP_CM_STORE;
            st->crc = zerosCrc(self->size);
            st->mtime = knownTime.toSecsSinceEpoch();
            st->encryption_method = ZIP_EM_NONE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_FREE:
            delete self;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            return 0;
        }
    };
    return zip_source_function_create(callback, zeros, nullptr);
}

// A file to write an archive into that leaves a hole for every buffer of zeros: gigabytes of
// zeros then cost no disk and almost no time.
zip_source_t *sparseTarget(const QString &path)
{
    struct Target {
        QByteArray path;
        int fd = -1;
        quint64 at = 0;
        quint64 length = 0;
    };
    auto *target = new Target{QFile::encodeName(path)};
    const auto callback = [](void *state, void *data, zip_uint64_t length,
                             zip_source_cmd_t command) -> zip_int64_t {
        auto *self = static_cast<Target *>(state);
        switch (command) {
        case ZIP_SOURCE_BEGIN_WRITE:
            self->fd = ::open(self->path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            self->at = self->length = 0;
            return self->fd < 0 ? -1 : 0;
        case ZIP_SOURCE_WRITE: {
            const char *bytes = static_cast<const char *>(data);
            const bool zeros = std::all_of(bytes, bytes + length, [](char c) { return c == 0; });
            if (!zeros && ::pwrite(self->fd, data, length, off_t(self->at)) != zip_int64_t(length))
                return -1;
            self->at += length;
            self->length = std::max(self->length, self->at);
            return zip_int64_t(length);
        }
        case ZIP_SOURCE_SEEK_WRITE: {
            const auto *seek = static_cast<const zip_source_args_seek_t *>(data);
            self->at = quint64(seek->offset) + (seek->whence == SEEK_END ? self->length : 0);
            return 0;
        }
        case ZIP_SOURCE_TELL_WRITE:
            return zip_int64_t(self->at);
        case ZIP_SOURCE_COMMIT_WRITE:
            return ::ftruncate(self->fd, off_t(self->length)) == 0 && ::close(self->fd) == 0 ? 0
                                                                                             : -1;
        case ZIP_SOURCE_ROLLBACK_WRITE:
            ::close(self->fd);
            return 0;
        case ZIP_SOURCE_FREE:
            delete self;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE,
                ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
        default:
            return 0;
        }
    };
    return zip_source_function_create(callback, target, nullptr);
}

// Makes an entry of the bytes it is given.
class BytesMaker : public EntryMaker {
public:
    explicit BytesMaker(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    Result make() override { return Result::success(); }
    qint64 read(char *data, size_t length) override
    {
        const qint64 count = std::min<qint64>(qint64(length), m_bytes.size() - m_at);
        std::copy_n(m_bytes.constData() + m_at, count, data);
        m_at += count;
        return count;
    }
    QString failure() const override { return {}; }
    void done() override {}
    quint64 sizeBound() const override { return quint64(m_bytes.size()); }

private:
    QByteArray m_bytes;
    qint64 m_at = 0;
};

void makeMailFolder(const QString &folder)
{
    QVERIFY(writeFile(folder + QStringLiteral("/Inbox/1.eml"), QByteArray(200000, 'm') + "end"));
    QVERIFY(writeFile(folder + QStringLiteral("/Inbox/Sub/2.eml"), "Subject: hi\r\n"));
    QVERIFY(writeFile(folder + QStringLiteral("/Grüße.txt"), "\xc3\xa4"));
    QVERIFY(writeFile(folder + QStringLiteral("/.hidden"), "h"));
    QVERIFY(writeFile(folder + QStringLiteral("/Inbox/empty.eml"), {}));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/Empty")));
    QFile dated(folder + QStringLiteral("/Inbox/1.eml"));
    QVERIFY(dated.open(QIODevice::ReadWrite));
    QVERIFY(dated.setFileTime(knownTime, QFileDevice::FileModificationTime));
    QVERIFY(dated.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
}

Result writeArchive(const QString &archivePath, const QStringList &paths,
                    const QString &password = {}, const ZipArchive::ProgressCallback &progress = {})
{
    ZipArchive zip;
    if (Result created = zip.CreateArchive(archivePath); !created)
        return created;
    for (const QString &path : paths)
        if (Result added = zip.AddFiles(path); !added)
            return added;
    zip.setProtectWithPassword(!password.isEmpty());
    zip.SetPassword(password);
    return zip.WriteArchive(progress);
}

struct StoredEntry {
    int compression = -1;
    int encryption = -1;
    zip_uint32_t mode = 0;
    zip_uint32_t crc = 0;
    zip_uint64_t compressedSize = 0;
    zip_uint64_t size = 0;
};

// What the local headers say, walked from the start of the archive as a streaming reader does.
// For an AES entry the method is the one inside its AES extra field.
QMap<QString, StoredEntry> localHeaders(const QByteArray &bytes)
{
    QMap<QString, StoredEntry> headers;
    qsizetype at = 0;
    const auto u16 = [&](qsizetype offset) {
        return qFromLittleEndian<quint16>(bytes.constData() + offset);
    };
    const auto u32 = [&](qsizetype offset) {
        return qFromLittleEndian<quint32>(bytes.constData() + offset);
    };
    while (at + 30 <= bytes.size() && bytes.mid(at, 4) == QByteArray("PK\x03\x04", 4)) {
        StoredEntry header;
        header.compression = u16(at + 8);
        header.crc = u32(at + 14);
        header.compressedSize = u32(at + 18);
        header.size = u32(at + 22);
        const quint16 nameLength = u16(at + 26);
        const quint16 extraLength = u16(at + 28);
        const qsizetype extra = at + 30 + nameLength;
        for (qsizetype field = extra; field + 4 <= extra + extraLength; field += 4 + u16(field + 2))
            if (u16(field) == 0x9901)
                header.compression = u16(field + 4 + 5);
        headers.insert(QString::fromUtf8(bytes.mid(at + 30, nameLength)), header);
        at = extra + extraLength + qsizetype(header.compressedSize);
    }
    return headers;
}

QMap<QString, StoredEntry> storedEntries(const QString &archivePath)
{
    QMap<QString, StoredEntry> entries;
    zip_t *archive = zip_open(QFile::encodeName(archivePath).constData(), ZIP_RDONLY, nullptr);
    for (zip_int64_t i = 0; archive && i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        zip_stat_index(archive, zip_uint64_t(i), 0, &st);
        zip_file_get_external_attributes(archive, zip_uint64_t(i), 0, &system, &attributes);
        entries.insert(QString::fromUtf8(st.name),
                       {st.comp_method, st.encryption_method, attributes >> 16, st.crc,
                        st.comp_size, st.size});
    }
    if (archive)
        zip_discard(archive);
    return entries;
}

} // namespace

class ZipArchiveTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("unprotected") << QString();
        QTest::newRow("protected") << QStringLiteral("pässwort 1");
    }

    // The backup's shape: a nested folder archive and the information file, then restored.
    void roundTrip()
    {
        QFETCH(QString, password);
        QTemporaryDir dir;
        const QString mail = dir.filePath(QStringLiteral("store/Work"));
        makeMailFolder(mail);
        const QString nested = dir.filePath(QStringLiteral("store/Work.zip"));
        QVERIFY(writeArchive(nested, {mail + QStringLiteral("/*.*")}));
        const QString info = dir.filePath(QStringLiteral("program/krvstore.dat"));
        QVERIFY(writeFile(info, "BackupItem=1000000000\r\n"));
        const QString backup = dir.filePath(QStringLiteral("b.wlm"));
        QList<int> progress;
        const Result written = writeArchive(backup, {nested, info}, password,
                                            [&](int percent) { progress.append(percent); });
        QVERIFY2(written, qPrintable(written.message()));
        QVERIFY(!progress.isEmpty() && progress.last() == 100);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));

        QCOMPARE(ZipArchive::IsProtected(backup), !password.isEmpty());
        QVERIFY(!ZipArchive::IsProtected(nested));
        const auto stored = storedEntries(backup);
        QCOMPARE(stored.keys(),
                 QStringList({QStringLiteral("Work.zip"), QStringLiteral("krvstore.dat")}));
        QCOMPARE(stored[QStringLiteral("Work.zip")].compression, ZIP_CM_STORE);
        QCOMPARE(stored[QStringLiteral("krvstore.dat")].compression, ZIP_CM_DEFLATE);
        for (const StoredEntry &entry : stored)
            QCOMPARE(entry.encryption, password.isEmpty() ? ZIP_EM_NONE : ZIP_EM_AES_256);
        QCOMPARE(storedEntries(nested)[QStringLiteral("Inbox/1.eml")].mode,
                 zip_uint32_t(S_IFREG | 0640));
        QVERIFY(storedEntries(nested).contains(QStringLiteral("Empty/")));

        const QString out = dir.filePath(QStringLiteral("out"));
        QVERIFY(writeFile(out + QStringLiteral("/krvstore.dat"), "old content"));
        ZipArchive zip1;
        zip1.SetPassword(password);
        QVERIFY(zip1.OpenArchive(backup));
        QCOMPARE(zip1.OpenError(), QString());
        QVERIFY(zip1.VerifyEntries());
        for (const QString &name : {QStringLiteral("krvstore.dat"), QStringLiteral("Work.zip")}) {
            const Expected<ZipEntry> entry = zip1.FindEntry(name);
            QVERIFY(entry);
            const Result extracted = entry->ExtractInto(out);
            QVERIFY2(extracted, qPrintable(extracted.message()));
        }
        QCOMPARE(readFile(out + QStringLiteral("/krvstore.dat")), readFile(info));
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("krvstore.dat"), QStringLiteral("Work.zip")}));

        ZipArchive zip2;
        QVERIFY(zip2.OpenArchive(out + QStringLiteral("/Work.zip")));
        QVERIFY(zip2.ExtractAll(out + QStringLiteral("/Work")));
        QCOMPARE(treeOf(out + QStringLiteral("/Work")), treeOf(mail));
        QCOMPARE(QFileInfo(out + QStringLiteral("/Work/Inbox/1.eml")).lastModified(), knownTime);
    }

    void wrongPasswordIsDetectedAtOpen()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("src/a.txt")), QByteArray(5000, 'a')));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("src/b.txt")), "b"));
        const QString ours = dir.filePath(QStringLiteral("ours.wlm"));
        QVERIFY(
            writeArchive(ours, {dir.filePath(QStringLiteral("src/*.*"))}, QStringLiteral("right")));
        const QString infoZip = dir.filePath(QStringLiteral("infozip.zip"));
        QCOMPARE(run(QStringLiteral("zip"),
                     {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-P"),
                      QStringLiteral("right"), infoZip, QStringLiteral(".")},
                     dir.filePath(QStringLiteral("src"))),
                 0);
        QVERIFY(writeFile(dir.filePath(QStringLiteral("text.wlm")), "this is no archive"));

        for (const QString &archive : {ours, infoZip}) {
            QVERIFY(ZipArchive::IsProtected(archive));
            ZipArchive zip;
            for (const QString &wrong : {QStringLiteral("wrong"), QString()}) {
                zip.SetPassword(wrong);
                QVERIFY(!zip.OpenArchive(archive));
                QVERIFY(!zip.OpenError().isEmpty());
                QVERIFY(!zip.FindEntry(QStringLiteral("a.txt")));
            }
            zip.SetPassword(QStringLiteral("right"));
            QVERIFY(zip.OpenArchive(archive));
            QCOMPARE(zip.OpenError(), QString());
            const QString out = dir.filePath(QFileInfo(archive).baseName());
            QVERIFY(zip.ExtractAll(out));
            QCOMPARE(treeOf(out), treeOf(dir.filePath(QStringLiteral("src"))));
        }
        ZipArchive zip;
        for (const QString &broken : {QStringLiteral("text.wlm"), QStringLiteral("missing.wlm")}) {
            QVERIFY(!ZipArchive::IsProtected(dir.filePath(broken)));
            QVERIFY(!zip.OpenArchive(dir.filePath(broken)));
            QVERIFY(zip.OpenError().contains(broken));
        }
    }

    // libzip cannot decrypt these and, asked to with a password, leaks memory.
    void strongEncryptionIsRefusedAtOpen()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("strong.wlm"));
        QVERIFY(makeZipWithPython(archive,
                                  QStringLiteral("entry('krvstore.dat'); entry('b.txt')\n"
                                                 "z.close()\n"
                                                 "b = bytearray(open(sys.argv[1], 'rb').read())\n"
                                                 "c = b.rfind(b'PK\\x01\\x02')\n"
                                                 "b[c + 8] |= 0x41\n"
                                                 "open(sys.argv[1], 'wb').write(b)")));
        ZipArchive zip;
        for (const QString &password : {QString(), QStringLiteral("pw")}) {
            zip.SetPassword(password);
            QVERIFY(!zip.OpenArchive(archive));
            QVERIFY2(zip.OpenError().contains(
                         QStringLiteral("\"b.txt\" uses PKWARE's strong encryption")),
                     qPrintable(zip.OpenError()));
        }
    }

    void sevenZipReadsOursAndWeReadSevenZips()
    {
        QTemporaryDir dir;
        const QString mail = dir.filePath(QStringLiteral("Work"));
        makeMailFolder(mail);
        // Random data does not shrink, so 7-Zip stores it.
        QVERIFY(writeFile(mail + QStringLiteral("/attachment.bin"), noise(100000)));
        const QString ours = dir.filePath(QStringLiteral("ours.zip"));
        QVERIFY(writeArchive(ours, {mail + QStringLiteral("/*.*")}, QStringLiteral("pw")));
        QCOMPARE(run(QStringLiteral("7zz"),
                     {QStringLiteral("x"), QStringLiteral("-ppw"),
                      QStringLiteral("-o") + dir.filePath(QStringLiteral("by7z")), ours}),
                 0);
        QCOMPARE(treeOf(dir.filePath(QStringLiteral("by7z"))), treeOf(mail));

        const QString theirs = dir.filePath(QStringLiteral("theirs.zip"));
        QCOMPARE(run(QStringLiteral("7zz"),
                     {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mem=AES256"),
                      QStringLiteral("-ppw"), theirs, QStringLiteral(".")},
                     mail),
                 0);
        ZipArchive zip;
        zip.SetPassword(QStringLiteral("pw"));
        QVERIFY(zip.OpenArchive(theirs));
        const Result verified = zip.VerifyEntries();
        QVERIFY2(verified, qPrintable(verified.message()));
        QVERIFY(zip.ExtractAll(dir.filePath(QStringLiteral("byus"))));
        QCOMPARE(treeOf(dir.filePath(QStringLiteral("byus"))), treeOf(mail));

        // The stored entry's CRC field is 0, so its authentication code alone must catch this.
        QByteArray bytes = readFile(theirs);
        const qsizetype name = bytes.indexOf("attachment.bin");
        const quint16 extraLength = qFromLittleEndian<quint16>(bytes.constData() + name - 2);
        bytes[name + 14 + extraLength + 5000] ^= 1;
        QVERIFY(writeFile(theirs, bytes));
        QVERIFY(zip.OpenArchive(theirs));
        const Result damaged = zip.VerifyEntries();
        QVERIFY(!damaged);
        QVERIFY(damaged.message().contains(QStringLiteral("attachment.bin")));
    }

    void everyKindOfEntryReadsElsewhere_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("unprotected") << QString();
        QTest::newRow("protected") << QStringLiteral("pw 2");
    }

    // Files too big to be deflated whole are deflated in pieces; stored entries get their
    // checksum and encryption from us; AES entries under 20 bytes carry no CRC. Each kind must
    // read back here and in 7-Zip, with local headers that agree with the central directory.
    void everyKindOfEntryReadsElsewhere()
    {
        QFETCH(QString, password);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("src"));
        const auto limit = qsizetype(zipdetail::EntryWorkspace::wholeFileLimit);
        QByteArray text;
        for (int line = 0; text.size() < 2 * limit + 12345; ++line)
            text += "Line " + QByteArray::number(line) + " of a long mail folder\r\n";
        QVERIFY(writeFile(source + QStringLiteral("/big.eml"), text));
        QVERIFY(writeFile(source + QStringLiteral("/limit.bin"), noise(limit, 1)));
        QVERIFY(writeFile(source + QStringLiteral("/past limit.bin"), noise(limit + 1, 2)));
        QVERIFY(writeFile(source + QStringLiteral("/Work.zip"), noise(300000, 3)));
        QVERIFY(writeFile(source + QStringLiteral("/tiny.txt"), "hi"));
        QVERIFY(writeFile(source + QStringLiteral("/empty.txt"), {}));
        const QString archive = dir.filePath(QStringLiteral("b.wlm"));
        const Result written = writeArchive(archive, {source + QStringLiteral("/*.*")}, password);
        QVERIFY2(written, qPrintable(written.message()));

        const auto central = storedEntries(archive);
        const auto local = localHeaders(readFile(archive));
        QCOMPARE(local.keys(), central.keys());
        for (auto it = central.cbegin(); it != central.cend(); ++it) {
            const StoredEntry &header = local[it.key()];
            QCOMPARE(header.compression, it->compression);
            QCOMPARE(header.crc, it->crc);
            QCOMPARE(header.compressedSize, it->compressedSize);
            QCOMPARE(header.size, it->size);
            QCOMPARE(it->encryption, password.isEmpty() ? ZIP_EM_NONE : ZIP_EM_AES_256);
        }
        QCOMPARE(central[QStringLiteral("Work.zip")].compression, ZIP_CM_STORE);
        QCOMPARE(central[QStringLiteral("big.eml")].compression, ZIP_CM_DEFLATE);
        QVERIFY(central[QStringLiteral("big.eml")].compressedSize < quint64(text.size() / 3));

        ZipArchive zip;
        zip.SetPassword(password);
        QVERIFY(zip.OpenArchive(archive));
        const Result verified = zip.VerifyEntries();
        QVERIFY2(verified, qPrintable(verified.message()));
        QVERIFY(zip.ExtractAll(dir.filePath(QStringLiteral("byus"))));
        QCOMPARE(treeOf(dir.filePath(QStringLiteral("byus"))), treeOf(source));

        QStringList extract = {QStringLiteral("x"), QStringLiteral("-p") + password,
                               QStringLiteral("-o") + dir.filePath(QStringLiteral("by7z")),
                               archive};
        QCOMPARE(run(QStringLiteral("7zz"), extract), 0);
        QCOMPARE(treeOf(dir.filePath(QStringLiteral("by7z"))), treeOf(source));
        if (password.isEmpty())
            QCOMPARE(run(QStringLiteral("unzip"), {QStringLiteral("-tq"), archive}), 0);
    }

    void sizesAtTheZip64Boundaries_data()
    {
        // A stored entry's local header before its data: 30 bytes, the name "big.zip" and the zip64
        // field every entry that large carries.
        const quint64 header = 30 + 7 + 20;
        const quint64 max32 = 0xFFFFFFFF;
        QTest::addColumn<quint64>("size");
        QTest::addColumn<bool>("secondEntry");
        QTest::newRow("a size of 0xFFFFFFFF") << max32 << true;
        QTest::newRow("an offset of 0xFFFFFFFF") << max32 - header << true;
        QTest::newRow("the directory at 0xFFFFFFFF") << max32 - header << false;
    }

    // Sizes and places that fill their 32-bit fields exactly are the ones a writer gets wrong:
    // the field holds the marker, and the value must be in the zip64 field. Sparse files stored
    // keep the rows fast; every reader must take the archive.
    void sizesAtTheZip64Boundaries()
    {
        QFETCH(quint64, size);
        QFETCH(bool, secondEntry);
        // Gigabytes through the sanitizer's checks take many minutes, and prove nothing of
        // threads.
        if (quillory::test::underSanitizer)
            QSKIP("The layout of archives is tested in the programs as shipped.");
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("src"));
        QVERIFY(QDir().mkpath(source));
        // An archive's name: stored as it is, as account archives are.
        QFile big(source + QStringLiteral("/big.zip"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(size)));
        big.close();
        if (secondEntry)
            QVERIFY(writeFile(source + QStringLiteral("/zz.txt"), "after the boundary"));
        const QString archive = dir.filePath(QStringLiteral("b.wlm"));
        const Result written = writeArchive(archive, {source + QStringLiteral("/*.*")});
        QVERIFY2(written, qPrintable(written.message()));

        ZipArchive zip;
        QVERIFY(zip.OpenArchive(archive));
        const Result verified = zip.VerifyEntries();
        QVERIFY2(verified, qPrintable(verified.message()));
        QCOMPARE(storedEntries(archive)[QStringLiteral("big.zip")].size, size);
        QCOMPARE(run(QStringLiteral("unzip"), {QStringLiteral("-tq"), archive}), 0);
        QCOMPARE(run(QStringLiteral("7zz"), {QStringLiteral("t"), archive}), 0);
        QCOMPARE(
            run(QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import sys, zipfile\n"
                                "sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)"),
                 archive}),
            0);
    }

    // Every size, place and count at and around its zip64 boundary, laid out by the writer of
    // both archives: zero entries stored into a sparse file, so that gigabytes cost seconds.
    // Every reader must take the directory and the small entry after the boundary.
    void layoutAtTheZip64Boundaries_data()
    {
        const quint64 max32 = 0xFFFFFFFF;
        // The first entry's local header: 30 bytes, the name "a" and the zip64 field of an entry
        // that large.
        const quint64 header = 30 + 1 + 20;
        QTest::addColumn<quint64>("firstSize");
        QTest::addColumn<quint64>("folders");
        for (const quint64 size : {max32 - 1, max32, max32 + 1})
            QTest::addRow("a size of 0x%llX", size) << size << quint64(0);
        // The second entry's header starts where the first entry's data ends; so does the
        // directory when there are only folders after.
        for (const quint64 at : {max32 - 1, max32, max32 + 1})
            QTest::addRow("an offset and the directory at 0x%llX", at) << at - header << quint64(0);
        for (const quint64 count : {0xFFFEu, 0xFFFFu, 0x10000u})
            QTest::addRow("0x%llX entries", count) << quint64(0) << count - 2;
    }

    void layoutAtTheZip64Boundaries()
    {
        QFETCH(quint64, firstSize);
        QFETCH(quint64, folders);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("b.zip"));
        const quint64 entries = 2 + folders;
        const auto nameOf = [folders](quint64 index) {
            if (index == 0)
                return QByteArray("a");
            if (index <= folders)
                return QByteArray::number(index) + '/';
            return QByteArray("zz.txt");
        };
        {
            const std::unique_ptr<zip_source_t, decltype(&zip_source_free)> target(
                sparseTarget(archive), zip_source_free);
            zipdetail::SequentialZipWriter writer(target.get(), archive, entries, nameOf, {}, {});
            QVERIFY(writer.begin());
            const std::unique_ptr<zip_source_t, decltype(&zip_source_free)> first(
                zerosSource(firstSize), zip_source_free);
            QVERIFY(writer.addFile(first.get(), QStringLiteral("a")));
            for (quint64 folder = 0; folder < folders; ++folder)
                QVERIFY(writer.addFolder(S_IFDIR | 0755, knownTime.toSecsSinceEpoch()));
            // The small entry after the boundary: 9 zeros, whose bytes the readers check.
            const std::unique_ptr<zip_source_t, decltype(&zip_source_free)> last(zerosSource(9),
                                                                                 zip_source_free);
            QVERIFY(writer.addFile(last.get(), QStringLiteral("zz.txt")));
            const Result finished = writer.finish();
            QVERIFY2(finished, qPrintable(finished.message()));
        }

        int code = 0;
        zip_t *checked =
            zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
        QVERIFY2(checked, qPrintable(QString::number(code)));
        QCOMPARE(quint64(zip_get_num_entries(checked, 0)), entries);
        zip_discard(checked);
        ZipArchive zip;
        const Result opened = zip.OpenArchive(archive);
        QVERIFY2(opened, qPrintable(opened.message()));
        QVERIFY(zip.VerifyEntries({QStringLiteral("zz.txt")}));
        const auto stored = storedEntries(archive);
        QCOMPARE(stored[QStringLiteral("a")].size, firstSize);
        QCOMPARE(stored[QStringLiteral("a")].compressedSize, firstSize);
        const QString last = QStringLiteral("zz.txt");
        QCOMPARE(run(QStringLiteral("unzip"), {QStringLiteral("-tq"), archive, last}), 0);
        QCOMPARE(run(QStringLiteral("7zz"), {QStringLiteral("t"), archive, last}), 0);
        QCOMPARE(run(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sys, zipfile\n"
                                     "z = zipfile.ZipFile(sys.argv[1])\n"
                                     "sizes = [i.file_size for i in z.infolist()]\n"
                                     "sys.exit(len(sizes) != int(sys.argv[2]) or sizes[0] != "
                                     "int(sys.argv[3]) or z.read('zz.txt') != bytes(9))"),
                      archive, QString::number(entries), QString::number(firstSize)}),
                 0);
    }

    // More entries than the classic end record can count: only zip64 holds them.
    void zip64WithManyEntries()
    {
        QTemporaryDir dir;
        const int count = 65536;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("many"))));
        for (int i = 0; i < count; ++i) {
            QFile file(dir.filePath(QStringLiteral("many/%1").arg(i)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(writeFile(dir.filePath(QStringLiteral("top.txt")), "the end"));
        QCOMPARE(run(QStringLiteral("zip"),
                     {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("many.zip"),
                      QStringLiteral("many"), QStringLiteral("top.txt")},
                     dir.path()),
                 0);

        ZipArchive zip;
        QVERIFY(zip.OpenArchive(dir.filePath(QStringLiteral("many.zip"))));
        QCOMPARE(zip.entryNames().size(), count + 2);
        QVERIFY(zip.VerifyEntries({QStringLiteral("many/65535"), QStringLiteral("top.txt")}));
        const Expected<ZipEntry> top = zip.FindEntry(QStringLiteral("top.txt"));
        QVERIFY(top && top->ExtractInto(dir.path() + QStringLiteral("/many")));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("many/top.txt"))), QByteArray("the end"));
    }

    void streamedArchiveIsTheWrittenOne_data()
    {
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<QString>("password");
        // A directory larger than what the stream holds in memory.
        QTest::newRow("long names") << 20000 << 80 << QString();
        // More entries than the classic end record counts: zip64's end records follow.
        QTest::newRow("zip64 end") << 65536 - 5 << 1 << QString();
        QTest::newRow("protected") << 300 << 10 << QStringLiteral("secret");
    }

    // Streamed, an archive is what libzip writes to a file: the same bytes, or where encryption's
    // salts differ, the same entries at the same places. Among the entries: one larger than what
    // the stream holds in memory, one read by its entry rather than packed ahead, a stored one
    // with a non-ASCII name, and a folder.
    void streamedArchiveIsTheWrittenOne()
    {
        QFETCH(int, messages);
        QFETCH(int, nameLength);
        QFETCH(QString, password);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("store"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Inbox")));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Empty")));
        const QString name(nameLength, QLatin1Char('m'));
        for (int i = 0; i < messages; ++i)
            QVERIFY(writeFile(folder + QStringLiteral("/Inbox/%1-%2.eml").arg(name).arg(i),
                              "Subject: " + QByteArray::number(i).repeated(i % 7)));
        const qsizetype held = zipdetail::ArchiveStream::heldInMemory;
        QVERIFY(writeFile(folder + QStringLiteral("/packed.bin"), noise(held + held / 2)));
        QVERIFY(writeFile(folder + QStringLiteral("/streamed.bin"),
                          noise(qsizetype(zipdetail::EntryWorkspace::wholeFileLimit) + 1, 5)));
        QVERIFY(writeFile(folder + QStringLiteral("/Anhänge.zip"), noise(1000, 9)));

        const QString written = dir.filePath(QStringLiteral("written.zip"));
        ZipArchive file;
        QVERIFY(file.CreateArchive(written));
        file.setProtectWithPassword(!password.isEmpty());
        file.SetPassword(password);
        QVERIFY(file.AddFiles(folder + QStringLiteral("/*.*")));
        QVERIFY(file.WriteArchive());

        zipdetail::ArchiveStream stream(written);
        ZipArchive streamed;
        streamed.CreateStream(QStringLiteral("streamed.zip"));
        streamed.setProtectWithPassword(!password.isEmpty());
        streamed.SetPassword(password);
        QVERIFY(streamed.AddFiles(folder + QStringLiteral("/*.*")));
        int percent = -1;
        std::thread writer([&] {
            stream.finish(streamed.WriteStream(stream, [&percent](int done) { percent = done; }));
        });
        QByteArray bytes;
        char piece[8192];
        qint64 got = 0;
        while ((got = stream.read(piece, sizeof piece)) > 0)
            bytes.append(piece, got);
        writer.join();
        QCOMPARE(got, 0);
        QCOMPARE(percent, 100);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("written.zip")});
        if (password.isEmpty()) {
            QVERIFY(bytes == readFile(written));
            return;
        }
        const QString streamedFile = dir.filePath(QStringLiteral("streamed.zip"));
        QVERIFY(writeFile(streamedFile, bytes));
        QCOMPARE(run(QStringLiteral("7zz"),
                     {QStringLiteral("t"), QStringLiteral("-p") + password, streamedFile}),
                 0);
        zip_t *ours = zip_open(QFile::encodeName(streamedFile).constData(), ZIP_RDONLY, nullptr);
        zip_t *theirs = zip_open(QFile::encodeName(written).constData(), ZIP_RDONLY, nullptr);
        QVERIFY(ours && theirs);
        QCOMPARE(zip_get_num_entries(ours, 0), zip_get_num_entries(theirs, 0));
        for (zip_int64_t i = 0; i < zip_get_num_entries(ours, 0); ++i) {
            zip_stat_t a;
            zip_stat_t b;
            QCOMPARE(zip_stat_index(ours, zip_uint64_t(i), 0, &a), 0);
            QCOMPARE(zip_stat_index(theirs, zip_uint64_t(i), 0, &b), 0);
            QCOMPARE(QByteArray(a.name), QByteArray(b.name));
            QCOMPARE(
                std::tuple(a.size, a.comp_size, a.crc, a.mtime, a.comp_method, a.encryption_method),
                std::tuple(b.size, b.comp_size, b.crc, b.mtime, b.comp_method,
                           b.encryption_method));
        }
        zip_discard(ours);
        zip_discard(theirs);
        // Everything but the entries' data: salts, verifiers and authentication codes differ.
        QCOMPARE(bytes.size(), readFile(written).size());
    }

    void failedWriteKeepsTheOldArchive()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("b.wlm"));
        const QString a = dir.filePath(QStringLiteral("a.txt"));
        const QString b = dir.filePath(QStringLiteral("b.txt"));
        QVERIFY(writeFile(a, "old"));
        QVERIFY(writeFile(b, "b"));
        QVERIFY(writeArchive(archive, {a}));
        const QByteArray old = readFile(archive);
        const QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

        ZipArchive zip;
        QVERIFY(zip.CreateArchive(archive));
        QVERIFY(zip.AddFiles(a));
        QVERIFY(zip.AddFiles(b));
        QVERIFY(writeFile(a, "changed after adding"));
        QVERIFY(QFile::remove(b));
        const Result failed = zip.WriteArchive();
        QVERIFY(!failed);
        QVERIFY(failed.message().contains(b));
        QCOMPARE(readFile(archive), old);
        QStringList remaining = files;
        remaining.removeOne(QStringLiteral("b.txt"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), remaining);

        QVERIFY(writeFile(b, "back"));
        zip.setProtectWithPassword(true);
        QVERIFY(!zip.WriteArchive());
        zip.setProtectWithPassword(false);
        int asked = 0;
        zip.setStopWhen([&asked] { return ++asked == 2; });
        QVERIFY(!zip.WriteArchive());
        QCOMPARE(asked, 2);
        QCOMPARE(readFile(archive), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), files);
        zip.setStopWhen({});
        QVERIFY(zip.WriteArchive());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), files);
        ZipArchive reader;
        QVERIFY(reader.OpenArchive(archive));
        QVERIFY(reader.ExtractAll(dir.filePath(QStringLiteral("out"))));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("out/a.txt"))),
                 QByteArray("changed after adding"));
    }

    // An archive made inside the backup archive is read back before the old backup is replaced:
    // one no reader opens fails the write, and the old archive stays.
    void unreadableMadeArchiveKeepsTheOldArchive_data()
    {
        QTest::addColumn<bool>("sound");
        QTest::addColumn<QString>("password");
        QTest::newRow("sound") << true << QString();
        QTest::newRow("sound, protected") << true << QStringLiteral("pw");
        QTest::newRow("not an archive") << false << QString();
        QTest::newRow("not an archive, protected") << false << QStringLiteral("pw");
    }

    void unreadableMadeArchiveKeepsTheOldArchive()
    {
        QFETCH(bool, sound);
        QFETCH(QString, password);
        QTemporaryDir dir;
        const QString mail = dir.filePath(QStringLiteral("mail"));
        makeMailFolder(mail);
        const QString nested = dir.filePath(QStringLiteral("Work.zip"));
        QVERIFY(writeArchive(nested, {mail + QStringLiteral("/*.*")}));
        QByteArray bytes = readFile(nested);
        if (!sound)
            bytes.chop(10);
        const QString archive = dir.filePath(QStringLiteral("b.wlm"));
        QVERIFY(writeFile(archive, "old"));

        ZipArchive zip;
        QVERIFY(zip.CreateArchive(archive));
        zip.setProtectWithPassword(!password.isEmpty());
        zip.SetPassword(password);
        QVERIFY(zip.AddMadeFile(QStringLiteral("Work.zip"), std::make_shared<BytesMaker>(bytes)));
        const Result written = zip.WriteArchive();
        QCOMPARE(bool(written), sound);
        if (!sound) {
            QVERIFY2(written.message().contains(QStringLiteral("Work.zip")),
                     qPrintable(written.message()));
            QCOMPARE(readFile(archive), QByteArray("old"));
        }
    }

    // A new archive gets what any new file gets where it lies: its owner's only in a folder only
    // its owner may enter (a run's staging folder), else what the umask leaves.
    void newArchiveHasTheModeOfANewFileThere_data()
    {
        QTest::addColumn<QFile::Permissions>("folderMode");
        QTest::addColumn<int>("expected");
        const mode_t umask = ::umask(0);
        ::umask(umask);
        QTest::newRow("private folder")
            << (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) << 0600;
        QTest::newRow("shared folder") << (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup)
                                       << int(0666 & ~umask);
    }

    void newArchiveHasTheModeOfANewFileThere()
    {
        QFETCH(QFile::Permissions, folderMode);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("a.txt"));
        QVERIFY(writeFile(source, "a"));
        const QString folder = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, folderMode));
        const QString archive = folder + QStringLiteral("/b.wlm");
        QVERIFY(writeArchive(archive, {source}));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(archive).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), expected);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("b.wlm")});
    }

    void addFilesRefusesWhatItCannotKeep()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("one/same.txt")), "1"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("two/same.txt")), "2"));
        ZipArchive zip;
        QVERIFY(!zip.AddFiles(dir.filePath(QStringLiteral("one/same.txt"))));
        QVERIFY(!zip.CreateArchive(dir.filePath(QStringLiteral("missing/b.wlm"))));
        QVERIFY(zip.CreateArchive(dir.filePath(QStringLiteral("b.wlm"))));
        QVERIFY(zip.AddFiles(dir.filePath(QStringLiteral("one/same.txt"))));
        const Result duplicate = zip.AddFiles(dir.filePath(QStringLiteral("two/*.*")));
        QVERIFY(!duplicate);
        QVERIFY(duplicate.message().contains(QStringLiteral("same.txt")));
        QVERIFY(!zip.AddFiles(dir.filePath(QStringLiteral("one/gone.txt"))));
        QVERIFY(!zip.AddFiles(dir.filePath(QStringLiteral("two"))));
        QVERIFY(!zip.AddFiles(dir.filePath(QStringLiteral("three/*.*"))));
        QVERIFY(zip.WriteArchive());
        QVERIFY(zip.OpenArchive(dir.filePath(QStringLiteral("b.wlm"))));
        QCOMPARE(zip.entryNames(), QStringList{QStringLiteral("same.txt")});
    }

    void hostileArchivesWriteNothing_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("named");
        QTest::newRow("parent") << "entry('../x')"
                                << "../x";
        QTest::newRow("absolute") << "entry('@ROOT@/abs')"
                                  << "/abs";
        QTest::newRow("parent inside") << "entry('a/../../x')"
                                       << "a/../../x";
        QTest::newRow("backslash parent") << "entry('..\\\\x')"
                                          << "..\\x";
        QTest::newRow("drive letter") << "entry('C:x')"
                                      << "C:x";
        QTest::newRow("symbolic link") << "entry('link', b'/etc', 0o120777)"
                                       << "link";
        QTest::newRow("pipe") << "entry('pipe', b'', 0o010644)"
                              << "pipe";
        QTest::newRow("file and folder") << "entry('a/b'); entry('a')"
                                         << "\"a\"";
        QTest::newRow("same name twice") << "entry('d', b'1'); entry('d', b'2')"
                                         << "\"d\"";
        // The second entry's record points at the first one's data: together they claim more
        // than the archive holds.
        QTest::newRow("overlapping entries")
            << "z.close()\n"
               "z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)\n"
               "entry('a', bytes(1000000)); entry('b')\n"
               "z.close()\n"
               "b = bytearray(open(sys.argv[1], 'rb').read())\n"
               "a = b.find(b'PK\\x01\\x02'); c = b.rfind(b'PK\\x01\\x02')\n"
               "b[c + 16:c + 28] = b[a + 16:a + 28]\n"
               "b[c + 42:c + 46] = (0).to_bytes(4, 'little')\n"
               "open(sys.argv[1], 'wb').write(b)"
            << "overlap";
        QTest::newRow("more than declared") << "entry('big', bytes(100000))\n"
                                               "z.close()\n"
                                               "b = bytearray(open(sys.argv[1], 'rb').read())\n"
                                               "b[22:26] = (10).to_bytes(4, 'little')\n"
                                               "c = b.find(b'PK\\x01\\x02')\n"
                                               "b[c + 24:c + 28] = (10).to_bytes(4, 'little')\n"
                                               "open(sys.argv[1], 'wb').write(b)"
                                            << "\"big\"";
    }

    void hostileArchivesWriteNothing()
    {
        QFETCH(QString, body);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("hostile.zip"));
        QVERIFY(makeZipWithPython(archive, body.replace(QStringLiteral("@ROOT@"), dir.path())));
        const QString target = dir.filePath(QStringLiteral("target"));
        QVERIFY(QDir().mkpath(target));

        // Two entries of one name are refused as soon as the archive is opened.
        ZipArchive zip;
        Result extracted = zip.OpenArchive(archive);
        if (extracted)
            extracted = zip.ExtractAll(target);
        QVERIFY(!extracted);
        QVERIFY2(extracted.message().contains(named), qPrintable(extracted.message()));
        QCOMPARE(treeOf(dir.path()).keys(),
                 QStringList({QStringLiteral("hostile.zip"), QStringLiteral("target/")}));
    }

    void extractIntoWritesOnlyPlainNames()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("b.wlm"));
        QVERIFY(makeZipWithPython(
            archive,
            QStringLiteral("entry('sub/name'); entry('..\\\\name'); entry('C:name');"
                           "entry('lnk', b'/etc/passwd', 0o120777); entry('ok.txt', b'new')")));
        const QString target = dir.filePath(QStringLiteral("target"));
        QVERIFY(QDir().mkpath(target + QStringLiteral("/ok.txt")));

        ZipArchive zip;
        QVERIFY(zip.OpenArchive(archive));
        for (const QString &name : {QStringLiteral("sub/name"), QStringLiteral("..\\name"),
                                    QStringLiteral("C:name"), QStringLiteral("lnk")}) {
            const Expected<ZipEntry> entry = zip.FindEntry(name);
            QVERIFY(entry);
            QVERIFY(!entry->ExtractInto(target));
        }
        const Expected<ZipEntry> ok = zip.FindEntry(QStringLiteral("ok.txt"));
        QVERIFY(ok);
        QVERIFY(!ok->ExtractInto(target));
        QVERIFY(QDir(target).rmdir(QStringLiteral("ok.txt")));
        QVERIFY(writeFile(target + QStringLiteral("/ok.txt"), "old"));
        QVERIFY(QFile::setPermissions(target + QStringLiteral("/ok.txt"),
                                      QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(ok->ExtractInto(target));
        QCOMPARE(treeOf(dir.path()).keys(),
                 QStringList({QStringLiteral("b.wlm"), QStringLiteral("target/"),
                              QStringLiteral("target/ok.txt")}));
        QCOMPARE(readFile(target + QStringLiteral("/ok.txt")), QByteArray("new"));
        QCOMPARE(QFile::permissions(target + QStringLiteral("/ok.txt")),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(target + QStringLiteral("/ok.txt")).lastModified(), knownTime);

        QVERIFY(!zip.FindEntry(QStringLiteral("missing")));
        zip.CloseArchive();
        QVERIFY(!ok->ExtractInto(target));
    }

    void nestedArchivesReadInPlaceOrFromACopy_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("bySevenZip");
        QTest::newRow("stored") << QString() << false;
        QTest::newRow("stored, protected") << QStringLiteral("pw") << false;
        QTest::newRow("deflated by 7-Zip") << QString() << true;
        QTest::newRow("deflated by 7-Zip, protected") << QStringLiteral("pw") << true;
    }

    // A stored nested archive is read where it lies (decrypted at whatever offsets libzip seeks
    // to); a deflated one from a copy. Either way the folder comes out whole.
    void nestedArchivesReadInPlaceOrFromACopy()
    {
        QFETCH(QString, password);
        QFETCH(bool, bySevenZip);
        QTemporaryDir dir;
        const QString mail = dir.filePath(QStringLiteral("Work"));
        makeMailFolder(mail);
        QVERIFY(writeFile(mail + QStringLiteral("/Inbox/noise.bin"), noise(300000)));
        QVERIFY(writeArchive(dir.filePath(QStringLiteral("Work.zip")),
                             {mail + QStringLiteral("/*.*")}));
        const QString outer = dir.filePath(QStringLiteral("outer.wlm"));
        if (bySevenZip) {
            QStringList add = {QStringLiteral("a"), QStringLiteral("-tzip"),
                               QStringLiteral("-mx=5"), outer, QStringLiteral("Work.zip")};
            if (!password.isEmpty())
                add << QStringLiteral("-mem=AES256") << QStringLiteral("-p") + password;
            QCOMPARE(run(QStringLiteral("7zz"), add, dir.path()), 0);
        } else {
            QVERIFY(writeArchive(outer, {dir.filePath(QStringLiteral("Work.zip"))}, password));
        }
        QCOMPARE(storedEntries(outer)[QStringLiteral("Work.zip")].compression,
                 bySevenZip ? ZIP_CM_DEFLATE : ZIP_CM_STORE);

        ZipArchive zip;
        zip.SetPassword(password);
        QVERIFY(zip.OpenArchive(outer));
        quint64 checked = 0;
        quint64 total = 0;
        QVERIFY(zip.VerifyEntries({}, [&](quint64 done, quint64 of) {
            QVERIFY(done >= checked && done <= of);
            checked = done;
            total = of;
        }));
        QCOMPARE(checked, zip.storedSize(QStringLiteral("Work.zip")));
        QCOMPARE(total, checked);
        const QString scratch = dir.filePath(QStringLiteral("scratch"));
        QVERIFY(QDir().mkpath(scratch));
        quint64 read = 0;
        const Result extracted =
            zip.ExtractNested(QStringLiteral("Work.zip"), dir.filePath(QStringLiteral("out")),
                              scratch, {}, [&](quint64 bytes) { read += bytes; });
        QVERIFY2(extracted, qPrintable(extracted.message()));
        QCOMPARE(treeOf(dir.filePath(QStringLiteral("out"))), treeOf(mail));
        QVERIFY(read > 300000);
        QVERIFY(QDir(scratch).isEmpty());
    }

    void slicedNestedArchives_data()
    {
        QTest::addColumn<QString>("late");
        QTest::addColumn<bool>("bySevenZip");
        QTest::addColumn<QString>("refused");
        QTest::newRow("whole") << "entry('last/z.eml', b'the end')" << false << QString();
        QTest::newRow("whole, from a copy") << "entry('last/z.eml')" << true << QString();
        QTest::newRow("same name in another slice") << "entry('m/0.eml')" << false << "\"m/0.eml\"";
        QTest::newRow("case in another slice") << "entry('M/1.eml')" << false << "\"M/1.eml\"";
        QTest::newRow("file where another slice needs a folder")
            << "entry('m/0.eml/x')" << false << "\"m/0.eml/x\"";
        QTest::newRow("overlap across slices")
            << "entry('y')\n"
               "z.close()\n"
               "b = bytearray(open(sys.argv[1], 'rb').read())\n"
               "a = b.find(b'PK\\x01\\x02'); c = b.rfind(b'PK\\x01\\x02')\n"
               "b[c + 16:c + 28] = b[a + 16:a + 28]\n"
               "b[c + 42:c + 46] = b[a + 42:a + 46]\n"
               "open(sys.argv[1], 'wb').write(b)"
            << false << "overlap";
        // Its directory cannot be cut into slices: libzip has the last word.
        QTest::newRow("damaged directory") << "entry('y')\n"
                                              "z.close()\n"
                                              "b = bytearray(open(sys.argv[1], 'rb').read())\n"
                                              "c = b.rfind(b'PK\\x01\\x02')\n"
                                              "b[c + 30:c + 32] = (9).to_bytes(2, 'little')\n"
                                              "open(sys.argv[1], 'wb').write(b)"
                                           << false << "cannot be read";
    }

    // A nested archive of more entries than libzip is given at once is read a slice of its
    // directory at a time; what is refused is refused whichever slices the entries lie in.
    void slicedNestedArchives()
    {
        QFETCH(QString, late);
        QFETCH(bool, bySevenZip);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        const QString nested = dir.filePath(QStringLiteral("Work.zip"));
        QVERIFY(makeZipWithPython(
            nested,
            QStringLiteral("import os\n"
                           "entry('big.bin', os.urandom(3000000))\n"
                           "for i in range(%1): entry('m/%d.eml' % i, b'Subject: %d' % i)\n")
                    .arg(zipdetail::ArchiveSlices::entriesPerSlice + 600) +
                late));
        const QString outer = dir.filePath(QStringLiteral("outer.wlm"));
        if (bySevenZip)
            QCOMPARE(run(QStringLiteral("7zz"),
                         {QStringLiteral("a"), QStringLiteral("-tzip"), outer,
                          QStringLiteral("Work.zip")},
                         dir.path()),
                     0);
        else
            QVERIFY(writeArchive(outer, {nested}));

        ZipArchive zip;
        QVERIFY(zip.OpenArchive(outer));
        const QString out = dir.filePath(QStringLiteral("out"));
        const Result extracted = zip.ExtractNested(QStringLiteral("Work.zip"), out, dir.path());
        if (!refused.isEmpty()) {
            QVERIFY(!extracted);
            QVERIFY2(extracted.message().contains(refused), qPrintable(extracted.message()));
            QVERIFY(!QFileInfo::exists(out) || QDir(out).isEmpty());
            return;
        }
        QVERIFY2(extracted, qPrintable(extracted.message()));
        const QString byUnzip = dir.filePath(QStringLiteral("unzip"));
        QCOMPARE(run(QStringLiteral("unzip"),
                     {QStringLiteral("-q"), nested, QStringLiteral("-d"), byUnzip}),
                 0);
        QCOMPARE(treeOf(out), treeOf(byUnzip));
        const Expected<QList<ZipArchive::NestedEntry>> listed =
            zip.NestedEntries(QStringLiteral("Work.zip"), dir.path());
        QVERIFY(listed);
        QCOMPARE(listed->size(), qsizetype(zipdetail::ArchiveSlices::entriesPerSlice + 602));
        QCOMPARE(listed->last().name, QStringLiteral("last/z.eml"));
    }

    void verifyNamesTheDamagedEntry_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("damaged");
        QTest::newRow("stored") << QString() << QStringLiteral("inner.zip");
        QTest::newRow("stored, protected") << QStringLiteral("pw") << QStringLiteral("inner.zip");
        QTest::newRow("deflated") << QString() << QStringLiteral("big.txt");
        QTest::newRow("deflated, protected") << QStringLiteral("pw") << QStringLiteral("big.txt");
    }

    void verifyNamesTheDamagedEntry()
    {
        QFETCH(QString, password);
        QFETCH(QString, damaged);
        QTemporaryDir dir;
        QByteArray text;
        for (int line = 0; line < 400; ++line)
            text += "Line " + QByteArray::number(line) + " of a message\r\n";
        QVERIFY(writeFile(dir.filePath(QStringLiteral("src/inner.zip")), noise(5000)));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("src/big.txt")), text));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("src/good.txt")), "good"));
        const QString archive = dir.filePath(QStringLiteral("b.wlm"));
        QVERIFY(writeArchive(archive, {dir.filePath(QStringLiteral("src/*.*"))}, password));
        // The first occurrence of the name is in the entry's local header.
        QByteArray bytes = readFile(archive);
        const QByteArray name = damaged.toUtf8();
        const qsizetype at = bytes.indexOf(name);
        QVERIFY(at >= 30 && bytes.mid(at - 30, 4) == QByteArray("PK\x03\x04", 4));
        const qsizetype data =
            at + name.size() + qFromLittleEndian<quint16>(bytes.constData() + at - 2);
        bytes[data + 40] = char(bytes[data + 40] ^ 1);
        QVERIFY(writeFile(archive, bytes));

        ZipArchive zip;
        zip.SetPassword(password);
        QVERIFY(zip.OpenArchive(archive));
        QVERIFY(zip.VerifyEntries({QStringLiteral("good.txt")}));
        QVERIFY(!zip.VerifyEntries({QStringLiteral("nothing.txt")}));
        const Result verified = zip.VerifyEntries();
        QVERIFY(!verified);
        QVERIFY2(verified.message().contains(damaged), qPrintable(verified.message()));
    }

    void instancesWorkOnThreadsAtOnce()
    {
        QTemporaryDir dir;
        QList<QFuture<Result>> runs;
        for (const QString &name :
             {QStringLiteral("Work"), QStringLiteral("Home"), QStringLiteral("News")}) {
            makeMailFolder(dir.filePath(name));
            const QString folder = dir.filePath(name);
            runs.append(QtConcurrent::run([folder] {
                Result written =
                    writeArchive(folder + QStringLiteral(".zip"), {folder + QStringLiteral("/*.*")},
                                 QStringLiteral("pw"));
                ZipArchive zip;
                zip.SetPassword(QStringLiteral("pw"));
                if (written)
                    written = zip.OpenArchive(folder + QStringLiteral(".zip"));
                return written ? zip.ExtractAll(folder + QStringLiteral(".out")) : written;
            }));
        }
        for (QFuture<Result> &run : runs)
            QVERIFY(run.result());
        for (const QString &name :
             {QStringLiteral("Work"), QStringLiteral("Home"), QStringLiteral("News")})
            QCOMPARE(treeOf(dir.filePath(name + QStringLiteral(".out"))),
                     treeOf(dir.filePath(name)));
    }
};

QUILLORY_TEST(ZipArchiveTest)
#include "tst_ziparchive.moc"
