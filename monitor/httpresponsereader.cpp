#include "monitor/httpresponsereader.h"

#include <QList>

#include <cctype>
#include <cstring>

namespace {

// Digits of a chunk size at most: 15 hexadecimal digits never overflow a qint64.
constexpr int maxChunkDigits = 15;

bool isToken(const QByteArray &list, const char *token)
{
    for (const QByteArray &part : list.split(',')) {
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

HttpResponseReader::HttpResponseReader(qint64 maxBody)
    : m_maxBody(maxBody)
{
}

void HttpResponseReader::reset()
{
    const qint64 maxBody = m_maxBody;
    *this = HttpResponseReader(maxBody);
}

HttpResponseReader::State HttpResponseReader::fail(State state)
{
    m_state = state;
    m_line.clear();
    m_body.clear();
    return m_state;
}

void HttpResponseReader::complete()
{
    m_phase = Phase::Done;
    m_state = State::Complete;
    m_line.clear();
    m_keepAlive = !m_connectionClose && (!m_http10 || m_connectionKeepAlive) &&
        m_framing != Framing::UntilClose;
}

HttpResponseReader::State HttpResponseReader::feed(const char *data, qint64 size)
{
    if (size > 0)
        m_started = true;
    if (m_state == State::Complete) {
        m_excess += qMax<qint64>(0, size);
        return m_state;
    }
    qint64 at = 0;
    while (m_state == State::Incomplete && at < size) {
        const char *rest = data + at;
        const qint64 left = size - at;
        switch (m_phase) {
        case Phase::Body:
        case Phase::ChunkData: {
            const qint64 take = m_framing == Framing::UntilClose ? left : qMin(left, m_remaining);
            if (m_body.size() + take > m_maxBody)
                return fail(State::TooLarge);
            m_body.append(rest, int(take));
            at += take;
            if (m_framing == Framing::UntilClose)
                break;
            m_remaining -= take;
            if (m_remaining == 0) {
                if (m_phase == Phase::Body)
                    complete();
                else
                    m_phase = Phase::ChunkEnd;
            }
            break;
        }
        case Phase::Done:
            at = size;
            break;
        default: {
            // A line of the header section or of the chunk framing.
            const void *end = std::memchr(rest, '\n', size_t(left));
            const qint64 take = end ? static_cast<const char *>(end) - rest + 1 : left;
            m_headerBytes += int(qMin<qint64>(take, maxHeaderBytes + 1));
            if (m_headerBytes > maxHeaderBytes)
                return fail(State::Failed);
            m_line.append(rest, int(take));
            at += take;
            if (!end)
                break;
            QByteArray line = m_line;
            m_line.clear();
            line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
            bool ok = true;
            switch (m_phase) {
            case Phase::StatusLine:
                ok = statusLine(line);
                break;
            case Phase::Headers:
                if (!line.isEmpty()) {
                    ok = header(line);
                } else if (m_status >= 100 && m_status < 200) {
                    // An interim answer: the final one follows.
                    const qint64 maxBody = m_maxBody;
                    *this = HttpResponseReader(maxBody);
                    m_started = true;
                } else {
                    startBody();
                }
                break;
            case Phase::ChunkSize: {
                const int extension = line.indexOf(';');
                const QByteArray digits = (extension < 0 ? line : line.left(extension)).trimmed();
                bool valid = !digits.isEmpty() && digits.size() <= maxChunkDigits;
                for (char c : digits)
                    valid = valid && std::isxdigit(static_cast<unsigned char>(c));
                if (!valid) {
                    ok = false;
                    break;
                }
                m_remaining = digits.toLongLong(nullptr, 16);
                if (m_remaining == 0)
                    m_phase = Phase::Trailers;
                else if (m_body.size() + m_remaining > m_maxBody)
                    return fail(State::TooLarge);
                else
                    m_phase = Phase::ChunkData;
                break;
            }
            case Phase::ChunkEnd:
                ok = line.isEmpty();
                m_phase = Phase::ChunkSize;
                break;
            case Phase::Trailers:
                if (line.isEmpty())
                    complete();
                break;
            default:
                break;
            }
            if (!ok)
                return fail(State::Failed);
            break;
        }
        }
    }
    if (m_state == State::Complete)
        m_excess += size - at;
    return m_state;
}

HttpResponseReader::State HttpResponseReader::finish()
{
    if (m_state != State::Incomplete)
        return m_state;
    if (m_phase == Phase::Body && m_framing == Framing::UntilClose) {
        complete();
        m_keepAlive = false;
        return m_state;
    }
    return fail(State::Failed);
}

bool HttpResponseReader::statusLine(const QByteArray &line)
{
    // "HTTP/1.1 200 OK": version, three digits, then an optional reason.
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line.at(8) != ' ')
        return false;
    const char minor = line.at(7);
    if (minor != '0' && minor != '1')
        return false;
    for (int i = 9; i < 12; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line.at(i))))
            return false;
    }
    if (line.size() > 12 && line.at(12) != ' ')
        return false;
    m_http10 = minor == '0';
    m_status = line.mid(9, 3).toInt();
    if (m_status < 100 || m_status == 101)
        return false; // no switch of protocols was asked for
    m_phase = Phase::Headers;
    return true;
}

bool HttpResponseReader::header(const QByteArray &line)
{
    const int colon = line.indexOf(':');
    if (colon <= 0)
        return line.startsWith(' ') || line.startsWith('\t'); // a folded line: ignored
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        bool valid = !value.isEmpty() && value.size() <= 18;
        for (char c : value)
            valid = valid && std::isdigit(static_cast<unsigned char>(c));
        if (!valid)
            return false;
        const qint64 length = value.toLongLong();
        // Two lengths that differ leave the end of the body in doubt.
        if (m_length >= 0 && m_length != length)
            return false;
        m_length = length;
    } else if (name == "transfer-encoding") {
        const QList<QByteArray> codings = value.split(',');
        const bool chunkedLast =
            codings.last().trimmed().compare("chunked", Qt::CaseInsensitive) == 0;
        m_chunked = chunkedLast;
        m_otherCoding = !chunkedLast;
    } else if (name == "connection") {
        m_connectionClose = m_connectionClose || isToken(value, "close");
        m_connectionKeepAlive = m_connectionKeepAlive || isToken(value, "keep-alive");
    }
    return true;
}

void HttpResponseReader::startBody()
{
    m_line.clear();
    if (m_status == 204 || m_status == 304) {
        m_framing = Framing::None;
        complete();
    } else if (m_chunked) {
        m_framing = Framing::Chunked;
        m_phase = Phase::ChunkSize;
        // A length beside the chunked coding says nothing; the connection is not reused.
        if (m_length >= 0)
            m_connectionClose = true;
    } else if (m_otherCoding || m_length < 0) {
        m_framing = Framing::UntilClose;
        m_phase = Phase::Body;
    } else if (m_length > m_maxBody) {
        fail(State::TooLarge);
    } else {
        m_framing = Framing::Length;
        m_remaining = m_length;
        m_phase = Phase::Body;
        if (m_length == 0)
            complete();
    }
}
