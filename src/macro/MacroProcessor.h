#pragma once

#include "macro/Macro.h"
#include "macro/MyToken.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

class Setup;
class ThumbItem;

// One sub-menu of the macro catalogue menu: its title and the macro names it lists.
struct TokenMenuSection
{
    QString title;
    QStringList names;

    friend bool operator==(const TokenMenuSection &, const TokenMenuSection &) = default;
};

// Evaluates macro texts ("{@Name:argument@default}") for one image, and keeps the process-wide
// macro catalogue. An instance has no state of its own; the catalogue, its name map and the
// date-name locale are process-wide. Main thread only: nothing here is locked.
class MacroProcessor
{
public:
    MacroProcessor();
    ~MacroProcessor();
    MacroProcessor(const MacroProcessor &) = delete;
    MacroProcessor &operator=(const MacroProcessor &) = delete;

    // The most recently created instance (nullptr when none is alive).
    static MacroProcessor *sharedMacropProcessor();

    // The text with every macro replaced by its value for `item` under `setup`.
    QString expand(const QString &text, ThumbItem &item, const Setup &setup);
    // The value of one macro; `body` is the text between "{@" and "}".
    QString doMacroCall(const QString &body, ThumbItem &item, const Setup &setup);
    // The image's date as "yyyy:MM:dd HH:mm:ss" (with "-" in the date when it is the file time).
    QString datetimeany(ThumbItem &item);
    // Stores the camera time in item.exifDatetime (seconds since 2001-01-01 UTC, the GPX time
    // scale); leaves it alone and answers false when the image has no usable EXIF date.
    bool getExifDatetime(ThumbItem &item);

    // Date formatting of "DateImage"/"DateNow": `date` is the 19-character date text, `pattern`
    // the macro argument (none: the date text itself).
    static QString formatDate(const QString &date, const std::optional<QString> &pattern);
    // A metadata value as macro text: integers without a decimal point, other numbers in their
    // shortest form, the first element of a list, a fixed "<kind>" text for other kinds.
    static QString valueText(const QVariant &value);
    // The value at a properties path ("{Exif}.FNumber") in a properties dictionary, or invalid.
    static QVariant valueAtPath(const QVariantMap &properties, const QString &path);
    // "IMG_1.CR2" -> "IMG_1" / "CR2"; a leading dot does not start an extension.
    static QString nameWithoutExtension(const QString &fileName);
    static QString extensionOf(const QString &fileName);

    // The full name of the user running the program (first gecos field); tests may replace the
    // source, an empty function restores the password database.
    static QString userFullName();
    static void setUserFullNameSource(std::function<QString()> source);

    // The catalogue: the built-in macros in their order, then one per custom field. Built on
    // first use; resetMacros drops it so that changed custom fields take effect.
    static const QList<Macro> &macros();
    static const QStringList &macroNames();
    // The catalogue entry of that exact (case-sensitive) name, or nullptr.
    static const Macro *macroNamed(const QString &name);
    static void resetMacros();

    // Cutting a macro text into tokens and plain strings, and joining them back.
    static TokenList tokenize(const QString &text);
    static QString tokensToString(const TokenList &tokens);
    // Sets the field's value to the tokens of `text`; when the field then holds a different
    // number of elements, both lists go to the ingestion log.
    static void stringToTokens(const QString &text, TokenField &field);
    // Appends the token "{@title}" for a chosen menu item; no title (not a menu item): nothing.
    static void insertFieldToken(const std::optional<QString> &menuItemTitle, TokenField &field);

    // The catalogue menu as data: sub-menus in the order the pop-up shows them ("Macros",
    // "Date", "Exif", "TIFF", "GPS", "Maker", "Special"), each with its names sorted ignoring case.
    static QList<TokenMenuSection> tokenMenu();
    // The title of the sub-menu that lists `name`.
    static QString tokenMenuSectionFor(const QString &name);

private:
    static QString catalogueValue(const QString &kind, const QString &namePart,
                                  const QString &defaultText, ThumbItem &item);
    static QString indexText(qint64 index, const std::optional<QString> &argument);
    static QStringList customFieldKeys();
    static QString exposureTimeText(const QVariant &value);
    static std::optional<QString> lookup(const QString &value, const QString &field);
    // The locale that supplies weekday and month names: the default locale, which is the
    // system's unless a test set another with QLocale::setDefault.
    static QLocale nameLocale();
};
