#include "app/windows/skin.h"

#include "app/programfolder.h"

#include <QFile>
#include <QStringDecoder>
#include <QWidget>

namespace quillory {

namespace {

constexpr qint64 largestSkin = 1024 * 1024;

// Qt ignores a style sheet it cannot parse but warns about it for every widget that uses it; a
// skin whose blocks, comments and strings do not close is refused here instead, once.
bool wellFormed(const QString &sheet)
{
    int depth = 0;
    QChar quote;
    bool inComment = false;
    for (qsizetype i = 0; i < sheet.size(); ++i) {
        const QChar c = sheet.at(i);
        const QChar next = i + 1 < sheet.size() ? sheet.at(i + 1) : QChar();
        if (c.isNull())
            return false;
        if (inComment) {
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                inComment = false;
                ++i;
            }
        } else if (!quote.isNull()) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == quote)
                quote = QChar();
            else if (c == QLatin1Char('\n'))
                return false;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            inComment = true;
            ++i;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}') && --depth < 0) {
            return false;
        }
    }
    return depth == 0 && !inComment && quote.isNull();
}

} // namespace

QString Skin::windowSkinPath()
{
    return programFolder() + QStringLiteral("/skins/frmmain.skn");
}

bool Skin::load(const QString &path)
{
    m_styleSheet.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestSkin)
        return false;
    const QByteArray bytes = file.readAll();
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString sheet = decode(bytes);
    if (decode.hasError() || sheet.trimmed().isEmpty() || !wellFormed(sheet))
        return false;
    m_styleSheet = sheet;
    return true;
}

void Skin::apply(QWidget *window) const
{
    if (window && isLoaded())
        window->setStyleSheet(m_styleSheet);
}

} // namespace quillory
