#include "platform/wine/winepaths.h"
#include "platform/wine/wineregistrystore.h"
#include "registry/modreg.h"
#include "registryfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <initializer_list>
#include <memory>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

constexpr auto hkcu = RegistryRoot::CurrentUser;
const QString interop = u"Software\\Quillory Interop"_s;
// The profile name Wine gives the prefix's user, fixed so that the shell folders are known.
const QString wineUser = u"quillory"_s;

// Key paths below some key ("" for the key itself), each with its values in enumeration order.
using Tree = QMap<QString, QList<RegistryValue>>;

bool isStringType(std::uint32_t type)
{
    return type == RegType::Sz || type == RegType::ExpandSz || type == RegType::MultiSz;
}

// One line per key and value, so that a failing comparison names what differs.
QStringList describe(const Tree &tree)
{
    QStringList lines;
    for (auto key = tree.cbegin(); key != tree.cend(); ++key) {
        lines.append(u"[%1]"_s.arg(key.key()));
        for (const RegistryValue &value : key.value()) {
            QString line = u"[%1] \"%2\" type %3: %4"_s.arg(key.key(), value.name)
                               .arg(value.type)
                               .arg(QString::fromLatin1(value.data.toHex(' ')));
            if (isStringType(value.type))
                line += u" (%1)"_s.arg(QString::fromUtf8(value.data).replace(QChar(0), u"\\0"_s));
            lines.append(line);
        }
    }
    return lines;
}

// Values in the order Wine enumerates them: names compared lower-cased, UTF-16 unit by unit.
QList<RegistryValue> inWineOrder(QList<RegistryValue> values)
{
    std::sort(values.begin(), values.end(), [](const RegistryValue &a, const RegistryValue &b) {
        return QString::compare(a.name.toLower(), b.name.toLower()) < 0;
    });
    return values;
}

Tree inWineOrder(Tree tree)
{
    for (QList<RegistryValue> &values : tree)
        values = inWineOrder(values);
    return tree;
}

// The keys and values below `path` as the store enumerates them.
void collect(const RegistryStore &store, const QString &path, const QString &relative, Tree &tree)
{
    tree.insert(relative, store.values(hkcu, path).value_or(QList<RegistryValue>()));
    for (const QString &name : store.subkeys(hkcu, path))
        collect(store, path + u'\\' + name, relative.isEmpty() ? name : relative + u'\\' + name,
                tree);
}

Tree storeTree(const RegistryStore &store, const QString &path)
{
    Tree tree;
    if (store.keyExists(hkcu, path))
        collect(store, path, QString(), tree);
    return tree;
}

// The tree placed below a key of another.
Tree below(const QString &key, const Tree &tree)
{
    Tree placed;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        placed.insert(it.key().isEmpty() ? key : key + u'\\' + it.key(), it.value());
    return placed;
}

// The part of a tree below one of its keys, with paths relative to that key.
Tree subtree(const Tree &tree, const QString &key)
{
    Tree part;
    const QString prefix = key + u'\\';
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key() == key)
            part.insert(QString(), it.value());
        else if (it.key().startsWith(prefix))
            part.insert(it.key().mid(prefix.size()), it.value());
    }
    return part;
}

QByteArray dword(quint32 number)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(number, bytes.data());
    return bytes;
}

QByteArray qword(quint64 number)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(number, bytes.data());
    return bytes;
}

QByteArray counting(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char(i);
    return bytes;
}

// String data as Wine holds it, from the ANSI view's UTF-8.
QByteArray utf16(const QByteArray &utf8)
{
    const QString text = QString::fromUtf8(utf8);
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

QString fromUtf16(const QByteArray &bytes)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                              bytes.size() / 2);
}

// REG_MULTI_SZ data in the ANSI view: each item and the list end with a zero.
QByteArray multi(std::initializer_list<const char *> items)
{
    QByteArray data;
    for (const char *item : items)
        data += QByteArray(item) + '\0';
    return data + '\0';
}

// A quoted name or string of a reg export line, read from `pos` (at the opening quote) past
// the closing quote. reg escapes the backslash, the quote, CR and LF.
QString readQuoted(const QString &line, qsizetype &pos)
{
    QString text;
    for (++pos; pos < line.size() && line.at(pos) != u'"'; ++pos) {
        QChar c = line.at(pos);
        if (c == u'\\' && pos + 1 < line.size()) {
            c = line.at(++pos);
            if (c == u'n')
                c = u'\n';
            else if (c == u'r')
                c = u'\r';
        }
        text += c;
    }
    ++pos;
    return text;
}

