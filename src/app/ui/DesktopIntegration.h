#pragma once

#include "app/RunNotifier.h"
#include "platform/UDisksVolumes.h"
#include "sources/CardArrivals.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

class CardPrompt;
class DesktopNotifications;
class QAction;
class QMenu;
class QuorvaneAppDelegate;
struct Notification;

// The program as a citizen of the Linux desktop: cards put in are offered ("Ingest from
// CARD?") or ingested straight away with the preset marked for it, the card of a run can be
// ejected (the main window's Eject Card button and the Card menu), and a long run calls the
// photographer back through the desktop's notifications. Without a disk service or a
// notification service the program works as before, without these. Main thread only.
class DesktopIntegration : public QObject
{
    Q_OBJECT

public:
    // The program hands in the system and session buses; tests hand in private ones.
    DesktopIntegration(QuorvaneAppDelegate &delegate, const QDBusConnection &systemBus,
                       const QDBusConnection &sessionBus, QObject *parent = nullptr);
    ~DesktopIntegration() override;

    // Starts following the disk service.
    void start();

    UDisksVolumes &volumes() { return *m_volumes; }
    RunNotifier &runNotifier() { return *m_runNotifier; }
    // The card of the last run, while it is still mounted.
    std::optional<RemovableVolume> ejectableCard() const;
    // The prompt shown for a volume, if any.
    CardPrompt *promptFor(const QString &objectPath) const;
    // Cards waiting for the program to be free.
    bool hasWaitingCards() const { return m_arrivals.hasWaiting(); }

    // Ejects the card of the last run.
    void actionEjectCard();

    // The Card menu of the main window.
    QMenu *menuCard = nullptr;
    QAction *actionNoDiskService = nullptr;
    QAction *actionEject = nullptr;
    QAction *actionOfferCards = nullptr;
    QAction *actionOfferAnyVolume = nullptr;
    QAction *actionAutoIngest = nullptr;
    QAction *actionAutoIngestPreset = nullptr;
    QAction *actionEjectAfterIngest = nullptr;

Q_SIGNALS:
    // A card was offered: a prompt is up, or its automatic run has ended.
    void cardOffered(const QString &objectPath);

private:
    void buildMenu();
    void refreshMenu();
    void showEjectState();
    bool isBusy() const;
    void volumeMounted(const RemovableVolume &volume);
    void volumeUnmounted(const RemovableVolume &volume);
    void offerWaiting();
    void showPrompt(const RemovableVolume &volume);
    void openCard(const RemovableVolume &volume);
    void autoIngest(const CardOffer &offer);
    void runMarkersChanged(const Notification &note);
    void runComplete();
    void ejectFinished(const RemovableVolume &volume, const EjectResult &result);

    QuorvaneAppDelegate &m_delegate;
    std::unique_ptr<UDisksVolumes> m_volumes;
    std::unique_ptr<DesktopNotifications> m_notifications;
    std::unique_ptr<RunNotifier> m_runNotifier;
    UserInterface *m_previousUserInterface = nullptr;
    CardArrivals m_arrivals;
    QHash<QString, QPointer<CardPrompt>> m_prompts;
    QTimer m_retry;
    // The run under way: begun, started by a card, over which card.
    bool m_runActive = false;
    bool m_automaticRunPending = false;
    std::optional<RemovableVolume> m_runCard;
    std::optional<RemovableVolume> m_lastRunCard;
};
