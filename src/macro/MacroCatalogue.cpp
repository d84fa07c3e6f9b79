#include "macro/MacroProcessor.h"

#include "metadata/ECPrefsController.h"

#include <QHash>

#include <algorithm>

namespace {

// How a built-in name finds its value: in a group of the image properties, as a top-level
// property, through a lookup table, or computed by the evaluation (no path).
enum class Source { Grouped, TopLevel, Lookup, Computed };

struct BuiltIn
{
    Source source;
    const char *name;
};

// clang-format off
constexpr BuiltIn kBuiltIns[] = {
    {Source::TopLevel, "DPIHeight"}, {Source::TopLevel, "DPIWidth"},

    {Source::Grouped, "Exif.ApertureValue"}, {Source::Grouped, "Exif.Contrast"},
    {Source::Grouped, "Exif.CustomRendered"}, {Source::Grouped, "Exif.DateTimeDigitized"},
    {Source::Grouped, "Exif.DateTimeOriginal"}, {Source::Grouped, "Exif.DigitalZoomRatio"},
    {Source::Grouped, "Exif.ExposureBiasValue"}, {Source::Grouped, "Exif.ExposureMode"},
    {Source::Grouped, "Exif.ExposureProgram"}, {Source::Grouped, "Exif.ExposureTime"},
    {Source::Grouped, "Exif.Flash"}, {Source::Grouped, "Exif.FNumber"},
    {Source::Grouped, "Exif.FocalLength"}, {Source::Grouped, "Exif.FocalLenIn35mmFilm"},
    {Source::Grouped, "Exif.GainControl"}, {Source::Grouped, "Exif.ImageUniqueID"},
    {Source::Grouped, "Exif.ISOSpeedRatings"}, {Source::Grouped, "Exif.LightSource"},
    {Source::Grouped, "Exif.MaxApertureValue"}, {Source::Grouped, "Exif.MeteringMode"},
    {Source::Grouped, "Exif.Saturation"}, {Source::Grouped, "Exif.SceneCaptureType"},
    {Source::Grouped, "Exif.SceneType"}, {Source::Grouped, "Exif.SensingMethod"},
    {Source::Grouped, "Exif.Sharpness"}, {Source::Grouped, "Exif.ShutterSpeedValue"},
    {Source::Grouped, "Exif.SubjectDistRange"}, {Source::Grouped, "Exif.SubsecTime"},
    {Source::Grouped, "Exif.SubsecTimeDigitized"}, {Source::Grouped, "Exif.SubsecTimeOriginal"},
    {Source::Grouped, "Exif.UserComment"}, {Source::Grouped, "Exif.WhiteBalance"},

    {Source::Grouped, "ExifAux.FlashCompensation"}, {Source::Grouped, "ExifAux.FocusDistance"},
    {Source::Grouped, "ExifAux.FocusMode"}, {Source::Grouped, "ExifAux.ImageNumber"},
    {Source::Grouped, "ExifAux.LensModel"}, {Source::Grouped, "ExifAux.LensSerialNumber"},
    {Source::Grouped, "ExifAux.OwnerName"}, {Source::Grouped, "ExifAux.SerialNumber"},

    {Source::Grouped, "GPS.Altitude"}, {Source::Grouped, "GPS.AltitudeRef"},
    {Source::Grouped, "GPS.Latitude"}, {Source::Grouped, "GPS.LatitudeRef"},
    {Source::Grouped, "GPS.Longitude"}, {Source::Grouped, "GPS.LongitudeRef"},
    {Source::Grouped, "GPS.TimeStamp"},

    {Source::Grouped, "MakerCanon.CameraTemperatur"}, {Source::Grouped, "MakerCanon.ContinuousDrive"},
    {Source::Grouped, "MakerCanon.LensModel"}, {Source::Grouped, "MakerCanon.MaxAperture"},
    {Source::Grouped, "MakerCanon.MinAperture"}, {Source::Grouped, "MakerCanon.UniqueModelID"},
    {Source::Grouped, "MakerCanon.WhiteBalanceIndex"},

    {Source::Grouped, "MakerNikon.FlashSetting"}, {Source::Grouped, "MakerNikon.FocusMode"},
    {Source::Grouped, "MakerNikon.ISOSetting"}, {Source::Grouped, "MakerNikon.LensType"},
    {Source::Grouped, "MakerNikon.Quality"}, {Source::Grouped, "MakerNikon.SharpenMode"},
    {Source::Grouped, "MakerNikon.ShootingMode"}, {Source::Grouped, "MakerNikon.ShutterCount"},
    {Source::Grouped, "MakerNikon.VignetteControl"}, {Source::Grouped, "MakerNikon.WhiteBalanceMode"},

    {Source::TopLevel, "Orientation"}, {Source::TopLevel, "PixelHeight"},
    {Source::TopLevel, "PixelWidth"}, {Source::TopLevel, "ProfileName"},

    {Source::Grouped, "TIFF.Artist"}, {Source::Grouped, "TIFF.Compression"},
    {Source::Grouped, "TIFF.Copyright"}, {Source::Grouped, "TIFF.DateTime"},
    {Source::Grouped, "TIFF.ImageDescription"}, {Source::Grouped, "TIFF.Make"},
    {Source::Grouped, "TIFF.Model"}, {Source::Grouped, "TIFF.Orientation"},
    {Source::Grouped, "TIFF.PhotometricInterpretation"}, {Source::Grouped, "TIFF.ResolutionUnit"},
    {Source::Grouped, "TIFF.Software"}, {Source::Grouped, "TIFF.XResolution"},
    {Source::Grouped, "TIFF.YResolution"},

    {Source::Computed, "DateImage"}, {Source::Computed, "DateImage:YYYY-MM-DD"},
    {Source::Computed, "DateImage:YYYY/YYYY-MM-DD"}, {Source::Computed, "DateImage:YYYY/MM-DD"},
    {Source::Computed, "DateImage:YYYY/MM"}, {Source::Computed, "DateImage:MM"},
    {Source::Computed, "DateImage:DD"}, {Source::Computed, "DateImage:YYYY-MM-DD hh:mm:ss"},
    {Source::Computed, "DateImage:YYYYMMDD"}, {Source::Computed, "DateImage:MMMM"},
    {Source::Computed, "DateImage:MMM"}, {Source::Computed, "DateImage:WWWW"},
    {Source::Computed, "DateImage:WWW"}, {Source::Computed, "DateNow"},
    {Source::Computed, "DateNow:Day DDDDD of Month MMMMM"},
    {Source::Computed, "DateNow:YYYY-MM-DD hh:mm:ss"},
    {Source::Computed, "DateNow:WWWW, MMMM DDDDD, YYYY"},

    {Source::Computed, "FileNameOriginal"}, {Source::Computed, "FileNumberOriginal"},
    {Source::Computed, "FileNameNew"}, {Source::Computed, "FileExtensionOriginal"},

    {Source::Lookup, "Lookup.ExifAux.LensModel"}, {Source::Lookup, "Lookup.ExifAux.SerialNumber"},
    {Source::Lookup, "Lookup.FileExtensionOriginal"}, {Source::Lookup, "Lookup.TIFF.Make"},
    {Source::Lookup, "Lookup.TIFF.Model"},

    {Source::Computed, "Index:4"}, {Source::Computed, "UserName"},
    {Source::Computed, "Space"}, {Source::Computed, "Required"},
};
// clang-format on

static_assert(std::size(kBuiltIns) == 113);

// "Exif.FNumber" -> "{Exif}.FNumber"; a key without a group is its own path.
QString propertiesPath(const QString &fieldKey)
{
    const qsizetype dot = fieldKey.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return fieldKey;
    return QLatin1Char('{') + fieldKey.left(dot) + QStringLiteral("}.") + fieldKey.mid(dot + 1);
}

struct Catalogue
{
    QList<Macro> macros;
    QHash<QString, qsizetype> byName; // index into macros; a later duplicate wins
};

std::optional<Catalogue> g_catalogue;
std::optional<QStringList> g_names;

bool startsWith(const QString &name, const char *prefix)
{
    return name.startsWith(QLatin1String(prefix));
}

} // namespace

