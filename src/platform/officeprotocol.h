#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The line protocol between the workbench and its office worker (zelbrin-office).
//
// Every message is one line of UTF-8 text ending in "\n"; its fields are separated by
// tabs. Inside a field a backslash, tab, line feed and carriage return are written as
// "\\", "\t", "\n" and "\r", so any file name passes unchanged.
//
//   worker, once the office is up:  READY <profile>      or  ERROR <text>, then it exits
//                                   profile is prepared (the office started from the
//                                   prepared profile) or fresh
//   request:                        CONVERT <kind> <source path> <target path> [outline]
//                                   kind is writer, calc or impress; with outline the
//                                   page marks its headings and index entries and their
//                                   outline lies beside it (documentoutline.h)
//   answer:                         OK                   or  ERROR <text> [<fault>]
//                                   fault says why a document has no page when the
//                                   office or the document is to blame (kFault... below);
//                                   without it, the page could not be written
//   request:                        QUIT                 answer OK; the worker has ended
//                                                        its office and exits
// End of input counts as QUIT. Requests are served one at a time, in order.
namespace zelbrin::officeprotocol {

inline constexpr char kReady[] = "READY";
inline constexpr char kError[] = "ERROR";
inline constexpr char kOk[] = "OK";
inline constexpr char kConvert[] = "CONVERT";
inline constexpr char kQuit[] = "QUIT";
inline constexpr char kOutline[] = "outline";
inline constexpr char kPrepared[] = "prepared";
inline constexpr char kFresh[] = "fresh";

// Why a conversion failed.
inline constexpr char kFaultMissing[] = "missing";
inline constexpr char kFaultUnreadable[] = "unreadable";
inline constexpr char kFaultDamaged[] = "damaged";
inline constexpr char kFaultProtected[] = "protected";
inline constexpr char kFaultNotADocument[] = "notdocument";
inline constexpr char kFaultOtherKind[] = "otherkind";
inline constexpr char kFaultNotConverted[] = "notconverted";
inline constexpr char kFaultOfficeCrashed[] = "crashed";  // the office died in the document

inline constexpr char kWriter[] = "writer";
inline constexpr char kCalc[] = "calc";
inline constexpr char kImpress[] = "impress";

// One line with its terminating "\n".
QByteArray encodeLine(const QStringList &fields);
// Splits a line (with or without its "\n"); a malformed escape is kept as it stands.
QStringList decodeLine(const QByteArray &line);

}  // namespace zelbrin::officeprotocol
