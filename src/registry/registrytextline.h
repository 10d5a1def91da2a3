#pragma once

#include "platform/registrystore.h"
#include "platform/result.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace quillory {

// The lines of a registry text file, without their line ends. A key line is the key's path
// below the exported root, beginning with a backslash ("\" alone is the root). A value line is
// "name" followed by a separator such as "= sz: and the data.

// Whether a key name can stand in a key line and read back unchanged.
bool fitsKeyLine(const QString &name);

// The path of a key line below the root ("Rules\Mail" for \Rules\Mail, empty for the root).
Expected<QString> parseKeyLine(const QByteArray &line);

// The value line of a value. Texts holding a line break are written as their bytes ("szb",
// "esb"); a value of a type other than REG_SZ, REG_EXPAND_SZ, REG_BINARY and REG_DWORD as its
// type number followed by its bytes ("raw"). Fails for a value whose line would not read back
// as the same value, such as one whose name holds a line break.
Expected<QByteArray> formatValueLine(const RegistryValue &value);

// The value a value line stores, string types with their terminating zero; nullopt for a line
// whose type this reader does not know, which an import skips. Fails, with the reason, when
// the line cannot be converted.
Expected<std::optional<RegistryValue>> parseValueLine(const QByteArray &line);

// Whether a line has the form of a value line, of a known type or not.
bool isValueLine(const QByteArray &line);

// Whether a value line holds its text as written (" sz", "esz"): archives made on Windows hold a
// line break of such a text as it is, so that the text goes on in the lines after it.
bool isContinuedText(const QByteArray &line);

} // namespace quillory
