#include "link/initext.h"

#include <QTextCodec>
#include <QVector>

#include <algorithm>

namespace {

QTextCodec *codec()
{
    static QTextCodec *const windows1251 = QTextCodec::codecForName("Windows-1251");
    return windows1251;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isSpecial(char c)
{
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One logical line as QSettings cuts it: leading blanks and comment lines skipped; it ends
// at a line end or an unquoted ";" (a line end inside double quotes or after a backslash
// does not end it). `equals` is the first unquoted "=", or -1.
bool readLine(const QByteArray &data, int *position, int *start, int *length, int *equals)
{
    const int size = data.size();
    bool inQuotes = false;
    *equals = -1;
    int lineStart = *position;
    while (lineStart < size && isSpace(data.at(lineStart)))
        ++lineStart;
    int i = lineStart;
    bool ended = false;
    while (i < size && !ended) {
        const char c = data.at(i++);
        if (!isSpecial(c))
            continue;
        if (c == '=') {
            if (!inQuotes && *equals == -1)
                *equals = i - 1;
        } else if (isLineEnd(c)) {
            if (i == lineStart + 1) {
                ++lineStart;
            } else if (!inQuotes) {
                --i;
                ended = true;
            }
        } else if (c == '\\') {
            if (i < size) {
                const char escaped = data.at(i++);
                if (i < size) {
                    const char next = data.at(i);
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (i == lineStart + 1) {
            // A comment line: skipped with the blank lines after it.
            while (i < size && !isLineEnd(data.at(i)))
                ++i;
            while (i < size && isSpace(data.at(i)))
                ++i;
            lineStart = i;
        } else if (!inQuotes) {
            // ";" after a value begins a comment.
            --i;
            ended = true;
        }
    }
    *position = i;
    *start = lineStart;
    *length = i - lineStart;
    return *length > 0;
}

// A value's bytes decoded as QSettings decodes a string (without cutting it at commas).
QString unescape(const QByteArray &data, int from, int to)
{
    static const char escapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                      {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                      {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QString result;
    bool inQuotes = false;
    bool quoted = false;
    int i = from;
    auto skipBlanks = [&] {
        while (i < to && (data.at(i) == ' ' || data.at(i) == '\t'))
            ++i;
    };
    skipBlanks();
    // Blanks up to here came from escapes or quotes and are kept.
    int keep = 0;
    while (i < to) {
        const char c = data.at(i);
        if (c == '\\') {
            if (++i >= to)
                break;
            const char e = data.at(i++);
            const auto simple = std::find_if(std::begin(escapes), std::end(escapes),
                                             [e](const char(&pair)[2]) { return pair[0] == e; });
            if (simple != std::end(escapes)) {
                result += QLatin1Char((*simple)[1]);
            } else if (e == 'x' && i < to && hexDigit(data.at(i)) >= 0) {
                uint code = 0;
                while (i < to && hexDigit(data.at(i)) >= 0)
                    code = (code << 4) + uint(hexDigit(data.at(i++)));
                result += QChar(ushort(code & 0xFFFF));
            } else if (e >= '0' && e <= '7') {
                uint code = uint(e - '0');
                while (i < to && data.at(i) >= '0' && data.at(i) <= '7')
                    code = (code << 3) + uint(data.at(i++) - '0');
                result += QChar(ushort(code & 0xFFFF));
            } else if (isLineEnd(e) && i < to) {
                // A continued line.
                const char next = data.at(i);
                if (isLineEnd(next) && next != e)
                    ++i;
            }
            keep = result.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
                keep = result.size();
            }
        } else {
            int j = i + 1;
            while (j < to && data.at(j) != '\\' && data.at(j) != '"')
                ++j;
            result += codec()->toUnicode(data.constData() + i, j - i);
            i = j;
        }
    }
    if (!quoted) {
        int end = result.size();
        while (end > keep &&
               (result.at(end - 1) == QLatin1Char(' ') || result.at(end - 1) == QLatin1Char('\t')))
            --end;
        result.truncate(end);
    }
    // QSettings writes a string that begins with "@" with a second one.
    if (result.startsWith(QLatin1String("@@")))
        result.remove(0, 1);
    return result;
}

QString decoded(const QByteArray &data, int from, int to)
{
    return codec()->toUnicode(data.constData() + from, to - from).trimmed();
}

} // namespace

struct IniText::Line {
    enum Kind { Group, Key, Other } kind = Other;
    int start = 0;
    int end = 0;
    // The group the line is in (for a group line: the group it opens).
    QString group;
    QString key;
    int valueStart = 0;
};

IniText::IniText(const QByteArray &bytes)
    : text(bytes)
{
}

QVector<IniText::Line> IniText::lines() const
{
    QVector<Line> result;
    QString group;
    int position = 0;
    int start = 0;
    int length = 0;
    int equals = -1;
    while (readLine(text, &position, &start, &length, &equals)) {
        Line line;
        line.start = start;
        line.end = start + length;
        if (text.at(start) == '[') {
            int close = text.indexOf(']', start);
            if (close < 0 || close >= line.end)
                close = line.end;
            group = decoded(text, start + 1, close);
            if (group.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
                group.clear();
            line.kind = Line::Group;
        } else if (equals >= 0) {
            line.kind = Line::Key;
            line.key = decoded(text, start, equals);
            line.valueStart = equals + 1;
        }
        line.group = group;
        result.append(line);
    }
    return result;
}

QByteArray IniText::lineEnd() const
{
    if (text.contains("\r\n"))
        return "\r\n";
    if (text.contains('\n'))
        return "\n";
    return "\r\n";
}

int IniText::physicalStart(int position) const
{
    while (position > 0 && !isLineEnd(text.at(position - 1)))
        --position;
    return position;
}

int IniText::physicalEnd(int position) const
{
    while (position < text.size() && !isLineEnd(text.at(position)))
        ++position;
    if (text.mid(position, 2) == "\r\n")
        return position + 2;
    return position < text.size() ? position + 1 : position;
}

QString IniText::value(const QString &group, const QString &key) const
{
    QString result;
    for (const Line &line : lines()) {
        if (line.kind == Line::Key && line.group == group && line.key == key)
            result = unescape(text, line.valueStart, line.end);
    }
    return result;
}

bool IniText::escapedValue(const QString &value, QByteArray *bytes, QString *error)
{
    auto refuse = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    QByteArray result;
    bool needsQuotes = false;
    if (value.startsWith(QLatin1Char('@')))
        result += '@';
    for (const QChar c : value) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F)
            return refuse(QStringLiteral("'%1' holds a control character").arg(value));
        if (c == QLatin1Char(';') || c == QLatin1Char(',') || c == QLatin1Char('='))
            needsQuotes = true;
        if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
            result += '\\';
            result += char(u);
            continue;
        }
        QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
        const QByteArray encoded = codec()->fromUnicode(&c, 1, &state);
        if (state.invalidChars > 0 || encoded.size() != 1 ||
            codec()->toUnicode(encoded) != QString(c))
            return refuse(QStringLiteral("'%1' holds the character %2, which Windows-1251 "
                                         "cannot carry")
                              .arg(value, QString(c)));
        result += encoded;
    }
    if (needsQuotes || result.startsWith(' ') || result.endsWith(' '))
        result = '"' + result + '"';
    *bytes = result;
    return true;
}

bool IniText::setValue(const QString &group, const QString &key, const QString &value,
                       QString *error)
{
    QByteArray escaped;
    if (!escapedValue(value, &escaped, error))
        return false;
    const QByteArray entry = codec()->fromUnicode(key) + '=' + escaped;
    const QByteArray end = lineEnd();
    const QVector<Line> all = lines();

    // The key's lines: the first takes the value, the others go (from the back, so that
    // the positions before them stay).
    QVector<const Line *> found;
    for (const Line &line : all) {
        if (line.kind == Line::Key && line.group == group && line.key == key)
            found.append(&line);
    }
    if (!found.isEmpty()) {
        for (int i = found.size() - 1; i > 0; --i) {
            const int from = physicalStart(found.at(i)->start);
            text.remove(from, physicalEnd(found.at(i)->end) - from);
        }
        text.replace(found.at(0)->start, found.at(0)->end - found.at(0)->start, entry);
        return true;
    }

    // After the last line of the group's first appearance.
    int last = -1;
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).kind == Line::Group && all.at(i).group == group) {
            last = i;
            while (last + 1 < all.size() && all.at(last + 1).kind != Line::Group)
                ++last;
            break;
        }
    }
    if (last >= 0) {
        const int at = physicalEnd(all.at(last).end);
        if (at > 0 && !isLineEnd(text.at(at - 1)))
            text.insert(at, end + entry);
        else
            text.insert(at, entry + end);
        return true;
    }

    if (!text.isEmpty()) {
        if (!isLineEnd(text.at(text.size() - 1)))
            text += end;
        text += end;
    }
    text += '[' + codec()->fromUnicode(group) + ']' + end + entry + end;
    return true;
}

void IniText::remove(const QString &group, const QString &key)
{
    const QVector<Line> all = lines();
    for (int i = all.size() - 1; i >= 0; --i) {
        const Line &line = all.at(i);
        if (line.kind == Line::Key && line.group == group && line.key == key) {
            const int from = physicalStart(line.start);
            text.remove(from, physicalEnd(line.end) - from);
        }
    }
}
