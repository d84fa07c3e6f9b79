#pragma once

#include "items/ThumbItem.h"

#include <QDialog>
#include <QPointer>

class MacroProcessor;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class Setup;

// The macro view: for one image, every catalogue macro with its value, then the image's own
// metadata, read-only, beside the main window (not modal). Opened from the main window for the
// first selected image or from an image's info badge; refreshed at each opening.
class MacroViewWindow : public QDialog
{
    Q_OBJECT

public:
    explicit MacroViewWindow(QWidget *parent = nullptr);

    // The main window's metadata view: the panel opens 40 points right of its left edge and 75
    // below its top.
    void setViewLocator(QWidget *view) { m_viewLocator = view; }
    // Lists `item` under `setup`. Metadata a camera has not yet sent is waited for (at most the
    // wait window's time-out, then "Unable to retrieve metadata for image.").
    void setupPanel(MacroProcessor &processor, const ThumbItemPtr &item, const Setup &setup);
    // Shows the panel when it is hidden, placed by the locator on first showing.
    void showPanel();

    QString text() const;
    ThumbItemPtr thumbitem() const { return m_item; }

public Q_SLOTS:
    void actionOK();

private:
    void waitForMetadata();

    ThumbItemPtr m_item;
    QPointer<QWidget> m_viewLocator;
    QLabel *m_imageView = nullptr;
    QPlainTextEdit *m_textView = nullptr;
    QPushButton *m_buttonOK = nullptr;
    bool m_placed = false;
    bool m_showingWaitWindow = false;
};
