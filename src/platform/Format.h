#pragma once

#include <QString>
#include <QVariant>

#include <initializer_list>
#include <string>

// One argument of a message format. Messages mix "%@" (the argument's text form) with C
// conversions ("%d", "%ld", "%s", "%.1f", "%c", ...); each argument is converted on its own, so
// a "%" inside an argument is never interpreted again.
class FormatArg
{
public:
    enum class Kind { Text, Signed, Unsigned, Real, Variant, Pointer };

    FormatArg(const QString &s) : m_kind(Kind::Text), m_text(s) {}
    FormatArg(const char *s) : m_kind(Kind::Text), m_text(s ? QString::fromUtf8(s) : QString()) {}
    FormatArg(const std::string &s) : m_kind(Kind::Text), m_text(QString::fromStdString(s)) {}
    FormatArg(const QByteArray &s) : m_kind(Kind::Text), m_text(QString::fromUtf8(s)) {}
    FormatArg(QLatin1String s) : m_kind(Kind::Text), m_text(s) {}
    FormatArg(char c) : m_kind(Kind::Signed), m_signed(c) {}
    FormatArg(int v) : m_kind(Kind::Signed), m_signed(v) {}
    FormatArg(long v) : m_kind(Kind::Signed), m_signed(v) {}
    FormatArg(long long v) : m_kind(Kind::Signed), m_signed(v) {}
    FormatArg(unsigned v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(unsigned long v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(unsigned long long v) : m_kind(Kind::Unsigned), m_unsigned(v) {}
    FormatArg(bool v) : m_kind(Kind::Signed), m_signed(v ? 1 : 0) {}
    FormatArg(double v) : m_kind(Kind::Real), m_real(v) {}
    FormatArg(float v) : m_kind(Kind::Real), m_real(v) {}
    FormatArg(const QVariant &v) : m_kind(Kind::Variant), m_variant(v) {}
    FormatArg(const void *p) : m_kind(Kind::Pointer), m_pointer(p) {}

    Kind kind() const { return m_kind; }
    // The text "%@" shows: strings as they are, numbers in their shortest form.
    QString description() const;
    long long asSigned() const;
    unsigned long long asUnsigned() const;
    double asReal() const;
    QByteArray asUtf8() const;
    const void *asPointer() const { return m_pointer; }

private:
    Kind m_kind;
    QString m_text;
    long long m_signed = 0;
    unsigned long long m_unsigned = 0;
    double m_real = 0;
    QVariant m_variant;
    const void *m_pointer = nullptr;
};

// The text form "%@" gives a value: strings as they are, integers without a decimal point,
// other numbers in their shortest form (5.6), lists as "(a, b)".
QString describeVariant(const QVariant &value);

// An indented, property-list-like listing of nested properties: dictionaries in braces with
// "key = value;" lines, lists in parentheses, texts quoted, numbers in their shortest form.
QString describePropertyTree(const QVariant &value);

QString formatArgs(const char *format, std::initializer_list<FormatArg> args);

// formatMessage("Copied %d files to %@", 3, folder)
template <typename... Args> QString formatMessage(const char *format, const Args &...args)
{
    return formatArgs(format, {FormatArg(args)...});
}
