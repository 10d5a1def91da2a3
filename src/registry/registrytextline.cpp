#include "registry/registrytextline.h"

#include <QStringDecoder>
#include <QtEndian>

#include <cstdint>

namespace quillory {

namespace {

// Raw data carries its own type number in front of the bytes, so that a value of a type the
// other fields cannot hold comes back as it was.
enum class DataForm { Text, Number, Bytes, TextBytes, Raw };

struct TypeField {
    const char *field; // as written: always three characters
    std::uint32_t type;
    DataForm form;
};

const TypeField typeFields[] = {
    {" sz", RegType::Sz, DataForm::Text},      {"esz", RegType::ExpandSz, DataForm::Text},
    {"bin", RegType::Binary, DataForm::Bytes}, {" dw", RegType::Dword, DataForm::Number},
    {"szb", RegType::Sz, DataForm::TextBytes}, {"esb", RegType::ExpandSz, DataForm::TextBytes},
    {"raw", RegType::None, DataForm::Raw},
};

const TypeField *typeFieldFor(std::uint32_t type, DataForm form)
{
    for (const TypeField &field : typeFields) {
        if (field.type == type && field.form == form)
            return &field;
    }
    return nullptr;
}

// The padding of a type field carries no meaning: "sz " reads as " sz".
const TypeField *typeFieldNamed(const QByteArray &field)
{
    const QByteArray code = field.trimmed();
    for (const TypeField &known : typeFields) {
        if (QByteArray(known.field).trimmed() == code)
            return &known;
    }
    return nullptr;
}

// Strict, so that a damaged file fails instead of storing replacement characters.
std::optional<QString> decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QByteArray joinBytes(const QByteArray &bytes)
{
    QByteArray joined;
    joined.reserve(bytes.size() * 4);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            joined += ',';
        joined += QByteArray::number(static_cast<uchar>(bytes.at(i)));
    }
    return joined;
}

Expected<QByteArray> splitBytes(const QByteArray &data)
{
    QByteArray bytes;
    if (data.isEmpty())
        return bytes;
    const QList<QByteArray> pieces = data.split(',');
    bytes.reserve(pieces.size());
    for (const QByteArray &piece : pieces) {
        bool ok = false;
        const uint number = piece.trimmed().toUInt(&ok, 10);
        if (!ok || number > 255)
            return Result::failure(
                QStringLiteral("\"%1\" is not a byte (0 to 255)").arg(QString::fromUtf8(piece)));
        bytes += static_cast<char>(number);
    }
    return bytes;
}

Expected<QByteArray> convertBytes(const TypeField &field, const QByteArray &data)
{
    if (field.form == DataForm::Text) {
        if (!decodeUtf8(data))
            return Result::failure(QStringLiteral("the text is not UTF-8"));
        return data + '\0';
    }
    if (field.form == DataForm::Number) {
        bool ok = false;
        const qint32 number = data.trimmed().toInt(&ok, 10);
        if (!ok)
            return Result::failure(QStringLiteral("\"%1\" is not a signed 32-bit number")
                                       .arg(QString::fromUtf8(data)));
        QByteArray bytes(4, '\0');
        qToLittleEndian(number, bytes.data());
        return bytes;
    }
    Expected<QByteArray> bytes = splitBytes(data);
    if (bytes && field.form == DataForm::TextBytes)
        bytes.value() += '\0';
    return bytes;
}

struct TypedData {
    std::uint32_t type;
    QByteArray bytes;
};

Expected<TypedData> splitRaw(const QByteArray &data)
{
    const qsizetype comma = data.indexOf(',');
    const QByteArray typeNumber = (comma < 0 ? data : data.left(comma)).trimmed();
    bool ok = false;
    const std::uint32_t type = typeNumber.toUInt(&ok, 10);
    if (!ok)
        return Result::failure(QStringLiteral("\"%1\" is not a registry type number")
                                   .arg(QString::fromUtf8(typeNumber)));
    const Expected<QByteArray> bytes = splitBytes(comma < 0 ? QByteArray() : data.mid(comma + 1));
    if (!bytes)
        return bytes.result();
    return TypedData{type, *bytes};
}

Expected<TypedData> convertData(const TypeField &field, const QByteArray &data)
{
    if (field.form == DataForm::Raw)
        return splitRaw(data);
    const Expected<QByteArray> bytes = convertBytes(field, data);
    if (!bytes)
        return bytes.result();
    return TypedData{field.type, *bytes};
}

} // namespace

