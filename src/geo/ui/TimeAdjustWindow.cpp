#include "geo/ui/TimeAdjustWindow.h"

#include "geo/TimeAdjustController.h"
#include "geo/ui/LargeImageView.h"
#include "items/ThumbListModel.h"
#include "platform/NotificationCenter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// One cell of the strip: the picture fitted above its name, and in the viewer the tick badge.
class StripCell : public QStyledItemDelegate
{
public:
    explicit StripCell(QObject *parent) : QStyledItemDelegate(parent) {}
    void setShowTicks(bool on) { m_ticks = on; }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return QSize(112, 100);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        const QRect cell = option.rect.adjusted(2, 2, -2, -2);
        if (option.state & QStyle::State_Selected)
            painter->fillRect(cell, option.palette.highlight());
        const int textHeight = option.fontMetrics.height() + 2;
        const QRect pictureArea = cell.adjusted(4, 4, -4, -textHeight - 2);
        const QImage picture = qvariant_cast<QImage>(index.data(Qt::DecorationRole));
        if (!picture.isNull() && !pictureArea.isEmpty()) {
            const QSize shown = picture.size().scaled(pictureArea.size(), Qt::KeepAspectRatio);
            painter->drawImage(QRect(pictureArea.x() + (pictureArea.width() - shown.width()) / 2,
                                     pictureArea.y() + (pictureArea.height() - shown.height()) / 2,
                                     shown.width(), shown.height()),
                               picture);
        }
        if (m_ticks) {
            const char *name = index.data(ThumbListModel::ExcludedRole).toBool() ? "exclude.png"
                               : index.data(ThumbListModel::CheckedRole).toBool()
                                   ? "PlusInCircle.png"
                                   : "MinusInCircle.png";
            const QImage badge(QStringLiteral(":/badges/") + QLatin1String(name));
            if (!badge.isNull())
                painter->drawImage(QRect(cell.x() + 2, cell.y() + 2, 18, 18), badge);
        }
        painter->setPen(option.state & QStyle::State_Selected
                            ? option.palette.color(QPalette::HighlightedText)
                            : option.palette.color(QPalette::Text));
        const QRect title(cell.x() + 2, cell.bottom() - textHeight, cell.width() - 4, textHeight);
        painter->drawText(title, Qt::AlignCenter,
                          option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                        Qt::ElideMiddle, title.width()));
        painter->restore();
    }

private:
    bool m_ticks = false;
};

QDateTimeEdit *makeDateControl(QWidget *parent, const char *name)
{
    auto *edit = new QDateTimeEdit(parent);
    edit->setObjectName(QLatin1String(name));
    // Camera times carry no zone: shown in the zone with offset 0, they read as the camera
    // wrote them. Any year is accepted as typed; the difference line shows what it means.
    edit->setTimeSpec(Qt::UTC);
    edit->setDisplayFormat(kDateFormat);
    edit->setMinimumDateTime(QDateTime(QDate(100, 1, 1), QTime(0, 0), Qt::UTC));
    edit->setMaximumDateTime(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC));
    edit->setCalendarPopup(true);
    return edit;
}

} // namespace

bool TimeAdjustWindow::adjust(const ThumbItemList &images, qint64 *adjustment,
                              std::function<void()> refreshBrowser, qint64 startIndex,
                              QWidget *parent)
{
    TimeAdjustController &controller = TimeAdjustController::sharedInstance();
    controller.prepare(images, adjustment == nullptr, startIndex, std::move(refreshBrowser));
    TimeAdjustWindow window(controller, parent);
    window.go();
    const bool ok = window.exec() == QDialog::Accepted;
    if (ok && adjustment)
        *adjustment = controller.adjustment();
    return ok;
}

