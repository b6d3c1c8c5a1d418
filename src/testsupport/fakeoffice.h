#pragma once

#include "builderror.h"
#include "officesession.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <functional>
#include <memory>

namespace zelbrin::testing {

// An office that writes a small page naming its source, and records every call.
struct FakeOfficeLog {
    QStringList calls;  // "word|calc|impress source -> target"
    int sessions = 0;
    int quits = 0;
    int failWorkbookAttempts = 0;      // workbook attempts that fail before one succeeds
    int failPresentationAttempts = 0;
    QString failWordFor;               // a source whose Word conversion throws
    std::function<void()> duringWord;  // runs inside every Word conversion
};

class FakeOffice : public OfficeSession {
public:
    explicit FakeOffice(FakeOfficeLog &log) : log_(log) { ++log_.sessions; }
    void convertWordDocument(const QString &source, const QString &target) override {
        log_.calls << QStringLiteral("word %1 -> %2").arg(source, target);
        if (log_.duringWord)
            log_.duringWord();
        if (!log_.failWordFor.isEmpty() && source == log_.failWordFor)
            throw BuildError(QStringLiteral("无法打开文档：") + source);
        write(source, target);
    }
    bool convertWorkbook(const QString &source, const QString &target) override {
        log_.calls << QStringLiteral("calc %1 -> %2").arg(source, target);
        if (log_.failWorkbookAttempts > 0) {
            --log_.failWorkbookAttempts;
            return false;
        }
        return write(source, target);
    }
    bool convertPresentation(const QString &source, const QString &target) override {
        log_.calls << QStringLiteral("impress %1 -> %2").arg(source, target);
        if (log_.failPresentationAttempts > 0) {
            --log_.failPresentationAttempts;
            return false;
        }
        return write(source, target);
    }
    void quit() override { ++log_.quits; }

    static OfficeSessionFactory factory(FakeOfficeLog &log) {
        return [&log] { return std::make_unique<FakeOffice>(log); };
    }

private:
    bool write(const QString &source, const QString &target) {
        QFile f(target);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("<html><body>page of " + QFileInfo(source).fileName().toUtf8() + "</body></html>\n");
        return true;
    }
    FakeOfficeLog &log_;
};

}  // namespace zelbrin::testing