bool fitsKeyLine(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n')) &&
           decodeUtf8(name.toUtf8()) == name;
}

Expected<QString> parseKeyLine(const QByteArray &line)
{
    // Counted before anything is split, so that a hostile line costs no more than its length.
    if (line.count('\\') > maxKeyDepth)
        return Result::failure(
            QStringLiteral("the key is nested deeper than the %1 levels the registry allows")
                .arg(maxKeyDepth));
    const std::optional<QString> path = decodeUtf8(line.mid(1));
    if (!path)
        return Result::failure(QStringLiteral("the key name is not UTF-8"));
    if (!path->isEmpty() && path->split(QLatin1Char('\\')).contains(QString()))
        return Result::failure(QStringLiteral("the key line holds an empty key name"));
    return *path;
}

Expected<QByteArray> formatValueLine(const RegistryValue &value)
{
    const TypeField *field = nullptr;
    QByteArray data;
    switch (value.type) {
    case RegType::Sz:
    case RegType::ExpandSz: {
        QByteArray text = value.data;
        if (text.endsWith('\0'))
            text.chop(1);
        const bool asBytes = text.contains('\r') || text.contains('\n') || !decodeUtf8(text);
        field = typeFieldFor(value.type, asBytes ? DataForm::TextBytes : DataForm::Text);
        data = asBytes ? joinBytes(text) : text;
        break;
    }
    case RegType::Binary:
        field = typeFieldFor(value.type, DataForm::Bytes);
        data = joinBytes(value.data);
        break;
    case RegType::Dword: {
        // A malformed DWORD shorter than four bytes reads as if padded with zeros.
        QByteArray bytes = value.data.left(4);
        bytes.resize(4, '\0');
        field = typeFieldFor(value.type, DataForm::Number);
        data = QByteArray::number(qFromLittleEndian<qint32>(bytes.constData()));
        break;
    }
    default:
        field = typeFieldFor(RegType::None, DataForm::Raw);
        data = QByteArray::number(value.type);
        if (!value.data.isEmpty())
            data += ',' + joinBytes(value.data);
        break;
    }

    const QByteArray line = '"' + value.name.toUtf8() + "\"=" + field->field + ':' + data;
    const Expected<std::optional<RegistryValue>> readBack = parseValueLine(line);
    if (line.contains('\r') || line.contains('\n') || !readBack || !*readBack ||
        (*readBack)->name != value.name)
        return Result::failure(
            QStringLiteral("the name of the value \"%1\" cannot be written on one line that "
                           "reads back unchanged")
                .arg(value.name));
    return line;
}

namespace {

struct Separator {
    qsizetype quote = -1; // of the "= that ends the name
    const TypeField *field = nullptr;
    bool unknownType = false;
};

// The separator is the first "= followed by a known type field and a colon, so that a name
// holding an equals sign survives.
Separator findSeparator(const QByteArray &line)
{
    Separator found;
    if (!line.startsWith('"'))
        return found;
    for (qsizetype quote = line.indexOf("\"=", 1); quote >= 0;
         quote = line.indexOf("\"=", quote + 1)) {
        if (quote + 5 >= line.size() || line.at(quote + 5) != ':')
            continue;
        found.field = typeFieldNamed(line.mid(quote + 2, 3));
        if (found.field) {
            found.quote = quote;
            return found;
        }
        found.unknownType = true;
    }
    return found;
}

} // namespace

bool isValueLine(const QByteArray &line)
{
    const Separator separator = findSeparator(line);
    return separator.field || separator.unknownType;
}

bool isContinuedText(const QByteArray &line)
{
    const Separator separator = findSeparator(line);
    return separator.field && separator.field->form == DataForm::Text;
}

Expected<std::optional<RegistryValue>> parseValueLine(const QByteArray &line)
{
    if (!line.startsWith('"'))
        return Result::failure(QStringLiteral("the line is neither a key nor a value"));
    const Separator separator = findSeparator(line);
    if (separator.field) {
        const std::optional<QString> name = decodeUtf8(line.mid(1, separator.quote - 1));
        if (!name)
            return Result::failure(QStringLiteral("the value name is not UTF-8"));
        const Expected<TypedData> data =
            convertData(*separator.field, line.mid(separator.quote + 6));
        if (!data)
            return data.result();
        return std::optional<RegistryValue>(RegistryValue{*name, data->type, data->bytes});
    }
    if (separator.unknownType)
        return std::optional<RegistryValue>();
    return Result::failure(QStringLiteral("the value line has no \"=type: separator"));
}

} // namespace quillory
