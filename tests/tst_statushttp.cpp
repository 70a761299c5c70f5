#include "monitor/statuspoller.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "testutil.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusdocument.h"
#include "tools/devsim/simulator.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int wait = 15000;
constexpr int ticks = 3;

// One answer of the scripted server: the bytes it writes, and whether it closes the
// connection afterwards.
struct Step {
    QByteArray bytes;
    bool close = false;
    bool byteByByte = false;
};

// An HTTP server that answers the n-th request it reads with the n-th step of its script
// (the last step repeats), counting connections and complete requests.
class ScriptedServer : public QObject {
public:
    ScriptedServer(const QList<Step> &script, quint16 port)
        : m_script(script)
    {
        m_server.listen(QHostAddress("127.0.6.2"), port);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    bool isListening() const { return m_server.isListening(); }

    int connections = 0;
    int requests = 0;

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &input = m_input[socket];
        input += socket->readAll();
        int end;
        while ((end = input.indexOf("\r\n\r\n")) >= 0) {
            input.remove(0, end + 4);
            const Step step = m_script.value(qMin(requests, m_script.size() - 1));
            ++requests;
            if (step.byteByByte) {
                writeSlowly(socket, step, 0);
                return;
            }
            socket->write(step.bytes);
            if (step.close)
                socket->disconnectFromHost();
        }
    }
    void writeSlowly(QTcpSocket *socket, const Step &step, int at)
    {
        if (at == step.bytes.size()) {
            if (step.close)
                socket->disconnectFromHost();
            return;
        }
        socket->write(step.bytes.mid(at, 1));
        socket->flush();
        QTimer::singleShot(1, socket, [=] { writeSlowly(socket, step, at + 1); });
    }

    QTcpServer m_server;
    QList<Step> m_script;
    QHash<QTcpSocket *, QByteArray> m_input;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

// The poller's HTTP side against servers that frame, keep and close connections each in
// their own way: every answer that is complete is used, every other one is dropped, a
// kept connection that the server closed is asked again once on a new one, and nothing
// waits for more than the deadline.
class TestStatusHttp : public QObject {
    Q_OBJECT

private slots:
    void framing_data()
    {
        QTest::addColumn<QList<Step>>("script");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<int>("requests"); // complete requests the server read
        QTest::addColumn<int>("connections");

        Simulator simulator;
        const QByteArray body = SimStatusDocument::body(
            *simulator.addDevice(DeviceType::Horn, 1002, QHostAddress("127.0.6.2")));
        const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        const QByteArray kept = "HTTP/1.1 200 OK\r\n" + length + "\r\n" + body;
        QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (int at = 0; at < body.size(); at += 7) {
            const QByteArray piece = body.mid(at, 7);
            chunked += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
        }
        chunked += "0\r\n\r\n";

        QTest::newRow("kept") << QList<Step> {{kept}} << true << ticks << ticks << 1;
        QTest::newRow("chunked") << QList<Step> {{chunked}} << true << ticks << ticks << 1;
        QTest::newRow("a byte at a time")
            << QList<Step> {{kept, false, true}} << true << ticks << ticks << 1;
        QTest::newRow("closed as announced")
            << QList<Step> {{"HTTP/1.1 200 OK\r\nConnection: close\r\n" + length + "\r\n" + body,
                             true}}
            << true << ticks << ticks << ticks;
        QTest::newRow("HTTP/1.0, body up to the close")
            << QList<Step> {{"HTTP/1.0 200 OK\r\n\r\n" + body, true}} << true << ticks << ticks
            << ticks;
        // The client learns of the close only when it sends the next request.
        QTest::newRow("closed while idle, unannounced")
            << QList<Step> {{kept, true}} << true << ticks << ticks << ticks;
        QTest::newRow("closed without answering")
            << QList<Step> {{QByteArray(), true}} << true << 0 << ticks << ticks;
        // The second request: once on the kept connection, once more on a new one, then
        // given up; the third goes out on a new connection, so it is not asked again.
        QTest::newRow("asked again once only")
            << QList<Step> {{kept}, {QByteArray(), true}} << true << 1 << 4 << 3;
        QTest::newRow("garbage") << QList<Step> {{"SSH-2.0-x\r\n\r\n"}} << true << 0 << ticks
                                 << ticks;
        QTest::newRow("error status")
            << QList<Step> {{"HTTP/1.1 500 E\r\n" + length + "\r\n" + body}} << true << 0 << ticks
            << 1;
        QTest::newRow("refused") << QList<Step> {} << false << 0 << 0 << 0;
    }

    void framing()
    {
        QFETCH(QList<Step>, script);
        QFETCH(bool, listening);
        QFETCH(int, accepted);
        QFETCH(int, requests);
        QFETCH(int, connections);

        const quint16 port = TestUtil::freePort("127.0.6.2");
        QVERIFY(port != 0);
        std::unique_ptr<ScriptedServer> server;
        if (listening) {
            server = std::make_unique<ScriptedServer>(script, port);
            QVERIFY(server->isListening());
        }
        ProjectModel project(ProjectModel::Journals::None);
        project.monitoring = true;
        project.addDevice(
            nullptr,
            new ProjectDevice(DeviceType::Horn, 1002, QString(), false, 0, true, "127.0.6.2", -1));
        StatusPoller poller;
        poller.setStatusPort(port);
        poller.setTimeout(2000);
        poller.setProject(&project);
        for (int tick = 0; tick < ticks; ++tick) {
            poller.tick(true);
            QTRY_COMPARE_WITH_TIMEOUT(poller.outstanding(), 0, wait);
        }
        const StatusPoller::Statistics &statistics = poller.statistics();
        QCOMPARE(statistics.sent, qint64(ticks));
        QCOMPARE(statistics.accepted, qint64(accepted));
        QCOMPARE(statistics.dropped, qint64(ticks - accepted));
        QCOMPARE(statistics.overdue, 0);
        if (server) {
            QCOMPARE(server->requests, requests);
            QCOMPARE(server->connections, connections);
        }
    }
};

QTEST_GUILESS_MAIN(TestStatusHttp)
#include "tst_statushttp.moc"
