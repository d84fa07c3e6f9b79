#include "macro/ui/MacroViewWindow.h"

#include "macro/MacroViewListing.h"
#include "platform/NotificationCenter.h"
#include "platform/UserInterface.h"
#include "presets/Setup.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

MacroViewWindow::MacroViewWindow(QWidget *parent) : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("MacroView"));
    setWindowTitle(QStringLiteral("Macro View"));
    setModal(false);
    setSizeGripEnabled(true);

    m_imageView = new QLabel(this);
    m_imageView->setObjectName(QStringLiteral("imageView"));
    m_imageView->setFixedSize(160, 120);
    m_imageView->setAlignment(Qt::AlignCenter);
    m_textView = new QPlainTextEdit(this);
    m_textView->setObjectName(QStringLiteral("textView"));
    m_textView->setReadOnly(true);
    m_textView->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    m_textView->setFont(font);
    m_buttonOK = new QPushButton(QStringLiteral("OK"), this);
    m_buttonOK->setObjectName(QStringLiteral("buttonOK"));
    m_buttonOK->setDefault(true);

    auto *top = new QHBoxLayout;
    top->addWidget(m_imageView);
    top->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_buttonOK);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_textView, 1);
    layout->addLayout(bottom);
    setMinimumSize(420, 360);
    resize(560, 620);

    connect(m_buttonOK, &QPushButton::clicked, this, &MacroViewWindow::actionOK);
}

QString MacroViewWindow::text() const
{
    return m_textView->toPlainText();
}

void MacroViewWindow::setupPanel(MacroProcessor &processor, const ThumbItemPtr &item,
                                 const Setup &setup)
{
    m_item = item;
    if (!item)
        return;
    if (!item->title().isEmpty())
        setWindowTitle(item->title());
    item->loadMetadata();
    if (!item->metadata) {
        m_textView->setPlainText(QStringLiteral("Reading metadata..."));
        waitForMetadata();
    }
    m_textView->setPlainText(MacroViewListing::build(processor, *item, setup));
    const QImage thumbnail = item->thumbnail();
    m_imageView->setPixmap(thumbnail.isNull() ? QPixmap()
                                              : QPixmap::fromImage(thumbnail.scaled(
                                                    m_imageView->size(), Qt::KeepAspectRatio,
                                                    Qt::SmoothTransformation)));
}

void MacroViewWindow::waitForMetadata()
{
    UserInterface &ui = UserInterface::instance();
    const ThumbItemPtr item = m_item;
    m_showingWaitWindow = true;
    const int token = NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("MetadataHasArrived"), [this, item, &ui](const Notification &) {
            if (m_showingWaitWindow && item->metadata) {
                m_showingWaitWindow = false;
                ui.endWait();
            }
        });
    const WaitOutcome outcome = ui.waitModally(QStringLiteral("Reading metadata..."), 0);
    NotificationCenter::defaultCenter().removeObserverToken(token);
    if (outcome == WaitOutcome::TimedOut && m_showingWaitWindow)
        ui.alert(QStringLiteral("Unable to retrieve metadata for image."), QString());
    m_showingWaitWindow = false;
}

void MacroViewWindow::showPanel()
{
    if (!m_placed && m_viewLocator) {
        const QPoint corner = m_viewLocator->mapToGlobal(QPoint(0, 0));
        move(corner + QPoint(40, 75));
        m_placed = true;
    }
    if (!isVisible())
        show();
    raise();
}

void MacroViewWindow::actionOK()
{
    close();
}
