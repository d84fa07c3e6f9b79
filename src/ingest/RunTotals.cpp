#include "ingest/RunTotals.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

QString RunTotals::line() const
{
    return QStringLiteral("Planned: %1; Copied: %2; Duplicates: %3; Failed: %4; Stopped: %5")
        .arg(planned)
        .arg(copied)
        .arg(duplicates)
        .arg(failed)
        .arg(stopped);
}

QByteArray RunTotals::json(const QString &status, int copiedToBackup, int copiedToBackup2) const
{
    QJsonArray failureList;
    for (const Failure &failure : failures)
        failureList.append(QJsonObject{{QStringLiteral("file"), failure.file},
                                       {QStringLiteral("message"), failure.message}});
    const QJsonObject object{{QStringLiteral("status"), status},
                             {QStringLiteral("planned"), planned},
                             {QStringLiteral("copied"), copied},
                             {QStringLiteral("duplicates"), duplicates},
                             {QStringLiteral("failed"), failed},
                             {QStringLiteral("stopped"), stopped},
                             {QStringLiteral("copiedToBackup"), copiedToBackup},
                             {QStringLiteral("copiedToBackup2"), copiedToBackup2},
                             {QStringLiteral("failures"), failureList}};
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool SourceFailureWatch::failed(const QString &sourcePath)
{
    // The folder still answers while a card is being pulled out; when it does not, the failure
    // counts against the volume of the failures before it.
    struct stat st;
    const QByteArray folder = QFile::encodeName(QFileInfo(sourcePath).absolutePath());
    const bool known = ::stat(folder.constData(), &st) == 0;
    if (m_count > 0 && known && m_haveDevice && st.st_dev != m_device)
        m_count = 0;
    if (known) {
        m_device = st.st_dev;
        m_haveDevice = true;
    }
    ++m_count;
    return m_count >= m_limit;
}
