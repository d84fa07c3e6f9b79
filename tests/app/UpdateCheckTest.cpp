#include "app/UpdateCheck.h"

#include "log/ConsoleLog.h"
#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/RecordingUserInterface.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

// A one-page HTTP server on 127.0.0.1: answers every request with `body` (or never answers).
class LocalServer
{
public:
    explicit LocalServer(QByteArray body, bool answer = true) : m_body(std::move(body))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, answer] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, answer] {
                    m_requests << QString::fromLatin1(socket->readAll().split('\n').first());
                    if (!answer)
                        return;
                    socket->write(
                        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                        QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" +
                        m_body);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    QString host() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }
    QStringList m_requests;

private:
    QByteArray m_body;
    QTcpServer m_server;
};

class UpdateCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UserInterface::setInstance(&ui);
        logger.setTextview(&pane);
        Defaults::remove("LastUpdateCheck");
        Defaults::remove("UpdateCheckHost");
        QCoreApplication::setApplicationVersion("1.2.3");
    }
    void TearDown() override
    {
        UserInterface::setInstance(nullptr);
        Clock::setSource({});
        UpdateCheck::setTimeoutMsForTests(5000);
    }
    RecordingUserInterface ui;
    Logger logger;
    StringLogPane pane;
};

const QString kFailed = "\nUpdate check failed (application will run normally)";

} // namespace

TEST_F(UpdateCheckTest, AnswersDecideTheAlerts)
{
    LocalServer yes("YES");
    Defaults::set("UpdateCheckHost", yes.host());
    EXPECT_EQ(UpdateCheck::doCheckForUpdate(true), UpdateCheck::Result::UpToDate);
    EXPECT_EQ(ui.alertTexts(), QStringList({"App is up-to-date.: "}));
    ASSERT_EQ(yes.m_requests.size(), 1);
    EXPECT_TRUE(yes.m_requests.first().startsWith("GET /Brindlewick/update_check.php?product="));
    EXPECT_TRUE(yes.m_requests.first().contains("&platform=linux&version=1.2.3"));

    // The automatic check says nothing when up to date.
    ui.clear();
    EXPECT_EQ(UpdateCheck::doCheckForUpdate(false), UpdateCheck::Result::UpToDate);
    EXPECT_TRUE(ui.alerts.isEmpty());

    // Any other answer, an error page included.
    LocalServer other("<html>404</html>");
    Defaults::set("UpdateCheckHost", other.host());
    EXPECT_EQ(UpdateCheck::doCheckForUpdate(false), UpdateCheck::Result::UpdateAvailable);
    // The alert names the server's page: the program has no menu item that leads there.
    EXPECT_EQ(ui.alertTexts(),
              QStringList({"An app update may be available.: A new version can be downloaded "
                           "from " +
                           other.host() + "/Brindlewick/"}));
    EXPECT_TRUE(pane.text().isEmpty());

    // An empty answer is a failure, reported in the log pane only.
    ui.clear();
    LocalServer empty("");
    Defaults::set("UpdateCheckHost", empty.host());
    EXPECT_EQ(UpdateCheck::doCheckForUpdate(true), UpdateCheck::Result::Failed);
    EXPECT_TRUE(ui.alerts.isEmpty());
    EXPECT_EQ(pane.text(), kFailed);
}

TEST_F(UpdateCheckTest, NoAnswerWithinTheTimeOutOrNoServerIsAFailureWithoutAlert)
{
    LocalServer silent("", false);
    Defaults::set("UpdateCheckHost", silent.host());
    UpdateCheck::setTimeoutMsForTests(300);
    EXPECT_EQ(UpdateCheck::doCheckForUpdate(true), UpdateCheck::Result::Failed);
    EXPECT_TRUE(ui.alerts.isEmpty());
    EXPECT_EQ(pane.text(), kFailed);

    // No server configured: asked by the user, the failure line; automatically, nothing.
    pane.clear();
    Defaults::remove("UpdateCheckHost");
    EXPECT_EQ(UpdateCheck::doCheckForUpdate(true), UpdateCheck::Result::Failed);
    EXPECT_EQ(pane.text(), kFailed);
    pane.clear();
    EXPECT_EQ(UpdateCheck::updateCheck(), UpdateCheck::Result::Skipped);
    EXPECT_TRUE(pane.text().isEmpty());
    EXPECT_FALSE(Defaults::contains("LastUpdateCheck"));

    // Nothing listening at all.
    Defaults::set("UpdateCheckHost", "http://127.0.0.1:1");
    EXPECT_EQ(UpdateCheck::doCheckForUpdate(false), UpdateCheck::Result::Failed);
}

TEST_F(UpdateCheckTest, TheAutomaticCheckRunsOnceAWeek)
{
    LocalServer yes("YES");
    Defaults::set("UpdateCheckHost", yes.host());
    const QDateTime start = QDateTime::fromString("2024-03-10T12:00:00Z", Qt::ISODate);
    QDateTime now = start;
    Clock::setSource([&now] { return now; });

    // Never checked: at once, and the date is written first.
    EXPECT_EQ(UpdateCheck::updateCheck(), UpdateCheck::Result::UpToDate);
    EXPECT_EQ(Defaults::string("LastUpdateCheck"), "2024-03-10 12:00:00 +0000");
    now = start.addDays(6);
    EXPECT_EQ(UpdateCheck::updateCheck(), UpdateCheck::Result::Skipped);
    now = start.addDays(7);
    EXPECT_EQ(UpdateCheck::updateCheck(), UpdateCheck::Result::UpToDate);
    EXPECT_EQ(yes.m_requests.size(), 2);

    // A damaged date counts as long ago.
    Defaults::set("LastUpdateCheck", "garbage");
    EXPECT_EQ(UpdateCheck::updateCheck(), UpdateCheck::Result::UpToDate);
    EXPECT_EQ(UpdateCheck::parseDate("2024-03-10 13:00:00 +0100")->toSecsSinceEpoch(),
              start.toSecsSinceEpoch());
}
