#include "support/testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillory::test;

namespace {

// What a terminal shows after `shown`: a carriage return goes back to the line's start, ESC [K
// erases to its end, a line feed starts the next line. Lines longer than the terminal are kept
// whole, so that the caller sees them.
QStringList screenOf(const QByteArray &shown)
{
    const QString text = QString::fromUtf8(shown);
    QStringList lines{QString()};
    qsizetype column = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString &line = lines.last();
        if (text[i] == u'\r') {
            column = 0;
        } else if (text[i] == u'\n') {
            lines.append(QString());
            column = 0;
        } else if (QStringView(text).mid(i, 3) == u"\x1b[K") {
            line.truncate(column);
            i += 2;
        } else {
            if (column < line.size())
                line[column] = text[i];
            else
                line.append(text[i]);
            ++column;
        }
    }
    lines.removeAll(QString());
    return lines;
}

// The progress lines drawn: each from a carriage return to the erasing of the line's rest.
QStringList drawnLines(const QByteArray &shown)
{
    static const QRegularExpression drawing(u"\r([^\r\n\x1b]+)\x1b\\[K"_s);
    QStringList lines;
    for (const QRegularExpressionMatch &match : drawing.globalMatch(QString::fromUtf8(shown)))
        lines.append(match.captured(1));
    return lines;
}

} // namespace

