#include "macro/ui/MacroViewWindow.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

MacroViewWindow::MacroViewWindow(QWidget *parent) : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("MacroView"));
    setWindowTitle(QStringLiteral("Macro View"));
    setModal(false);

    m_imageView = new QLabel(this);
    m_imageView->setObjectName(QStringLiteral("imageView"));
    m_imageView->setFixedSize(160, 160);
    m_imageView->setAlignment(Qt::AlignCenter);
    m_imageTitle = new QLabel(this);
    m_imageTitle->setObjectName(QStringLiteral("imageTitle"));
    m_imageTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_imageTitle->setWordWrap(true);
    m_imageTitle->setMaximumWidth(160);

    m_textView = new QPlainTextEdit(this);
    m_textView->setObjectName(QStringLiteral("textView"));
    m_textView->setReadOnly(true);
    m_textView->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Light grey text on a dark ground, in a small fixed font: long lists stay easy to scan.
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(10);
    m_textView->setFont(font);
    QPalette palette = m_textView->palette();
    palette.setColor(QPalette::Base, QColor::fromRgbF(0.16, 0.16, 0.17));
    palette.setColor(QPalette::Text, QColor::fromRgbF(0.8, 0.8, 0.8));
    m_textView->setPalette(palette);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("buttonOK"));
    connect(ok, &QPushButton::clicked, this, &MacroViewWindow::actionOK);

    auto *side = new QVBoxLayout;
    side->addWidget(m_imageView);
    side->addWidget(m_imageTitle);
    side->addStretch();
    auto *body = new QHBoxLayout;
    body->addLayout(side);
    body->addWidget(m_textView, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(buttons);
    setMinimumSize(480, 320);
    resize(640, 560);
}

QString MacroViewWindow::text() const
{
    return m_textView->toPlainText();
}

void MacroViewWindow::showItem(const ThumbItemPtr &item, MacroProcessor &processor,
                               const Setup &setup)
{
    if (!isVisible())
        place();
    if (item && !item->title().isEmpty())
        setWindowTitle(item->title());
    m_imageTitle->setText(item ? item->title() : QString());
    m_textView->setPlainText(QStringLiteral("Reading metadata..."));
    m_controller.setupPanel(item, processor, setup);
    m_textView->setPlainText(m_controller.text());
    const QImage picture = item ? QImage(item->thumbnail()) : QImage();
    m_imageView->setPixmap(picture.isNull() ? QPixmap()
                                            : QPixmap::fromImage(picture.scaled(
                                                  m_imageView->size(), Qt::KeepAspectRatio,
                                                  Qt::SmoothTransformation)));
    if (!isVisible())
        show();
    raise();
}

void MacroViewWindow::place()
{
    // Beside the metadata the user is looking at: 40 to the right of its left edge, 75 below
    // its top, kept on the screen.
    if (m_placed || !m_viewLocator)
        return;
    const QPoint origin = m_viewLocator->mapToGlobal(QPoint(40, 75));
    QPoint at = origin;
    if (const QScreen *screen = m_viewLocator->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(at);
    m_placed = true;
}

void MacroViewWindow::actionOK()
{
    close();
}
