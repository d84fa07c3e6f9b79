#include "app/ui/DesktopIntegration.h"

#include "app/ui/CardPrompt.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "ingest/IngestFiles.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "metadata/Prefs.h"
#include "platform/DesktopNotifications.h"
#include "platform/NotificationCenter.h"
#include "presets/SetupController.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace {

// Every item of the list is a file on the volume: the list really came from the card.
bool itemsFromVolume(const ThumbItemList &items, const RemovableVolume &volume)
{
    const QString root = QDir::cleanPath(volume.mountPoint) + QLatin1Char('/');
    if (items.isEmpty())
        return false;
    for (const ThumbItemPtr &item : items)
        if (item->isCameraItem() || !QDir::cleanPath(item->path).startsWith(root))
            return false;
    return true;
}

QAction *prefAction(QMenu *menu, const QString &text, const Prefs::Key &key, const char *name)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    action->setChecked(Prefs::boolean(key));
    QObject::connect(action, &QAction::toggled, action, [&key](bool on) { Prefs::set(key, on); });
    return action;
}

} // namespace

DesktopIntegration::DesktopIntegration(QuorvaneAppDelegate &delegate,
                                       const QDBusConnection &systemBus,
                                       const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent), m_delegate(delegate), m_volumes(std::make_unique<UDisksVolumes>(systemBus)),
      m_notifications(std::make_unique<DesktopNotifications>(sessionBus))
{
    // In front of the program's user interface, so an alert that holds a run can call the
    // photographer back.
    m_previousUserInterface = &UserInterface::instance();
    m_runNotifier = std::make_unique<RunNotifier>(*m_previousUserInterface, *m_notifications);
    m_runNotifier->setActiveProbe(
        [] { return QGuiApplication::applicationState() == Qt::ApplicationActive; });
    UserInterface::setInstance(m_runNotifier.get());

    connect(m_volumes.get(), &UDisksVolumes::volumeMounted, this,
            &DesktopIntegration::volumeMounted);
    connect(m_volumes.get(), &UDisksVolumes::volumeUnmounted, this,
            &DesktopIntegration::volumeUnmounted);
    connect(m_volumes.get(), &UDisksVolumes::ejectFinished, this,
            &DesktopIntegration::ejectFinished);
    connect(m_volumes.get(), &UDisksVolumes::ready, this, &DesktopIntegration::refreshMenu);
    connect(m_volumes.get(), &UDisksVolumes::availabilityChanged, this,
            &DesktopIntegration::refreshMenu);

    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(this, QStringLiteral("UpdateImageMarkers"),
                       [this](const Notification &note) { runMarkersChanged(note); });
    center.addObserver(this, QStringLiteral("IngestionComplete"),
                       [this](const Notification &) { runComplete(); });

    // A card that arrives while a run or a modal window is up waits; this looks again.
    m_retry.setInterval(500);
    connect(&m_retry, &QTimer::timeout, this, &DesktopIntegration::offerWaiting);

    connect(m_delegate.window()->buttonEject, &QPushButton::clicked, this,
            &DesktopIntegration::actionEjectCard);
    buildMenu();
}

DesktopIntegration::~DesktopIntegration()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (&UserInterface::instance() == m_runNotifier.get())
        UserInterface::setInstance(m_previousUserInterface);
    for (const QPointer<CardPrompt> &prompt : std::as_const(m_prompts))
        delete prompt.data();
}

void DesktopIntegration::start()
{
    m_volumes->start();
}

