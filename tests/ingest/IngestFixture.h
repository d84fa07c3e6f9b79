#pragma once

// Shared fixtures of the ingestion tests: JPEG encoding on libjpeg, card folders, and a harness
// that records everything a run says (alerts, console, ingestion log, system log).

#include "ingest/IngestFiles.h"
#include "ingest/SafeCopy.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLog.h"
#include "support/ImageFixtures.h"
#include "support/InstalledUserInterface.h"
#include "support/QtPrinters.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>

#include <ostream>

// Readable failure messages for lists of Qt strings.
inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '[' << l.join(QStringLiteral("|")).toStdString() << ']';
}

struct JpegShape
{
    int width = 96;
    int height = 64;
    bool progressive = false;
    int restartRows = 0; // 0 or 1
    bool grey = false;
};

// A small picture whose pixels depend on `seed`, so different seeds give different files.
inline QByteArray encodeJpeg(unsigned seed, const JpegShape &shape = JpegShape())
{
    QImage picture(shape.width, shape.height,
                   shape.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    const int components = shape.grey ? 1 : 3;
    unsigned state = seed * 2654435761u + 1;
    for (int y = 0; y < shape.height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < shape.width * components; ++x) {
            state = state * 1103515245u + 12345u;
            row[x] = uchar((x * 3 + y * 5 + seed * 40 + ((state >> 16) & 31)) & 0xff);
        }
    }
    using ImageFixtures::JpegLayout;
    return ImageFixtures::encodeWithLibjpeg(picture, 90,
                                            shape.progressive   ? JpegLayout::Progressive
                                            : shape.restartRows ? JpegLayout::RestartEveryRow
                                                                : JpegLayout::Baseline);
}

// Properties as the image-properties service gives them, with `compared` of the duplicate
// rule's properties present.
inline QVariantMap pictureProperties(int number, int compared = 6)
{
    const QString stamp = QStringLiteral("2024:05:0%1 10:00:00").arg(1 + number % 8);
    QVariantMap exif;
    QVariantMap tiff;
    QVariantMap aux;
    const QList<std::function<void()>> fill = {
        [&] { exif.insert(QStringLiteral("DateTimeOriginal"), stamp); },
        [&] { exif.insert(QStringLiteral("DateTimeDigitized"), stamp); },
        [&] { exif.insert(QStringLiteral("ExposureTime"), 1.0 / (60 + number)); },
        [&] { exif.insert(QStringLiteral("FNumber"), 2.8); },
        [&] { tiff.insert(QStringLiteral("DateTime"), stamp); },
        [&] { aux.insert(QStringLiteral("ImageNumber"), 1000 + number); },
    };
    for (int i = 0; i < compared && i < fill.size(); ++i)
        fill[i]();
    QVariantMap properties;
    properties.insert(QStringLiteral("{Exif}"), exif);
    properties.insert(QStringLiteral("{TIFF}"), tiff);
    properties.insert(QStringLiteral("{ExifAux}"), aux);
    return properties;
}

// Everything one run says, and a card folder to run over. Installs itself on construction and
// puts the process back as it was on destruction.
class RunHarness
{
public:
    RunHarness()
    {
        logger.setTextview(&pane);
        SystemLog::setSink([this](const QString &line) { systemLog << line; });
        const QString templatePath = makeTestFolder(QStringLiteral("template")) + "/t.xmp";
        writeTestFile(templatePath, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>\n");
        IngestFiles::setTemplateResource(templatePath);
        IngestFiles::setPropertyReader([this](const QString &path) -> std::optional<QVariantMap> {
            const auto it = propertiesByContent.constFind(readTestFile(path));
            if (it == propertiesByContent.constEnd())
                return std::nullopt;
            return *it;
        });
        NotificationCenter::defaultCenter().addObserver(
            this, QString(), [this](const Notification &n) { notifications << n.name; });
        card = makeTestFolder(QStringLiteral("card"));
        root = makeTestFolder(QStringLiteral("run"));
        primary = root + QStringLiteral("/Pictures/Primary");
        logStart = QDateTime::currentDateTime();
        logOffset = currentLogText().size();
    }
    ~RunHarness()
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        IngestFiles::setPropertyReader(IngestFiles::PropertyReader());
        IngestFiles::setTemplateResource(QStringLiteral(":/XMPtemplate.xmp"));
        SafeCopier::setFailAfterBytes(-1);
        SystemLog::setSink(nullptr);
    }

    // A JPEG on the card with the given properties (known to the property reader).
    ThumbItemPtr addPicture(const QString &name, unsigned seed, int compared = 6,
                            const QByteArray &content = QByteArray())
    {
        const QByteArray bytes = content.isEmpty() ? encodeJpeg(seed) : content;
        const QVariantMap props = pictureProperties(static_cast<int>(seed), compared);
        propertiesByContent.insert(bytes, pictureProperties(static_cast<int>(seed)));
        return addFile(name, bytes, props);
    }

    ThumbItemPtr addFile(const QString &name, const QByteArray &bytes,
                         const QVariantMap &props = QVariantMap())
    {
        const QString path = card + QLatin1Char('/') + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeTestFile(path, bytes);
        ThumbItemPtr item = ThumbItem::initWithPath(path);
        item->metadata = props;
        item->checked = true;
        items << item;
        return item;
    }

    Setup setup(const QVariantMap &extra = QVariantMap()) const
    {
        QVariantMap dict{{QStringLiteral("PrimaryRootFolder"), primary},
                         {QStringLiteral("FolderArrangement"), QStringLiteral("2024")},
                         {QStringLiteral("FilenameArrangement"), QStringLiteral("IMG")},
                         {QStringLiteral("WantBackup"), QStringLiteral("NO")},
                         {QStringLiteral("PostApp"), QString()}};
        dict.insert(extra);
        return Setup(dict);
    }

    void run(IngestFiles &ingest, const Setup &s, bool preview = false)
    {
        ingest.setItems(items);
        ingest.go(s, preview);
    }

    static QString currentLogText()
    {
        const QString name = IngestionLogController::monthFileName(QDateTime::currentDateTime());
        return IngestionLogController::readMonth(name.left(name.size() - 4)).value_or(QString());
    }

    // The messages written to the ingestion log since the harness started, without time stamps.
    QStringList ingestionLog() const
    {
        QStringList lines;
        for (const QString &line :
             currentLogText().mid(logOffset).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const int colon = line.indexOf(QStringLiteral(": "));
            if (colon > 0)
                lines << line.mid(colon + 2);
        }
        return lines;
    }

    // Every file in `folder`, hidden ones too, so that leftovers show.
    static QStringList filesIn(const QString &folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    InstalledUserInterface ui;
    Logger logger;
    StringLogPane pane;
    QStringList systemLog;
    QStringList notifications;
    QHash<QByteArray, QVariantMap> propertiesByContent;
    ThumbItemList items;
    QString card;
    QString root;
    QString primary;
    QDateTime logStart;
    qsizetype logOffset = 0;
};
