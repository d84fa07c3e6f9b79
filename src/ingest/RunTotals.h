#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

// Where every ticked file of a run ended up. Each one lands in exactly one bucket, so
// planned == copied + duplicates + failed + stopped holds for every run, however it ends.
struct RunTotals
{
    int planned = 0;    // ticked when the run started
    int copied = 0;     // placed under their final names (downloads included)
    int duplicates = 0; // already there: skipped
    int failed = 0;     // tried and not placed
    int stopped = 0;    // never tried: the run stopped (an error or the user) before them

    struct Failure
    {
        QString file;    // the item's title
        QString message; // what the user was told
    };
    QList<Failure> failures;

    bool balanced() const { return planned == copied + duplicates + failed + stopped; }
    // "Planned: 5; Copied: 3; Duplicates: 1; Failed: 1; Stopped: 0"
    QString line() const;
    // The same as a JSON object, with the failures.
    QByteArray json(const QString &status, int copiedToBackup, int copiedToBackup2) const;
};

// Tells when reading the source keeps failing on one volume: after `limit` failures in a row
// on the same device (no success between), the card has most likely been removed.
class SourceFailureWatch
{
public:
    explicit SourceFailureWatch(int limit = 3) : m_limit(limit) {}

    void reset() { m_count = 0; }
    void succeeded() { m_count = 0; }
    // A failure reading `sourcePath`; true when the run should end.
    bool failed(const QString &sourcePath);
    int count() const { return m_count; }

private:
    int m_limit;
    int m_count = 0;
    dev_t m_device = 0;
    bool m_haveDevice = false;
};
