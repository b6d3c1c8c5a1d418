// Placeholder until the office worker client lands: every build fails clearly.
#include "libreofficesession.h"

#include "builderror.h"

namespace zelbrin {

OfficeSessionFactory makeLibreOfficeSessionFactory(const QString &workerProgram, int) {
    return [workerProgram]() -> std::unique_ptr<OfficeSession> {
        throw BuildError(QStringLiteral("办公软件转换程序尚不可用：") + workerProgram);
    };
}

}  // namespace zelbrin
