#pragma once

#include "officesession.h"

namespace zelbrin {

// Starts the office worker program for each build.
OfficeSessionFactory makeLibreOfficeSessionFactory(const QString &workerProgram,
                                                   int perDocumentTimeoutMs = 180000);

}  // namespace zelbrin
