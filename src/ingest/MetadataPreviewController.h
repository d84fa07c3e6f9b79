#pragma once

#include "items/ThumbItem.h"

#include <QString>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

// The data half of the ingestion preview: which ticked items are listed, the text block shown
// for each, row heights, which rows are red or carry a map link, and where that link goes. The
// window (in ui/) draws what this decides. Main thread only.
class MetadataPreviewController
{
public:
    // Handed over after the driver's preview run: all items of the main window, and how many
    // ticked ones still have required data missing.
    ThumbItemList items;
    ThumbItemList itemsChecked;
    int numMissingData = 0;

    // Refresh: recomputes `itemsChecked` and the title; with nothing ticked, alerts
    // "Nothing to preview.". Answers whether there is anything to list.
    bool go();
    QString windowTitle() const;

    int numberOfRows() const { return int(itemsChecked.size()); }
    // Column "1" the thumbnail (a HeldImage), "2" the text block, anything else the empty string.
    QVariant cellValue(const QString &column, int row) const;
    int heightOfRow(int row) const;
    // Whether the map-link cell (column "3") is shown, and whether the text (column "2") is red.
    bool showsMapLink(int row) const;
    bool isRed(int row) const;
    // The web map address for a row's position; an empty URL for a row out of range.
    QUrl mapLinkAddress(int row) const;

    // The text block of an item. Records the image's own position in gpsLatTemp/gpsLonTemp.
    static QString formatMetadata(ThumbItem &item);
    // Signed latitude, longitude and elevation from a "{GPS}" property dictionary.
    static void getCoordinates(const QVariantMap &gps, double &lat, double &lon, double &ele);

private:
    ThumbItem *itemAt(int row) const;
};
