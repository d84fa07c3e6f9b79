#include "app/ui/CardPrompt.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A memory card seen from the front: the body with its cut corner and the contacts at the top.
// Drawn here, so the question looks the same under every icon theme.
QPixmap cardPicture(int size, qreal ratio)
{
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = size * 0.66, h = size * 0.86, x = (size - w) / 2, y = (size - h) / 2;
    const qreal cut = w * 0.28;
    QPainterPath body;
    body.moveTo(x + cut, y);
    body.lineTo(x + w, y);
    body.lineTo(x + w, y + h);
    body.lineTo(x, y + h);
    body.lineTo(x, y + cut);
    body.closeSubpath();
    painter.setPen(QPen(QColor(40, 44, 52), 1.2));
    painter.setBrush(QColor(62, 68, 80));
    painter.drawPath(body);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(222, 178, 64));
    const qreal contact = w * 0.1;
    for (int i = 0; i < 5; ++i)
        painter.drawRect(
            QRectF(x + cut * 0.9 + i * contact * 1.45, y + h * 0.05, contact, h * 0.18));
    painter.setBrush(QColor(235, 238, 242));
    painter.drawRoundedRect(QRectF(x + w * 0.14, y + h * 0.42, w * 0.72, h * 0.42), 2, 2);
    return pixmap;
}

} // namespace

CardPrompt::CardPrompt(const QString &question, const QString &mountPoint, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CardPrompt"));
    setWindowTitle(QStringLiteral("Card Put In"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    auto *icon = new QLabel(this);
    icon->setPixmap(cardPicture(48, devicePixelRatioF()));
    icon->setAlignment(Qt::AlignTop);

    labelQuestion = new QLabel(question, this);
    labelQuestion->setObjectName(QStringLiteral("labelQuestion"));
    QFont bold = labelQuestion->font();
    bold.setBold(true);
    labelQuestion->setFont(bold);
    labelDetail = new QLabel(
        QStringLiteral("Open shows its images, ready to tick and ingest.\nMounted at %1.")
            .arg(mountPoint),
        this);
    labelDetail->setObjectName(QStringLiteral("labelDetail"));
    labelDetail->setWordWrap(true);
    labelDetail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    checkboxOfferCards = new QCheckBox(QStringLiteral("&Ask when a card is put in"), this);
    checkboxOfferCards->setObjectName(QStringLiteral("checkboxOfferCards"));
    checkboxOfferCards->setChecked(true);

    auto *buttons = new QDialogButtonBox(this);
    buttonOpen = buttons->addButton(QStringLiteral("&Open"), QDialogButtonBox::AcceptRole);
    buttonOpen->setObjectName(QStringLiteral("buttonOpen"));
    buttonOpen->setDefault(true);
    buttonNotNow = buttons->addButton(QStringLiteral("&Not Now"), QDialogButtonBox::RejectRole);
    buttonNotNow->setObjectName(QStringLiteral("buttonNotNow"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        accept();
        Q_EMIT openRequested();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(checkboxOfferCards, &QCheckBox::toggled, this, &CardPrompt::offerCardsChanged);

    auto *text = new QVBoxLayout;
    text->addWidget(labelQuestion);
    text->addWidget(labelDetail);
    text->addSpacing(6);
    text->addWidget(checkboxOfferCards);
    auto *row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(text, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(380);
    buttonOpen->setFocus();
}
