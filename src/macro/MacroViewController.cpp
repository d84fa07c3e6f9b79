#include "macro/MacroViewController.h"

#include "macro/MacroViewListing.h"
#include "platform/NotificationCenter.h"
#include "platform/UserInterface.h"

void MacroViewController::setupPanel(const ThumbItemPtr &item, MacroProcessor &processor,
                                     const Setup &setup)
{
    m_item = item;
    m_text.clear();
    m_timedOut = false;
    if (!item)
        return;
    item->loadMetadata();
    if (!item->metadata) {
        UserInterface &ui = UserInterface::instance();
        m_showingWaitWindow = true;
        const int token = NotificationCenter::defaultCenter().addObserver(
            this, QStringLiteral("MetadataHasArrived"), [this, &ui, item](const Notification &) {
                item->loadMetadata();
                if (m_showingWaitWindow && item->metadata) {
                    m_showingWaitWindow = false;
                    ui.endWait();
                }
            });
        const WaitOutcome outcome =
            ui.waitModally(QStringLiteral("Reading metadata..."), kMetadataTimeoutSeconds);
        NotificationCenter::defaultCenter().removeObserverToken(token);
        if (outcome == WaitOutcome::TimedOut && m_showingWaitWindow) {
            m_timedOut = true;
            ui.alert(QStringLiteral("Unable to retrieve metadata for image."), QString());
        }
        m_showingWaitWindow = false;
    }
    m_text = MacroViewListing::build(processor, *item, setup);
}
