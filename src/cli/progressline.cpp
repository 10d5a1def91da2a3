#include "cli/progressline.h"

#include "platform/text/controlcharacters.h"

#include <QLocale>
#include <QStringList>

#include <cerrno>
#include <clocale>
#include <cwchar>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quillory {

namespace {

// What one drawing of the line shows. Figures the run does not know are negative.
struct ProgressFigures {
    QString step;
    // Negative when the run cannot tell: the time it has taken stands in its place.
    int percent = 0;
    qint64 secondsTaken = 0;
    qint64 done = -1;
    qint64 total = -1;
    double bytesPerSecond = -1;
    qint64 secondsLeft = -1;
};

constexpr qint64 redrawMilliseconds = 100;
// A rate measured over less time than this says more about the clock than about the work.
constexpr qint64 rateMilliseconds = 500;
// Room kept for the step before figures are left out.
constexpr qsizetype stepRoom = 12;
const QString gap = QStringLiteral("  ");

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString durationText(qint64 seconds)
{
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600)
        .arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
}

// One character as the terminal draws it, with the combining marks that follow it.
struct Glyph {
    QString text;
    int columns = 0;
};

// The characters of `text` with the columns each takes: two for wide ones (CJK), none for
// combining marks. Measured in a UTF-8 locale whatever the user's, as the line is written in
// UTF-8; a character the locale does not know takes one.
QList<Glyph> glyphsOf(const QString &text)
{
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    const locale_t previous = utf8 ? ::uselocale(utf8) : locale_t(nullptr);
    QList<Glyph> glyphs;
    for (const char32_t c : text.toUcs4()) {
        const int width = ::wcwidth(wchar_t(c));
        const QString character = QString::fromUcs4(&c, 1);
        if (width == 0 && !glyphs.isEmpty())
            glyphs.last().text += character;
        else
            glyphs.append({character, width < 0 ? 1 : width});
    }
    if (utf8)
        ::uselocale(previous);
    return glyphs;
}

qsizetype columnsOf(const QList<Glyph> &glyphs)
{
    qsizetype columns = 0;
    for (const Glyph &glyph : glyphs)
        columns += glyph.columns;
    return columns;
}

// The first (or last) characters of `glyphs` that fit in `room` columns.
QString leftColumns(const QList<Glyph> &glyphs, qsizetype room)
{
    QString text;
    for (const Glyph &glyph : glyphs) {
        if (glyph.columns > room)
            break;
        room -= glyph.columns;
        text += glyph.text;
    }
    return text;
}

QString rightColumns(const QList<Glyph> &glyphs, qsizetype room)
{
    QString text;
    for (auto glyph = glyphs.crbegin(); glyph != glyphs.crend(); ++glyph) {
        if (glyph->columns > room)
            break;
        room -= glyph->columns;
        text.prepend(glyph->text);
    }
    return text;
}

// Keeps both ends of a name, where account and file names differ most, in `room` columns.
QString shortened(QString text, qsizetype room)
{
    QList<Glyph> glyphs = glyphsOf(text);
    if (columnsOf(glyphs) <= room)
        return text;
    // The step's own trailing dots say no more than the dots put in its middle.
    if (text.endsWith(QLatin1String("..."))) {
        glyphs.resize(glyphs.size() - 3);
        if (columnsOf(glyphs) <= room)
            return text.chopped(3);
    }
    if (room < 5)
        return leftColumns(glyphs, room);
    const qsizetype kept = room - 3;
    return leftColumns(glyphs, (kept + 1) / 2) + QStringLiteral("...") +
           rightColumns(glyphs, kept / 2);
}

