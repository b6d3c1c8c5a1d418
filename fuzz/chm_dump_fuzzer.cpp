// hh -dump: every structure of a compiled help file read from its bytes and printed.
#include "chmdump.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QString error;
    const QStringList lines =
        zelbrin::hh::dumpChm(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    zelbrin::fuzz::check(lines.isEmpty() || error.isEmpty(), "a dump comes with no error, an error with no dump");
    return 0;
}
