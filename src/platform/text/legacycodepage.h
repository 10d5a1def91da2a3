#pragma once

#include <QString>

namespace quillory {

// The ANSI code page of Windows that Wine gives a POSIX locale such as "de_DE.UTF-8" or
// "sr_RS@latin": 1252 for Western European languages and for any locale it has no other for.
int codePageOfLocale(const QString &localeName);

// The code page text from archives made on Windows is read in when it is not UTF-8: the one
// chosen by chooseLegacyCodePage, else the number in QUILLORY_CODEPAGE, else the one Wine gives
// the user's locale (LC_ALL, LC_CTYPE, LANG, as Wine looks them up).
int legacyCodePage();

// Chooses the legacy code page for the rest of the process, as a command-line option does.
void chooseLegacyCodePage(int codePage);

} // namespace quillory
