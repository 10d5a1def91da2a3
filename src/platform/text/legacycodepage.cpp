#include "platform/text/legacycodepage.h"

#include <QHash>

#include <atomic>

namespace quillory {

namespace {

std::atomic<int> chosenCodePage{0};

constexpr int westernCodePage = 1252;

// Windows' default ANSI code page of each language whose code page is not 1252.
const QHash<QString, int> &languageCodePages()
{
    static const QHash<QString, int> table = [] {
        QHash<QString, int> pages;
        const auto add = [&](int page, std::initializer_list<const char *> languages) {
            for (const char *language : languages)
                pages.insert(QString::fromLatin1(language), page);
        };
        add(1250, {"bs", "cs", "dsb", "hr", "hsb", "hu", "pl", "ro", "sk", "sl", "sq", "tk"});
        add(1251, {"ba", "be", "bg", "kk", "ky", "mk", "mn", "ru", "sah", "sr", "tg", "tt", "uk"});
        add(1253, {"el"});
        add(1254, {"az", "tr", "uz"});
        add(1255, {"he", "iw", "yi"});
        add(1256, {"ar", "fa", "ps", "ug", "ur"});
        add(1257, {"et", "lt", "lv"});
        add(1258, {"vi"});
        add(874, {"th"});
        add(932, {"ja"});
        add(936, {"zh"});
        add(949, {"ko"});
        return pages;
    }();
    return table;
}

} // namespace

int codePageOfLocale(const QString &localeName)
{
    const qsizetype at = localeName.indexOf(QLatin1Char('@'));
    const QString modifier = at < 0 ? QString() : localeName.mid(at + 1).toLower();
    QString name = at < 0 ? localeName : localeName.left(at);
    name.truncate(name.indexOf(QLatin1Char('.')) < 0 ? name.size()
                                                     : name.indexOf(QLatin1Char('.')));
    const QStringList parts = name.toLower().split(QLatin1Char('_'));
    const QString &language = parts.first();
    const QString territory = parts.size() > 1 ? parts.at(1) : QString();
    if (language == QLatin1String("zh") &&
        (territory == QLatin1String("tw") || territory == QLatin1String("hk") ||
         territory == QLatin1String("mo")))
        return 950;
    // Serbian is written in both scripts; glibc names the Latin one by its modifier.
    if (language == QLatin1String("sr") && modifier == QLatin1String("latin"))
        return 1250;
    if ((language == QLatin1String("az") || language == QLatin1String("uz")) &&
        modifier == QLatin1String("cyrillic"))
        return 1251;
    return languageCodePages().value(language, westernCodePage);
}

int legacyCodePage()
{
    if (const int chosen = chosenCodePage.load(); chosen > 0)
        return chosen;
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("QUILLORY_CODEPAGE", &ok);
    if (ok && fromEnvironment > 0)
        return fromEnvironment;
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString locale = qEnvironmentVariable(variable);
        if (!locale.isEmpty())
            return codePageOfLocale(locale);
    }
    return westernCodePage;
}

void chooseLegacyCodePage(int codePage)
{
    chosenCodePage.store(codePage);
}

} // namespace quillory
