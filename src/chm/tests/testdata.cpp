#include "testdata.h"

#include <QRandomGenerator>
#include <QStringBuilder>

namespace zelbrin::chm::testdata {

QByteArray html(int size, quint32 seed) {
    static const char *const words[] = {
        "the",   "help",  "file",   "page",    "<p>",      "</p>",    "<b>",     "</b>",  "manual",
        "click", "open",  "window", "toolbar", "<br/>",    "按钮",    "设置",    "menu",  "<td class=\"c1\">",
        "</td>", "table", "select", "option",  "document", "index",   "contents", "&nbsp;", "search"};
    QRandomGenerator rng(seed);
    QByteArray out = QByteArray("<html><head><title>Page ") + QByteArray::number(seed) + "</title></head><body>\n";
    while (out.size() < size) {
        const quint32 pick = rng.bounded(quint32(std::size(words)) + 3);
        if (pick < std::size(words))
            out += words[pick];
        else
            out += QByteArray::number(rng.bounded(10000));
        out += rng.bounded(12) == 0 ? '\n' : ' ';
    }
    out.truncate(size);
    return out;
}

QByteArray random(int size, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char(rng.bounded(256));
    return out;
}

QByteArray records(int size, quint32 seed) {
    const QByteArray pool = random(16 * 400, seed);
    QRandomGenerator rng(seed);
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size)
        out += pool.mid(16 * rng.bounded(400), 16);
    out.truncate(size);
    return out;
}

}  // namespace zelbrin::chm::testdata
