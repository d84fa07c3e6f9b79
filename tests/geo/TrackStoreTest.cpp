#include "GeoTestSupport.h"

#include "geo/GpxReader.h"
#include "platform/DateReader.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

double at(const char *text)
{
    return *DateReader::read(QString::fromUtf8(text));
}

} // namespace

TEST_F(GeoTest, ReadsPointsWithWholeAndFractionalSecondsAndPassesOverUntimedOnes)
{
    const QString path =
        writeGpx("walk.gpx", "<trk><name>Walk</name><trkseg>" +
                                 trkpt(1, 2, "2011-06-01T17:02:41.250Z", "<ele>12.5</ele>") +
                                 "<trkpt lat=\"5\" lon=\"6\"><ele>3</ele></trkpt>" // no time
                                 + trkpt(3, 4, "2011-06-01T17:03:00Z") +
                                 "<trkpt lat=\"7\" lon=\"8\"><time>yesterday</time></trkpt>" +
                                 "<trkpt><time>2011-06-01T17:04:00Z</time></trkpt>" // no lat/lon
                                 + "</trkseg></trk>"
                                   "<trk><name>Untimed</name><trkseg><trkpt lat=\"1\" lon=\"1\"/>"
                                   "</trkseg></trk>");
    store->readData();
    ASSERT_TRUE(store->loadGPXFile(path, true));
    ASSERT_EQ(store->tracks().size(), 1u);
    const TrkPtr track = store->tracks()[0];
    EXPECT_EQ(track->name, QStringLiteral("Walk"));
    EXPECT_EQ(track->gpxfile, path);
    const TrksegList &segments = track->trksegs();
    ASSERT_EQ(segments.size(), 1u);
    const auto &points = segments[0]->trkpts;
    ASSERT_EQ(points.size(), 3u);
    EXPECT_DOUBLE_EQ(points[0].time, at("2011-06-01T17:02:41Z"));
    EXPECT_DOUBLE_EQ(points[0].ele, 12.5);
    EXPECT_DOUBLE_EQ(points[1].ele, 0);
    EXPECT_DOUBLE_EQ(points[1].lat, 3);
    EXPECT_DOUBLE_EQ(points[2].lat, 0);
    EXPECT_DOUBLE_EQ(points[2].lon, 0);
    EXPECT_DOUBLE_EQ(track->start.time, points[0].time);
    EXPECT_DOUBLE_EQ(track->end.time, at("2011-06-01T17:04:00Z"));
}

TEST_F(GeoTest, NamesPrefixesSegmentsAndMergedTracks)
{
    const QString path = writeGpx(
        "names.gpx",
        "<trk><name></name><trkseg>" + trkpt(1, 1, "2011-01-01T10:00:00Z") +
            "</trkseg><trkseg></trkseg></trk>"
            "<trk><trkseg>" +
            trkpt(2, 2, "2011-01-01T09:00:00Z") +
            "</trkseg></trk>" // also unnamed: merged with the first
            "<trk><name>Hidden</name><trkseg><g:trkpt xmlns:g=\"x\" lat=\"1\" lon=\"1\">"
            "<time>2011-01-01T10:00:00Z</time></g:trkpt></trkseg></trk>"
            "<trk><x:name xmlns:x=\"y\">NotThis</x:name><name>  </name><name>Late name</name>"
            "<trkseg>" +
            trkpt(3, 3, "2011-02-01T10:00:00Z") +
            "</trkseg></trk>"
            "<trk><name>Late name</name><trkseg></trkseg></trk>"); // empty: keeps the points
    store->readData();
    ASSERT_TRUE(store->loadGPXFile(path, true));
    ASSERT_EQ(store->tracks().size(), 2u);
    const TrkPtr unnamed = store->tracks()[0];
    EXPECT_EQ(unnamed->name, QStringLiteral("[Unnamed Track]"));
    // The later track's segments replace the earlier's; start and end span both.
    ASSERT_EQ(unnamed->trksegs().size(), 1u);
    EXPECT_DOUBLE_EQ(unnamed->trksegs()[0]->trkpts[0].lat, 2);
    EXPECT_DOUBLE_EQ(unnamed->start.time, at("2011-01-01T09:00:00Z"));
    EXPECT_DOUBLE_EQ(unnamed->end.time, at("2011-01-01T10:00:00Z"));
    EXPECT_EQ(store->tracks()[1]->name, QStringLiteral("Late name"));
    EXPECT_EQ(store->tracks()[1]->trksegs().size(), 1u);

    // Found again by its stored name after a restart, and re-reading keeps one entry each.
    store->setDirty(true);
    store->gpxfiles().append(path);
    store->save();
    restart();
    store->readData();
    ASSERT_EQ(store->tracks().size(), 2u);
    EXPECT_EQ(store->tracks()[0]->name, QStringLiteral("[Unnamed Track]"));
    EXPECT_FALSE(store->tracks()[0]->trksegsHolder.has_value());
    EXPECT_DOUBLE_EQ(store->tracks()[0]->start.time, at("2011-01-01T09:00:00Z"));
    ASSERT_TRUE(store->loadGPXFile(path, false));
    ASSERT_TRUE(store->loadGPXFile(path, true));
    EXPECT_EQ(store->tracks().size(), 2u);
    EXPECT_EQ(store->tracks()[0]->trksegs().size(), 1u);
    EXPECT_TRUE(store->tracks()[1]->trksegsHolder.has_value());
}

