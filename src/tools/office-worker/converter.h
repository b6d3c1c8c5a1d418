#pragma once

#include "officeprocess.h"

#include <QString>

namespace zelbrin::officeworker {

// Converts one document to an HTML page with the office of an OfficeProcess.
//
// Documents are loaded straight into a model (type detection, then XLoadable) without a
// frame or view: the headless packages carry no dialog layouts for the views, and a
// view may post events that build such widgets between two calls and abort the office.
class Converter {
public:
    Converter(OfficeProcess &office, QString scratchFolder);

    // kind: officeprotocol::kWriter, kCalc or kImpress (the route the caller expects; the
    // page is written for what the document turns out to be). Throws WorkerError.
    // withOutline: the page marks its headings and index entries, and their outline is
    // written beside it (outlineexport.h); without it the page is as ever.
    void convert(const QString &kind, const QString &source, const QString &target,
                 bool withOutline = false);

private:
    OfficeProcess &office_;
    QString scratchFolder_;
};

}  // namespace zelbrin::officeworker