QByteArray readHex(QStringView text)
{
    QByteArray bytes;
    for (const QStringView piece : text.split(u',', Qt::SkipEmptyParts))
        bytes += char(piece.trimmed().toUInt(nullptr, 16));
    return bytes;
}

// The value of one line of a reg export, in the ANSI view; nullopt when the line is none.
std::optional<RegistryValue> readExportedValue(const QString &line)
{
    RegistryValue value;
    qsizetype pos = 0;
    if (line.startsWith(u"@="))
        pos = 1;
    else if (line.startsWith(u'"'))
        value.name = readQuoted(line, pos);
    else
        return std::nullopt;
    if (pos >= line.size() || line.at(pos) != u'=')
        return std::nullopt;
    const QString data = line.mid(pos + 1);
    if (data.startsWith(u'"')) {
        qsizetype at = 0;
        value.type = RegType::Sz;
        value.data = readQuoted(data, at).toUtf8() + '\0';
    } else if (data.startsWith(u"dword:")) {
        value.type = RegType::Dword;
        value.data = dword(data.mid(6).toUInt(nullptr, 16));
    } else if (data.startsWith(u"hex:")) {
        value.type = RegType::Binary;
        value.data = readHex(QStringView(data).mid(4));
    } else if (data.startsWith(u"hex(")) {
        const qsizetype close = data.indexOf(u"):");
        value.type = data.mid(4, close - 4).toUInt(nullptr, 16);
        value.data = readHex(QStringView(data).mid(close + 2));
        if (isStringType(value.type))
            value.data = fromUtf16(value.data).toUtf8();
    } else {
        return std::nullopt;
    }
    return value;
}

// A reg export file (UTF-16LE, CR LF, long hex data continued on the next line) as a tree
// below `key`.
Tree readExport(const QByteArray &file, const QString &key)
{
    QString text = fromUtf16(file);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    text.replace(u"\\\r\n  "_s, QString());
    Tree tree;
    const QString top = u"[HKEY_CURRENT_USER\\"_s + key;
    QString current;
    for (const QString &line : text.split(u"\r\n"_s)) {
        if (line.startsWith(u'[')) {
            current = line.mid(top.size(), line.size() - top.size() - 1);
            if (current.startsWith(u'\\'))
                current.remove(0, 1);
            tree.insert(current, {});
        } else if (const std::optional<RegistryValue> value = readExportedValue(line)) {
            tree[current].append(*value);
        }
    }
    return tree;
}

// A .reg file for `reg import` that creates the tree below `key`, every value written as
// hex so that any data gets through.
QByteArray regFile(const QString &key, const Tree &tree)
{
    QString text = u"Windows Registry Editor Version 5.00\r\n"_s;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        text += u"\r\n[HKEY_CURRENT_USER\\"_s + key +
                (it.key().isEmpty() ? QString() : u'\\' + it.key()) + u"]\r\n"_s;
        for (const RegistryValue &value : it.value()) {
            QString name = value.name;
            name.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s);
            const QByteArray data = isStringType(value.type) ? utf16(value.data) : value.data;
            text += (value.name.isEmpty() ? u"@"_s : u'"' + name + u'"') +
                    u"=hex(%1):"_s.arg(value.type, 0, 16) + QString::fromLatin1(data.toHex(',')) +
                    u"\r\n"_s;
        }
    }
    return QByteArray("\xff\xfe", 2) + utf16(text.toUtf8());
}

// The key paths of a registry file's sections, in file order, as written there.
QList<QByteArray> sectionKeys(const QByteArray &file)
{
    QList<QByteArray> keys;
    for (const QByteArray &line : file.split('\n')) {
        if (line.startsWith('['))
            keys.append(line.mid(1, line.lastIndexOf("] ") - 1));
    }
    return keys;
}

// The same file seen through the prefix's Z: drive, which Wine maps to the host's root.
QString windowsPath(const QString &hostPath)
{
    return u"Z:"_s + QString(hostPath).replace(u'/', u'\\');
}

quint64 inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

// The sections of a registry file whose key lies in or below `key` (escaped as in the file).
QList<QByteArray> sectionsOf(const QByteArray &file, const QByteArray &key)
{
    QList<QByteArray> sections;
    for (qsizetype start = file.indexOf("\n["); start >= 0;
         start = file.indexOf("\n[", start + 1)) {
        const qsizetype end = file.indexOf("\n\n", start + 1);
        const QByteArray section = file.mid(start + 1, end < 0 ? -1 : end - start - 1);
        if (section.startsWith('[' + key + ']') || section.startsWith('[' + key + "\\\\"))
            sections.append(section);
    }
    return sections;
}

} // namespace

class WineInteropTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Debian installs wine64 outside the PATH unless the wine package adds its wrappers.
        const QStringList debianWine = {u"/usr/lib/wine"_s};
        m_wine = QStandardPaths::findExecutable(u"wine64"_s, debianWine);
        if (m_wine.isEmpty())
            m_wine = QStandardPaths::findExecutable(u"wine64"_s);
        if (m_wine.isEmpty())
            QSKIP("wine64 is not installed (Debian package wine64: scripts/install-deps --tests)");
        m_wineserver =
            QStandardPaths::findExecutable(u"wineserver"_s, {QFileInfo(m_wine).absolutePath()});
        if (m_wineserver.isEmpty())
            m_wineserver = QStandardPaths::findExecutable(u"wineserver"_s);
        QVERIFY2(!m_wineserver.isEmpty(), "wine64 is installed, but no wineserver beside it");

        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_prefix = m_dir->filePath(u"prefix"_s);
        m_home = m_dir->filePath(u"home"_s);
        m_tmp = m_dir->filePath(u"tmp"_s);
        QVERIFY(QDir().mkpath(m_home) && QDir().mkpath(m_tmp));
        // The store finds Debian's server folder below the TMPDIR Wine ran with.
        m_savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_tmp));

        const ProgramRun boot = wine({u"wineboot"_s, u"-i"_s});
        QVERIFY2(boot.exitCode == 0, boot.err.constData());
        waitForServer();
        QVERIFY(QFileInfo::exists(userReg()));
    }

    void cleanupTestCase()
    {
        if (m_dir) {
            stopServer();
            if (m_savedTmp.isNull())
                qunsetenv("TMPDIR");
            else
                qputenv("TMPDIR", m_savedTmp);
        }
    }

    void winesKeysReadAsTheAnsiViewPromises()
    {
        const QString key = interop + u"\\Added"_s;
        const QString wineKey = u"HKCU\\"_s + key;
        const QString unicode = u"Grüße – Привет – 日本語 – € 😀"_s;
        const QList<QStringList> additions = {
            {u"Sz"_s, u"REG_SZ"_s, unicode},
            {u"Expand"_s, u"REG_EXPAND_SZ"_s, u"%USERPROFILE%\\AppData\\Local"_s},
            {u"Dword"_s, u"REG_DWORD"_s, u"0x12345678"_s},
            {u"Binary"_s, u"REG_BINARY"_s, u"00ff10ab"_s},
            {u"Multi"_s, u"REG_MULTI_SZ"_s, u"first\\0second item\\0Ümlaut"_s},
            {u"Qword"_s, u"REG_QWORD"_s, u"0x0123456789abcdef"_s},
        };
        // The store stays open while Wine changes the file, as the program's does.
        WineRegistryStore store(m_prefix);
        QVERIFY(store.keyExists(hkcu, interop.section(u'\\', 0, 0)));
        QVERIFY(!store.keyExists(hkcu, key));
        for (const QStringList &add : additions) {
            const ProgramRun run = wine({u"reg"_s, u"add"_s, wineKey, u"/v"_s, add[0], u"/t"_s,
                                         add[1], u"/d"_s, add[2], u"/f"_s});
            QVERIFY2(run.exitCode == 0, qPrintable(add.join(u' ') + QString::fromUtf8(run.err)));
        }
        waitForServer();

        const Tree expected = {
            {QString(),
             inWineOrder({
                 {u"Sz"_s, RegType::Sz, unicode.toUtf8() + '\0'},
                 {u"Expand"_s, RegType::ExpandSz, sz("%USERPROFILE%\\AppData\\Local")},
                 {u"Dword"_s, RegType::Dword, dword(0x12345678)},
                 {u"Binary"_s, RegType::Binary, QByteArray("\x00\xff\x10\xab", 4)},
                 {u"Multi"_s, RegType::MultiSz, multi({"first", "second item", "Ümlaut"})},
                 {u"Qword"_s, RegType::Qword, qword(0x0123456789abcdefull)},
             })},
        };
        QCOMPARE(describe(storeTree(store, key)), describe(expected));

        ScriptedDialogs dialogs;
        modReg reg(store, dialogs);
        QCOMPARE(reg.ReadStringValue(u"HKEY_CURRENT_USER\\"_s + key, u"Sz"_s), unicode);
        const QString shellFolders =
            u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
            "Shell Folders"_s;
        const QString localAppData = reg.ReadStringValue(shellFolders, u"Local AppData"_s);
        const QString personal = reg.ReadStringValue(shellFolders, u"Personal"_s);
        QCOMPARE(localAppData, u"C:\\users\\%1\\AppData\\Local"_s.arg(wineUser));
        QCOMPARE(personal, u"C:\\users\\%1\\Documents"_s.arg(wineUser));
        QVERIFY(dialogs.shown.isEmpty());

        // The folders Wine made are where the paths lead: Documents is a link to the home.
        const WinePaths paths(m_prefix);
        QCOMPARE(paths.toCanonicalHostPath(localAppData),
                 QFileInfo(m_prefix + u"/drive_c/users/%1/AppData/Local"_s.arg(wineUser))
                     .canonicalFilePath());
        QCOMPARE(paths.toCanonicalHostPath(personal), QFileInfo(m_home).canonicalFilePath());
    }

    void ourKeysReadInWineAndSurviveItsRewrite()
    {
        const QString key = interop + u"\\Written"_s;
        const Tree expected = inWineOrder({
            {QString(),
             {
                 {QString(), RegType::Sz, sz("the default value")},
                 {u"Plain"_s, RegType::Sz, sz("hello world")},
                 {u"Lines"_s, RegType::Sz, sz("first line\r\nsecond line\nthird\tend")},
                 {u"Control"_s, RegType::Sz,
                  sz("bell\a esc\x1b one\x01"
                     "7 del\x7f")},
                 {u"Ünïcödé"_s, RegType::Sz, sz("Grüße – Привет – 日本語 – € 😀")},
                 {u"a=b"_s, RegType::Sz, sz("a name with an equals sign")},
                 {u"Quote \"q\" \\"_s, RegType::Sz, sz("C:\\dir\\ and \\\\server\\\"share\"")},
                 {u"EmptySz"_s, RegType::Sz, sz("")},
                 {u"Expand"_s, RegType::ExpandSz, sz("%USERPROFILE%\\AppData\\Local")},
                 {u"Multi"_s, RegType::MultiSz, multi({"first", "second \"q\"", "Ümlaut"})},
                 {u"Dword"_s, RegType::Dword, dword(0xfedcba98)},
                 {u"BigEndian"_s, RegType::DwordBigEndian, QByteArray("\x01\x02\x03\x04", 4)},
                 {u"Qword"_s, RegType::Qword, qword(0x0123456789abcdefull)},
                 {u"Binary"_s, RegType::Binary, QByteArray("\x00\xff\x10\xab", 4)},
                 {u"EmptyBinary"_s, RegType::Binary, QByteArray()},
                 {u"LongBinary"_s, RegType::Binary, counting(300)},
                 {u"None"_s, RegType::None, QByteArray("\0", 1)},
             }},
            {u"Account [1]"_s, {{u"Server"_s, RegType::Sz, sz("pop.example.com")}}},
            {u"Sub=With\"Quote"_s, {{u"x"_s, RegType::Dword, dword(1)}}},
            {u"Ünïcödé Key"_s, {{u"y"_s, RegType::Sz, sz("z")}}},
            {u"Holder"_s, {}},
            {u"Holder\\Empty"_s, {}},
        });
        {
            WineRegistryStore store(m_prefix);
            for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                const QString path = it.key().isEmpty() ? key : key + u'\\' + it.key();
                QVERIFY(store.createKey(hkcu, path).ok());
                for (const RegistryValue &value : it.value())
                    QVERIFY2(store.setValue(hkcu, path, value).ok(), qPrintable(value.name));
            }
            const Result saved = store.save();
            QVERIFY2(saved.ok(), qPrintable(saved.message()));
        }
        const QByteArray ours = readFile(userReg());
        QCOMPARE(describe(exported(key)), describe(expected));

        // A change of Wine's own makes it write user.reg anew from what it read.
        const quint64 inode = inodeOf(userReg());
        const ProgramRun touch = wine({u"reg"_s, u"add"_s, u"HKCU\\Software\\Quillory Touched"_s,
                                       u"/v"_s, u"x"_s, u"/d"_s, u"y"_s, u"/f"_s});
        QVERIFY2(touch.exitCode == 0, touch.err.constData());
        waitForServer();
        QVERIFY(inodeOf(userReg()) != inode);

        const QByteArray wines = readFile(userReg());
        const QByteArray escapedKey = "Software\\\\Quillory Interop\\\\Written";
        QCOMPARE(sectionsOf(wines, escapedKey), sectionsOf(ours, escapedKey));
        // Our sections stand where Wine puts them.
        QList<QByteArray> winesOrder = sectionKeys(wines);
        QVERIFY(winesOrder.removeOne("Software\\\\Quillory Touched"));
        QCOMPARE(winesOrder, sectionKeys(ours));
        const WineRegistryStore store(m_prefix);
        QCOMPARE(describe(storeTree(store, key)), describe(expected));
    }

    void aRunningWineserverBlocksOurWrites()
    {
        const QString key = interop + u"\\Blocked"_s;
        WineRegistryStore pending(m_prefix);
        QVERIFY(pending.createKey(hkcu, key).ok());
        QVERIFY(pending.setValue(hkcu, key, {u"v"_s, RegType::Sz, sz("waiting")}).ok());

        const QByteArray before = readFile(userReg());
        // A persistent server stands in for the mail client running in the prefix.
        const ProgramRun server = runProgram(m_wineserver, {u"-p"_s}, environment());
        auto stop = qScopeGuard([this] { stopServer(); });
        QVERIFY2(server.exitCode == 0, server.err.constData());

        const auto expectBlocked = [&](const Result &result) {
            return !result.ok() && result.message().contains(u"close the mail client and Wine"_s);
        };
        WineRegistryStore store(m_prefix);
        const Result writable = store.checkWritable(hkcu);
        QVERIFY2(expectBlocked(writable), qPrintable(writable.message()));
        QVERIFY(expectBlocked(store.createKey(hkcu, key)));
        QVERIFY(expectBlocked(pending.save()));
        ScriptedDialogs dialogs;
        modReg reg(store, dialogs);
        QCOMPARE(reg.CreateKey(u"HKEY_CURRENT_USER\\"_s + key), RegStatus::AccessDenied);

        // Wine run from another environment keeps its server folder elsewhere.
        qputenv("TMPDIR", "/nonexistent");
        const Result elsewhere = store.checkWritable(hkcu);
        qputenv("TMPDIR", QFile::encodeName(m_tmp));
        QVERIFY2(expectBlocked(elsewhere), qPrintable(elsewhere.message()));
        QCOMPARE(readFile(userReg()), before);

        stop.dismiss();
        stopServer();
        // Nor does Wine running for another prefix stand in the way.
        const QString other = m_dir->filePath(u"other"_s);
        QVERIFY(QDir().mkpath(other));
        const QStringList otherEnvironment = environment() << u"WINEPREFIX="_s + other;
        const ProgramRun otherServer = runProgram(m_wineserver, {u"-p"_s}, otherEnvironment);
        const auto stopOther = qScopeGuard([&] {
            runProgram(m_wineserver, {u"-k"_s}, otherEnvironment);
            runProgram(m_wineserver, {u"-w"_s}, otherEnvironment);
        });
        QVERIFY2(otherServer.exitCode == 0, otherServer.err.constData());
        QVERIFY(store.checkWritable(hkcu).ok());
        qputenv("TMPDIR", "/nonexistent");
        const Result otherElsewhere = store.checkWritable(hkcu);
        qputenv("TMPDIR", QFile::encodeName(m_tmp));
        QVERIFY2(otherElsewhere.ok(), qPrintable(otherElsewhere.message()));
        // The changes held back are still there to be saved once Wine is gone.
        const Result saved = pending.save();
        QVERIFY2(saved.ok(), qPrintable(saved.message()));
        QCOMPARE(WineRegistryStore(m_prefix).value(hkcu, key, u"v"_s)->data, sz("waiting"));
    }

    void registryTextRoundTripsThroughWine()
    {
        const QString top = interop + u"\\Text"_s;
        // The types a registry text file carries.
        const Tree source = inWineOrder({
            {QString(),
             {
                 {QString(), RegType::Sz, sz("the default value")},
                 {u"Plain"_s, RegType::Sz, sz("hello world")},
                 {u"Lines"_s, RegType::Sz, sz("first line\r\nsecond line\nthird")},
                 {u"Unicode"_s, RegType::Sz, sz("Grüße – Привет – 日本語 – € 😀")},
                 {u"a=b"_s, RegType::Sz, sz("a name with an equals sign")},
                 {u"Quote \"q\""_s, RegType::Sz, sz("C:\\dir\\ and \"quoted\"")},
                 {u"EmptySz"_s, RegType::Sz, sz("")},
                 {u"Expand"_s, RegType::ExpandSz, sz("%USERPROFILE%\\AppData\\Local")},
                 {u"Dword"_s, RegType::Dword, dword(0xffffffff)},
                 {u"Binary"_s, RegType::Binary, QByteArray("\x00\xff\x10\xab", 4)},
                 {u"EmptyBinary"_s, RegType::Binary, QByteArray()},
                 {u"LongBinary"_s, RegType::Binary, counting(300)},
             }},
            {u"Account [1]"_s, {{u"Server"_s, RegType::Sz, sz("pop.example.com")}}},
            {u"Ünïcödé Key"_s, {}},
            {u"Ünïcödé Key\\Deeper"_s, {{u"x"_s, RegType::Dword, dword(1)}}},
        });
        // The copy's place holds an older tree, which the import replaces.
        Tree wineMade = below(u"Source"_s, source);
        wineMade.insert(u"Copy"_s, {{u"Stale"_s, RegType::Sz, sz("old")}});
        wineMade.insert(u"Copy\\Old Account"_s, {{u"Server"_s, RegType::Sz, sz("old.example")}});
        const QString regPath = m_dir->filePath(u"source.reg"_s);
        QVERIFY(writeFile(regPath, regFile(top, wineMade)));
        const ProgramRun import = wine({u"reg"_s, u"import"_s, windowsPath(regPath)});
        QVERIFY2(import.exitCode == 0, import.err.constData());
        waitForServer();

        WineRegistryStore store(m_prefix);
        ScriptedDialogs dialogs;
        modReg reg(store, dialogs);
        const QString textPath = m_dir->filePath(u"tree.txt"_s);
        const QString hkcuTop = u"HKEY_CURRENT_USER\\"_s + top;
        Result done = reg.ExportKeyTree(hkcuTop + u"\\Source"_s, QString(), textPath);
        QVERIFY2(done.ok(), qPrintable(done.message()));
        done = reg.ImportKeyFile(hkcuTop + u"\\Copy"_s, textPath);
        QVERIFY2(done.ok(), qPrintable(done.message()));
        QVERIFY(dialogs.shown.isEmpty());

        const Tree both = exported(top);
        QCOMPARE(describe(subtree(both, u"Source"_s)), describe(source));
        QCOMPARE(describe(subtree(both, u"Copy"_s)), describe(source));
    }

