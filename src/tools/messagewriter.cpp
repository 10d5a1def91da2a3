#include "messagewriter.h"

#include <algorithm>
#include <array>

namespace {

const std::array<const char *, 48> vocabulary = {
    "the",     "meeting", "report", "attached", "please",   "review",    "before",   "Friday",
    "thanks",  "for",     "your",   "quick",    "reply",    "we",        "will",     "send",
    "update",  "project", "budget", "numbers",  "and",      "also",      "schedule", "call",
    "next",    "week",    "Grüße",  "naïve",    "café",     "Übersicht", "déjà",     "vu",
    "invoice", "€120",    "order",  "shipped",  "tracking", "number",    "holiday",  "photos",
    "team",    "lunch",   "at",     "noon",     "see",      "you",       "there",    "regards"};

constexpr qsizetype textBlockSize = 256 * 1024;
constexpr qsizetype lineWidth = 72;
// A multiple of 3 and of 57 (the bytes on one base64 line of 76), so that chunks join
// seamlessly, and of 4 for filling it with 32-bit random numbers.
constexpr qsizetype rawChunk = 57 * 4 * 256;
constexpr qsizetype encodedLine = 76;

// Header fields are 7-bit: other text goes in an encoded word.
QByteArray headerText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (std::all_of(utf8.cbegin(), utf8.cend(), [](char c) { return quint8(c) < 128; }))
        return utf8;
    return "=?utf-8?B?" + utf8.toBase64() + "?=";
}

} // namespace

MessageWriter::MessageWriter(QRandomGenerator &random) : m_random(random)
{
    QByteArray line;
    while (m_text.size() < textBlockSize) {
        const QByteArray word = vocabulary.at(m_random.bounded(quint32(vocabulary.size())));
        if (!line.isEmpty() && line.size() + 1 + word.size() > lineWidth) {
            m_lineStarts.append(m_text.size());
            m_text += line + "\r\n";
            line.clear();
        }
        line += (line.isEmpty() ? QByteArray() : QByteArray(" ")) + word;
    }
    m_raw.resize(rawChunk);
}

QString MessageWriter::words(int count)
{
    QStringList picked;
    for (int i = 0; i < count; ++i)
        picked.append(
            QString::fromUtf8(vocabulary.at(m_random.bounded(quint32(vocabulary.size())))));
    return picked.join(QLatin1Char(' '));
}

bool MessageWriter::write(QIODevice &out, const Message &message)
{
    const QByteArray boundary =
        "----=_NextPart_000_" +
        QByteArray::number(message.number, 16).rightJustified(4, '0').toUpper();
    QByteArray head = "From: " + message.from.toUtf8() + "\r\nTo: " + message.to.toUtf8() +
                      "\r\nSubject: " + headerText(words(4)) +
                      "\r\nDate: " + message.date.toString(Qt::RFC2822Date).toLatin1() +
                      "\r\nMessage-ID: <" + QByteArray::number(m_random.generate64(), 16) + '@' +
                      message.domain.toUtf8() +
                      ">\r\nMIME-Version: 1.0"
                      "\r\nX-Mailer: Microsoft Windows Live Mail 14.0.8117.416\r\n";
    const QByteArray textHeaders =
        "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    if (message.attachmentSize > 0)
        head += "Content-Type: multipart/mixed; boundary=\"" + boundary +
                "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n--" + boundary +
                "\r\n";
    head += textHeaders;
    if (out.write(head) != head.size() ||
        !writeText(out, std::max<qint64>(1, message.size - head.size())))
        return false;
    if (message.attachmentSize == 0)
        return true;

    const QByteArray name =
        "data-" + QByteArray::number(message.number).rightJustified(5, '0') + ".bin";
    const QByteArray partHead = "\r\n--" + boundary +
                                "\r\nContent-Type: application/octet-stream; name=\"" + name +
                                "\"\r\nContent-Transfer-Encoding: base64"
                                "\r\nContent-Disposition: attachment; filename=\"" +
                                name + "\"\r\n\r\n";
    const QByteArray tail = "\r\n--" + boundary + "--\r\n";
    return out.write(partHead) == partHead.size() && writeAttachment(out, message.attachmentSize) &&
           out.write(tail) == tail.size();
}

// Whole lines from a random place in the block, wrapping around, until `size` bytes are out.
bool MessageWriter::writeText(QIODevice &out, qint64 size)
{
    qsizetype pos = m_lineStarts.at(m_random.bounded(quint32(m_lineStarts.size())));
    while (size > 0) {
        const qsizetype rest = m_text.size() - pos;
        const qsizetype end =
            size >= rest ? m_text.size() : m_text.indexOf('\n', pos + qsizetype(size) - 1) + 1;
        if (out.write(m_text.constData() + pos, end - pos) != end - pos)
            return false;
        size -= end - pos;
        pos = 0;
    }
    return true;
}

bool MessageWriter::writeAttachment(QIODevice &out, qint64 size)
{
    while (size > 0) {
        const qsizetype chunk = qsizetype(std::min<qint64>(size, rawChunk));
        m_random.fillRange(reinterpret_cast<quint32 *>(m_raw.data()), rawChunk / 4);
        const QByteArray encoded = QByteArray::fromRawData(m_raw.constData(), chunk).toBase64();
        m_lines.resize(0);
        for (qsizetype at = 0; at < encoded.size(); at += encodedLine)
            m_lines.append(encoded.constData() + at, std::min(encodedLine, encoded.size() - at))
                .append("\r\n");
        if (out.write(m_lines) != m_lines.size())
            return false;
        size -= chunk;
    }
    return true;
}