TEST_F(GeoTest, PointListForTheMapAndTracksOutsideSegments)
{
    const QString path =
        writeGpx("map.gpx", "<trk><name>A</name>" + trkpt(9, 9, "2010-01-01T00:00:00Z") +
                                "<trkseg>" + trkpt(1, 2, "2011-01-01T00:00:00Z") +
                                trkpt(3, 4, "2011-01-01T00:01:00Z") + "</trkseg></trk>");
    store->readData();
    ASSERT_TRUE(store->loadGPXFile(path, false));
    EXPECT_EQ(store->trackpoints(), QStringLiteral("[[2.000000, 1.000000],[4.000000, 3.000000],]"));
    EXPECT_TRUE(store->tracks().empty()); // the map's reading adds nothing
    ASSERT_TRUE(store->loadGPXFile(path, true));
    ASSERT_EQ(store->tracks().size(), 1u);
    // The point outside any segment counts for the span only.
    EXPECT_DOUBLE_EQ(store->tracks()[0]->start.lat, 9);
    EXPECT_EQ(store->tracks()[0]->trksegs()[0]->trkpts.size(), 2u);

    const QString empty = writeGpx("empty.gpx", "<wpt lat=\"1\" lon=\"2\"/>");
    ASSERT_TRUE(store->loadGPXFile(empty, false));
    EXPECT_EQ(store->trackpoints(), QStringLiteral("[]"));
}

TEST_F(GeoTest, PropertyListsRoundTripAndMissingTracksFile)
{
    const QString a =
        writeGpx("b.gpx", "<trk><name>T</name><trkseg>" +
                              trkpt(1, 2, "2011-01-01T00:00:00Z", "<ele>5</ele>") +
                              trkpt(3, 4, "2011-01-01T01:00:00Z") + "</trkseg></trk>");
    const QString b =
        writeGpx("A.gpx", "<trk><name>U</name><trkseg>" + trkpt(1, 2, "2012-01-01T00:00:00Z") +
                              "</trkseg></trk>");
    EXPECT_EQ(store->addFiles({a, b, a}), a);
    EXPECT_EQ(ui.alertTexts(), QStringList{QStringLiteral("Track already loaded.: ") + a});
    ASSERT_EQ(ui.progresses.size(), 1);
    EXPECT_EQ(ui.progresses[0]->options.message, QStringLiteral("Loading 3 files."));
    EXPECT_EQ(store->gpxfiles(), (QStringList{b, a})); // without regard to case
    store->save();
    EXPECT_FALSE(store->isDirty());

    const auto tracks = PropertyList::read(store->tracksPath());
    ASSERT_TRUE(tracks);
    const QVariantMap first = tracks->toList().at(0).toMap();
    EXPECT_EQ(first.value("gpxfile").toString(), a);
    EXPECT_EQ(first.value("name").toString(), QStringLiteral("T"));
    EXPECT_DOUBLE_EQ(first.value("start-ele").toDouble(), 5);
    EXPECT_DOUBLE_EQ(first.value("end-lat").toDouble(), 3);
    EXPECT_DOUBLE_EQ(first.value("end-time").toDouble(), at("2011-01-01T01:00:00Z"));

    // Removing an unknown file changes nothing; removing a known one drops only its tracks.
    store->removeTracksInFile(folder + QStringLiteral("/nothing.gpx"));
    EXPECT_EQ(store->tracks().size(), 2u);

    QFile::remove(store->tracksPath());
    restart();
    store->readData();
    EXPECT_EQ(store->gpxfiles().size(), 2);
    EXPECT_TRUE(store->tracks().empty());
    EXPECT_EQ(store->listing(a), a + QStringLiteral("\n\nGPX file contains no tracks."));
    store->removeFiles({a});
    EXPECT_EQ(store->addFiles({a}), a);
    EXPECT_EQ(store->tracks().size(), 1u);
    EXPECT_TRUE(store->listing(a).contains(QStringLiteral(
        "Track T\n\tStart:\n\t\tLat 1.000000\n\t\tLon 2.000000\n\t\tAlt 5.000000\n\t\t"
        "2011-01-01 00:00:00 +0000\n\tEnd:\n")));
}

