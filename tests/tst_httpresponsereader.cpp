#include "monitor/httpresponsereader.h"

#include <QtTest>

using State = HttpResponseReader::State;

Q_DECLARE_METATYPE(HttpResponseReader::State)

// Status answers as devices and odd servers frame them. Each row is read twice: in one
// piece and a byte at a time, with the same result.
class TestHttpResponseReader : public QObject {
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closed"); // the peer closes after the bytes
        QTest::addColumn<State>("state");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<int>("excess");
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        // A complete answer and what it holds (an incomplete one only for "1.0 not closed yet").
        const auto answer = [](const char *name, const QByteArray &bytes, int status,
                               const QByteArray &body, bool keepAlive, int excess = 0,
                               bool closed = false, State state = State::Complete) {
            QTest::newRow(name) << bytes << closed << state << status << body << keepAlive
                                << excess;
        };
        answer("length, kept", ok + "Content-Length: 4\r\n\r\nabcd", 200, "abcd", true);
        answer("bare line ends", "HTTP/1.1 200 OK\nContent-length:  2 \n\nab", 200, "ab", true);
        answer("connection close", ok + "Connection: Close\r\nContent-Length: 1\r\n\r\nx", 200, "x",
               false);
        answer("1.0 until close", "HTTP/1.0 200 OK\r\n\r\n{\"a\":1}", 200, "{\"a\":1}", false, 0,
               true);
        answer("1.0 not closed yet", "HTTP/1.0 200 OK\r\n\r\n{", 200, "{", false, 0, false,
               State::Incomplete);
        answer("1.0 keep-alive",
               "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n", 200, {},
               true);
        answer("chunked",
               ok +
                   "Transfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\nA\r\n0123456789\r\n0\r\n"
                   "Trailer: 1\r\n\r\n",
               200, "abc0123456789", true);
        answer("chunked beats length",
               ok + "Content-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nz\r\n0\r\n\r\n",
               200, "z", false);
        answer("interim answer first",
               "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nhi", 200, "hi",
               true);
        answer("204 has no body", "HTTP/1.1 204 No Content\r\n\r\n", 204, {}, true);
        answer("404 with body", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno\n", 404,
               "no\n", true);
        answer("bytes after the answer", ok + "Content-Length: 1\r\n\r\nxGARBAGE", 200, "x", true,
               7);
        answer("no reason", "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", 200, {}, true);

        const auto failed = [](const char *name, const QByteArray &bytes, bool closed = false,
                               State state = State::Failed) {
            QTest::newRow(name) << bytes << closed << state << -1 << QByteArray() << false << 0;
        };
        failed("not HTTP", "SSH-2.0-OpenSSH\r\n");
        failed("HTTP/2", "HTTP/2.0 200 OK\r\n\r\n");
        failed("status not digits", "HTTP/1.1 2x0 OK\r\n\r\n");
        failed("switching protocols", "HTTP/1.1 101 Switching\r\n\r\n");
        failed("lengths differ", ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nabc");
        failed("length not a number", ok + "Content-Length: 1e3\r\n\r\n");
        failed("negative length", ok + "Content-Length: -1\r\n\r\n");
        failed("chunk size not hex", ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n");
        failed("chunk size overflows",
               ok + "Transfer-Encoding: chunked\r\n\r\n1000000000000000\r\n");
        failed("chunk without its line end",
               ok + "Transfer-Encoding: chunked\r\n\r\n1\r\nab\r\n0\r\n\r\n");
        failed("closed inside the body", ok + "Content-Length: 10\r\n\r\nabc", true);
        failed("closed inside the headers", ok + "Content-Le", true);
        failed("closed before a byte", QByteArray(), true);
        failed("endless header", ok + "X: " + QByteArray(70 * 1024, 'a'));
        failed("length above the bound", ok + "Content-Length: 17\r\n\r\n", false, State::TooLarge);
        failed("chunks above the bound",
               ok + "Transfer-Encoding: chunked\r\n\r\n9\r\n123456789\r\n9\r\n123456789\r\n", false,
               State::TooLarge);
        failed("close-delimited above the bound", "HTTP/1.0 200 OK\r\n\r\n" + QByteArray(17, 'x'),
               false, State::TooLarge);
    }

    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closed);
        QFETCH(State, state);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, keepAlive);
        QFETCH(int, excess);
        for (const bool byByte : {false, true}) {
            HttpResponseReader reader(16);
            if (byByte) {
                for (const char c : bytes)
                    reader.feed(&c, 1);
            } else {
                reader.feed(bytes.constData(), bytes.size());
            }
            if (closed)
                reader.finish();
            QCOMPARE(reader.state(), state);
            QCOMPARE(reader.started(), !bytes.isEmpty());
            if (state == State::Failed || state == State::TooLarge) {
                QVERIFY(reader.body().isEmpty());
                continue;
            }
            QCOMPARE(reader.statusCode(), status);
            QCOMPARE(reader.body(), body);
            if (state == State::Complete) {
                QCOMPARE(reader.keepAlive(), keepAlive);
                QCOMPARE(reader.excess(), qint64(excess));
            }
        }
    }

    void nextAnswerOnTheConnection()
    {
        HttpResponseReader reader(1024);
        const QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";
        QCOMPARE(reader.feed(answer.constData(), answer.size()), State::Complete);
        reader.reset();
        QVERIFY(!reader.started());
        QCOMPARE(reader.finish(), State::Failed);
        reader.reset();
        const QByteArray chunked = "HTTP/1.1 500 E\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n";
        QCOMPARE(reader.feed(chunked.constData(), chunked.size()), State::Complete);
        QCOMPARE(reader.statusCode(), 500);
    }
};

QTEST_GUILESS_MAIN(TestHttpResponseReader)
#include "tst_httpresponsereader.moc"
