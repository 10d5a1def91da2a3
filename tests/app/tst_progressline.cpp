#include "cli/progressline.h"
#include "support/testsupport.h"

#include <QTest>

#include <clocale>
#include <cwchar>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace quillory;
using namespace Qt::StringLiterals;

namespace {

// The columns a terminal gives `text`, as a UTF-8 terminal counts them.
int displayColumns(const QString &text)
{
    const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    const locale_t previous = ::uselocale(utf8);
    int columns = 0;
    for (const char32_t c : text.toUcs4())
        columns += std::max(::wcwidth(wchar_t(c)), 0);
    ::uselocale(previous);
    ::freelocale(utf8);
    return columns;
}

} // namespace

class ProgressLineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The line fits the terminal's columns, not its count of UTF-16 units, and keeps both ends
    // of a name it shortens.
    void fitsTheTerminalInColumns_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("width");
        QTest::newRow("ascii") << QStringLiteral("Backing up account ") + QString(60, u'a') + u'z'
                               << 50;
        QTest::newRow("30 CJK on 50") << QStringLiteral("邮") + QString(28, u'件') + u'箱' << 50;
        QTest::newRow("CJK on 20") << QStringLiteral("邮") + QString(28, u'件') + u'箱' << 20;
        QTest::newRow("emoji") << QStringLiteral("📧") + QString(40, QChar(0x1F4E8)) + u'Z' << 40;
        QTest::newRow("combining accents")
            << QStringLiteral("e") + QString(70, u'e').replace(u"e"_s, u"e\u0301"_s) + u'z' << 40;
    }
    void fitsTheTerminalInColumns()
    {
        QFETCH(QString, step);
        QFETCH(int, width);
        int master = -1;
        int terminal = -1;
        winsize size{};
        size.ws_col = ushort(width);
        size.ws_row = 24;
        QVERIFY(::openpty(&master, &terminal, nullptr, nullptr, &size) == 0);
        {
            ProgressLine line(terminal, true, QString());
            line.progress(step, 42);
        }
        ::close(terminal);
        QByteArray drawn;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            drawn.append(buffer, n);
        ::close(master);
        // The drawing, then the clearing when the line is gone.
        const QList<QByteArray> parts = drawn.split('\r');
        QVERIFY2(parts.size() == 3, drawn.constData());
        const QString shown = QString::fromUtf8(parts[1]).remove(u"\x1b[K"_s);
        QVERIFY2(displayColumns(shown) < width, qPrintable(shown));
        QVERIFY2(shown.startsWith(step.left(1)) && shown.contains(u"42%"_s), qPrintable(shown));
        if (width >= 40)
            QVERIFY2(shown.contains(step.right(1) + u"  "_s), qPrintable(shown));
    }
};

QUILLORY_TEST(ProgressLineTest)
#include "tst_progressline.moc"
