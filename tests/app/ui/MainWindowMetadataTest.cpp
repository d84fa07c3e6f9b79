// The main window's metadata editing: the field table over the selected images, what an edit
// reaches (and what it never reaches), and what an ingestion then writes.

#include "app/ui/ImageBrowserView.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QuorvaneAppDelegate.h"
#include "items/ThumbListModel.h"
#include "macro/ui/MacroViewWindow.h"
#include "metadata/ui/ExifTableView.h"
#include "platform/Defaults.h"
#include "platform/NotificationCenter.h"
#include "platform/RecordingUserInterface.h"
#include "presets/Setup.h"
#include "support/GrabSupport.h"
#include "support/WindowTestSupport.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kCity = QStringLiteral("IPTC.City");
const QString kCaption = QStringLiteral("IPTC.Caption/Abstract");

// A folder of `count` JPEGs of one day.
QString makeCard(const QString &name, int count)
{
    const QString folder = QDir::homePath() + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    for (int n = 1; n <= count; ++n) {
        QImage image(240, 160, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(n * 70 % 360, 150, 220));
        QPainter painter(&image);
        painter.setFont(QFont(QStringLiteral("sans"), 36));
        painter.drawText(image.rect(), Qt::AlignCenter, name.right(1) + QString::number(n));
        painter.end();
        image.save(folder + QStringLiteral("/IMG_%1.JPG").arg(n, 4, 10, QLatin1Char('0')), "JPEG");
    }
    return folder;
}

QByteArray xmpOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A started program whose chooser offers the files of `folder` without a window.
struct Program
{
    MainWindow window;
    QuorvaneAppDelegate app{&window};
    QString folder;

    explicit Program(const QString &card) : folder(card)
    {
        app.awakeFromNib();
        app.setChooserRunner([this](QuorvaneAppDelegate &delegate) { choose(delegate); });
        app.applicationDidFinishLaunching();
        window.activateWindow();
    }
    void choose(QuorvaneAppDelegate &delegate)
    {
        delegate.itemList().clear();
        QDirIterator files(folder, {QStringLiteral("*.JPG")}, QDir::Files);
        QStringList paths;
        while (files.hasNext())
            paths << files.next();
        paths.sort();
        for (const QString &path : std::as_const(paths))
            delegate.itemList().append(ThumbItem::initWithPath(path));
        NotificationCenter::defaultCenter().post(QStringLiteral("FinishedChoosing"), this);
    }
    ThumbItemPtr item(int row) const { return app.model()->itemAt(row); }
    ExifTableView *table() const { return window.tableMetadata; }
    ExifTableModel *model() const { return window.tableMetadata->exifModel(); }
    int row(const QString &tag) const
    {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->rows()[r]->tag == tag)
                return r;
        return -1;
    }
    QString shown(const QString &tag) const
    {
        return model()->index(row(tag), ExifTableModel::ColumnValue).data().toString();
    }
    // Types `text` into the value cell of `tag` through the cell's own editor.
    void type(const QString &tag, const QString &text, bool finish = true)
    {
        const QModelIndex cell = model()->index(row(tag), ExifTableModel::ColumnValue);
        settleEditors();
        table()->setCurrentIndex(cell);
        table()->edit(cell);
        auto *editor = table()->findChild<QLineEdit *>(QStringLiteral("valueEditor"));
        QVERIFY(editor);
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Delete);
        else
            QTest::keyClicks(editor, text);
        if (finish) {
            QTest::keyClick(editor, Qt::Key_Return);
            settleEditors();
        }
    }
    QString userValue(int row, const QString &tag) const
    {
        const ThumbItemPtr i = item(row);
        return i->metadataUser ? i->metadataUser->value(tag).toString() : QString();
    }
    bool hasUserValue(int row, const QString &tag) const
    {
        const ThumbItemPtr i = item(row);
        return i->metadataUser && i->metadataUser->contains(tag);
    }
};

} // namespace

class MainWindowMetadataTest : public QObject
{
    Q_OBJECT

private:
    RecordingUserInterface m_ui;
    QString m_out;

