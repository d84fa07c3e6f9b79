#include "platform/Format.h"

#include <QLocale>

#include <cstdio>
#include <vector>

QString describeVariant(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return QStringLiteral("(null)");
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList parts;
        for (const QVariant &v : value.toList())
            parts << describeVariant(v);
        return QLatin1Char('(') + parts.join(QLatin1String(", ")) + QLatin1Char(')');
    }
    case QMetaType::QVariantMap: {
        QStringList parts;
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            parts << it.key() + QLatin1String(" = ") + describeVariant(it.value());
        return QLatin1Char('{') + parts.join(QLatin1String("; ")) + QLatin1Char('}');
    }
    default:
        return value.toString();
    }
}

namespace {

void describeTree(const QVariant &value, int depth, QString &out)
{
    const QString indent(depth * 4, QLatin1Char(' '));
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        out += QStringLiteral("{\n");
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            out += indent + QStringLiteral("    ") + it.key() + QStringLiteral(" = ");
            describeTree(it.value(), depth + 1, out);
            out += QStringLiteral(";\n");
        }
        out += indent + QLatin1Char('}');
        break;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList parts;
        for (const QVariant &v : value.toList()) {
            QString part;
            describeTree(v, depth + 1, part);
            parts << part;
        }
        out += QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
        break;
    }
    case QMetaType::QString:
        out += QLatin1Char('"') + value.toString() + QLatin1Char('"');
        break;
    default:
        out += describeVariant(value);
    }
}

} // namespace

QString describePropertyTree(const QVariant &value)
{
    QString out;
    describeTree(value, 0, out);
    return out;
}

QString FormatArg::description() const
{
    switch (m_kind) {
    case Kind::Text:
        return m_text;
    case Kind::Signed:
        return QString::number(m_signed);
    case Kind::Unsigned:
        return QString::number(m_unsigned);
    case Kind::Real:
        return QString::number(m_real, 'g', QLocale::FloatingPointShortest);
    case Kind::Variant:
        return describeVariant(m_variant);
    case Kind::Pointer:
        return QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(m_pointer), 16);
    }
    return {};
}

long long FormatArg::asSigned() const
{
    switch (m_kind) {
    case Kind::Signed:
        return m_signed;
    case Kind::Unsigned:
        return static_cast<long long>(m_unsigned);
    case Kind::Real:
        return static_cast<long long>(m_real);
    case Kind::Text:
        return m_text.toLongLong();
    case Kind::Variant:
        return m_variant.toLongLong();
    case Kind::Pointer:
        return static_cast<long long>(reinterpret_cast<quintptr>(m_pointer));
    }
    return 0;
}

unsigned long long FormatArg::asUnsigned() const
{
    return m_kind == Kind::Unsigned ? m_unsigned : static_cast<unsigned long long>(asSigned());
}

double FormatArg::asReal() const
{
    switch (m_kind) {
    case Kind::Real:
        return m_real;
    case Kind::Signed:
        return static_cast<double>(m_signed);
    case Kind::Unsigned:
        return static_cast<double>(m_unsigned);
    case Kind::Text:
        return m_text.toDouble();
    case Kind::Variant:
        return m_variant.toDouble();
    case Kind::Pointer:
        return 0;
    }
    return 0;
}

QByteArray FormatArg::asUtf8() const
{
    return description().toUtf8();
}

namespace {

bool isFlag(char c)
{
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\'';
}

bool isLengthModifier(char c)
{
    return c == 'h' || c == 'l' || c == 'q' || c == 'L' || c == 'z' || c == 'j' || c == 't';
}

// Formats one C conversion; `spec` is the whole conversion without its length modifier.
template <typename T> QByteArray printOne(const std::string &spec, T value)
{
    int n = std::snprintf(nullptr, 0, spec.c_str(), value);
    if (n < 0)
        return {};
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::snprintf(buf.data(), buf.size(), spec.c_str(), value);
    return QByteArray(buf.data(), n);
}

} // namespace

QString formatArgs(const char *format, std::initializer_list<FormatArg> args)
{
    QString out;
    if (!format)
        return out;
    auto next = args.begin();
    auto take = [&]() -> const FormatArg * { return next == args.end() ? nullptr : &*next++; };

    const char *p = format;
    const char *literalStart = p;
    auto flushLiteral = [&](const char *end) {
        if (end > literalStart)
            out += QString::fromUtf8(literalStart, end - literalStart);
    };

    while (*p) {
        if (*p != '%') {
            ++p;
            continue;
        }
        flushLiteral(p);
        const char *start = p++;
        if (*p == '%') {
            out += QLatin1Char('%');
            literalStart = ++p;
            continue;
        }
        std::string spec = "%";
        while (*p && isFlag(*p))
            spec += *p++;
        while (*p && ((*p >= '0' && *p <= '9') || *p == '.'))
            spec += *p++;
        while (*p && isLengthModifier(*p))
            ++p; // the argument carries its own width; snprintf gets the widest type
        const char conv = *p;
        if (!conv) {
            out += QString::fromUtf8(start);
            literalStart = p;
            break;
        }
        ++p;
        literalStart = p;
        const FormatArg *arg = nullptr;
        switch (conv) {
        case '@':
            arg = take();
            out += arg ? arg->description() : QStringLiteral("(null)");
            break;
        case 'd':
        case 'i':
            arg = take();
            out += QString::fromUtf8(printOne(spec + "lld", arg ? arg->asSigned() : 0LL));
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            arg = take();
            out += QString::fromUtf8(printOne(spec + "ll" + conv, arg ? arg->asUnsigned() : 0ULL));
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            arg = take();
            out += QString::fromUtf8(printOne(spec + conv, arg ? arg->asReal() : 0.0));
            break;
        case 'c':
        case 'C':
            arg = take();
            if (arg && arg->kind() == FormatArg::Kind::Text)
                out += arg->description().left(1);
            else
                out += QChar(static_cast<char32_t>(arg ? arg->asSigned() : 0));
            break;
        case 's':
        case 'S': {
            arg = take();
            const QByteArray bytes = arg ? arg->asUtf8() : QByteArray("(null)");
            if (spec == "%")
                out += QString::fromUtf8(bytes);
            else
                out += QString::fromUtf8(printOne(spec + 's', bytes.constData()));
            break;
        }
        case 'p':
            arg = take();
            out += QString::fromUtf8(printOne(std::string("%p"), arg ? arg->asPointer() : nullptr));
            break;
        default:
            // Not a conversion we know: keep the text as written.
            out += QString::fromUtf8(start, p - start);
            break;
        }
    }
    flushLiteral(p);
    return out;
}