QStringList MacroProcessor::customFieldKeys()
{
    return ECPrefsController::customFields();
}

const QList<Macro> &MacroProcessor::macros()
{
    if (!g_catalogue) {
        Catalogue built;
        for (const BuiltIn &entry : kBuiltIns) {
            const QString name = QString::fromLatin1(entry.name);
            std::optional<QString> path;
            switch (entry.source) {
            case Source::Grouped:
                path = propertiesPath(name);
                break;
            case Source::TopLevel:
                path = name;
                break;
            case Source::Lookup:
                path = propertiesPath(name.mid(7));
                break;
            case Source::Computed:
                break;
            }
            built.macros.append(Macro::create(name, path));
        }
        for (const QString &key : customFieldKeys())
            built.macros.append(Macro::create(key, key));
        for (qsizetype i = 0; i < built.macros.size(); ++i)
            built.byName.insert(built.macros[i].name, i);
        g_catalogue = std::move(built);
    }
    return g_catalogue->macros;
}

const Macro *MacroProcessor::macroNamed(const QString &name)
{
    macros();
    const auto found = g_catalogue->byName.constFind(name);
    return found == g_catalogue->byName.constEnd() ? nullptr : &g_catalogue->macros[*found];
}

const QStringList &MacroProcessor::macroNames()
{
    if (!g_names) {
        QStringList names;
        for (const Macro &macro : macros())
            names.append(macro.name);
        g_names = std::move(names);
    }
    return *g_names;
}

void MacroProcessor::resetMacros()
{
    g_catalogue.reset();
    g_names.reset();
}

QString MacroProcessor::tokenMenuSectionFor(const QString &name)
{
    const QString lower = name.toLower();
    if (startsWith(name, "Special.") || startsWith(name, "System.") || startsWith(name, "Ask:") ||
        startsWith(name, "Adjust.") || startsWith(name, "Lookup.") || lower == u"shoot" ||
        lower == u"username" || lower == u"space" || lower == u"required" ||
        startsWith(name, "Index"))
        return QStringLiteral("Special");
    if (startsWith(name, "DateImage") || startsWith(name, "DateNow"))
        return QStringLiteral("Date");
    if (startsWith(name, "Exif"))
        return QStringLiteral("Exif");
    if (startsWith(name, "TIFF."))
        return QStringLiteral("TIFF");
    if (startsWith(name, "GPS."))
        return QStringLiteral("GPS");
    if (lower.startsWith(u"maker"))
        return QStringLiteral("Maker");
    if (startsWith(name, "File"))
        return QStringLiteral("Special");
    return QStringLiteral("Macros");
}

QList<TokenMenuSection> MacroProcessor::tokenMenu()
{
    QList<TokenMenuSection> sections;
    for (const char *title : {"Macros", "Date", "Exif", "TIFF", "GPS", "Maker", "Special"})
        sections.append({QString::fromLatin1(title), {}});

    QStringList sorted = macroNames();
    // Names equal but for case keep a fixed order, so the menu never depends on chance.
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    for (const QString &name : sorted) {
        const QString title = tokenMenuSectionFor(name);
        for (TokenMenuSection &section : sections) {
            if (section.title == title) {
                section.names.append(name);
                break;
            }
        }
    }
    return sections;
}