void DesktopIntegration::buildMenu()
{
    MainWindow *window = m_delegate.window();
    menuCard = new QMenu(QStringLiteral("C&ard"), window);
    menuCard->setObjectName(QStringLiteral("menuCard"));
    actionNoDiskService = menuCard->addAction(QStringLiteral("No Disk Service (UDisks2) Running"));
    actionNoDiskService->setObjectName(QStringLiteral("actionNoDiskService"));
    connect(actionNoDiskService, &QAction::triggered, this, [] {
        UserInterface::instance().alert(
            QStringLiteral("Cards can't be noticed."),
            QStringLiteral("The system's disk service (UDisks2) is not running, so cards put in "
                           "are not offered and can't be ejected here. On Debian it is the "
                           "package udisks2."),
            AlertStyle::Informational);
    });
    actionEject = menuCard->addAction(QStringLiteral("&Eject Card"));
    actionEject->setObjectName(QStringLiteral("actionEjectCard"));
    actionEject->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(actionEject, &QAction::triggered, this, &DesktopIntegration::actionEjectCard);
    menuCard->addSeparator();
    actionOfferCards = prefAction(menuCard, QStringLiteral("&Ask When a Card Is Put In"),
                                  Prefs::OfferCards, "actionOfferCards");
    actionOfferAnyVolume =
        prefAction(menuCard, QStringLiteral("Also Offer &Other Removable Drives"),
                   Prefs::OfferAnyRemovableVolume, "actionOfferAnyVolume");
    actionAutoIngest = prefAction(menuCard, QStringLiteral("&Ingest Cards Automatically"),
                                  Prefs::AutoIngestCards, "actionAutoIngest");
    actionAutoIngestPreset = menuCard->addAction(QStringLiteral("Use This &Preset for Cards"));
    actionAutoIngestPreset->setObjectName(QStringLiteral("actionAutoIngestPreset"));
    actionAutoIngestPreset->setCheckable(true);
    connect(actionAutoIngestPreset, &QAction::triggered, this, [this](bool on) {
        SetupController *presets = m_delegate.setupController();
        if (!presets)
            return;
        const auto problem = CardArrivals::setAutoIngestPreset(
            *presets, on ? presets->currentSetupName() : QString());
        if (problem)
            UserInterface::instance().alert(QStringLiteral("Can't mark the preset."), *problem);
        refreshMenu();
    });
    actionEjectAfterIngest = prefAction(menuCard, QStringLiteral("E&ject Cards After Ingest"),
                                        Prefs::EjectAfterIngest, "actionEjectAfterIngest");
    connect(menuCard, &QMenu::aboutToShow, this, &DesktopIntegration::refreshMenu);

    // Before Help, where desktop programs keep it last.
    QAction *before = nullptr;
    for (QAction *action : window->menuBar()->actions())
        if (action->menu() &&
            action->menu()->title().remove(QLatin1Char('&')) == QLatin1String("Help"))
            before = action;
    window->menuBar()->insertMenu(before, menuCard);
    refreshMenu();
}

void DesktopIntegration::refreshMenu()
{
    const bool available = m_volumes->isAvailable();
    actionNoDiskService->setVisible(m_volumes->isReady() && !available);
    for (QAction *action : {actionOfferCards, actionOfferAnyVolume, actionAutoIngest,
                            actionEjectAfterIngest, actionAutoIngestPreset})
        action->setEnabled(available);
    for (auto [action, key] : {std::pair{actionOfferCards, &Prefs::OfferCards},
                               std::pair{actionOfferAnyVolume, &Prefs::OfferAnyRemovableVolume},
                               std::pair{actionAutoIngest, &Prefs::AutoIngestCards},
                               std::pair{actionEjectAfterIngest, &Prefs::EjectAfterIngest}}) {
        const QSignalBlocker quiet(action);
        action->setChecked(Prefs::boolean(*key));
    }
    // Only a saved, sound preset can carry the mark.
    SetupController *presets = m_delegate.setupController();
    const QString current = presets ? presets->currentSetupName() : QString();
    const bool saved = presets && QFileInfo::exists(presets->presetPath(current)) &&
                       !presets->presetFileProblem(current);
    QString shown = current;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    actionAutoIngestPreset->setText(saved
                                        ? QStringLiteral("Use &Preset \"%1\" for Cards").arg(shown)
                                        : QStringLiteral("Use This &Preset for Cards"));
    actionAutoIngestPreset->setEnabled(available && saved);
    const QSignalBlocker quiet(actionAutoIngestPreset);
    actionAutoIngestPreset->setChecked(
        saved && presets->currentSetup().paramBool(QLatin1String(SetupKeys::AutoIngest)));
    showEjectState();
}

