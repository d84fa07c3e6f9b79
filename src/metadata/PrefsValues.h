#pragma once

#include "metadata/Prefs.h"

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// How preference values are checked, normalised, written as text and read back. The
// preferences window (through ECPrefsController) and the command-line tool both come here, so
// they refuse and store exactly the same things.
namespace PrefsValues {

struct Checked
{
    QVariant value;  // what to store, normalised
    QString problem; // why the input is refused; empty when it is accepted
    bool ok() const { return problem.isEmpty(); }
};

// "nef, .CR2  NEF" becomes "nef CR2": dots and commas dropped, blanks collapsed, an entry
// repeated in any case kept once. Entries with anything but letters and digits are refused, so
// a half-valid list is never stored. An empty list is allowed (no file counts as raw).
Checked rawFileExtensions(const QString &text);

// Why `path` cannot be run as a program: missing, a folder, not executable. Empty when it can
// be run, and for an empty path (no program chosen). A leading "~/" is the home folder.
QString programProblem(const QString &path);
// The keys that name a program to run.
bool isProgram(const Prefs::Key &key);

// The custom-field key made from a typed name (a leading "cf." dropped, blanks to "_", "CF." in
// front). Refused: an empty name, characters that the macros or the field paths give a meaning
// to (". : @ { } ,"), and a key that `existing` already holds in any case (`replacing`, the
// field being renamed, does not count).
Checked customFieldKey(const QString &name, const QStringList &existing,
                       const QString &replacing = QString());
// The alert title for a refused custom-field name: the designed one for a field that exists.
QString customFieldRefusalTitle(const QString &problem);

// The converter's JPEG-preview options the window offers: the option and what it means.
struct Choice
{
    QString value;
    QString label;
};
const QList<Choice> &jpegPreviewChoices();

// One key's value from command-line words, checked and normalised as the window does it:
// booleans as YES/NO/true/false/1/0/on/off, lists as entries separated by commas (or given as
// separate words), the field layout as JSON text.
Checked parse(const Prefs::Key &key, const QStringList &words);
// A value as one line of text, in the form parse() reads back.
QString text(const Prefs::Key &key, const QVariant &value);
QJsonValue json(const Prefs::Key &key, const QVariant &value);
QString typeName(Prefs::Type type);

// The fields a layout may hold: the catalogue's keys (custom fields included) in catalogue
// order, without caption and keywords (the main window has fields of their own for those).
QStringList layoutCandidates();

// The stored layout entries as JSON objects (name, included, lines), and back with checks:
// names must be fields of the layout (any case; written in the catalogue's spelling), each
// once, with at least one line.
Checked layoutFromJson(const QString &text);

} // namespace PrefsValues
