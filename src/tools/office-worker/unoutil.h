#pragma once

// Small bridges between Qt strings and UNO values, used by the worker's UNO code.

#include <QString>
#include <QUrl>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

#include <initializer_list>

namespace zelbrin::officeworker {

inline rtl::OUString toOU(const QString &s) {
    return rtl::OUString(reinterpret_cast<const sal_Unicode *>(s.utf16()), s.size());
}

inline QString toQ(const rtl::OUString &s) {
    return QString(reinterpret_cast<const QChar *>(s.getStr()), s.getLength());
}

// A file URL with every byte outside the unreserved set percent-encoded (UTF-8), so
// that "#", "%", "&", blanks and CJK names reach the office unchanged.
inline rtl::OUString fileUrl(const QString &path) {
    return toOU(QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()));
}

inline css::beans::PropertyValue prop(const char *name, const css::uno::Any &value) {
    css::beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

inline css::uno::Sequence<css::beans::PropertyValue> props(
    std::initializer_list<css::beans::PropertyValue> values) {
    return css::uno::Sequence<css::beans::PropertyValue>(values.begin(), sal_Int32(values.size()));
}

// Reads a named value out of a property sequence (media descriptor, filter or type
// description); an empty any when absent.
inline css::uno::Any findProp(const css::uno::Sequence<css::beans::PropertyValue> &props,
                              const char *name) {
    for (const auto &p : props)
        if (p.Name.equalsAscii(name))
            return p.Value;
    return {};
}

}  // namespace zelbrin::officeworker