std::optional<RemovableVolume> DesktopIntegration::ejectableCard() const
{
    if (!m_lastRunCard)
        return std::nullopt;
    return m_volumes->volume(m_lastRunCard->objectPath);
}

void DesktopIntegration::showEjectState()
{
    const std::optional<RemovableVolume> card = ejectableCard();
    const bool ejecting = card && m_volumes->isEjecting(card->objectPath);
    QPushButton *button = m_delegate.window()->buttonEject;
    button->setVisible(card.has_value());
    button->setEnabled(card && !ejecting);
    button->setText(ejecting ? QStringLiteral("Ejecting...") : QStringLiteral("Eject Card"));
    if (card)
        button->setToolTip(QStringLiteral("Unmount \"%1\" and power off its reader, so the card "
                                          "can be taken out (Ctrl+Shift+E)")
                               .arg(card->name()));
    actionEject->setEnabled(card && !ejecting);
}

bool DesktopIntegration::isBusy() const
{
    return QuorvaneAppDelegate::isIngesting() || QApplication::activeModalWidget() != nullptr;
}

void DesktopIntegration::volumeMounted(const RemovableVolume &volume)
{
    if (m_arrivals.mounted(volume))
        QTimer::singleShot(0, this, &DesktopIntegration::offerWaiting);
}

void DesktopIntegration::volumeUnmounted(const RemovableVolume &volume)
{
    m_arrivals.unmounted(volume);
    if (CardPrompt *prompt = promptFor(volume.objectPath))
        prompt->close();
    m_prompts.remove(volume.objectPath);
    if (m_lastRunCard && m_lastRunCard->objectPath == volume.objectPath)
        m_lastRunCard.reset();
    showEjectState();
}

void DesktopIntegration::offerWaiting()
{
    if (!m_arrivals.hasWaiting()) {
        m_retry.stop();
        return;
    }
    if (isBusy()) {
        m_retry.start();
        return;
    }
    SetupController *presets = m_delegate.setupController();
    if (!presets)
        return;
    // One card at a time: an automatic run makes the program busy again, the next waits.
    const std::optional<CardOffer> offer = m_arrivals.takeNext(*presets);
    if (!offer || !m_volumes->volume(offer->volume.objectPath)) {
        QTimer::singleShot(0, this, &DesktopIntegration::offerWaiting);
        return;
    }
    if (offer->autoIngestPreset.isEmpty())
        showPrompt(offer->volume);
    else
        autoIngest(*offer);
    if (m_arrivals.hasWaiting())
        QTimer::singleShot(0, this, &DesktopIntegration::offerWaiting);
}

CardPrompt *DesktopIntegration::promptFor(const QString &objectPath) const
{
    return m_prompts.value(objectPath).data();
}

void DesktopIntegration::showPrompt(const RemovableVolume &volume)
{
    if (CardPrompt *open = promptFor(volume.objectPath)) {
        open->raise();
        return;
    }
    auto *prompt =
        new CardPrompt(CardArrivals::promptText(volume), volume.mountPoint, m_delegate.window());
    m_prompts.insert(volume.objectPath, prompt);
    connect(prompt, &CardPrompt::openRequested, this, [this, volume] { openCard(volume); });
    connect(prompt, &CardPrompt::offerCardsChanged, this, [this](bool offer) {
        Prefs::set(Prefs::OfferCards, offer);
        refreshMenu();
    });
    prompt->show();
    prompt->raise();
    Q_EMIT cardOffered(volume.objectPath);
}