TimeAdjustWindow::TimeAdjustWindow(TimeAdjustController &controller, QWidget *parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("TimeAdjust"));
    setModal(true);
    setSizeGripEnabled(true);

    m_imageView = new LargeImageView(this);
    m_labelTitle = new QLabel(this);
    m_labelTitle->setObjectName(QStringLiteral("labelTitle"));
    m_labelTitle->setAlignment(Qt::AlignCenter);
    m_labelTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_model = new ThumbListModel(this);
    m_strip = new QListView(this);
    m_strip->setObjectName(QStringLiteral("listImages"));
    m_strip->setViewMode(QListView::IconMode);
    m_strip->setFlow(QListView::LeftToRight);
    m_strip->setWrapping(false);
    m_strip->setMovement(QListView::Static);
    m_strip->setUniformItemSizes(true);
    m_strip->setSelectionMode(QAbstractItemView::SingleSelection);
    m_strip->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_strip->setFixedHeight(124);
    m_strip->setModel(m_model);
    m_strip->setItemDelegate(new StripCell(m_strip));

    m_buttonPrevious = new QPushButton(QStringLiteral("< &Previous"), this);
    m_buttonPrevious->setObjectName(QStringLiteral("buttonPrevious"));
    m_buttonPrevious->setToolTip(QStringLiteral("Previous image (Left)"));
    m_buttonPrevious->setAutoDefault(false);
    m_buttonNext = new QPushButton(QStringLiteral("&Next >"), this);
    m_buttonNext->setObjectName(QStringLiteral("buttonNext"));
    m_buttonNext->setToolTip(QStringLiteral("Next image (Right)"));
    m_buttonNext->setAutoDefault(false);

    // Viewer mode: ticking.
    m_checkboxIngest = new QCheckBox(QStringLiteral("&Ingest this image"), this);
    m_checkboxIngest->setObjectName(QStringLiteral("checkboxIngest"));
    m_checkboxIngest->setToolTip(QStringLiteral("Tick or untick the image on show (Space)"));
    m_exclusionImage = new QLabel(this);
    m_exclusionImage->setObjectName(QStringLiteral("exclusionImage"));
    m_exclusionImage->setText(
        QStringLiteral("<img src=\":/badges/exclude.png\" width=16 height=16> Not offered: the "
                       "preset's file types leave it out"));
    m_buttonCheckAll = new QPushButton(QStringLiteral("Check &All"), this);
    m_buttonCheckAll->setObjectName(QStringLiteral("buttonCheckAll"));
    m_buttonCheckAll->setAutoDefault(false);
    m_buttonCheckNone = new QPushButton(QStringLiteral("Check N&one"), this);
    m_buttonCheckNone->setObjectName(QStringLiteral("buttonCheckNone"));
    m_buttonCheckNone->setAutoDefault(false);

    // Adjuster mode: the two times and the difference.
    m_dateControls = new QWidget(this);
    m_dateControls->setObjectName(QStringLiteral("dateControls"));
    m_dateCamera = makeDateControl(m_dateControls, "dateCamera");
    m_dateCamera->setReadOnly(true);
    m_dateCamera->setCalendarPopup(false);
    m_dateCamera->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_dateCamera->setToolTip(QStringLiteral("The capture time the camera wrote into the image"));
    m_dateTrue = makeDateControl(m_dateControls, "dateTrue");
    m_dateTrue->setToolTip(
        QStringLiteral("The true time of that moment, for example read from a photographed "
                       "clock"));
    m_fieldAdjustment = new QLineEdit(m_dateControls);
    m_fieldAdjustment->setObjectName(QStringLiteral("fieldAdjustment"));
    m_fieldAdjustment->setMaximumWidth(140);
    m_fieldAdjustment->setAlignment(Qt::AlignRight);
    m_labelDifference = new QLabel(m_dateControls);
    m_labelDifference->setObjectName(QStringLiteral("labelDifference"));
    auto *cameraLabel = new QLabel(QStringLiteral("&Camera time:"), m_dateControls);
    cameraLabel->setBuddy(m_dateCamera);
    auto *trueLabel = new QLabel(QStringLiteral("&True time:"), m_dateControls);
    trueLabel->setBuddy(m_dateTrue);
    auto *adjustmentLabel = new QLabel(QStringLiteral("A&djustment:"), m_dateControls);
    adjustmentLabel->setBuddy(m_fieldAdjustment);
    auto *dates = new QGridLayout(m_dateControls);
    dates->setContentsMargins(0, 0, 0, 0);
    dates->addWidget(cameraLabel, 0, 0);
    dates->addWidget(m_dateCamera, 0, 1);
    dates->addWidget(trueLabel, 0, 2);
    dates->addWidget(m_dateTrue, 0, 3);
    dates->addWidget(adjustmentLabel, 0, 4);
    dates->addWidget(m_fieldAdjustment, 0, 5);
    dates->addWidget(new QLabel(QStringLiteral("sec."), m_dateControls), 0, 6);
    dates->addWidget(m_labelDifference, 1, 1, 1, 6);
    dates->setColumnStretch(7, 1);

    m_labelReadingMetadata = new QLabel(QStringLiteral("Reading metadata..."), this);
    m_labelReadingMetadata->setObjectName(QStringLiteral("labelReadingMetadata"));

    m_buttonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_buttonCancel->setObjectName(QStringLiteral("buttonCancel"));
    m_buttonCancel->setAutoDefault(false);
    m_buttonOK = new QPushButton(QStringLiteral("OK"), this);
    m_buttonOK->setObjectName(QStringLiteral("buttonOK"));
    m_buttonOK->setDefault(true);

    auto *navigation = new QHBoxLayout;
    navigation->addWidget(m_buttonPrevious);
    navigation->addWidget(m_buttonNext);
    navigation->addSpacing(16);
    navigation->addWidget(m_checkboxIngest);
    navigation->addWidget(m_exclusionImage);
    navigation->addStretch();
    navigation->addWidget(m_buttonCheckAll);
    navigation->addWidget(m_buttonCheckNone);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_labelReadingMetadata);
    buttons->addStretch();
    buttons->addWidget(m_buttonCancel);
    buttons->addWidget(m_buttonOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_imageView, 1);
    layout->addWidget(m_labelTitle);
    layout->addWidget(m_strip);
    layout->addLayout(navigation);
    layout->addWidget(m_dateControls);
    layout->addLayout(buttons);

    setTabOrder(m_strip, m_buttonPrevious);
    setTabOrder(m_buttonPrevious, m_buttonNext);
    setTabOrder(m_buttonNext, m_checkboxIngest);
    setTabOrder(m_checkboxIngest, m_buttonCheckAll);
    setTabOrder(m_buttonCheckAll, m_buttonCheckNone);
    setTabOrder(m_buttonCheckNone, m_dateTrue);
    setTabOrder(m_dateTrue, m_fieldAdjustment);
    setTabOrder(m_fieldAdjustment, m_buttonCancel);
    setTabOrder(m_buttonCancel, m_buttonOK);
    setMinimumSize(720, 560);
    resize(960, 720);

    connect(m_strip->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TimeAdjustWindow::selectionDidChange);
    connect(m_buttonPrevious, &QPushButton::clicked, this, &TimeAdjustWindow::showPrevious);
    connect(m_buttonNext, &QPushButton::clicked, this, &TimeAdjustWindow::showNext);
    connect(m_checkboxIngest, &QCheckBox::clicked, this, [this](bool on) {
        m_controller.setCurrentChecked(on);
        m_model->reload();
    });
    connect(m_buttonCheckAll, &QPushButton::clicked, this, [this] {
        m_controller.checkAll();
        m_model->reload();
        showIngestState();
    });
    connect(m_buttonCheckNone, &QPushButton::clicked, this, [this] {
        m_controller.checkNone();
        m_model->reload();
        showIngestState();
    });
    connect(m_dateTrue, &QDateTimeEdit::dateTimeChanged, this,
            &TimeAdjustWindow::trueTimeDidChange);
    connect(m_dateCamera, &QDateTimeEdit::dateTimeChanged, this,
            &TimeAdjustWindow::trueTimeDidChange);
    connect(m_fieldAdjustment, &QLineEdit::textEdited, this, [this](const QString &text) {
        showDifference(TimeAdjustController::adjustmentFromText(text));
    });
    connect(m_buttonOK, &QPushButton::clicked, this, &TimeAdjustWindow::actionOK);
    connect(m_buttonCancel, &QPushButton::clicked, this, &TimeAdjustWindow::reject);
    connect(m_model, &ThumbListModel::pictureArrived, this, [this](int row) {
        // The strip's picture stands in until the file is decoded.
        if (row == m_controller.currentRow() && m_imageView->image().isNull())
            m_imageView->setStandIn(m_model->picture(row));
    });

    for (QWidget *watched : {static_cast<QWidget *>(m_strip), static_cast<QWidget *>(m_imageView),
                             static_cast<QWidget *>(m_strip->viewport())})
        watched->installEventFilter(this);

    // A camera that delivers the metadata later brings the dates with it.
    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("MetadataHasArrived"), [this](const Notification &) {
            if (m_controller.currentItem() && !m_controller.metadataReady()) {
                m_controller.refreshDates();
                showDates();
            }
        });
}

