#pragma once

#include "items/ThumbItem.h"

#include <QString>

class MacroProcessor;
class Setup;

// The data half of the macro view: for one image, every catalogue macro's value and then its
// raw properties. A camera image whose properties have not arrived yet is waited for (the wait
// window of the user-interface port, ended by "MetadataHasArrived"); when they do not come in
// time the user is told and the listing shows what there is. Main thread only.
class MacroViewController
{
public:
    // Seconds the wait window waits for a camera image's properties.
    static constexpr int kMetadataTimeoutSeconds = 10;

    // Shows `item`: waits for its properties when needed, then builds the listing.
    void setupPanel(const ThumbItemPtr &item, MacroProcessor &processor, const Setup &setup);

    ThumbItemPtr thumbitem() const { return m_item; }
    QString title() const { return m_item ? m_item->title() : QString(); }
    QString text() const { return m_text; }
    bool timedOut() const { return m_timedOut; }

private:
    ThumbItemPtr m_item;
    QString m_text;
    bool m_showingWaitWindow = false;
    bool m_timedOut = false;
};
