#pragma once

// Shared by the window tests of the maps: the web engine set up to run headless (as root too),
// waiting for a page and its script, and the picture of a window for a person to look at.

#include "geo/ui/MapView.h"
#include "support/GrabSupport.h"
#include "support/WindowTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <optional>

// Before the application exists: as for any web view, and there is no GPU under the offscreen
// platform.
inline void prepareWebEngine()
{
    prepareWebViews();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
}

// The value of a script in the page, or nullopt when the page did not answer in time.
inline std::optional<QVariant> evaluate(MapView *map, const QString &script, int timeoutMs = 10000)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    map->runJavaScript(script, [result](const QVariant &value) { *result = value; });
    QElapsedTimer clock;
    clock.start();
    while (!*result && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    return *result;
}

// Polls a script until it answers true.
inline bool waitForScript(MapView *map, const QString &script, int timeoutMs = 15000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const auto value = evaluate(map, script);
        if (value && value->toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}

// Waits until the view has finished more than `before` loads. Empty when it did; otherwise
// why not, so that the test fails with the reason instead of passing over the map.
inline QString waitForPage(MapView *map, int before, int timeoutMs = 30000)
{
    if (!map->hasWebView())
        return QStringLiteral("the map cannot be shown: ") + MapView::unavailableReason();
    QElapsedTimer clock;
    clock.start();
    while (map->loadsFinished() <= before && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    if (map->loadsFinished() <= before)
        return QStringLiteral("Qt WebEngine did not finish loading the map page within %1 s: "
                              "the engine cannot run on this machine")
            .arg(timeoutMs / 1000);
    if (!map->lastLoadSucceeded())
        return QStringLiteral("Qt WebEngine reported that the map page failed to load");
    // The load counted may be the blank page shown before the map; the map's own script
    // answers once its page is the one shown.
    if (!waitForScript(map, QStringLiteral("typeof window.brindlewick === 'object'")))
        return QStringLiteral("the map page's script did not start");
    return QString();
}

// Fails the test, with the reason, unless the map finishes another page load.
#define VERIFY_MAP_PAGE(map, before)                                                               \
    do {                                                                                           \
        const QString whyNot = waitForPage(map, before);                                           \
        QVERIFY2(whyNot.isEmpty(), qPrintable(whyNot));                                            \
    } while (false)

// A map tile server on the loopback address, so that a test sees the pages as they are online
// without touching the network: every tile is a pale square with its z/x/y written in it. It
// records the User-Agent of each request.
class LocalTileServer : public QTcpServer
{
public:
    LocalTileServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_pending[socket] += socket->readAll();
                    if (!m_pending[socket].contains("\r\n\r\n"))
                        return;
                    answer(socket, m_pending.take(socket));
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString tileAddress() const
    {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(serverPort());
    }
    QStringList userAgents;
    int served = 0;

private:
    void answer(QTcpSocket *socket, const QByteArray &request)
    {
        const QList<QByteArray> lines = request.split('\n');
        const QByteArray path = lines.value(0).split(' ').value(1);
        for (const QByteArray &line : lines)
            if (line.toLower().startsWith("user-agent:"))
                userAgents << QString::fromUtf8(line.mid(11).trimmed());
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor(0xe8, 0xf0, 0xe0));
        QPainter painter(&tile);
        painter.setPen(QColor(0xb8, 0xc8, 0xb0));
        painter.drawRect(0, 0, 255, 255);
        painter.drawText(tile.rect(), Qt::AlignCenter, QString::fromUtf8(path));
        painter.end();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                      QByteArray::number(png.size()) +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + png);
        socket->disconnectFromHost();
        ++served;
    }
    QHash<QTcpSocket *, QByteArray> m_pending;
};
