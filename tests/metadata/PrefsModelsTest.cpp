// The item models of the preferences and lookup windows, checked without a display.
#include "MetadataSupport.h"
#include "metadata/LayedOutFieldsModel.h"
#include "metadata/LookupTableModel.h"
#include "metadata/LookupsController.h"
#include "support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QMimeData>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString nameAt(const LayedOutFieldsModel &model, int row)
{
    return model.index(row, LayedOutFieldsModel::FieldColumn).data().toString();
}

TEST(PrefsModels, LayoutRowsTickLinesColoursAndDrops)
{
    resetPreferences();
    ECPrefsController &prefs = ECPrefsController::prefs();
    LayedOutFieldsModel model(prefs);
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    ASSERT_EQ(model.rowCount(), int(prefs.layedOutFields().size()));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Shown");

    // CF.Shoot is shown at first start: green; a hidden field is light red.
    const QModelIndex shoot = model.index(0, LayedOutFieldsModel::FieldColumn);
    EXPECT_EQ(shoot.data().toString(), "CF.Shoot");
    EXPECT_EQ(shoot.data(Qt::BackgroundRole).value<QColor>(), QColor::fromRgbF(0.4f, 1, 0, 0.4f));
    const int hidden = 8;
    EXPECT_FALSE(prefs.layedOutFields().at(hidden).included);
    EXPECT_EQ(model.index(hidden, 0).data(Qt::BackgroundRole).value<QColor>(),
              QColor::fromRgbF(1, 0.85f, 0.85f, 1));

    // The tick flips `included`; the lines column shows lines and takes the choice index.
    const QModelIndex tick = model.index(hidden, LayedOutFieldsModel::ShownColumn);
    EXPECT_TRUE(model.setData(tick, Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(tick, Qt::Checked, Qt::CheckStateRole)) << "already shown";
    EXPECT_TRUE(prefs.layedOutFields().at(hidden).included);
    const QModelIndex lines = model.index(hidden, LayedOutFieldsModel::LinesColumn);
    EXPECT_TRUE(model.setData(lines, 3));
    EXPECT_EQ(lines.data().toString(), "4 lines");
    EXPECT_EQ(lines.data(Qt::EditRole).toInt(), 3);
    EXPECT_FALSE(model.setData(lines, -1));
    EXPECT_TRUE(model.flags(lines) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(shoot) & Qt::ItemIsEditable);

    // A drag carries the rows under the private type; drops go between rows only.
    std::unique_ptr<QMimeData> drag(model.mimeData({model.index(5, 0), model.index(5, 2)}));
    ASSERT_TRUE(drag->hasFormat(ECPrefsController::kDragDataType));
    EXPECT_EQ(ECPrefsController::unarchiveRows(drag->data(ECPrefsController::kDragDataType)),
              QList<int>{5});
    EXPECT_FALSE(model.canDropMimeData(drag.get(), Qt::MoveAction, -1, -1, model.index(2, 0)))
        << "not onto a row";
    EXPECT_FALSE(model.canDropMimeData(drag.get(), Qt::CopyAction, 2, 0, QModelIndex()));
    QMimeData foreign;
    foreign.setText("IPTC.City");
    EXPECT_FALSE(model.canDropMimeData(&foreign, Qt::MoveAction, 2, 0, QModelIndex()));

    QSignalSpy moved(&model, &LayedOutFieldsModel::rowMoved);
    const QString fifth = nameAt(model, 5);
    EXPECT_TRUE(model.dropMimeData(drag.get(), Qt::MoveAction, 2, 0, QModelIndex()));
    EXPECT_EQ(nameAt(model, 2), fifth);
    ASSERT_EQ(moved.size(), 1);
    EXPECT_EQ(moved[0][0].toInt(), 2);
    // Below the last row (row -1 on the table itself) is the end.
    const QString first = nameAt(model, 0);
    std::unique_ptr<QMimeData> top(model.mimeData({model.index(0, 0)}));
    EXPECT_TRUE(model.dropMimeData(top.get(), Qt::MoveAction, -1, -1, QModelIndex()));
    EXPECT_EQ(nameAt(model, model.rowCount() - 1), first);
    EXPECT_EQ(moved.last()[0].toInt(), model.rowCount() - 1);

    // The buttons: up and down by one, nothing past either end.
    const QString second = nameAt(model, 1);
    EXPECT_EQ(model.moveUp(1), 0);
    EXPECT_EQ(nameAt(model, 0), second);
    EXPECT_EQ(model.moveUp(0), -1);
    EXPECT_EQ(model.moveDown(0), 1);
    EXPECT_EQ(nameAt(model, 1), second);
    EXPECT_EQ(model.moveDown(model.rowCount() - 1), -1);
    EXPECT_EQ(model.moveDown(-1), -1);
}

TEST(PrefsModels, LookupRowsEditSortAndRefuse)
{
    const QString presets = makeTestFolder("model-presets");
    LookupsController lookups;
    lookups.initializeWithPresetsFolder(presets);
    lookups.dictLookupMake = {{"nikon*", "Nikon"}, {"Canon*", "Canon"}};
    lookups.setupPanel();
    LookupTableModel model(lookups);
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Pattern");
    EXPECT_EQ(model.index(0, 0).data().toString(), "Canon*");
    EXPECT_EQ(model.index(1, 1).data().toString(), "Nikon");

    QSignalSpy refused(&model, &LookupTableModel::editRefused);
    EXPECT_FALSE(model.setData(model.index(0, 0), "NIKON*"));
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0][0].toString(), "Pattern already in the table.");
    EXPECT_FALSE(model.setData(model.index(0, 0), "Canon*")) << "unchanged is no edit";
    EXPECT_EQ(refused.size(), 1);
    EXPECT_TRUE(model.setData(model.index(0, 1), "Canon Inc."));
    EXPECT_EQ(lookups.dictLookupMake.value("Canon*"), "Canon Inc.");

    // Add makes one "<new key>" row to edit, twice adding returns to it.
    const QModelIndex added = model.addRow();
    EXPECT_EQ(added.row(), 2);
    EXPECT_EQ(added.data().toString(), "<new key>");
    EXPECT_EQ(model.addRow(), added);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_TRUE(model.setData(added, "sony*"));

    model.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(model.index(0, 1).data().toString(), "Nikon");
    EXPECT_EQ(model.removeRow(0), 0);
    EXPECT_FALSE(lookups.dictLookupMake.contains("nikon*"));
    EXPECT_TRUE(model.showTable("TIFF.Model"));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.removeRow(0), -1);
    EXPECT_FALSE(model.showTable("Exif.Model"));
}

} // namespace
