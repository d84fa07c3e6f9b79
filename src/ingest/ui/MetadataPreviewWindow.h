#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class MetadataPreviewController;
class MetadataPreviewModel;
class QLabel;
class QPushButton;
class QTableView;

// The window half of MetadataPreviewController: every ticked image with its thumbnail, the text
// block of what an ingestion would write (red when required data is missing) and, for images
// with a position, a link that opens a web map in the user's browser. Rows cannot be selected.
class MetadataPreviewWindow : public QDialog
{
    Q_OBJECT

public:
    explicit MetadataPreviewWindow(MetadataPreviewController &controller,
                                   QWidget *parent = nullptr);

    // Refresh: the title with the count of images missing data, the rows and their heights,
    // scrolled to the first. Answers whether there is anything to list (with nothing ticked the
    // controller has said so).
    bool go();

    QTableView *table() const { return m_table; }
    MetadataPreviewModel *model() const { return m_model; }

    // The map link of a row: opens its web map (nothing for a row without a position).
    void doubleclick(int row);
    // Replaces the hand-over to the user's web browser (tests); empty restores it.
    static void setUrlOpener(std::function<void(const QUrl &)> opener);

public Q_SLOTS:
    void actionOK();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    MetadataPreviewController &m_controller;
    MetadataPreviewModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_labelSummary = nullptr;
    QPushButton *m_buttonOK = nullptr;
};
