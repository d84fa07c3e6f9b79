#include "GeoTestSupport.h"

#include "geo/Geotag.h"
#include "items/ThumbItem.h"
#include "log/ConsoleLog.h"
#include "platform/DateReader.h"

#include <QFile>
#include <QTimeZone>

#include <random>

namespace {

const double T0 = *DateReader::read(u"2011-06-01T12:00:00Z");
const double kFeetPerDegree = 69.1 * 5280.0;

Trkpt point(double lat, double lon, double time, double ele = 0)
{
    return Trkpt{lat, lon, ele, time};
}

std::shared_ptr<Trkseg> segment(std::vector<Trkpt> points)
{
    auto s = std::make_shared<Trkseg>();
    s->trkpts = std::move(points);
    return s;
}

class MatchTest : public GeoTest
{
protected:
    void SetUp() override
    {
        GeoTest::SetUp();
        logger.setTextview(&pane);
        store->readData();
    }
    // A track held in memory, its span taken from its points (or given).
    TrkPtr addTrack(const QString &name, TrksegList segments, std::optional<double> start = {},
                    std::optional<double> end = {})
    {
        auto track = std::make_shared<Trk>(store.get());
        track->gpxfile = folder + QStringLiteral("/mem.gpx");
        track->name = name;
        track->start.time = Trk::kDistantFuture;
        track->end.time = Trk::kDistantPast;
        for (const auto &s : segments)
            for (const Trkpt &p : s->trkpts) {
                if (p.time < track->start.time)
                    track->start = p;
                if (p.time > track->end.time)
                    track->end = p;
            }
        if (start)
            track->start.time = *start;
        if (end)
            track->end.time = *end;
        track->trksegsHolder = std::move(segments);
        store->tracks().push_back(track);
        return track;
    }
    // Matches an image taken at `time` on a UTC camera clock.
    ThumbItem match(double time, const QString &zone = QStringLiteral("UTC"))
    {
        ThumbItem item;
        item.path = folder + QStringLiteral("/IMG_1.JPG");
        item.metadata = QVariantMap{};
        item.exifDatetime = time;
        if (!zone.isEmpty())
            item.metadataGenerated.insert(QStringLiteral("TimeZone"), zone);
        item.gpsLat = item.gpsLon = item.gpsEle = -1;
        Geotag::geotag(item);
        return item;
    }

    Logger logger;
    StringLogPane pane;
};

} // namespace

TEST_F(MatchTest, PlausibilityOfThePairAndInterpolation)
{
    const double lat5000 = 5000 / kFeetPerDegree;
    const double lat100 = 100 / kFeetPerDegree;
    const double lat300 = 300 / kFeetPerDegree;
    addTrack("20min", {segment({point(10, 20, T0, 100), point(10 + lat5000, 20, T0 + 1200, 200)})});
    addTrack("2h", {segment({point(30, 20, T0 + 10000), point(30 + lat100, 20, T0 + 17200)})});
    addTrack("45min", {segment({point(40, 20, T0 + 20000), point(40 + lat300, 20, T0 + 22700)})});

    ThumbItem item = match(T0 + 300);
    EXPECT_EQ(item.gpsMessage, QStringLiteral("Automatically geotagged"));
    EXPECT_DOUBLE_EQ(item.gpsLat, 10 + lat5000 / 4);
    EXPECT_DOUBLE_EQ(item.gpsLon, 20);
    EXPECT_DOUBLE_EQ(item.gpsEle, 125);

    item = match(T0 + 13600);
    EXPECT_EQ(item.gpsMessage, QStringLiteral("Automatically geotagged"));
    EXPECT_NEAR(item.gpsLat, 30 + lat100 / 2, 1e-12);

    item = match(T0 + 21000);
    EXPECT_EQ(item.gpsMessage,
              QStringLiteral("Before and after points more than 30 min. apart (45.0 min.)"));
    EXPECT_DOUBLE_EQ(item.gpsLat, -1); // left as it was
    EXPECT_EQ(pane.text(), QStringLiteral("Image IMG_1.JPG: Before and after points more than "
                                          "30 min. apart (45.0 min.)"));

    EXPECT_NEAR(TrackManagerController::distanceInFeet(point(0, 0, 0), point(lat300, 0, 0)), 300,
                0.01);
    // The east-west part shrinks with the cosine of the latitude.
    EXPECT_NEAR(TrackManagerController::distanceInFeet(point(60, 0, 0), point(60, 1, 0)),
                std::cos(60 / 57.3) * kFeetPerDegree, 1);
}