void DesktopIntegration::openCard(const RemovableVolume &volume)
{
    // The card may have gone while the question was up.
    const std::optional<RemovableVolume> mounted = m_volumes->volume(volume.objectPath);
    if (!mounted || QuorvaneAppDelegate::isIngesting())
        return;
    m_delegate.chooseFolder(mounted->mountPoint);
}

void DesktopIntegration::autoIngest(const CardOffer &offer)
{
    QComboBox *popup = m_delegate.window()->popupPresets;
    const int index = popup->findText(offer.autoIngestPreset);
    if (index < 0) {
        showPrompt(offer.volume);
        return;
    }
    IngestionLogController::log("Card \"%@\" put in: ingesting it with the preset \"%@\"",
                                offer.volume.name(), offer.autoIngestPreset);
    // As if picked in the pop-up and chosen in the chooser, then Check All and Ingest.
    popup->setCurrentIndex(index);
    m_delegate.actionSetupMenu();
    if (!m_delegate.chooseFolder(offer.volume.mountPoint) ||
        !itemsFromVolume(m_delegate.items(), offer.volume)) {
        // Nothing readable came from the card: never ingest a list from elsewhere.
        Q_EMIT cardOffered(offer.volume.objectPath);
        return;
    }
    m_delegate.actionCheckAll();
    m_automaticRunPending = true;
    m_delegate.actionIngest();
    m_automaticRunPending = false;
    Q_EMIT cardOffered(offer.volume.objectPath);
}

void DesktopIntegration::runMarkersChanged(const Notification &note)
{
    // The driver announces the start of a real run (past its checks) with cleared marks.
    if (m_runActive || !QuorvaneAppDelegate::isIngesting() || !m_delegate.ingestFiles() ||
        note.sender != m_delegate.ingestFiles())
        return;
    m_runActive = true;
    m_runCard.reset();
    for (const ThumbItemPtr &item : m_delegate.items()) {
        if (!item->checked || item->isCameraItem())
            continue;
        m_runCard = m_volumes->volumeContaining(item->path);
        break;
    }
    m_runNotifier->runStarted(m_automaticRunPending);
}

void DesktopIntegration::runComplete()
{
    if (!m_runActive)
        return;
    m_runActive = false;
    const IngestFiles *engine = m_delegate.ingestFiles();
    RunOutcome totals;
    totals.numIngested = engine->numIngested();
    totals.numDupes = engine->numDupes();
    totals.numFailed = engine->totals().failed;
    totals.hadError = engine->hadError();
    totals.cancelled = engine->cancelled();
    m_runNotifier->runEnded(totals);

    if (m_runCard)
        m_lastRunCard = m_runCard;
    showEjectState();
    // Only a run that took the card's pictures frees the card on its own.
    if (totals.wentWell() && m_runCard && Prefs::boolean(Prefs::EjectAfterIngest))
        QTimer::singleShot(0, this, &DesktopIntegration::actionEjectCard);
    if (m_arrivals.hasWaiting())
        QTimer::singleShot(0, this, &DesktopIntegration::offerWaiting);
}

void DesktopIntegration::actionEjectCard()
{
    const std::optional<RemovableVolume> card = ejectableCard();
    if (!card || m_volumes->isEjecting(card->objectPath))
        return;
    logPrint("\nEjecting \"%@\"...\n", card->name());
    m_volumes->eject(*card);
    showEjectState();
}

void DesktopIntegration::ejectFinished(const RemovableVolume &volume, const EjectResult &result)
{
    const EjectReport report = CardArrivals::ejectReport(volume, result);
    logPrint("%@", report.logLine);
    if (result.status == EjectResult::Ejected && m_lastRunCard &&
        m_lastRunCard->objectPath == volume.objectPath)
        m_lastRunCard.reset();
    showEjectState();
    if (report.failed)
        UserInterface::instance().alert(report.alertTitle, report.alertMessage);
}
