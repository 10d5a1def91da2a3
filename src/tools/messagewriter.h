#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QRandomGenerator>
#include <QString>

// Writes messages as the mail client stores them (.eml files): headers, a text part cut from
// a block of prepared lines, and optionally an attachment of random bytes that no compressor
// can shrink below their base64 form. Everything follows from the random generator's seed.
class MessageWriter {
public:
    struct Message {
        QString from;
        QString to;
        QString domain;
        QDateTime date;
        qint64 size = 0;           // headers and text together, at least
        qint64 attachmentSize = 0; // bytes before encoding; 0 for none
        int number = 0;
    };

    explicit MessageWriter(QRandomGenerator &random);

    bool write(QIODevice &out, const Message &message);
    QString words(int count);

private:
    bool writeText(QIODevice &out, qint64 size);
    bool writeAttachment(QIODevice &out, qint64 size);

    QRandomGenerator &m_random;
    QByteArray m_text;
    QList<qsizetype> m_lineStarts;
    QByteArray m_raw;
    QByteArray m_lines;
};
