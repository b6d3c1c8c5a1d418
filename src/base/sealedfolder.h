#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Folders kept between builds (converted pages, the office's prepared profile) that other
// builds may read and write at the same time, and that a crash, a full disk or a person may
// leave damaged. A sealed folder carries a manifest with its label and every file's size
// and checksum; it appears under its name only once it is whole, and a copy out of it is
// checked byte for byte, so a damaged one is noticed and never used.
namespace zelbrin::sealed {

// Copies the files and plain folders below source into a new sealed folder at destination
// (written beside it under a temporary name, then renamed into place). Entries whose path
// relative to source is in excluded are left out with everything below them. True when
// destination holds a sealed folder afterwards (another process may have stored it first).
bool store(const QString &source, const QString &destination, const QByteArray &label,
           const QStringList &excluded = {});
// Seals one file of the given content, named name, at destination, as store() does.
bool storeFile(const QString &name, const QByteArray &content, const QString &destination,
               const QByteArray &label);

// Copies the content of the sealed folder into destination, which is created. False when
// the folder is missing, sealed with another label, or damaged (a file missing, shorter,
// longer or different); destination may then hold part of the content.
bool restore(const QString &sealedFolder, const QString &destination, const QByteArray &label);
// The content of the file name in the sealed folder; nullopt when the folder is missing,
// sealed with another label or damaged, or the file is not in it.
std::optional<QByteArray> readFile(const QString &sealedFolder, const QString &name,
                                   const QByteArray &label);

// Total size in bytes of the files that the manifest lists; -1 when there is no readable
// manifest.
qint64 contentSize(const QString &sealedFolder);

// Removes a sealed folder: renamed away first, so that no reader finds it half removed.
void discard(const QString &sealedFolder);

// Removes what writers and removers that were killed left in folder (a folder of sealed
// folders).
void sweepLeftovers(const QString &folder);

// Name of the manifest inside a sealed folder.
inline constexpr char kManifestName[] = ".sealed";

}  // namespace zelbrin::sealed
