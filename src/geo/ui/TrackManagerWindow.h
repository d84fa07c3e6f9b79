#pragma once

#include "geo/MapPages.h"

#include <QDialog>

class MapView;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class TrackManagerController;

// The track manager: the loaded GPX files, the listing of the selected one and its map, with
// Add, Remove and OK. Draws and forwards; the store (TrackManagerController) decides. Closing
// it by any means saves the store when it changed and ends with OK.
class TrackManagerWindow : public QDialog
{
    Q_OBJECT

public:
    explicit TrackManagerWindow(TrackManagerController &store, QWidget *parent = nullptr);

    // Opens the window modally over the store; with wantActionAdd the add dialog opens at once.
    // `photos` are the selected images' known positions, marked on the map.
    static void run(TrackManagerController &store, bool wantActionAdd, QWidget *parent = nullptr,
                    const QList<MapPages::Photo> &photos = {});

    // Prepares the window: the table reloaded, row 0 selected when none is and a track is
    // known, and the add dialog run when asked for.
    void go(bool wantActionAdd);
    void setPhotos(const QList<MapPages::Photo> &photos) { m_photos = photos; }

    QTableWidget *tableViewFiles() const { return m_table; }
    QPlainTextEdit *textViewOutput() const { return m_output; }
    MapView *mapView() const { return m_map; }
    QList<int> selectedRows() const;

public Q_SLOTS:
    void actionAdd();
    void actionRemove();
    void actionOK();
    void tableViewSelectionDidChange();

protected:
    void done(int result) override;

private:
    void reloadTable();
    void selectRow(int row);

    TrackManagerController &m_store;
    QList<MapPages::Photo> m_photos;
    QTableWidget *m_table = nullptr;
    QPlainTextEdit *m_output = nullptr;
    MapView *m_map = nullptr;
    QPushButton *m_remove = nullptr;
};
