#include "items/SelectionEditor.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

ThumbItemPtr itemWith(const QString &name, const QVariantMap &user = {}, bool userSet = true)
{
    auto item = ThumbItem::initWithPath(QStringLiteral("/nowhere/") + name);
    if (userSet)
        item->metadataUser = user;
    return item;
}

const QString caption = SelectionEditor::kCaptionKey;
const QString keywords = SelectionEditor::kKeywordsKey;

} // namespace

TEST(SelectionEditor, CombinesEqualValuesAndMarksDifferencesAndAbsences)
{
    const auto combined = SelectionEditor::combine({
        {{"A", "same"}, {"B", "x"}, {"C", "only first"}},
        {{"A", "same"}, {"B", "y"}},
        {{"A", "same"}, {"B", "x"}, {"D", "only last"}},
    });
    EXPECT_EQ(combined.value("A"), "same");
    EXPECT_EQ(combined.value("B"), "<mixed>");
    EXPECT_EQ(combined.value("C"), "<mixed>");
    // Absent in the first maps: the transient "<nil>" never survives.
    EXPECT_EQ(combined.value("D"), "<mixed>");
    EXPECT_EQ(combined.size(), 4);
    // One map: its values as they are; numbers compare by their text.
    EXPECT_EQ(SelectionEditor::combine({{{"N", 3}}}).value("N"), "3");
    EXPECT_TRUE(SelectionEditor::combine({}).isEmpty());
}

TEST(SelectionEditor, MixedCaptionIsNotWrittenWhileOtherFieldsAre)
{
    const ThumbItemList items{itemWith("a.jpg", {{caption, "a"}}),
                              itemWith("b.jpg", {{caption, "b"}})};
    SelectionEditor editor;
    editor.setWasLaunched(true);
    editor.setSelectedImages({0, 1});
    editor.showMetadata(items, {0, 1}, {});
    EXPECT_EQ(editor.captionEffective(), "<mixed>");

    // Nothing edited: nothing is committed.
    EXPECT_FALSE(editor.updateSelectedImages(items, {}, "<mixed>", "", {}, false));

    // Ticking the caption box and changing a table field commits, but "<mixed>" stays out.
    editor.setCaptionTicked(true);
    MetadataEditRow city{"IPTC.City", QString(), QStringLiteral("Oslo"), true, true};
    EXPECT_TRUE(editor.updateSelectedImages(items, {city}, "<mixed>", "k", {}, true));
    EXPECT_EQ(items[0]->metadataUser->value(caption).toString(), "a");
    EXPECT_EQ(items[1]->metadataUser->value(caption).toString(), "b");
    EXPECT_EQ(items[0]->metadataUser->value("IPTC.City").toString(), "Oslo");
    EXPECT_EQ(items[1]->metadataUser->value(keywords).toString(), "k");
}

TEST(SelectionEditor, EditedCaptionReachesEverySelectedItemAndDefaultsAreRemoved)
{
    const ThumbItemList items{itemWith("a.jpg", {{caption, "a"}}),
                              itemWith("b.jpg", {{caption, "a"}}), itemWith("c.jpg", {}, false)};
    const QVariantMap preset{{caption, "Default caption"}, {keywords, "holiday"}};
    SelectionEditor editor;
    // Nothing is pending before the window is first shown.
    editor.textDidBeginEditing();
    EXPECT_FALSE(editor.isDirty(true));
    editor.setWasLaunched(true);
    EXPECT_TRUE(editor.isDirty(false));
    editor.setSelectedImages({0, 5, 1, -1, 2}); // rows out of range are skipped
    editor.showMetadata(items, {0, 1}, preset);
    EXPECT_EQ(editor.captionEffective(), "a");
    // Missing from the items: the preset's value shows.
    EXPECT_EQ(editor.keywordsEffective(), "holiday");

    editor.textDidBeginEditing();
    const auto [shownCaption, shownKeywords] = editor.textDidEndEditing("c", "holiday", preset);
    EXPECT_EQ(shownCaption, "c");
    EXPECT_TRUE(editor.captionTicked());
    EXPECT_TRUE(editor.updateSelectedImages(items, {}, shownCaption, shownKeywords, preset, false));
    for (const ThumbItemPtr &item : items) {
        ASSERT_TRUE(item->metadataUser.has_value());
        EXPECT_EQ(item->metadataUser->value(caption).toString(), "c");
        // Equal to the preset's default: no user value at all.
        EXPECT_FALSE(item->metadataUser->contains(keywords));
    }
    // Nothing pending after a commit unless the caption box stays ticked.
    editor.setCaptionTicked(false);
    EXPECT_FALSE(editor.isDirty(false));
}