// brevnor-cli's runs as a terminal, a pipe and a script see them: the progress line, --quiet,
// --json and the shell's completion.
class CliRunsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QStringList profile(const QString &name) const
    {
        return {u"WINEPREFIX="_s + path(name), u"QUILLORY_DISC_DRIVES="_s + path(u"disc.iso"_s)};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(makeSampleProfile(path(u"prefix"_s)));
        // A stationery named as the archive's information file cannot be stored: that item fails.
        QVERIFY(makeSampleProfile(path(u"broken"_s)));
        QVERIFY(writeFile(path(u"broken/drive_c/users/anna/Documents/My Stationery/krvstore.dat"_s),
                          "not the information file"));
        QCOMPARE(
            runProgram(u"brevnor-cli"_s, {u"backup"_s, path(u"good.wlm"_s)}, profile(u"prefix"_s))
                .exitCode,
            0);
        QVERIFY(writeFile(path(u"damaged.wlm"_s), readFile(path(u"good.wlm"_s)).left(5000)));
    }

    void outputThatCannotBeWritten_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("verify --json")
            << QStringList{u"verify"_s, path(u"good.wlm"_s), u"--json"_s};
        QTest::newRow("list") << QStringList{u"list"_s, path(u"good.wlm"_s)};
        QTest::newRow("info") << QStringList{u"info"_s, path(u"good.wlm"_s)};
    }

    // A report that never reached its file is no success.
    void outputThatCannotBeWritten()
    {
        QFETCH(QStringList, arguments);
        const ProgramRun full = runProgram(u"sh"_s,
                                           QStringList{u"-c"_s, u"exec \"$0\" \"$@\" > /dev/full"_s,
                                                       binDir() + u"/brevnor-cli"_s} +
                                               arguments,
                                           profile(u"prefix"_s));
        QCOMPARE(full.exitCode, 2);
        QVERIFY2(full.err.contains("could not be written: No space left on device"),
                 full.err.constData());
    }

    void aClosedPipeEndsQuietly_data() { outputThatCannotBeWritten_data(); }

    // As ls: a reader that went away (`| head -1`) ends the command without a word.
    void aClosedPipeEndsQuietly()
    {
        QFETCH(QStringList, arguments);
        // The pipe's reader is closed before the command starts, so its first write meets it.
        const QString closedPipe = u"import os, signal, sys\n"
                                   "r, w = os.pipe()\n"
                                   "os.close(r)\n"
                                   "pid = os.fork()\n"
                                   "if pid == 0:\n"
                                   "    signal.signal(signal.SIGPIPE, signal.SIG_DFL)\n"
                                   "    os.dup2(w, 1)\n"
                                   "    os.execv(sys.argv[1], sys.argv[1:])\n"
                                   "print(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))\n"_s;
        const ProgramRun run =
            runProgram(u"python3"_s,
                       QStringList{u"-c"_s, closedPipe, binDir() + u"/brevnor-cli"_s} + arguments,
                       profile(u"prefix"_s));
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        QVERIFY2(run.out == "-13\n" || run.out == "0\n", run.out.constData());
    }

    void threadsThatCannotStart_data()
    {
        QTest::addColumn<int>("failingFrom");
        QTest::addColumn<bool>("only");
        for (int k = 1; k <= 12; ++k) {
            QTest::newRow(qPrintable(u"from the %1. start on"_s.arg(k))) << k << false;
            QTest::newRow(qPrintable(u"only the %1. start"_s.arg(k))) << k << true;
        }
    }

    // Where the system starts no more threads, a run does the work on its own thread or fails
    // with the reason: never a crash, never a hang, never an archive that does not read back.
    void threadsThatCannotStart()
    {
        QFETCH(int, failingFrom);
        QFETCH(bool, only);
        if (underSanitizer)
            QSKIP("The sanitizer's own thread start cannot be replaced.");
        if (!QFileInfo::exists(path(u"threads"_s)))
            QVERIFY(makeSampleProfile(path(u"threads"_s)));
        const QStringList failing =
            profile(u"threads"_s) +
            QStringList{u"LD_PRELOAD="_s + QStringLiteral(QUILLORY_FAIL_THREAD_START_LIBRARY),
                        u"QUILLORY_FAIL_THREAD_START="_s + QString::number(failingFrom),
                        only ? u"QUILLORY_FAIL_THREAD_START_ONLY=1"_s
                             : u"QUILLORY_FAIL_THREAD_START_ONLY="_s};
        const QString archive = path(u"threads.wlm"_s);
        QVERIFY(writeFile(archive, "the last good backup"));
        const ProgramRun backup = runProgram(u"brevnor-cli"_s, {u"backup"_s, archive}, failing);
        if (backup.exitCode == 0) {
            QCOMPARE(runProgram(u"brevnor-cli"_s, {u"verify"_s, archive}).exitCode, 0);
        } else {
            QVERIFY2(backup.exitCode == 2 && backup.err.contains("Cannot start a worker thread"),
                     backup.err.constData());
            QCOMPARE(readFile(archive), QByteArray("the last good backup"));
        }
        const ProgramRun restore =
            runProgram(u"brevnor-cli"_s, {u"restore"_s, path(u"good.wlm"_s)}, failing);
        QVERIFY2(restore.exitCode == 0 || (restore.exitCode == 2 &&
                                           restore.err.contains("Cannot start a worker thread")),
                 restore.err.constData());
    }

    // On a terminal the line is drawn and redrawn within the width, and cleared before the report.
    void progressOnATerminal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("report");
        QTest::newRow("backup") << QStringList{u"backup"_s, path(u"t.wlm"_s)}
                                << u"The Backup was Completed!"_s;
        QTest::newRow("restore") << QStringList{u"restore"_s, path(u"good.wlm"_s)}
                                 << u"The Restore was Completed!"_s;
        QTest::newRow("verify") << QStringList{u"verify"_s, path(u"good.wlm"_s)}
                                << u"The archive "_s + path(u"good.wlm"_s);
        QTest::newRow("burn") << QStringList{u"burn"_s, path(u"good.wlm"_s)}
                              << u"Writing is complete!"_s;
        QTest::newRow("backup --quiet")
            << QStringList{u"backup"_s, path(u"t.wlm"_s), u"--quiet"_s} << QString();
    }
    void progressOnATerminal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, report);
        const ProgramRun run = runOnTerminal(u"brevnor-cli"_s, arguments, profile(u"prefix"_s), 40);
        QVERIFY2(run.exitCode == 0, run.out.constData());
        const QStringList drawn = drawnLines(run.out);
        QCOMPARE(drawn.isEmpty(), report.isEmpty());
        for (const QString &line : drawn) {
            QVERIFY2(line.size() < 40, qPrintable(line));
            QVERIFY2(line.contains(u'%'), qPrintable(line));
        }
        const QStringList screen = screenOf(run.out);
        QCOMPARE(screen.isEmpty(), report.isEmpty());
        if (!report.isEmpty())
            QVERIFY2(screen.first().startsWith(report), qPrintable(screen.join(u'\n')));
        for (const QString &line : screen)
            QVERIFY2(!line.contains(u'%'), qPrintable(screen.join(u'\n')));
    }

    // A pipe gets no progress; --quiet leaves only problems, none here.
    void nothingButTheReportOnAPipe_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("report");
        const QStringList backup{u"backup"_s, path(u"p.wlm"_s)};
        const QStringList restore{u"restore"_s, path(u"good.wlm"_s)};
        const QStringList verify{u"verify"_s, path(u"good.wlm"_s)};
        const QStringList iso{u"iso"_s, path(u"good.wlm"_s), u"--output"_s, path(u"p.iso"_s)};
        QTest::newRow("backup") << backup << u"The Backup was Completed!"_s;
        QTest::newRow("restore") << restore << u"The Restore was Completed!"_s;
        QTest::newRow("verify") << verify << u"is sound"_s;
        QTest::newRow("iso") << iso << u"ISO File Created successfully!"_s;
        for (const QStringList &arguments : {backup, restore, verify, iso})
            QTest::newRow(qPrintable(arguments.first() + u" --quiet"_s))
                << arguments + QStringList{u"--quiet"_s} << QString();
    }
    void nothingButTheReportOnAPipe()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, report);
        const ProgramRun run = runProgram(u"brevnor-cli"_s, arguments, profile(u"prefix"_s));
        const QByteArray shown = run.out + run.err;
        QVERIFY2(run.exitCode == 0, shown.constData());
        QVERIFY2(!shown.contains('\r') && !shown.contains('\x1b') && !shown.contains('%'),
                 shown.constData());
        QCOMPARE(shown.isEmpty(), report.isEmpty());
        QVERIFY2(QString::fromUtf8(shown).contains(report), shown.constData());
    }

    // The JSON document says what the text report says, item by item, and what the run was.
    void jsonOutcome_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("failedItem"); // "*": the run failed as a whole
        QTest::newRow("good backup")
            << u"prefix"_s << QStringList{u"backup"_s, path(u"j.wlm"_s)} << 0 << QString();
        QTest::newRow("partial backup")
            << u"broken"_s << QStringList{u"backup"_s, path(u"j.wlm"_s)} << 1 << u"stationeries"_s;
        QTest::newRow("failed backup")
            << u"broken"_s
            << QStringList{u"backup"_s, path(u"none.wlm"_s), u"--items"_s, u"stationeries"_s} << 2
            << u"*"_s;
        // The archive an earlier row wrote is kept, but it is not this run's.
        QTest::newRow("failed backup over an archive")
            << u"broken"_s
            << QStringList{u"backup"_s, path(u"j.wlm"_s), u"--items"_s, u"stationeries"_s} << 2
            << u"*"_s;
        QTest::newRow("good restore")
            << u"prefix"_s << QStringList{u"restore"_s, path(u"good.wlm"_s)} << 0 << QString();
        QTest::newRow("damaged archive")
            << u"prefix"_s << QStringList{u"verify"_s, path(u"damaged.wlm"_s)} << 2 << u"*"_s;
    }
    void jsonOutcome()
    {
        QFETCH(QString, prefix);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, failedItem);
        const ProgramRun text = runProgram(u"brevnor-cli"_s, arguments, profile(prefix));
        const ProgramRun run =
            runProgram(u"brevnor-cli"_s, arguments + QStringList{u"--json"_s}, profile(prefix));
        QCOMPARE(text.exitCode, status);
        QCOMPARE(run.exitCode, status);
        QJsonParseError error;
        const QJsonObject record = QJsonDocument::fromJson(run.out, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, run.out.constData());

        QCOMPARE(record[u"exitStatus"_s].toInt(-1), status);
        const QFileInfo archive(arguments[1]);
        QCOMPARE(record[u"archive"_s].toString(), archive.absoluteFilePath());
        const bool wroteNone = arguments[0] == u"backup"_s && status == 2;
        if (archive.exists() && !wroteNone)
            QCOMPARE(record[u"archiveSize"_s].toInteger(-1), archive.size());
        else
            QVERIFY(record[u"archiveSize"_s].isNull());
        const QDateTime start = QDateTime::fromString(record[u"start"_s].toString(), Qt::ISODate);
        const QDateTime end = QDateTime::fromString(record[u"end"_s].toString(), Qt::ISODate);
        QVERIFY(start.isValid() && end.isValid() && start <= end);
        QCOMPARE(record[u"reason"_s].toString().isEmpty(), failedItem != u"*"_s);

        // The text report's item lines, in the same order as the record's items.
        QStringList reported;
        for (const QString &line : QString::fromUtf8(text.out).split(u'\n'))
            if (line.contains(u'\t'))
                reported.append(line.endsWith(u"\tSuccessed!"_s) ? u"succeeded"_s : u"failed"_s);
        QStringList results;
        for (const QJsonValue &item : record[u"items"_s].toArray()) {
            const QString name = item[u"name"_s].toString();
            const QString result = item[u"result"_s].toString();
            const bool failed = failedItem == u"*"_s || name == failedItem;
            QCOMPARE(result, failed ? u"failed"_s : u"succeeded"_s);
            QCOMPARE(item[u"reason"_s].toString().isEmpty(), !failed);
            results.append(result);
        }
        if (!reported.isEmpty())
            QCOMPARE(results, reported);
    }

    void completion_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("completed");
        QTest::newRow("command") << u"brevnor-cli res"_s << u"restore"_s;
        QTest::newRow("option") << u"brevnor-cli backup --pro"_s << u"--protect"_s;
        QTest::newRow("second item")
            << u"brevnor-cli restore --items 1,sta"_s << u"1,stationeries"_s;
        QTest::newRow("archive") << u"brevnor-cli verify goo"_s << u"good.wlm"_s;
        QTest::newRow("drive") << u"brevnor-cli burn --drive "_s << path(u"disc.iso"_s);
    }
    void completion()
    {
        QFETCH(QString, line);
        QFETCH(QString, completed);
        const QString script = sourceDir() + u"/data/completion/brevnor-cli"_s;
        const ProgramRun syntax = runProgram(u"bash"_s, {u"-n"_s, script});
        QVERIFY2(syntax.exitCode == 0, syntax.err.constData());
        // The line as bash hands it over, the word being completed last (empty after a blank).
        const ProgramRun run = runProgram(
            u"bash"_s,
            {u"-c"_s,
             u"cd \"$1\" && source \"$2\" && read -ra COMP_WORDS <<<\"$3\" && "
             "[[ $3 == *' ' ]] && COMP_WORDS+=(''); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
             "_brevnor_cli && printf '%s\\n' \"${COMPREPLY[@]}\""_s,
             u"bash"_s, m_dir.path(), script, line},
            profile(u"prefix"_s));
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(QString::fromUtf8(run.out), completed + u'\n');
    }
};

QUILLORY_TEST(CliRunsTest)
#include "tst_cliruns.moc"