TEST_F(MatchTest, ExactTimesSegmentsAndOverlappingTracks)
{
    addTrack("A", {segment({point(1, 1, T0), point(2, 2, T0 + 60)}),
                   segment({point(3, 3, T0 + 120), point(4, 4, T0 + 180)})});
    ThumbItem item = match(T0 + 60);
    EXPECT_EQ(item.gpsMessage, QStringLiteral("Automatically geotagged"));
    EXPECT_DOUBLE_EQ(item.gpsLat, 2);
    EXPECT_DOUBLE_EQ(match(T0).gpsLat, 1);       // the track's start
    EXPECT_DOUBLE_EQ(match(T0 + 180).gpsLat, 4); // its end
    item = match(T0 + 90);                       // across the two segments
    EXPECT_EQ(item.gpsMessage, QStringLiteral("Automatically geotagged"));
    EXPECT_DOUBLE_EQ(item.gpsLat, 2.5);
    EXPECT_EQ(match(T0 - 1).gpsMessage, QStringLiteral("Track not found"));

    // A second track over the same time never gets a say, even with the better points.
    store->tracks().clear();
    addTrack("first", {segment({point(1, 1, T0), point(5, 5, T0 + 7200)})});
    addTrack("second", {segment({point(9, 9, T0 + 3590), point(9, 9, T0 + 3610)})});
    EXPECT_EQ(match(T0 + 3600).gpsMessage,
              QStringLiteral("Before and after points more than 30 min. apart (120.0 min.)"));

    // A span wider than the points, and a track without segments.
    store->tracks().clear();
    addTrack("wide", {segment({point(1, 1, T0), point(2, 2, T0 + 60)})}, T0 - 100, T0 + 100);
    EXPECT_EQ(match(T0 - 50).gpsMessage, QStringLiteral("Track found; before-point not found"));
    EXPECT_EQ(match(T0 + 80).gpsMessage,
              QStringLiteral("Track found; before-point found; after-point not found"));
    store->tracks().clear();
    addTrack("bare", {}, T0, T0 + 100);
    EXPECT_EQ(match(T0 + 50).gpsMessage, QStringLiteral("Track found; before-point not found"));
}

TEST_F(MatchTest, ZonesDaylightSavingAndAdjustment)
{
    addTrack("A", {segment({point(1, 1, T0), point(2, 2, T0 + 3600), point(3, 3, T0 + 7200)})});
    EXPECT_DOUBLE_EQ(match(T0 + 7200, QStringLiteral("Europe/Berlin DST")).gpsLat, 1);
    EXPECT_DOUBLE_EQ(match(T0 + 7200, QStringLiteral("Europe/Berlin")).gpsLat, 2);
    // January is summer in Sydney: the offset already holds its extra hour (11 h), DST adds one.
    EXPECT_EQ(TrackManagerController::zoneOffset(QStringLiteral("Australia/Sydney")), 11 * 3600);
    EXPECT_DOUBLE_EQ(
        TrackManagerController::imageTime(T0, QStringLiteral("Australia/Sydney DST"), 0),
        T0 - 12 * 3600);
    // An unknown zone is never taken for offset 0: the image is left where it was, and says why.
    const ThumbItem unknown = match(T0 + 3600, QStringLiteral("Nowhere/Special DST"));
    EXPECT_EQ(unknown.gpsMessage, QStringLiteral("Unknown time zone \"Nowhere/Special DST\"."));
    EXPECT_DOUBLE_EQ(unknown.gpsLat, -1);
    EXPECT_TRUE(pane.text().contains(
        QStringLiteral("Image IMG_1.JPG: Unknown time zone \"Nowhere/Special DST\".\n")));
    // Another letter case names the same zone.
    EXPECT_DOUBLE_EQ(match(T0 + 7200, QStringLiteral("europe/berlin dst")).gpsLat, 1);

    store->setTimeAdjustment(3600);
    EXPECT_DOUBLE_EQ(match(T0).gpsLat, 2);
    store->setTimeAdjustment(0);

    // exifDatetime 0 finds nothing unless a track spans that instant.
    EXPECT_EQ(match(0).gpsMessage, QStringLiteral("Track not found"));
    addTrack("2001", {segment({point(7, 7, -10), point(8, 8, 10)})});
    EXPECT_DOUBLE_EQ(match(0).gpsLat, 7.5);
}

