#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quillory {

// Older archives kept beside an archive, each named after the minute it was written:
// "mail 2026-12-08 0900.wlm" beside "mail.wlm". An archive behind a link is kept beside the file
// the link leads to, where a second name of the file costs no space.
inline constexpr int maxKeptArchives = 99;

QString generationPath(const QString &archivePath, const QDateTime &written);
// The dated copies of the archive, oldest first: only regular files whose names have exactly
// that form, so that nothing else of the user's is ever taken for one.
QStringList generationsOf(const QString &archivePath);
// Where the archive now at `archivePath` is kept when a new one replaces it; empty when there is
// none to keep.
QString previousGenerationPath(const QString &archivePath);
// Once a new archive is in place: dates it by the program's clock when that is set, and removes
// the oldest dated copies beyond `keep` - 1. Returns what could not be removed, and why.
QStringList keepGenerations(const QString &archivePath, int keep);

} // namespace quillory