int terminalWidth(int fd)
{
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// The line for a terminal `width` columns wide: the step, shortened in the middle when the
// figures leave it too little room, and as many of the figures as fit. It stays a column short
// of the width, where some terminals wrap. The figures are ASCII, one column a character.
QString progressLineText(const ProgressFigures &figures, int width)
{
    const qsizetype columns = std::max(width - 1, 1);
    const QString percent = figures.percent >= 0 ? QStringLiteral("%1%").arg(figures.percent, 3)
                                                 : durationText(figures.secondsTaken);
    const QString bytes =
        figures.done >= 0 && figures.total > 0
            ? QStringLiteral("%1 of %2").arg(sizeText(figures.done), sizeText(figures.total))
            : QString();
    const QString rate = figures.bytesPerSecond >= 0
                             ? sizeText(qint64(figures.bytesPerSecond)) + QStringLiteral("/s")
                             : QString();
    const QString left = figures.secondsLeft >= 0
                             ? durationText(figures.secondsLeft) + QStringLiteral(" left")
                             : QString();
    // Left out first when the line is short: the rate, then the bytes, then the time left.
    const QStringList shown[] = {
        {percent, bytes, rate, left}, {percent, bytes, left}, {percent, left}, {percent}};
    const qsizetype stepColumns = columnsOf(glyphsOf(figures.step));
    for (const QStringList &parts : shown) {
        QStringList kept = parts;
        kept.removeAll(QString());
        const QString tail = kept.join(gap);
        if (figures.step.isEmpty() && tail.size() <= columns)
            return tail;
        const qsizetype room = columns - tail.size() - gap.size();
        if (room >= std::min(stepColumns, stepRoom))
            return shortened(figures.step, room) + gap + tail;
    }
    return leftColumns(glyphsOf(figures.step.isEmpty() ? percent : figures.step + gap + percent),
                       columns);
}

} // namespace

ProgressLine::ProgressLine(int fd, bool wanted, const QString &firstStep)
    : m_fd(fd), m_drawing(wanted && ::isatty(fd) == 1), m_step(firstStep)
{
    m_clock.start();
}

ProgressLine::~ProgressLine()
{
    clear();
}

void ProgressLine::progress(const QString &step, int percent)
{
    if (!step.isEmpty()) {
        // Tabs and line breaks would break the line; other controls are shown escaped.
        QString shown = escapedControls(step);
        for (QChar &c : shown)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char(' ');
        shown = shown.trimmed();
        if (shown != m_step) {
            m_step = shown;
            m_done = m_total = -1;
        }
    }
    m_percent = percent < 0 ? -1 : std::min(percent, 100);
    draw();
}

void ProgressLine::bytes(quint64 done, quint64 total)
{
    // A new count (another step's, or one begun again) measures its rate from its own start.
    if (qint64(total) != m_total || qint64(done) < m_done || m_done < 0) {
        m_rateFromBytes = qint64(done);
        m_rateFromTime = m_clock.elapsed();
    }
    m_done = qint64(done);
    m_total = qint64(total);
    draw();
}

void ProgressLine::clear()
{
    if (m_shown)
        write(QStringLiteral("\r\x1b[K"));
    m_shown = false;
    m_drawnAt = -1;
}

void ProgressLine::draw()
{
    const qint64 now = m_clock.elapsed();
    if (!m_drawing || (m_drawnAt >= 0 && now - m_drawnAt < redrawMilliseconds))
        return;
    if (m_percent >= 0 && (m_startPercent < 0 || m_percent < m_startPercent)) {
        m_startPercent = m_percent;
        m_startTime = now;
    }
    ProgressFigures figures{m_step, m_percent, now / 1000, m_done, m_total};
    if (m_done >= 0 && now - m_rateFromTime >= rateMilliseconds)
        figures.bytesPerSecond =
            double(m_done - m_rateFromBytes) * 1000.0 / double(now - m_rateFromTime);
    // A step that counts bytes knows its own pace best; otherwise the run's pace so far, from
    // the percent.
    if (figures.bytesPerSecond > 0 && m_total >= m_done)
        figures.secondsLeft = qint64(double(m_total - m_done) / figures.bytesPerSecond);
    else if (m_startPercent >= 0 && m_percent > m_startPercent &&
             now - m_startTime >= rateMilliseconds)
        figures.secondsLeft =
            (now - m_startTime) * (100 - m_percent) / (m_percent - m_startPercent) / 1000;
    write(QLatin1Char('\r') + progressLineText(figures, terminalWidth(m_fd)) +
          QStringLiteral("\x1b[K"));
    m_shown = true;
    m_drawnAt = now;
}

void ProgressLine::write(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(m_fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += n;
    }
}

} // namespace quillory