TEST_F(MatchTest, TimeZoneWarningOncePerRunAndAlreadyGeotagged)
{
    const QString local = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    const double offset = TrackManagerController::zoneOffset(local);
    addTrack("A", {segment({point(1, 1, T0), point(3, 3, T0 + 100)})});
    EXPECT_DOUBLE_EQ(match(T0 + 50 + offset, QString()).gpsLat, 2); // flag off outside a run
    EXPECT_TRUE(ui.alerts.isEmpty());
    Geotag::resetTimeZoneWarning();
    match(T0 + offset, QString());
    match(T0 + offset, QString());
    EXPECT_EQ(ui.alertTexts(),
              QStringList{QStringLiteral("TimeZone not set.: Local time zone will be assumed, but "
                                         "geotagging may be wrong or missing.")});
    // An explicit zone value wins over the item's own.
    ThumbItem item;
    item.metadata = QVariantMap{};
    item.exifDatetime = T0 + 3600 + 50;
    item.metadataGenerated.insert(QStringLiteral("TimeZone"), QStringLiteral("UTC"));
    store->geotag(item, QStringLiteral("Europe/Berlin"));
    EXPECT_DOUBLE_EQ(item.gpsLat, 2);

    // Only a latitude and a longitude with their references are a position of the image's own;
    // a block with a version tag alone, or half a position, is matched like no block at all.
    const QVariantMap versionOnly{{QStringLiteral("GPSVersion"), QVariantList{2, 3, 0, 0}}};
    QVariantMap halfPosition{{QStringLiteral("Latitude"), 51.5},
                             {QStringLiteral("LatitudeRef"), QStringLiteral("N")},
                             {QStringLiteral("Longitude"), 0.1}};
    item.exifDatetime = T0 + 100;
    for (const QVariantMap &gps : {QVariantMap{}, versionOnly, halfPosition}) {
        item.gpsMessage = QStringLiteral("old");
        item.gpsLat = 0;
        item.metadata = QVariantMap{{QStringLiteral("{GPS}"), gps}};
        store->geotag(item, QStringLiteral("UTC"));
        EXPECT_EQ(item.gpsMessage, QStringLiteral("Automatically geotagged"));
        EXPECT_DOUBLE_EQ(item.gpsLat, 3);
    }
    halfPosition.insert(QStringLiteral("LongitudeRef"), QStringLiteral("W"));
    item.gpsLat = 0;
    item.metadata = QVariantMap{{QStringLiteral("{GPS}"), halfPosition}};
    store->geotag(item);
    EXPECT_EQ(item.gpsMessage, QStringLiteral("Already geotagged"));
    EXPECT_DOUBLE_EQ(item.gpsLat, 0);
}

// A stored track's points are read from its file on first use; a file gone since ends the
// match without a before-point, and every later use tries (and alerts) again.
TEST_F(MatchTest, SegmentsAreReadOnFirstUseAndRetriedWhenTheFileIsGone)
{
    const QString path =
        writeGpx("gone.gpx", "<trk><name>G</name><trkseg>" + trkpt(1, 1, "2011-06-01T12:00:00Z") +
                                 trkpt(2, 2, "2011-06-01T12:01:00Z") + "</trkseg></trk>");
    store->addFiles({path});
    store->save();
    restart();
    store->readData();
    ASSERT_EQ(store->tracks().size(), 1u);
    EXPECT_DOUBLE_EQ(match(T0 + 30).gpsLat, 1.5);

    restart();
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(match(T0 + 30).gpsMessage, QStringLiteral("Track found; before-point not found"));
    EXPECT_EQ(match(T0 + 30).gpsMessage, QStringLiteral("Track found; before-point not found"));
    EXPECT_EQ(ui.alertTexts(), QStringList(2, QStringLiteral("Can't read file: ") + path));
}

// The search with binary steps must answer exactly what the point-by-point walk answers.
TEST(PointPairSearch, AgreesWithThePlainWalkOnRandomTracks)
{
    std::mt19937 random(20110601);
    std::uniform_int_distribution<int> small(0, 6);
    for (int round = 0; round < 4000; ++round) {
        TrksegList segments;
        const int segmentCount = small(random);
        for (int s = 0; s < segmentCount; ++s) {
            auto seg = std::make_shared<Trkseg>();
            const int n = small(random) * (round % 5 == 0 ? 20 : 1);
            const int kind = small(random) % 3; // ordered, ordered with repeats, shuffled
            double time = std::uniform_int_distribution<int>(0, 40)(random);
            for (int i = 0; i < n; ++i) {
                seg->trkpts.push_back(Trkpt{double(i), double(s), 0, time});
                if (kind == 0)
                    time += std::uniform_int_distribution<int>(1, 5)(random);
                else if (kind == 1)
                    time += std::uniform_int_distribution<int>(0, 2)(random);
                else
                    time = std::uniform_int_distribution<int>(0, 60)(random);
            }
            segments.push_back(seg);
        }
        for (double t = -2; t <= 70; t += 0.5) {
            const auto walk = TrackManagerController::findPointPairByWalk(segments, t);
            const auto fast = TrackManagerController::findPointPair(segments, t);
            ASSERT_EQ(walk.before, fast.before) << "round " << round << " t " << t;
            ASSERT_EQ(walk.after, fast.after) << "round " << round << " t " << t;
        }
    }
}
