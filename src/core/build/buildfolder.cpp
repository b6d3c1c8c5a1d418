#include "buildfolder.h"

#include "builderror.h"
#include "fileops.h"
#include "leftovers.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelbrin {
namespace {

const QByteArray kMarkTitle = "Zelbrin build folder";
// A build folder is made under this name (with the maker's pid) and renamed to "temp" once
// it carries its mark; a later build removes one whose maker was killed before the rename.
const std::string kUnfinishedPrefix = ".zelbrin-temp-";

QByteArray encoded(const QString &path) { return QFile::encodeName(path); }

// Why a folder could not be written, in the user's words for the usual reasons.
QString writeError(int error) {
    switch (error) {
    case EACCES:
    case EPERM: return QStringLiteral("没有写入权限");
    case EROFS: return QStringLiteral("只读的文件系统");
    case ENOSPC: return QStringLiteral("磁盘已满");
    case EDQUOT: return QStringLiteral("超出磁盘配额");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString notWritableMessage(const QString &folder, int error) {
    return QStringLiteral("工程所在的文件夹不能写入：%1（%2）。请把工程保存到可以写入的文件夹后再编译。")
        .arg(folder, writeError(error));
}

// The mark's lines, "key=value" after its title; empty when folder holds no mark.
QByteArray readMark(const QString &folder) {
    const QString mark = folder + u'/' + QLatin1String(kBuildFolderMark);
    struct stat st {};
    if (::lstat(encoded(mark).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    QFile file(mark);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.read(4096);
    return text.startsWith(QByteArray(kMarkTitle + '\n')) ? text : QByteArray();
}

QString markValue(const QByteArray &mark, const QByteArray &key) {
    for (const QByteArray &line : mark.split('\n')) {
        if (line.startsWith(QByteArray(key + '=')))
            return QString::fromUtf8(line.mid(key.size() + 1));
    }
    return {};
}

QString busyMessage(const QString &directory, const QString &buildFolder) {
    const QByteArray mark = readMark(buildFolder);
    QString running = QStringLiteral("另一个编译");
    if (!mark.isEmpty()) {
        const QDateTime started = QDateTime::fromString(markValue(mark, "started"), Qt::ISODate);
        running = QStringLiteral("工程 %1 的编译（进程 %2，%3 开始）")
                      .arg(markValue(mark, "project"), markValue(mark, "pid"),
                           started.toLocalTime().toString(QStringLiteral("HH:mm:ss")));
    }
    return QStringLiteral("%1正在使用工程所在的文件夹 %2。同一个文件夹中的工程不能同时编译，请等它结束后再编译。")
        .arg(running, directory);
}

QString userFolderMessage(const QString &buildFolder) {
    return QStringLiteral("工程所在的文件夹中已有一个不是本程序建立的“temp”：%1。编译要用这个名字建立临时文件夹，"
                          "结束时还要删除它；为了不动其中的文件，编译没有进行。请把它改名或移到别处后再编译。")
        .arg(buildFolder);
}

bool exists(const QString &path) {
    struct stat st {};
    return ::lstat(encoded(path).constData(), &st) == 0;
}

}  // namespace

bool BuildFolder::madeByBuild(const QString &folder) {
    struct stat st {};
    return ::lstat(encoded(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) && !readMark(folder).isEmpty();
}

BuildFolder::BuildFolder(const QString &projectDirectory, const QString &projectFile)
    : path_(projectDirectory + QStringLiteral("temp")) {
    const QString directory = projectDirectory.endsWith(u'/') && projectDirectory.size() > 1
                                  ? projectDirectory.chopped(1)
                                  : projectDirectory;
    lockFd_ = ::open(encoded(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lockFd_ < 0)
        throw BuildError(QStringLiteral("无法打开工程所在的文件夹：%1（%2）")
                             .arg(directory, QString::fromLocal8Bit(std::strerror(errno))));
    // A file system without locks leaves builds unguarded, as they were before.
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        const QString message = busyMessage(directory, path_);
        ::close(lockFd_);
        lockFd_ = -1;
        throw BuildError(message);
    }
    try {
        if (exists(path_)) {
            if (!madeByBuild(path_))
                throw BuildError(userFolderMessage(path_));
            deleteDirectory(path_);
            if (exists(path_))
                throw BuildError(QStringLiteral("无法删除上次编译留下的临时文件夹：%1").arg(path_));
        }
        const std::string directoryName = encoded(directory).toStdString();
        leftovers::sweep(directoryName, kUnfinishedPrefix);
        QByteArray unfinished =
            encoded(projectDirectory) + QByteArray::fromStdString(leftovers::namePrefix(kUnfinishedPrefix, ::getpid())) +
            "XXXXXX";
        if (!::mkdtemp(unfinished.data()))
            throw BuildError(notWritableMessage(directory, errno));
        const QByteArray mark = kMarkTitle + "\nproject=" + projectFile.toUtf8() +
                                "\npid=" + QByteArray::number(::getpid()) + "\nstarted=" +
                                QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8() + '\n';
        QFile markFile(QFile::decodeName(unfinished) + u'/' + QLatin1String(kBuildFolderMark));
        if (!markFile.open(QIODevice::WriteOnly) || markFile.write(mark) != mark.size() || !markFile.flush()) {
            const int error = errno ? errno : EIO;
            deleteDirectory(QFile::decodeName(unfinished));
            throw BuildError(notWritableMessage(directory, error));
        }
        markFile.close();
        // Never over a folder that appeared meanwhile, not even an empty one.
        int renamed = ::renameat2(AT_FDCWD, unfinished.constData(), AT_FDCWD, encoded(path_).constData(),
                                  RENAME_NOREPLACE);
        if (renamed != 0 && errno == EINVAL)  // a file system that cannot refuse to replace
            renamed = exists(path_) ? (errno = EEXIST, -1) : ::rename(unfinished.constData(), encoded(path_).constData());
        if (renamed != 0) {
            const int error = errno;
            deleteDirectory(QFile::decodeName(unfinished));
            throw BuildError(error == EEXIST || error == ENOTEMPTY ? userFolderMessage(path_)
                                                                   : notWritableMessage(directory, error));
        }
    } catch (...) {
        ::close(lockFd_);
        lockFd_ = -1;
        throw;
    }
}

BuildFolder::~BuildFolder() {
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

void BuildFolder::remove() {
    if (madeByBuild(path_))
        deleteDirectory(path_);
}

}  // namespace zelbrin