TEST_F(GeoTest, DamagedUnreadableAndGarbageStoreFiles)
{
    store->readData();
    const QString damaged = writeGpx("damaged.gpx", "<trk><name>X</name><trkseg>" +
                                                        trkpt(1, 2, "2011-01-01T00:00:00Z") +
                                                        "</trkseg></trk><trk><trkseg>");
    EXPECT_FALSE(store->loadGPXFile(damaged, true));
    EXPECT_TRUE(store->tracks().empty()); // nothing from the part read before the damage
    ASSERT_EQ(ui.alerts.size(), 1);
    EXPECT_EQ(ui.alerts[0].title, QStringLiteral("Error parsing GPX file ") + damaged);
    EXPECT_FALSE(ui.alerts[0].message.isEmpty());
    ASSERT_FALSE(systemLog.isEmpty());
    EXPECT_TRUE(systemLog.last().startsWith(QStringLiteral("Error parsing GPX file: ")));
    EXPECT_TRUE(systemLog.last().endsWith(QStringLiteral("\n----------GPX: ") + damaged));

    const QString missing = folder + QStringLiteral("/missing.gpx");
    EXPECT_FALSE(store->loadGPXFile(missing, true));
    EXPECT_EQ(ui.alertTexts().last(), QStringLiteral("Can't read file: ") + missing);
    EXPECT_EQ(systemLog.last(),
              QStringLiteral("Error parsing GPX: failed to read file ") + missing);
    EXPECT_FALSE(store->loadGPXFile(folder, true)); // a folder is not a file

    // Garbage where the property lists belong reads as empty lists.
    restart();
    writeTestFile(folder + QStringLiteral("/GPS/gpxfiles.plist"), "not a plist");
    writeTestFile(folder + QStringLiteral("/GPS/tracks.plist"),
                  PropertyList::toXml(QVariantList{QStringLiteral("odd"), QVariantMap{}}));
    store->readData();
    EXPECT_TRUE(store->gpxfiles().isEmpty());
    ASSERT_EQ(store->tracks().size(), 1u); // the dictionary, with zeros
    EXPECT_DOUBLE_EQ(store->tracks()[0]->end.time, 0);

    // A failed write is a system-log line and the store stays as it is.
    restart();
    store->readData();
    QFile::remove(folder + QStringLiteral("/GPS/gpxfiles.plist"));
    QFile::remove(folder + QStringLiteral("/GPS/tracks.plist"));
    QDir(folder).mkpath(QStringLiteral("GPS/gpxfiles.plist/blocked"));
    QDir(folder).mkpath(QStringLiteral("GPS/tracks.plist/blocked"));
    store->gpxfiles().append(damaged);
    store->setDirty(true);
    store->save();
    EXPECT_TRUE(systemLog.contains(QStringLiteral("Failed to write gpxfiles")));
    EXPECT_TRUE(systemLog.contains(QStringLiteral("Failed to write tracks")));
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(store->gpxfiles().size(), 1);
}

TEST(GpxReader, DecimalsAreReadLeniently)
{
    EXPECT_DOUBLE_EQ(GpxReader::parseDecimal(u" -12.5e1xyz"), -125);
    EXPECT_DOUBLE_EQ(GpxReader::parseDecimal(u"+.5"), 0.5);
    EXPECT_DOUBLE_EQ(GpxReader::parseDecimal(u"7e"), 7);
    EXPECT_DOUBLE_EQ(GpxReader::parseDecimal(u"abc"), 0);
    EXPECT_DOUBLE_EQ(GpxReader::parseDecimal(u"inf"), 0);
    EXPECT_DOUBLE_EQ(GpxReader::parseDecimal(u""), 0);
    EXPECT_DOUBLE_EQ(GpxReader::parseDecimal(u"1e999"), 0);
}

TEST_F(GeoTest, RealGpxSamples)
{
    const QString data = sharedTestData();
    if (data.isEmpty() || !QFileInfo::exists(data + QStringLiteral("/gpx")))
        GTEST_SKIP() << "shared test data absent";
    store->readData();
    ASSERT_TRUE(store->loadGPXFile(data + QStringLiteral("/gpx/segmented_tracks.gpx"), true));
    std::size_t segments = 0, points = 0;
    for (const TrkPtr &track : store->tracks()) {
        segments += track->trksegs().size();
        for (const auto &segment : track->trksegs())
            points += segment->trkpts.size();
    }
    // Its first track has no times at all and is left out.
    ASSERT_EQ(store->tracks().size(), 1u);
    EXPECT_EQ(store->tracks()[0]->name, QStringLiteral("With Times"));
    EXPECT_EQ(segments, 3u);
    EXPECT_EQ(points, 4u);
    ASSERT_TRUE(store->loadGPXFile(data + QStringLiteral("/gpx/gpx_subsecond-sample.gpx"), true));
    const TrkPtr sub = store->tracks().back();
    EXPECT_DOUBLE_EQ(sub->start.time, at("2011-07-02T17:47:25Z"));
    EXPECT_DOUBLE_EQ(sub->end.time, at("2011-07-02T17:47:26Z"));
    const auto before = store->tracks().size();
    ASSERT_TRUE(store->loadGPXFile(data + QStringLiteral("/gpx/route.gpx"), true));
    EXPECT_EQ(store->tracks().size(), before); // routes are not tracks
}
