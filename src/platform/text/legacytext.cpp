#include "platform/text/legacytext.h"

#include "platform/text/legacycodepage.h"

#include <QStringDecoder>

#include <algorithm>
#include <QStringEncoder>

#include <cerrno>
#include <iconv.h>

namespace quillory {

namespace {

// Qt converts through ICU where it was built with it; glibc's iconv knows every ANSI code page
// under its "CP" name.
QByteArray qtName(int codePage)
{
    return "windows-" + QByteArray::number(codePage);
}

QByteArray iconvName(int codePage)
{
    return "CP" + QByteArray::number(codePage);
}

std::optional<QByteArray> convertWithIconv(QByteArrayView bytes, const QByteArray &to,
                                           const QByteArray &from)
{
    const iconv_t converter = iconv_open(to.constData(), from.constData());
    if (converter == iconv_t(-1))
        return std::nullopt;
    // Four output bytes per input byte cover every ANSI code page to UTF-8 and back.
    QByteArray out(bytes.size() * 4 + 4, '\0');
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    char *outPos = out.data();
    size_t outLeft = size_t(out.size());
    const size_t converted = iconv(converter, &in, &inLeft, &outPos, &outLeft);
    const bool finished = converted != size_t(-1) &&
                          iconv(converter, nullptr, nullptr, &outPos, &outLeft) != size_t(-1);
    iconv_close(converter);
    if (!finished || inLeft != 0)
        return std::nullopt;
    out.truncate(outPos - out.data());
    return out;
}

} // namespace

bool isUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoding happens when its result becomes a string.
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

std::optional<QString> fromCodePage(QByteArrayView bytes, int codePage)
{
    QStringDecoder decoder(qtName(codePage).constData(), QStringDecoder::Flag::Stateless);
    if (decoder.isValid()) {
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    const std::optional<QByteArray> utf8 = convertWithIconv(bytes, "UTF-8", iconvName(codePage));
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

std::optional<QByteArray> toCodePage(const QString &text, int codePage)
{
    QStringEncoder encoder(qtName(codePage).constData(), QStringEncoder::Flag::Stateless);
    if (encoder.isValid()) {
        QByteArray bytes = encoder.encode(text);
        if (encoder.hasError())
            return std::nullopt;
        return bytes;
    }
    return convertWithIconv(text.toUtf8(), iconvName(codePage), "UTF-8");
}

bool isConvertibleCodePage(int codePage)
{
    return codePage > 0 && fromCodePage("A", codePage) == QLatin1String("A");
}

std::optional<QString> decodeText(QByteArrayView bytes)
{
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes);
    return fromCodePage(bytes, legacyCodePage());
}

namespace {

// The DOS code page of the language each ANSI code page serves, which Windows Explorer and
// archivers on Windows use for names in zip archives.
int dosCodePageOf(int ansiCodePage)
{
    switch (ansiCodePage) {
    case 1250:
        return 852;
    case 1251:
        return 866;
    case 1252:
        return 850;
    case 1253:
        return 737;
    case 1254:
        return 857;
    case 1255:
        return 862;
    case 1256:
        return 720;
    case 1257:
        return 775;
    default:
        return 0;
    }
}

bool holdsControls(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

QString decodeName(QByteArrayView bytes)
{
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes);
    const int ansi = legacyCodePage();
    std::optional<QString> text = fromCodePage(bytes, ansi);
    // A byte the ANSI code page leaves undefined comes out as an invisible control character
    // ("Entwrfe" for a DOS "Entwürfe"): the language's DOS code page reads such names cleanly.
    if (!text || holdsControls(*text))
        if (const int dos = dosCodePageOf(ansi); dos != 0)
            if (std::optional<QString> dosText = fromCodePage(bytes, dos);
                dosText && !holdsControls(*dosText))
                text = dosText;
    if (!text)
        text = fromCodePage(bytes, 437);
    if (!text)
        return QString::fromLatin1(bytes);
    // Never a control character made of a name's byte: a visible replacement instead.
    for (QChar &c : *text)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return *text;
}

std::optional<QByteArray> textAsUtf8(const QByteArray &bytes)
{
    if (isUtf8(bytes))
        return bytes;
    const std::optional<QString> text = fromCodePage(bytes, legacyCodePage());
    if (!text)
        return std::nullopt;
    return text->toUtf8();
}

QList<QByteArray> passwordForms(const QString &password)
{
    QList<QByteArray> forms{password.toUtf8()};
    if (const std::optional<QByteArray> legacy = toCodePage(password, legacyCodePage());
        legacy && *legacy != forms.first())
        forms.append(*legacy);
    return forms;
}

} // namespace quillory