    // The preset the program starts with: its own root and a City of its own.
    void writePreset(const QString &name, const QVariantMap &extra)
    {
        QVariantMap dict{{"PrimaryRootFolder", m_out},
                         {"FolderArrangement", ""},
                         {"FilenameArrangement", "{@FileNameOriginal}"},
                         {"PostApp", ""}};
        for (auto it = extra.cbegin(); it != extra.cend(); ++it)
            dict.insert(it.key(), it.value());
        const QString folder = QDir::homePath() + QStringLiteral("/.local/share/Brindlewick");
        QDir().mkpath(folder);
        QVERIFY(
            Setup::writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".plist"), dict));
        Defaults::set(QStringLiteral("Preset"), name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        UserInterface::setInstance(&m_ui);
        Defaults::set(QStringLiteral("UpdateCheckHost"), QString());
        Defaults::set(QStringLiteral("HideInitialHelp"), true);
        m_out = QDir::homePath() + QStringLiteral("/Out");
    }
    void cleanupTestCase() { UserInterface::setInstance(nullptr); }
    void init() { m_ui.clear(); }

    void tableEditsReachTheSelectedImagesAndTheirXmp()
    {
        writePreset(QStringLiteral("Trip"),
                    {{"Metadata", QVariantMap{{kCity, "Bergen"}, {"IPTC.Headline", "Fjords"}}}});
        Program program(makeCard(QStringLiteral("cardA"), 4));
        QCOMPARE(program.app.items().size(), 4);
        QCOMPARE(program.window.imageBrowser->selectedRows().size(), 4);
        QAbstractItemModelTester tester(program.model());
        program.item(0)->metadataUser = QVariantMap{{kCity, "Oslo"}};
        program.item(1)->metadataUser = QVariantMap{{kCity, "Tromsø"}};

        // Two images that differ: the row says so; the preset's values show as the preset's.
        program.window.imageBrowser->selectRows({0, 1}, false);
        QCOMPARE(program.shown(kCity), QStringLiteral("<mixed>"));
        QCOMPARE(program.model()->originOf(program.row(kCity)), ExifTableModel::Origin::Mixed);
        QCOMPARE(program.shown("IPTC.Headline"), QStringLiteral("Fjords"));
        QCOMPARE(program.model()->originOf(program.row("IPTC.Headline")),
                 ExifTableModel::Origin::Preset);
        // Only the layout's fields, never the caption and keywords (they have their own views).
        QVERIFY(program.row(kCaption) < 0);
        QVERIFY(program.row("IPTC.Scene") < 0);
        QVERIFY(program.table()->rowHeight(program.row("IPTC.Headline")) >
                2 * program.table()->rowHeight(program.row(kCity)));
        QVERIFY(QFileInfo(grabWindow(&program.window, QStringLiteral("main-window-metadata")))
                    .exists());

        // One committed edit: the tick goes on, and both images get the value on the next
        // selection change; the others keep theirs.
        program.type(kCity, QStringLiteral("Narvik"));
        QCOMPARE(program.shown(kCity), QStringLiteral("Narvik"));
        QCOMPARE(program.model()
                     ->index(program.row(kCity), ExifTableModel::ColumnChange)
                     .data(Qt::CheckStateRole),
                 QVariant(Qt::Checked));
        QVERIFY(program.app.isDirty());
        program.window.imageBrowser->selectRows({2}, false);
        QCOMPARE(program.userValue(0, kCity), QStringLiteral("Narvik"));
        QCOMPARE(program.userValue(1, kCity), QStringLiteral("Narvik"));
        QVERIFY(!program.hasUserValue(2, kCity));
        QVERIFY(!program.hasUserValue(3, kCity));
        QVERIFY(!program.model()->dirty());

        // An emptied cell falls back to the preset, visibly, and leaves no value behind.
        program.type(kCity, QStringLiteral("Molde"));
        program.window.imageBrowser->selectRows({3}, false);
        QCOMPARE(program.userValue(2, kCity), QStringLiteral("Molde"));
        program.window.imageBrowser->selectRows({2}, false);
        QCOMPARE(program.shown(kCity), QStringLiteral("Molde"));
        program.type(kCity, QString());
        QCOMPARE(program.shown(kCity), QStringLiteral("Bergen"));
        QCOMPARE(program.model()->originOf(program.row(kCity)), ExifTableModel::Origin::Preset);
        program.window.imageBrowser->selectRows({3}, false);
        QVERIFY(!program.hasUserValue(2, kCity));

        // "No value for these images" from the row's menu: shown as such, kept as such.
        QMenu *menu = program.table()->makeContextMenu(program.row(kCity));
        menu->findChild<QAction *>(QStringLiteral("actionNoValue"))->trigger();
        delete menu;
        QCOMPARE(program.shown(kCity), QStringLiteral("(no value)"));
        program.window.imageBrowser->selectRows({0}, false);
        QCOMPARE(program.userValue(3, kCity), QStringLiteral("<none>"));
        program.window.imageBrowser->selectRows({3}, false);
        QCOMPARE(program.shown(kCity), QStringLiteral("(no value)"));

        // Ingest: the XMP of each image carries what was decided for it.
        program.app.actionIngest();
        QTRY_VERIFY(!QuorvaneAppDelegate::isIngesting());
        const QByteArray one = xmpOf(m_out + QStringLiteral("/IMG_0001.JPG"));
        const QByteArray two = xmpOf(m_out + QStringLiteral("/IMG_0002.JPG"));
        const QByteArray three = xmpOf(m_out + QStringLiteral("/IMG_0003.JPG"));
        const QByteArray four = xmpOf(m_out + QStringLiteral("/IMG_0004.JPG"));
        QVERIFY2(!one.isEmpty() && !four.isEmpty(), qPrintable(m_ui.alertTexts().join('|')));
        QVERIFY(one.contains("<photoshop:City>Narvik</photoshop:City>"));
        QVERIFY(two.contains("<photoshop:City>Narvik</photoshop:City>"));
        QVERIFY(three.contains("<photoshop:City>Bergen</photoshop:City>"));
        QVERIFY(!four.contains("Bergen") && !four.contains("Narvik"));
        QVERIFY(four.contains("<photoshop:Headline>Fjords</photoshop:Headline>"));
    }

    void valuesForFieldsThePresetLacksAreWritten()
    {
        // A hand-written preset without any "Metadata": what the user types is still written.
        QDir(m_out).removeRecursively();
        writePreset(QStringLiteral("Bare"), {});
        Program program(makeCard(QStringLiteral("cardB"), 2));
        program.window.imageBrowser->selectRows({0}, false);
        QVERIFY(program.row(kCity) >= 0);
        program.type(kCity, QStringLiteral("Lyon"));
        program.window.textViewCaption->setFocus();
        QTRY_VERIFY(program.window.textViewCaption->hasFocus());
        QTest::keyClicks(program.window.textViewCaption, QStringLiteral("Quai"));
        program.window.imageBrowser->selectRows({1}, false);
        QCOMPARE(program.userValue(0, kCaption), QStringLiteral("Quai"));
        program.app.actionIngest();
        QTRY_VERIFY(!QuorvaneAppDelegate::isIngesting());
        const QByteArray one = xmpOf(m_out + QStringLiteral("/IMG_0001.JPG"));
        QVERIFY2(one.contains("<photoshop:City>Lyon</photoshop:City>"),
                 qPrintable(m_ui.alertTexts().join('|')));
        QVERIFY(one.contains(">Quai</rdf:li>"));
        QVERIFY(!xmpOf(m_out + QStringLiteral("/IMG_0002.JPG")).contains("Lyon"));
    }

    void pendingEditsStayWithTheImagesTheyWereMadeFor()
    {
        writePreset(QStringLiteral("Trip"), {{"Metadata", QVariantMap{{kCity, ""}}}});
        Program program(makeCard(QStringLiteral("cardC"), 2));
        const ThumbItemPtr first = program.item(0);
        program.window.imageBrowser->selectRows({0}, false);

        // A caption typed and a cell still being edited when another card is chosen.
        program.window.textViewCaption->setFocus();
        QTRY_VERIFY(program.window.textViewCaption->hasFocus());
        QTest::keyClicks(program.window.textViewCaption, QStringLiteral("Only for C1"));
        program.type(kCity, QStringLiteral("Paris"), false);
        program.folder = makeCard(QStringLiteral("cardD"), 3);
        program.app.actionChoose();

        QCOMPARE(program.app.items().size(), 3);
        for (int row = 0; row < 3; ++row) {
            QVERIFY2(!program.hasUserValue(row, kCaption), qPrintable(QString::number(row)));
            QVERIFY(!program.hasUserValue(row, kCity));
        }
        QCOMPARE(first->metadataUser->value(kCaption).toString(), QStringLiteral("Only for C1"));
        QCOMPARE(first->metadataUser->value(kCity).toString(), QStringLiteral("Paris"));
        QVERIFY(!program.app.isDirty());
    }

    void presetPopupFollowsThePresetsFolder()
    {
        // The remembered preset is damaged: said once, and the defaults are used instead.
        const QString folder = QDir::homePath() + QStringLiteral("/.local/share/Brindlewick");
        writePreset(QStringLiteral("Trip"), {{"Inclusions", "JPG"}});
        QFile broken(folder + QStringLiteral("/Broken.plist"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("<plist><dict><key>");
        broken.close();
        Defaults::set(QStringLiteral("Preset"), QStringLiteral("Broken"));
        Program program(makeCard(QStringLiteral("cardF"), 1));
        QCOMPARE(m_ui.alertTexts().size(), 1);
        QVERIFY(m_ui.alertTexts().first().startsWith(
            "Can't use preset.: The preset \"Broken\" can't be used"));
        QComboBox *popup = program.window.popupPresets;
        QCOMPARE(popup->currentText(), QStringLiteral("Default"));
        const int damaged = popup->findText(QStringLiteral("Broken (damaged)"));
        QVERIFY(damaged >= 0);
        QVERIFY(!qobject_cast<QStandardItemModel *>(popup->model())->item(damaged)->isEnabled());

        // Another program adds a preset, then changes and removes the current one.
        QVERIFY(Setup::writeFile(folder + QStringLiteral("/Night.plist"),
                                 {{"PrimaryRootFolder", "/night"}}));
        QTRY_VERIFY(popup->findText(QStringLiteral("Night")) >= 0);
        popup->setCurrentIndex(popup->findText(QStringLiteral("Trip")));
        Q_EMIT popup->activated(popup->currentIndex());
        QCOMPARE(program.app.inclusions(), QSet<QString>{QStringLiteral("jpg")});
        writePreset(QStringLiteral("Trip"), {{"Inclusions", "NEF"}});
        QTRY_COMPARE(program.app.inclusions(), QSet<QString>{QStringLiteral("nef")});
        QVERIFY(program.window.textViewLog->toPlainText().contains(
            QStringLiteral("Preset \"Trip\" was changed by another program")));
        QVERIFY(QFile::remove(folder + QStringLiteral("/Trip.plist")));
        QTRY_COMPARE(program.app.setupController()->currentSetupName(), QStringLiteral("Default"));
        QTRY_VERIFY(popup->findText(QStringLiteral("Trip")) < 0);
        QCOMPARE(popup->currentText(), QStringLiteral("Default"));
        QVERIFY(program.app.inclusions().isEmpty());
        QFile::remove(folder + QStringLiteral("/Broken.plist"));
        QFile::remove(folder + QStringLiteral("/Night.plist"));
    }

    void macroViewListsTheSelectedImage()
    {
        writePreset(QStringLiteral("Trip"), {});
        Program program(makeCard(QStringLiteral("cardE"), 2));
        program.window.imageBrowser->selectRows({}, false);
        program.window.imageBrowser->clearSelection();
        program.app.actionMacroView();
        QCOMPARE(m_ui.alertTexts(), QStringList{"No image to view.: Select an image."});
        program.window.imageBrowser->selectRows({1}, false);
        program.window.actionMacroView->trigger();
        MacroViewWindow *view = program.app.macroViewWindow();
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->windowTitle(), QStringLiteral("IMG_0002.JPG"));
        QVERIFY(view->text().contains(QStringLiteral("\nFileNameOriginal = IMG_0002\n")));
        QVERIFY(view->text().contains(QStringLiteral("Index:4 = 0001\n")));
        QVERIFY(view->text().contains(QStringLiteral("\nPixelWidth = 240\n")));
        QVERIFY(view->text().contains(QStringLiteral("\n\nImage Metadata:\n")));
        QVERIFY(QFileInfo(grabWindow(view, QStringLiteral("macro-view"))).exists());
        // The info badge of another image refreshes the same panel.
        void *other = program.item(0).get();
        NotificationCenter::defaultCenter().post(
            QStringLiteral("ShowInfo"), nullptr,
            {{QStringLiteral("item"), QVariant::fromValue(other)}});
        QCOMPARE(view->windowTitle(), QStringLiteral("IMG_0001.JPG"));
        view->findChild<QPushButton *>(QStringLiteral("buttonOK"))->click();
        QVERIFY(!view->isVisible());
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<MainWindowMetadataTest>(argc, argv, prepareWebViews);
}

#include "MainWindowMetadataTest.moc"
