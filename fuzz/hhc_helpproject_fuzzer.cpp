// hhc's help-project reader, with header files in the project folder for [ALIAS] and [MAP]
// to include.
#include "helpproject.h"
#include "scratchfolder.h"

using namespace zelbrin;
using namespace zelbrin::hhc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString &folder = fuzz::scratchFolder({
        {"map.h", "#define IDH_START 100\r\n#define IDH_END 200\r\n"},
        {"inc/alias.h", "IDH_START=start.htm\r\n#include ../map.h\r\n"},
    });
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const HelpProject project = parseHelpProject(decodeProjectText(bytes), folder + QStringLiteral("p.hhp"));
    project.defaultWindow();
    for (const WindowDefinition &w : project.windows)
        for (int i = 0; i < w.fields.size(); ++i)
            w.field(i);
    for (const auto &[key, value] : project.options) {
        project.option(key);
        if (const std::optional<int> lcid = parseLanguage(value))
            fuzz::check(parseLanguage(QStringLiteral("0x%1").arg(*lcid, 4, 16, QLatin1Char('0'))) == lcid,
                        "a language reads back as written");
    }
    return 0;
}
