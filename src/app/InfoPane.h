#pragma once

#include <QString>
#include <QVariant>

class ThumbItem;

// The HTML of the main window's info pane for one image.
namespace InfoPane {

// Appends one "label: value" pair; an absent value appends nothing. With a limit above 0 a
// text longer than the limit is cut and a number is shown with one decimal.
void writeMeta(QString &text, const QString &label, const QVariant &value, int limit,
               bool wantBreak);
// An exposure time in fraction form: values between 0 and 1 become "1/N".
QString fractionFor(const QVariant &value);
// The pane's text for an item (loads its metadata); the empty text without an item.
QString imageDataHtml(ThumbItem *item);

} // namespace InfoPane
