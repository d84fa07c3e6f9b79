#pragma once

#include "items/ThumbItem.h"

#include <QDialog>

#include <functional>

class LargeImageView;
class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class ThumbListModel;
class TimeAdjustController;

// The window half of TimeAdjustController: the camera-clock adjustment dialog, and in its second
// mode a simple image viewer in which images are ticked for ingestion. The picked image is shown
// large, the images run along a strip below it; Left and Right (or Page Up and Page Down) move
// through them, Space ticks the one on show in viewer mode.
class TimeAdjustWindow : public QDialog
{
    Q_OBJECT

public:
    // Opens the dialog on `images` at `startIndex` (the first image when that is out of range)
    // and answers whether it ended with OK. Without `adjustment` it is the image viewer, which
    // calls `refreshBrowser` after ticks change; with it, the adjustment is written there on OK.
    static bool adjust(const ThumbItemList &images, qint64 *adjustment,
                       std::function<void()> refreshBrowser, qint64 startIndex,
                       QWidget *parent = nullptr);

    explicit TimeAdjustWindow(TimeAdjustController &controller, QWidget *parent = nullptr);
    ~TimeAdjustWindow() override;

    // Configures the window for the controller's mode and images and selects the start row.
    void go();
    // Moves to the image at `row` (nothing when out of range).
    void showRow(int row);
    void showPrevious();
    void showNext();
    // Viewer mode: flips the tick of the image on show.
    void toggleIngest();

    LargeImageView *imageView() const { return m_imageView; }

public Q_SLOTS:
    void actionOK();
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void selectionDidChange();
    void showDates();
    void showIngestState();
    void trueTimeDidChange();
    void showDifference(qint64 adjustment);

    TimeAdjustController &m_controller;
    ThumbListModel *m_model = nullptr;
    LargeImageView *m_imageView = nullptr;
    QListView *m_strip = nullptr;
    QLabel *m_labelTitle = nullptr;
    QLabel *m_labelReadingMetadata = nullptr;
    QWidget *m_dateControls = nullptr;
    QDateTimeEdit *m_dateCamera = nullptr;
    QDateTimeEdit *m_dateTrue = nullptr;
    QLineEdit *m_fieldAdjustment = nullptr;
    QLabel *m_labelDifference = nullptr;
    QCheckBox *m_checkboxIngest = nullptr;
    QLabel *m_exclusionImage = nullptr;
    QPushButton *m_buttonCheckAll = nullptr;
    QPushButton *m_buttonCheckNone = nullptr;
    QPushButton *m_buttonPrevious = nullptr;
    QPushButton *m_buttonNext = nullptr;
    QPushButton *m_buttonOK = nullptr;
    QPushButton *m_buttonCancel = nullptr;
    bool m_showing = false;
    bool m_finished = false;
};
