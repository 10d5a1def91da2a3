#pragma once

#include <QByteArray>
#include <QString>

namespace quillory {

class ZipArchive;

// An item's list from the information file with every name that matches an entry of `archive`
// byte for byte replaced by that entry's name, so that a list and entry names written on
// Windows in any one code page find each other. `raw` is the list as the file holds it, `text`
// the same list decoded; names without such an entry stay as decoded. A registry item lists one
// name, a file item names separated by ";".
QString matchListedNames(const ZipArchive &archive, const QByteArray &raw, const QString &text,
                         bool oneName);

} // namespace quillory
