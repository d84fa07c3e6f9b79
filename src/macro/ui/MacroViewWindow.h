#pragma once

#include "items/ThumbItem.h"
#include "macro/MacroViewController.h"

#include <QDialog>
#include <QPointer>

class MacroProcessor;
class QLabel;
class QPlainTextEdit;
class Setup;

// The macro view: a floating panel listing, for one image, every catalogue macro's value and
// then its raw properties, beside the image's thumbnail. It stays open beside the main window
// and is refreshed each time it is opened for an image.
class MacroViewWindow : public QDialog
{
    Q_OBJECT

public:
    explicit MacroViewWindow(QWidget *parent = nullptr);

    // The view the panel is placed against (the main window's metadata panel).
    void setViewLocator(QWidget *view) { m_viewLocator = view; }
    // Shows `item` with `setup`, reading its properties first when needed, and shows the panel
    // when it is hidden.
    void showItem(const ThumbItemPtr &item, MacroProcessor &processor, const Setup &setup);

    QString text() const;
    const MacroViewController &controller() const { return m_controller; }

public Q_SLOTS:
    void actionOK();

private:
    void place();

    MacroViewController m_controller;
    QPointer<QWidget> m_viewLocator;
    QPlainTextEdit *m_textView = nullptr;
    QLabel *m_imageView = nullptr;
    QLabel *m_imageTitle = nullptr;
    bool m_placed = false;
};
