#include "app/UpdateCheck.h"

#include "log/ConsoleLog.h"
#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

namespace {

const QString kLastUpdateCheck = QStringLiteral("LastUpdateCheck");
const QString kUpdateCheckHost = QStringLiteral("UpdateCheckHost");
const QString kNeverChecked = QStringLiteral("2001-01-01 00:00:00 +0000");
constexpr qint64 kWeek = 604800;
int g_timeoutMs = 5000;

// The body of one GET, or nullopt without an answer (unreachable, refused, timed out).
std::optional<QByteArray> fetch(const QUrl &url)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(g_timeoutMs);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A second guard in case the transfer time-out is not honoured while connecting.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, reply, &QNetworkReply::abort);
    guard.start(g_timeoutMs + 500);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    const QByteArray body = reply->readAll();
    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    // An error page is still an answer; a failed connection is not.
    if (error != QNetworkReply::NoError && status == 0)
        return std::nullopt;
    return body;
}

} // namespace

void UpdateCheck::setTimeoutMsForTests(int ms)
{
    g_timeoutMs = ms;
}

QString UpdateCheck::describeDate(const QDateTime &date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

std::optional<QDateTime> UpdateCheck::parseDate(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QDateTime local =
        QDateTime::fromString(trimmed.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!local.isValid())
        return std::nullopt;
    QDateTime date(local.date(), local.time(), Qt::UTC);
    // "+0100" and the like.
    const QString zone = trimmed.mid(20);
    if (zone.size() == 5 && (zone[0] == u'+' || zone[0] == u'-')) {
        const int sign = zone[0] == u'-' ? -1 : 1;
        const int seconds = sign * (zone.mid(1, 2).toInt() * 3600 + zone.mid(3, 2).toInt() * 60);
        date = date.addSecs(-seconds);
    }
    return date;
}

namespace {

// "example.org/" -> "https://example.org"; empty without a host.
QString serverBase(const QString &host)
{
    QString base = host.trimmed();
    if (base.isEmpty())
        return base;
    if (!base.contains(QStringLiteral("://")))
        base.prepend(QStringLiteral("https://"));
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

} // namespace

QUrl UpdateCheck::downloadPage(const QString &host)
{
    const QString base = serverBase(host);
    return base.isEmpty() ? QUrl() : QUrl(base + QStringLiteral("/Brindlewick/"));
}

QUrl UpdateCheck::requestUrl(const QString &host, const QString &product, const QString &version)
{
    const QString base = serverBase(host);
    if (base.isEmpty())
        return QUrl();
    QUrl url(base + QStringLiteral("/Brindlewick/update_check.php"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("product"), product);
    query.addQueryItem(QStringLiteral("platform"), QStringLiteral("linux"));
    query.addQueryItem(QStringLiteral("version"), version);
    url.setQuery(query);
    return url;
}

UpdateCheck::Result UpdateCheck::updateCheck()
{
    // Without a server there is nothing to ask, and no week is used up.
    if (Defaults::string(kUpdateCheckHost).trimmed().isEmpty())
        return Result::Skipped;
    QString last = Defaults::string(kLastUpdateCheck);
    if (last.isEmpty())
        last = kNeverChecked;
    // An unreadable date counts as long ago, so the check is not lost for good.
    const QDateTime lastDate = parseDate(last).value_or(QDateTime::fromSecsSinceEpoch(0));
    const QDateTime now = Clock::now();
    if (lastDate.secsTo(now) < kWeek)
        return Result::Skipped;
    Defaults::set(kLastUpdateCheck, describeDate(now));
    return doCheckForUpdate(false);
}

UpdateCheck::Result UpdateCheck::doCheckForUpdate(bool askedByUser)
{
    const QString version = QCoreApplication::applicationVersion();
    const QString product =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().remove(u' ');
    const QString host = Defaults::string(kUpdateCheckHost);
    if (!version.isEmpty() && !host.trimmed().isEmpty()) {
        const QUrl url = requestUrl(host, product, version);
        SystemLog::write(formatMessage("update check URL: %@", url.toString()));
        if (const std::optional<QByteArray> answer = fetch(url)) {
            const QString text = QString::fromLatin1(*answer);
            SystemLog::write(formatMessage("update check data: %@", text));
            if (!text.isEmpty()) {
                if (text == QStringLiteral("YES")) {
                    if (askedByUser)
                        UserInterface::instance().alert(QStringLiteral("App is up-to-date."),
                                                        QString(), AlertStyle::Informational);
                    return Result::UpToDate;
                }
                // The program has no web-site menu item: name the page itself.
                UserInterface::instance().alert(
                    QStringLiteral("An app update may be available."),
                    formatMessage("A new version can be downloaded from %@",
                                  downloadPage(host).toString()),
                    AlertStyle::Informational);
                return Result::UpdateAvailable;
            }
        }
    }
    logPuts("\nUpdate check failed (application will run normally)");
    return Result::Failed;
}