private:
    QString userReg() const { return m_prefix + u"/user.reg"_s; }

    QStringList environment() const
    {
        return {u"WINEPREFIX="_s + m_prefix, u"WINEDEBUG=-all"_s,
                // No prompt to install Mono or Gecko, which wineboot would otherwise ask for.
                u"WINEDLLOVERRIDES=mscoree,mshtml="_s,
                // Wine adds menu entries and file associations below the home folder.
                u"HOME="_s + m_home, u"TMPDIR="_s + m_tmp, u"USER="_s + wineUser,
                // Arguments reach Wine's programs as UTF-8 only in a UTF-8 locale.
                u"LC_ALL=C.UTF-8"_s,
                // Nothing Wine starts may open a window on the desktop the tests run from.
                u"DISPLAY="_s, u"WAYLAND_DISPLAY="_s};
    }

    ProgramRun wine(const QStringList &arguments) const
    {
        return runProgram(m_wine, arguments, environment());
    }

    // Wine saves the registry when its server ends, after the last Wine program.
    void waitForServer() const { runProgram(m_wineserver, {u"-w"_s}, environment()); }

    void stopServer() const
    {
        runProgram(m_wineserver, {u"-k"_s}, environment());
        waitForServer();
    }

    // The tree below an HKEY_CURRENT_USER key as Wine's reg export shows it.
    Tree exported(const QString &key) const
    {
        const QString file = m_dir->filePath(u"export.reg"_s);
        QFile::remove(file);
        const ProgramRun run =
            wine({u"reg"_s, u"export"_s, u"HKCU\\"_s + key, windowsPath(file), u"/y"_s});
        waitForServer();
        if (run.exitCode != 0)
            qWarning("reg export %s failed: %s", qPrintable(key), run.err.constData());
        return readExport(readFile(file), key);
    }

    QString m_wine;
    QString m_wineserver;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_prefix;
    QString m_home;
    QString m_tmp;
    QByteArray m_savedTmp;
};

QUILLORY_TEST(WineInteropTest)
#include "tst_wineinterop.moc"
