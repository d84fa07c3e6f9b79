#pragma once

#include "platform/RemovableVolume.h"

#include <QList>
#include <QString>

#include <optional>

class SetupController;

// What to do with a card that was put in.
struct CardOffer
{
    RemovableVolume volume;
    // The preset to ingest it with straight away; empty: ask first.
    QString autoIngestPreset;
};

// The texts of an eject's outcome: a line for the log pane, and for a failure an alert.
struct EjectReport
{
    QString logLine;
    bool failed = false;
    QString alertTitle;
    QString alertMessage;
};

// Cards put in while the program runs: which volumes are offered, which wait (nothing is offered
// while a run or a modal window is up), and what happens to each when its turn comes. Also the
// one preset marked for automatic ingest, and the texts of the prompt and of an eject. The window
// half shows the prompt and starts the runs. Main thread only.
class CardArrivals
{
public:
    // A volume is offered when it has a "DCIM" folder at its top (in any letter case), or, with
    // `anyVolume`, whatever it holds.
    static bool isOffered(const RemovableVolume &volume, bool anyVolume);

    // The preset marked for automatic ingest: the current one when it is marked, else the first
    // marked one in list order; empty when none is (a damaged preset file never counts).
    static QString autoIngestPreset(SetupController &presets);
    // Marks `name` as the preset for automatic ingest and unmarks every other one, changing only
    // that key of their files (the preset in use is saved as its window saves it); an empty name
    // unmarks them all. The reason when a file could not be written.
    static std::optional<QString> setAutoIngestPreset(SetupController &presets,
                                                      const QString &name);

    // A volume was mounted: it waits for its turn when it is offered under the preferences.
    bool mounted(const RemovableVolume &volume);
    // A volume went away: it no longer waits.
    void unmounted(const RemovableVolume &volume);
    bool hasWaiting() const { return !m_waiting.isEmpty(); }
    // The card whose turn it is, with what to do: decided now, so the preferences and presets
    // of this moment count.
    std::optional<CardOffer> takeNext(SetupController &presets);

    // "Ingest from EOS_DIGITAL?"
    static QString promptText(const RemovableVolume &volume);
    static EjectReport ejectReport(const RemovableVolume &volume, const EjectResult &result);

private:
    QList<RemovableVolume> m_waiting;
};