TimeAdjustWindow::~TimeAdjustWindow()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    // Closed without OK or Cancel (the owner went away): the temporaries go all the same.
    if (!m_finished)
        m_controller.cancel();
}

void TimeAdjustWindow::go()
{
    const bool viewer = m_controller.wantViewer();
    setWindowTitle(m_controller.windowTitle());
    m_buttonCancel->setVisible(!viewer);
    m_dateControls->setVisible(!viewer);
    m_checkboxIngest->setVisible(viewer);
    m_exclusionImage->setVisible(viewer);
    m_buttonCheckAll->setVisible(viewer);
    m_buttonCheckNone->setVisible(viewer);
    m_buttonOK->setText(viewer ? QStringLiteral("Close") : QStringLiteral("OK"));
    static_cast<StripCell *>(m_strip->itemDelegate())->setShowTicks(viewer);
    m_fieldAdjustment->setText(TimeAdjustController::adjustmentText(m_controller.adjustment()));

    m_model->setItems(m_controller.images());
    m_strip->clearSelection();
    const int row = m_controller.initialRow();
    if (row >= 0) {
        showRow(row);
    } else {
        m_controller.select(-1);
        m_imageView->showThumbnail(QImage());
        m_labelTitle->clear();
        showDates();
        showIngestState();
    }
    m_strip->setFocus();
}

