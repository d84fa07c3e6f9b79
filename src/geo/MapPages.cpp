#include "geo/MapPages.h"

#include "metadata/Prefs.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>

namespace {

const QString kLeafletScript = QStringLiteral("<script src=\"qrc:/leaflet/leaflet.js\"></script>");
const QString kLeafletStyle =
    QStringLiteral("<link rel=\"stylesheet\" href=\"qrc:/leaflet/leaflet.css\">");

QString number(double value)
{
    // "%f" without regard to the user's locale.
    return QString::number(value, 'f', 6);
}

QVariantList photoList(const QList<MapPages::Photo> &photos)
{
    QVariantList list;
    for (const MapPages::Photo &photo : photos)
        list.append(QVariantMap{{QStringLiteral("lat"), photo.lat},
                                {QStringLiteral("lon"), photo.lon},
                                {QStringLiteral("name"), photo.name}});
    return list;
}

QVariantMap tilesMap(const MapPages::Tiles &tiles)
{
    return {{QStringLiteral("url"), tiles.url}, {QStringLiteral("attribution"), tiles.attribution}};
}

std::optional<QByteArray> readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

namespace MapPages {

Tiles currentTiles()
{
    return {Prefs::string(Prefs::MapTileURL), Prefs::string(Prefs::MapTileAttribution)};
}

std::optional<QString> readPage(const QString &name)
{
    const auto bytes = readResource(QStringLiteral(":/") + name);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

QString fillPlaceholders(const QString &page, const QMap<QString, QString> &values)
{
    static const QRegularExpression placeholder(QStringLiteral("@@@([A-Z-]+)@@@"));
    QString out;
    out.reserve(page.size());
    qsizetype done = 0;
    for (auto it = placeholder.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const auto value = values.constFind(match.captured(1));
        if (value == values.constEnd())
            continue;
        out += QStringView(page).mid(done, match.capturedStart() - done);
        out += *value;
        done = match.capturedEnd();
    }
    out += QStringView(page).mid(done);
    return out;
}

QString escapeHtml(const QString &text)
{
    QString out = text.toHtmlEscaped();
    out.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    return out;
}

QString jsonForScript(const QVariant &value)
{
    QString json =
        QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact));
    if (json.isEmpty()) // a single value, not a document
        json = QString::fromUtf8(QJsonDocument(QJsonArray{QJsonValue::fromVariant(value)})
                                     .toJson(QJsonDocument::Compact))
                   .mid(1)
                   .chopped(1);
    json.replace(QLatin1Char('<'), QLatin1String("\\u003c"));
    return json;
}

QString fillTrackMap(const QString &page, const TrackMapFields &fields)
{
    return fillPlaceholders(page,
                            {{QStringLiteral("LAT"), number(fields.start.lat)},
                             {QStringLiteral("LON"), number(fields.start.lon)},
                             {QStringLiteral("LAT-END"), number(fields.end.lat)},
                             {QStringLiteral("LON-END"), number(fields.end.lon)},
                             {QStringLiteral("TRACKNAME"), escapeHtml(fields.trackName)},
                             {QStringLiteral("GPXFILE"), escapeHtml(fields.gpxfile)},
                             {QStringLiteral("TRACK"), fields.trackpoints},
                             {QStringLiteral("PHOTOS"), jsonForScript(photoList(fields.photos))},
                             {QStringLiteral("TILES"), jsonForScript(tilesMap(fields.tiles))}});
}

QString fillGeotagMap(const QString &page, const QString &lat, const QString &lon,
                      const std::optional<std::pair<QString, QString>> &chosen,
                      const QList<Photo> &photos, const Tiles &tiles)
{
    QVariant pin;
    if (chosen)
        pin = QVariantMap{{QStringLiteral("lat"), chosen->first.toDouble()},
                          {QStringLiteral("lon"), chosen->second.toDouble()}};
    return fillPlaceholders(
        page, {{QStringLiteral("LAT"), lat},
               {QStringLiteral("LON"), lon},
               {QStringLiteral("CHOSEN"), chosen ? jsonForScript(pin) : QStringLiteral("null")},
               {QStringLiteral("PHOTOS"), jsonForScript(photoList(photos))},
               {QStringLiteral("TILES"), jsonForScript(tilesMap(tiles))}});
}

std::optional<QString> inlineLeaflet(const QString &page)
{
    const auto script = readResource(QStringLiteral(":/leaflet/leaflet.js"));
    const auto style = readResource(QStringLiteral(":/leaflet/leaflet.css"));
    if (!script || !style)
        return std::nullopt;
    QString css = QString::fromUtf8(*style);
    static const QRegularExpression picture(
        QStringLiteral("url\\(images/([A-Za-z0-9_.-]+\\.png)\\)"));
    QString inlinedCss;
    qsizetype done = 0;
    for (auto it = picture.globalMatch(css); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const auto png = readResource(QStringLiteral(":/leaflet/images/") + match.captured(1));
        if (!png)
            continue;
        inlinedCss += QStringView(css).mid(done, match.capturedStart() - done);
        inlinedCss += QStringLiteral("url(data:image/png;base64,") +
                      QString::fromLatin1(png->toBase64()) + QLatin1Char(')');
        done = match.capturedEnd();
    }
    inlinedCss += QStringView(css).mid(done);

    QString out = page;
    // "</script" inside the library would end the element early; it has none, but a later
    // copy might.
    QString js = QString::fromUtf8(*script);
    js.replace(QLatin1String("</script"), QLatin1String("<\\/script"));
    out.replace(kLeafletStyle,
                QStringLiteral("<style>\n") + inlinedCss + QStringLiteral("\n</style>"));
    out.replace(kLeafletScript, QStringLiteral("<script>\n") + js + QStringLiteral("\n</script>"));
    return out;
}

std::optional<QUrl> gpxRedirect(const QUrl &request, const QString &fileOnShow)
{
    const QString path = request.path(QUrl::FullyDecoded);
    if (fileOnShow.isEmpty() || !path.endsWith(QLatin1String(".gpx"), Qt::CaseInsensitive))
        return std::nullopt;
    if (path != fileOnShow)
        return std::nullopt;
    const QUrl local = QUrl::fromLocalFile(fileOnShow);
    if (request == local)
        return std::nullopt; // already the file itself
    return local;
}

QString addressText(const QUrl &url)
{
    if (url.isValid())
        return url.toString(QUrl::FullyEncoded);
    static const QRegularExpression source(QStringLiteral("source was \"(.*)\"; "));
    const QRegularExpressionMatch match = source.match(url.errorString());
    return match.hasMatch() ? match.captured(1) : QString();
}

Navigation decide(const QString &address, bool userClicked)
{
    if (address.startsWith(QLatin1String("geotag://")))
        return Navigation::Geotag;
    const QString scheme = QUrl(address).scheme().toLower();
    if (scheme == QLatin1String("data") || scheme == QLatin1String("about") ||
        scheme == QLatin1String("qrc"))
        return Navigation::Load;
    if (scheme == QLatin1String("file"))
        return userClicked ? Navigation::Refuse : Navigation::Load;
    if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) && userClicked)
        return Navigation::OpenExternally;
    return Navigation::Refuse;
}

} // namespace MapPages