TEST(SelectionEditor, EmptiedFieldsFallBackToThePresetAndOnlyTheMarkerClearsThem)
{
    const QVariantMap preset{{caption, "Default caption"}};
    SelectionEditor editor;
    editor.setWasLaunched(true);
    editor.textDidBeginEditing();
    const auto shown = editor.textDidEndEditing("", "", preset);
    EXPECT_EQ(shown.first, "Default caption");
    EXPECT_EQ(shown.second, "");
    EXPECT_EQ(editor.captionEffective(), "Default caption");
    // An end without a begun edit changes nothing.
    EXPECT_EQ(editor.textDidEndEditing("x", "y", preset).first, "x");

    // An emptied table value never blanks the preset's text: the image's own value goes and
    // the preset's applies again.
    const ThumbItemList items{itemWith("a.jpg", {{"IPTC.City", "Oslo"}}),
                              itemWith("b.jpg", {{"IPTC.City", "Oslo"}})};
    editor.setSelectedImages({0});
    const QVariantMap presetCity{{"IPTC.City", "Bergen"}};
    MetadataEditRow city{"IPTC.City", QStringLiteral("Oslo"), QString(), true, true};
    editor.setDirty(true);
    ASSERT_TRUE(editor.updateSelectedImages(items, {city}, "", "", presetCity, true));
    EXPECT_FALSE(items[0]->metadataUser->contains("IPTC.City"));

    // "No value" is said with the marker, which is kept and shown as such.
    editor.setSelectedImages({1});
    city.valNew = QStringLiteral("<none>");
    editor.setDirty(true);
    ASSERT_TRUE(editor.updateSelectedImages(items, {city}, "", "", presetCity, true));
    EXPECT_EQ(items[1]->metadataUser->value("IPTC.City").toString(), "<none>");
    editor.showMetadata(items, {1}, presetCity);
    EXPECT_EQ(editor.combinedMetadata().value("IPTC.City"), "<none>");
    EXPECT_FALSE(editor.presetFilledKeys().contains("IPTC.City"));
    editor.showMetadata(items, {0}, presetCity);
    EXPECT_EQ(editor.combinedMetadata().value("IPTC.City"), "Bergen");
    EXPECT_TRUE(editor.presetFilledKeys().contains("IPTC.City"));
}

TEST(SelectionEditor, MetadataToArrayDropsMixedRowsAndAddsCaptionAndKeywords)
{
    const QList<MetadataEditRow> rows{
        {"IPTC.City", QStringLiteral("<mixed>"), std::nullopt, false, true},
        {"IPTC.State", QStringLiteral("x"), std::nullopt, false, true},
        {"IPTC.Country", QStringLiteral("<mixed>"), QStringLiteral("NO"), true, true}};
    const auto result = SelectionEditor::metadataToArray(rows, "<mixed>", "kw");
    QStringList tags;
    for (const auto &row : result)
        tags << row.tag;
    EXPECT_EQ(tags, QStringList({"IPTC.State", "IPTC.Country", keywords}));
}

TEST(SelectionEditor, InclusionsStatusListsAndChecks)
{
    EXPECT_EQ(SelectionEditor::parseInclusions(" JPG  nef "), QSet<QString>({"jpg", "nef"}));
    EXPECT_TRUE(SelectionEditor::parseInclusions("").isEmpty());
    EXPECT_EQ(SelectionEditor::statusText(2, 3, 10), "2 selected     3 checked     10 total");

    const QString folder = makeTestFolder("lists");
    for (const char *name : {"x.JPG", "y.nef", "z.jpg", "notes"})
        ASSERT_TRUE(writeTestFile(folder + "/" + name, "data"));
    ThumbItemList items;
    for (const char *name : {"x.JPG", "y.nef", "z.jpg", "notes"})
        items << ThumbItem::initWithPath(folder + "/" + name);
    EXPECT_EQ(SelectionEditor::extensionsOf(items), QStringList({"", "JPG", "NEF"}));
    EXPECT_EQ(SelectionEditor::indexesWithExtension(items, "JPG"), QList<int>({0, 2}));
    const QStringList days = SelectionEditor::datesOf(items);
    ASSERT_EQ(days.size(), 1);
    EXPECT_EQ(SelectionEditor::indexesOfDate(items, days.first()).size(), 4);

    const QSet<QString> filter = SelectionEditor::parseInclusions("jpg");
    for (const auto &item : items)
        item->setExclusionFlag(filter);
    SelectionEditor::checkAll(items);
    EXPECT_EQ(SelectionEditor::countChecked(items), 2);
    EXPECT_FALSE(items[1]->checked);
    SelectionEditor::checkNone(items);
    EXPECT_EQ(SelectionEditor::countChecked(items), 0);
}

TEST(SelectionEditor, TickClickFollowsTheSelectionAndSkipsExcludedItems)
{
    ThumbItemList items{itemWith("a.jpg"), itemWith("b.jpg"), itemWith("c.tif"), itemWith("d.jpg")};
    items[2]->excluded = true;
    // A tick on a selected cell ticks the whole selection, excluded ones stay off.
    EXPECT_TRUE(SelectionEditor::tickClick(items, 0, {0, 1, 2}));
    EXPECT_TRUE(items[0]->checked && items[1]->checked);
    EXPECT_FALSE(items[2]->checked);
    EXPECT_FALSE(items[3]->checked);
    // Unticking does the same.
    SelectionEditor::tickClick(items, 1, {0, 1, 2});
    EXPECT_FALSE(items[0]->checked || items[1]->checked);
    // Outside the selection only that item changes.
    SelectionEditor::tickClick(items, 3, {0, 1});
    EXPECT_TRUE(items[3]->checked);
    EXPECT_FALSE(items[0]->checked);
    // An excluded cell changes nothing.
    EXPECT_FALSE(SelectionEditor::tickClick(items, 2, {2}));
    EXPECT_FALSE(items[2]->checked);
}
