#pragma once
// Checks of image properties as tables: one row a value, named by its group ("{Exif}") and key,
// or by the key alone for the top level ("PixelWidth").

#include <QVariant>

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

struct Prop
{
    const char *group; // nullptr: the top level
    const char *key;
    QVariant value;
    double tolerance = 0; // doubles only; 0: equal but for rounding
};

inline QVariant propAt(const QVariantMap &props, const char *group, const char *key)
{
    const QString name = QString::fromLatin1(key);
    return group ? props.value(QString::fromLatin1(group)).toMap().value(name) : props.value(name);
}

// Doubles compare by value within the tolerance, anything else as a QVariant; the kind must
// match as well (75 is an int, not "75" nor 75.0).
inline void expectProps(const QVariantMap &props, std::initializer_list<Prop> rows)
{
    for (const Prop &row : rows) {
        const QVariant actual = propAt(props, row.group, row.key);
        const std::string name = std::string(row.group ? row.group : "") + " " + row.key + " = " +
                                 actual.toString().toStdString() + " (" + actual.typeName() + ")";
        if (row.value.typeId() == QMetaType::Double) {
            const double expected = row.value.toDouble();
            const double tolerance =
                row.tolerance > 0 ? row.tolerance : 1e-12 * std::max(1.0, std::fabs(expected));
            EXPECT_EQ(actual.typeId(), QMetaType::Double) << name;
            EXPECT_NEAR(actual.toDouble(), expected, tolerance) << name;
        } else {
            EXPECT_EQ(actual.typeId(), row.value.typeId()) << name;
            EXPECT_EQ(actual, row.value) << name;
        }
    }
}

// Degrees with the hemisphere's sign.
inline double signedLatitude(const QVariantMap &props)
{
    return propAt(props, "{GPS}", "Latitude").toDouble() *
           (propAt(props, "{GPS}", "LatitudeRef") == QStringLiteral("S") ? -1 : 1);
}

inline double signedLongitude(const QVariantMap &props)
{
    return propAt(props, "{GPS}", "Longitude").toDouble() *
           (propAt(props, "{GPS}", "LongitudeRef") == QStringLiteral("W") ? -1 : 1);
}
