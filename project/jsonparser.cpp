#include "project/jsonparser.h"

#include <QJsonArray>
#include <QJsonValue>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Iterative: the reader keeps its own stack on the heap, so the depth of a document
// never reaches the call stack. Numbers arrive as their text and are converted the way
// Qt converts them.
constexpr unsigned parseFlags = rapidjson::kParseIterativeFlag |
    rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;

// Builds Qt values from the reader's events. An object's members are collected first
// and put into the QJsonObject once, in key order and each key once, the last value of
// a repeated key winning.
class Builder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Builder> {
public:
    using SizeType = rapidjson::SizeType;

    bool Default() { return false; }
    bool Null() { return add(QJsonValue(QJsonValue::Null)); }
    bool Bool(bool value) { return add(QJsonValue(value)); }
    bool String(const char *text, SizeType length, bool)
    {
        return add(QJsonValue(QString::fromUtf8(text, int(length))));
    }
    bool Key(const char *text, SizeType length, bool)
    {
        m_frames.back().key = QString::fromUtf8(text, int(length));
        return true;
    }
    bool RawNumber(const char *text, SizeType length, bool);
    bool StartObject() { return open(true); }
    bool StartArray() { return open(false); }
    bool EndObject(SizeType);
    bool EndArray(SizeType);

    QJsonValue root;
    QString error;

private:
    struct Frame {
        bool isObject = false;
        QJsonArray array;
        std::vector<std::pair<QString, QJsonValue>> members;
        QString key;
    };

    bool open(bool isObject);
    bool add(const QJsonValue &value);

    std::vector<Frame> m_frames;
};

bool Builder::open(bool isObject)
{
    if (m_frames.size() >= size_t(JsonParser::maxDepth)) {
        error = QStringLiteral("nested deeper than %1 levels").arg(JsonParser::maxDepth);
        return false;
    }
    m_frames.emplace_back();
    m_frames.back().isObject = isObject;
    return true;
}

bool Builder::add(const QJsonValue &value)
{
    if (m_frames.empty()) {
        root = value;
        return true;
    }
    Frame &frame = m_frames.back();
    if (frame.isObject)
        frame.members.emplace_back(std::move(frame.key), value);
    else
        frame.array.append(value);
    return true;
}

bool Builder::RawNumber(const char *text, SizeType length, bool)
{
    const QByteArray token(text, int(length));
    const bool isInteger = !token.contains('.') && !token.contains('e') && !token.contains('E');
    bool ok = false;
    if (isInteger) {
        const qlonglong integer = token.toLongLong(&ok);
        if (ok)
            return add(QJsonValue(qint64(integer)));
    }
    const double number = token.toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        error = QStringLiteral("number out of range: %1").arg(QString::fromLatin1(token.left(40)));
        return false;
    }
    // An integral value that a 64-bit integer holds exactly is kept as an integer.
    if (number >= -9223372036854775808.0 && number < 9223372036854775808.0 &&
        std::trunc(number) == number)
        return add(QJsonValue(qint64(number)));
    return add(QJsonValue(number));
}

bool Builder::EndObject(SizeType)
{
    Frame frame = std::move(m_frames.back());
    m_frames.pop_back();
    auto &members = frame.members;
    std::stable_sort(members.begin(), members.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QJsonObject object;
    for (size_t i = 0; i < members.size(); ++i) {
        // Of a run of equal keys only the last, the one that came last in the text, counts.
        if (i + 1 < members.size() && members[i + 1].first == members[i].first)
            continue;
        object.insert(members[i].first, members[i].second);
    }
    return add(object);
}

bool Builder::EndArray(SizeType)
{
    const QJsonArray array = std::move(m_frames.back().array);
    m_frames.pop_back();
    return add(array);
}

// Qt takes control characters inside strings as they are, and devices and older files
// may hold them; the reader wants them escaped. Returns the text unchanged (not copied)
// when it has none.
QByteArray escapeControlCharacters(const QByteArray &text)
{
    QByteArray escaped;
    bool inString = false;
    bool afterBackslash = false;
    int copied = 0;
    for (int i = 0; i < text.size(); ++i) {
        const uchar c = uchar(text.at(i));
        if (!inString) {
            inString = c == '"';
            continue;
        }
        if (afterBackslash) {
            afterBackslash = false;
        } else if (c == '\\') {
            afterBackslash = true;
        } else if (c == '"') {
            inString = false;
        } else if (c < 0x20) {
            if (escaped.isEmpty())
                escaped.reserve(text.size() + 64);
            escaped.append(text.constData() + copied, i - copied);
            escaped.append("\\u00");
            escaped.append("0123456789abcdef"[c >> 4]);
            escaped.append("0123456789abcdef"[c & 15]);
            copied = i + 1;
        }
    }
    if (copied == 0)
        return text;
    escaped.append(text.constData() + copied, text.size() - copied);
    return escaped;
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

bool JsonParser::parseObject(const QByteArray &text, QJsonObject *object, QString *error)
{
    // A byte order mark is not JSON, but editors write it and Qt skips it.
    const int skipped = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const QByteArray json = escapeControlCharacters(text);
    rapidjson::MemoryStream stream(json.constData() + skipped, size_t(json.size() - skipped));
    rapidjson::Reader reader;
    Builder builder;
    const rapidjson::ParseResult result = reader.Parse<parseFlags>(stream, builder);
    if (result.IsError()) {
        QString what = builder.error;
        if (what.isEmpty()) {
            // The library's texts are sentences: "Invalid value." becomes "invalid value".
            what = QString::fromLatin1(rapidjson::GetParseError_En(result.Code()));
            if (what.endsWith(QLatin1Char('.')))
                what.chop(1);
            if (!what.isEmpty())
                what[0] = what.at(0).toLower();
        }
        setError(error,
                 QStringLiteral("not JSON: %1 at offset %2")
                     .arg(what)
                     .arg(result.Offset() + size_t(skipped)));
        return false;
    }
    if (!builder.root.isObject()) {
        setError(error, QStringLiteral("not a JSON object"));
        return false;
    }
    if (object)
        *object = builder.root.toObject();
    return true;
}
