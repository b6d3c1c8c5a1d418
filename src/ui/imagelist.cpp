#include "imagelist.h"

#include <QHash>

// The pictures live in a static library, whose resources must be registered by hand.
static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace zelbrin::ui {

static void registerIconResources() {
    static const bool registered = (initIconResources(), true);
    Q_UNUSED(registered);
}

QIcon programIcon() {
    registerIconResources();
    return QIcon(QStringLiteral(":/desktop/zelbrin.svg"));
}

QIcon imageListIcon(int index) {
    registerIconResources();
    static const char *const names[kImageListCount] = {
        "00-workdir",   "01-arrow-right", "02-arrow-left", "03-catalog",    "04-new-project",
        "05-delete",    "06-rename",      "07-quit",       "08-open",       "09-save",
        "10-new-sibling", "11-new-child", "12-all-right",  "13-all-left",   "14-page",
        "15-compile",   "16-arrow-up",    "17-arrow-down", "18-decompile",  "19-word",
        "20-web",       "21-workbook",    "22-presentation"};
    static QHash<int, QIcon> cache;
    if (index < 0 || index >= kImageListCount)
        return {};
    auto it = cache.find(index);
    if (it == cache.end())
        it = cache.insert(index, QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(names[index]))));
    return *it;
}

}  // namespace zelbrin::ui
