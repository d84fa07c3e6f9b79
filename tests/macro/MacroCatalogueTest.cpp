#include "macro/MacroProcessor.h"
#include "metadata/ECPrefsController.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// A token field that shows plain runs merged, as a widget that joins adjacent text would.
class MergingField : public TokenField
{
public:
    TokenList objectValue() const override { return m_value; }
    void setObjectValue(const TokenList &value) override
    {
        m_value.clear();
        for (const TokenElement &element : value) {
            if (!isToken(element) && !m_value.isEmpty() && !isToken(m_value.last()))
                m_value.last() = elementText(m_value.last()) + elementText(element);
            else
                m_value.append(element);
        }
    }

private:
    TokenList m_value;
};

class ListField : public TokenField
{
public:
    TokenList objectValue() const override { return value; }
    void setObjectValue(const TokenList &v) override { value = v; }
    TokenList value;
};

struct TokenRow
{
    const char *name;
    QString text;
    TokenList tokens;
};

void PrintTo(const TokenRow &row, std::ostream *os)
{
    *os << row.name;
}

class Tokenizing : public testing::TestWithParam<TokenRow>
{};

TEST_P(Tokenizing, CutsTextIntoTokensAndPlainRunsAndJoinsThemBack)
{
    const TokenRow &row = GetParam();
    const TokenList tokens = MacroProcessor::tokenize(row.text);
    EXPECT_EQ(tokens, row.tokens);
    EXPECT_EQ(MacroProcessor::tokensToString(tokens), row.text);
}