void TimeAdjustWindow::showRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex index = m_model->index(row);
    m_strip->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_strip->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TimeAdjustWindow::showPrevious()
{
    showRow(m_controller.currentRow() - 1);
}

void TimeAdjustWindow::showNext()
{
    showRow(m_controller.currentRow() + 1);
}

void TimeAdjustWindow::toggleIngest()
{
    if (!m_controller.showsIngestBox())
        return;
    m_checkboxIngest->click();
}

void TimeAdjustWindow::selectionDidChange()
{
    const int row = m_strip->currentIndex().row();
    m_controller.select(row);
    const ThumbItemPtr item = m_controller.currentItem();
    m_labelTitle->setText(item ? item->title() : QString());
    m_buttonPrevious->setEnabled(row > 0);
    m_buttonNext->setEnabled(row >= 0 && row + 1 < m_model->rowCount());
    // The strip's picture first, then the file itself at the view's size.
    m_imageView->showThumbnail(item ? m_model->picture(row) : QImage());
    showDates();
    showIngestState();
    if (!item)
        return;
    QPointer<TimeAdjustWindow> self(this);
    m_controller.fetchFile(item, [self, item](const QString &path) {
        if (!self || self->m_controller.currentItem() != item)
            return;
        if (path.isEmpty()) {
            // No file to be had (a failed camera download): the thumbnail stays.
            if (self->m_imageView->image().isNull())
                self->m_imageView->setStandIn(item->thumbnail());
            return;
        }
        self->m_imageView->loadFile(path);
    });
}

void TimeAdjustWindow::showDates()
{
    const bool viewer = m_controller.wantViewer();
    const bool ready = !m_controller.currentItem() || m_controller.metadataReady();
    m_labelReadingMetadata->setVisible(!ready);
    m_buttonOK->setEnabled(ready);
    m_dateControls->setVisible(!viewer && ready);
    if (viewer || !ready || !m_controller.currentItem())
        return;
    m_showing = true;
    if (const std::optional<double> camera = m_controller.cameraTime()) {
        const QDateTime shown = TimeAdjustController::displayedTime(*camera);
        m_dateCamera->setDateTime(shown);
        m_dateTrue->setDateTime(shown);
        m_dateTrue->setEnabled(true);
        m_showing = false;
        trueTimeDidChange();
    } else {
        m_dateTrue->setEnabled(false);
        m_labelDifference->setText(
            QStringLiteral("This image has no camera time; pick another one."));
        m_showing = false;
    }
}

void TimeAdjustWindow::showIngestState()
{
    m_checkboxIngest->setVisible(m_controller.showsIngestBox());
    m_exclusionImage->setVisible(m_controller.showsExclusionMarker());
    if (const ThumbItemPtr item = m_controller.currentItem())
        m_checkboxIngest->setChecked(item->checked);
}

void TimeAdjustWindow::trueTimeDidChange()
{
    if (m_showing || !m_controller.cameraTime())
        return;
    const qint64 adjustment = m_controller.setTrueTime(m_dateTrue->dateTime());
    m_fieldAdjustment->setText(TimeAdjustController::adjustmentText(adjustment));
    showDifference(adjustment);
}

void TimeAdjustWindow::showDifference(qint64 adjustment)
{
    m_labelDifference->setText(TimeAdjustController::differenceText(adjustment));
}

void TimeAdjustWindow::actionOK()
{
    if (!m_buttonOK->isEnabled())
        return;
    m_finished = true;
    m_controller.finish(m_fieldAdjustment->text());
    done(QDialog::Accepted);
}

void TimeAdjustWindow::reject()
{
    // The viewer has no Cancel: Escape closes it like its close control.
    if (m_controller.wantViewer()) {
        m_finished = true;
        m_controller.finish(m_fieldAdjustment->text());
        done(QDialog::Accepted);
        return;
    }
    m_finished = true;
    m_controller.cancel();
    QDialog::reject();
}

void TimeAdjustWindow::closeEvent(QCloseEvent *event)
{
    // The close control ends the dialog as OK does, also while the metadata is still awaited.
    if (isVisible() && !m_finished) {
        m_finished = true;
        m_controller.finish(m_fieldAdjustment->text());
        done(QDialog::Accepted);
    }
    event->accept();
}

bool TimeAdjustWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return QDialog::eventFilter(watched, event);
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_PageUp:
    case Qt::Key_Backspace:
        showPrevious();
        return true;
    case Qt::Key_Right:
    case Qt::Key_PageDown:
        showNext();
        return true;
    case Qt::Key_Home:
        showRow(0);
        return true;
    case Qt::Key_End:
        showRow(m_model->rowCount() - 1);
        return true;
    case Qt::Key_Space:
        if (m_controller.wantViewer()) {
            toggleIngest();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}
