#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reads one HTTP/1.x response as its bytes arrive, for the status requests: the status
// line, the headers, and a body delimited by Content-Length, by chunked transfer coding
// or by the end of the connection. Informational responses (1xx) before the final one
// are skipped. Bad framing fails the response; nothing a peer sends makes it hold more
// than the header bound plus the body bound.
//
// Line ends may be CR LF or a bare LF. A body in another transfer coding than chunked
// (compressed) is taken as it comes: the status requests never ask for one.
class HttpResponseReader {
public:
    enum class State {
        Incomplete, // more bytes needed
        Complete, // statusCode() and body() hold the response
        Failed, // not an HTTP/1.x response, or broken framing
        TooLarge, // the body is longer than the bound
    };

    // The header section (status line, headers, and the trailers of a chunked body) may
    // take this many bytes at most.
    static constexpr int maxHeaderBytes = 64 * 1024;

    explicit HttpResponseReader(qint64 maxBody = 1024 * 1024);

    void setMaxBody(qint64 bytes) { m_maxBody = bytes; }
    // Forgets the response read so far: ready for the next one on the connection.
    void reset();

    // Takes the next `size` bytes of the connection. Once the state is no longer
    // Incomplete, further bytes are not read; excess() counts the ones that came after
    // the end of a complete response.
    State feed(const char *data, qint64 size);
    // The peer closed its side: ends a body delimited by the close, fails any other
    // response that is not complete yet.
    State finish();

    State state() const { return m_state; }
    // Whether any byte of a response has arrived since the last reset().
    bool started() const { return m_started; }
    int statusCode() const { return m_status; }
    const QByteArray &body() const { return m_body; }
    // Whether the connection may carry the next request after this response.
    bool keepAlive() const { return m_keepAlive; }
    qint64 excess() const { return m_excess; }

private:
    enum class Phase { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers, Done };
    enum class Framing { None, Length, Chunked, UntilClose };

    // Takes one line of the header section (without its line end); false on bad framing.
    bool statusLine(const QByteArray &line);
    bool header(const QByteArray &line);
    // The headers ended: decides how the body is delimited.
    void startBody();
    State fail(State state);
    void complete();

    qint64 m_maxBody;
    State m_state = State::Incomplete;
    Phase m_phase = Phase::StatusLine;
    Framing m_framing = Framing::None;
    bool m_started = false;
    bool m_http10 = false;
    bool m_keepAlive = true;
    bool m_connectionClose = false;
    bool m_connectionKeepAlive = false;
    bool m_chunked = false;
    bool m_otherCoding = false;
    qint64 m_length = -1; // Content-Length, -1 when none
    qint64 m_remaining = 0; // body or chunk bytes still to come
    int m_status = 0;
    int m_headerBytes = 0;
    qint64 m_excess = 0;
    QByteArray m_line; // the line read so far
    QByteArray m_body;
};