TokenElement tok(const char *text)
{
    return MyToken(QString::fromUtf8(text));
}
TokenElement str(const char *text)
{
    return QString::fromUtf8(text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Tokenizing,
    testing::Values(
        TokenRow{"BraceWithoutAtIsLiteral", "a{b}{@X}c", {str("a{b}"), tok("{@X}"), str("c")}},
        TokenRow{"UnterminatedMacroIsPlain", "{@Index:4", {str("{@Index:4")}},
        TokenRow{"NestedBracesEndAtFirstClose", "{@A{@B}}", {tok("{@A{@B}"), str("}")}},
        TokenRow{"TrailingBraceStaysPlain", "2011/{", {str("2011/{")}}, TokenRow{"Empty", "", {}},
        TokenRow{"AdjacentTokens", "{@Index:4}{@Space}", {tok("{@Index:4}"), tok("{@Space}")}},
        TokenRow{"OpeningAtEndIsPlain", "x{@", {str("x"), str("{@")}},
        TokenRow{"ArgumentWithSlashes",
                 "{@DateImage:YYYY/MM-DD}/raw",
                 {tok("{@DateImage:YYYY/MM-DD}"), str("/raw")}}),
    [](const testing::TestParamInfo<TokenRow> &info) { return std::string(info.param.name); });

TEST(TokenField, CountMismatchWritesBothListsToTheIngestionLog)
{
    SystemLogCapture capture;
    const QStringList &lines = capture.lines;

    ListField faithful;
    MacroProcessor::stringToTokens(QStringLiteral("a{@X}b"), faithful);
    EXPECT_EQ(faithful.value.size(), 3);
    EXPECT_TRUE(lines.isEmpty()) << "matching counts log nothing";

    MergingField merging;
    MacroProcessor::stringToTokens(QStringLiteral("x{@"), merging);

    const QStringList expected = {"stringToTokens [x{@] counts: 2 1", "string [x]", "string [{@]",
                                  "------------", "string [x{@]"};
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_TRUE(lines[0].startsWith(QLatin1Char('\n'))) << "an empty line comes first";
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(lines[i].endsWith(": " + expected[i] + "\n")) << lines[i].toStdString();
}

TEST(TokenField, MenuChoiceAppendsOneToken)
{
    ListField field;
    field.value = {str("trip/")};
    MacroProcessor::insertFieldToken(QStringLiteral("DateImage:YYYY/MM-DD"), field);
    EXPECT_EQ(field.value, (TokenList{str("trip/"), tok("{@DateImage:YYYY/MM-DD}")}));
    MacroProcessor::insertFieldToken(std::nullopt, field);
    EXPECT_EQ(field.value.size(), 2);
}

class MacroCatalogue : public testing::Test
{
protected:
    void SetUp() override
    {
        ECPrefsController::prefs().setCustomFields({QStringLiteral("CF.Shoot")});
        MacroProcessor::resetMacros();
    }
    void TearDown() override
    {
        ECPrefsController::prefs().setCustomFields({QStringLiteral("CF.Shoot")});
        MacroProcessor::resetMacros();
    }
};

TEST_F(MacroCatalogue, BuiltInsInOrderThenCustomFields)
{
    const QStringList &names = MacroProcessor::macroNames();
    ASSERT_EQ(names.size(), 114);
    EXPECT_EQ(names.first(), "DPIHeight");
    EXPECT_EQ(names[2], "Exif.ApertureValue");
    EXPECT_EQ(names[33], "Exif.WhiteBalance");
    EXPECT_EQ(names[34], "ExifAux.FlashCompensation");
    EXPECT_EQ(names[66], "Orientation");
    EXPECT_EQ(names[83], "DateImage");
    EXPECT_EQ(names[112], "Required");
    EXPECT_EQ(names[113], "CF.Shoot");
    EXPECT_EQ(names.indexOf("Index:4"), 109);
    EXPECT_EQ(names.indexOf("Lookup.ExifAux.LensModel"), 104);

    const auto path = [](const char *name) {
        const Macro *macro = MacroProcessor::macroNamed(QString::fromLatin1(name));
        return macro ? macro->metadataPath.value_or("<none>") : QStringLiteral("<missing>");
    };
    EXPECT_EQ(path("Exif.FNumber"), "{Exif}.FNumber");
    EXPECT_EQ(path("MakerCanon.LensModel"), "{MakerCanon}.LensModel");
    EXPECT_EQ(path("PixelWidth"), "PixelWidth");
    EXPECT_EQ(path("Lookup.TIFF.Make"), "{TIFF}.Make");
    EXPECT_EQ(path("Lookup.ExifAux.SerialNumber"), "{ExifAux}.SerialNumber");
    EXPECT_EQ(path("Lookup.FileExtensionOriginal"), "FileExtensionOriginal");
    EXPECT_EQ(path("CF.Shoot"), "CF.Shoot");
    EXPECT_EQ(path("DateImage:YYYY/MM-DD"), "<none>");
    EXPECT_EQ(path("Index:4"), "<none>");
    EXPECT_EQ(path("FileNameOriginal"), "<none>");
    EXPECT_EQ(path("exif.FNumber"), "<missing>") << "names are case-sensitive";
}

TEST_F(MacroCatalogue, CustomFieldsTakeEffectAfterReset)
{
    EXPECT_EQ(MacroProcessor::macros().size(), 114);
    ECPrefsController::prefs().setCustomFields(QStringList{"CF.Shoot", "CF.Client", "CF.Client"});
    EXPECT_EQ(MacroProcessor::macroNames().size(), 114) << "kept until reset";
    MacroProcessor::resetMacros();
    const QList<Macro> &macros = MacroProcessor::macros();
    ASSERT_EQ(macros.size(), 116);
    EXPECT_EQ(MacroProcessor::macroNames().last(), "CF.Client");
    EXPECT_EQ(MacroProcessor::macroNamed("CF.Client"), &macros.last()) << "later duplicate wins";
}

TEST_F(MacroCatalogue, MenuGroupsNamesBySubMenuRules)
{
    const std::pair<const char *, const char *> rows[] = {
        {"Lookup.TIFF.Make", "Special"},
        {"Index:4", "Special"},
        {"ExifAux.LensModel", "Exif"},
        {"FileNameOriginal", "Special"},
        {"CF.Shoot", "Macros"},
        {"DateImage:YYYY/MM-DD", "Date"},
        {"DateNow", "Date"},
        {"MakerNikon.Quality", "Maker"},
        {"makerX", "Maker"},
        {"UserName", "Special"},
        {"SHOOT", "Special"},
        {"Required", "Special"},
        {"GPS.Altitude", "GPS"},
        {"TIFF.Make", "TIFF"},
        {"DPIHeight", "Macros"},
        {"Ask:Where", "Special"},
        {"gps.Altitude", "Macros"},
        {"Exif.FNumber", "Exif"},
    };
    for (const auto &[name, section] : rows)
        EXPECT_EQ(MacroProcessor::tokenMenuSectionFor(QString::fromLatin1(name)), section) << name;

    const QList<TokenMenuSection> menu = MacroProcessor::tokenMenu();
    QStringList titles;
    qsizetype total = 0;
    for (const TokenMenuSection &section : menu) {
        titles << section.title;
        total += section.names.size();
    }
    EXPECT_EQ(titles, (QStringList{"Macros", "Date", "Exif", "TIFF", "GPS", "Maker", "Special"}));
    EXPECT_EQ(total, MacroProcessor::macroNames().size());
    EXPECT_EQ(menu[0].names, (QStringList{"CF.Shoot", "DPIHeight", "DPIWidth", "Orientation",
                                          "PixelHeight", "PixelWidth", "ProfileName"}));
    // Sorted ignoring case: "Flash" before "FNumber" before "FocalLength".
    const QStringList &exif = menu[2].names;
    EXPECT_LT(exif.indexOf("Exif.Flash"), exif.indexOf("Exif.FNumber"));
    EXPECT_LT(exif.indexOf("Exif.FNumber"), exif.indexOf("Exif.FocalLength"));
    EXPECT_LT(exif.indexOf("Exif.FocalLength"), exif.indexOf("Exif.FocalLenIn35mmFilm"));
    EXPECT_TRUE(menu[6].names.contains("Space"));
}

} // namespace
