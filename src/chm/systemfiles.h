#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// The files that tell the help viewer how to open a help file: #SYSTEM, #WINDOWS and
// #IDXHDR. Every text in them is in the help file's ANSI code page.
namespace zelbrin::chm {

class StringTable;

struct SystemInfo {
    quint32 lcid = 0x0804;
    QByteArray contentsFile;  // as the project's options name them; empty when they do not
    QByteArray indexFile;
    QByteArray defaultTopic;
    QByteArray title;
    QByteArray defaultWindow;
    QByteArray compiledName;  // the compiled file's name without folder and extension, lower case
    QByteArray defaultFont;   // "face,size,charset"
    bool fullTextSearch = false;
    bool keywords = false;          // $WWKeywordLinks holds keywords
    bool associativeLinks = false;  // $WWAssociativeLinks holds keywords
    // The hashes (urlHash) of the index file's and the contents file's names, recorded
    // when the help file has a binary index and a binary contents.
    std::optional<quint32> indexFileHash;
    std::optional<quint32> contentsFileHash;
    QByteArray indexHeader;  // the #IDXHDR file, which #SYSTEM carries a copy of
};

// #SYSTEM with its records in the order the help compiler writes them.
QByteArray writeSystem(const SystemInfo &info);

// One window definition of the help project: name="caption","contents","index","default
// topic","home","jump 1 url","jump 1 text","jump 2 url","jump 2 text",navigation style,
// navigation width,buttons,[left,top,right,bottom],styles,extended styles,show state,
// navigation closed,default pane,tab position,notify id.
struct WindowInfo {
    QByteArray name, caption, contents, index, defaultTopic, home, jump1Url, jump1Text, jump2Url, jump2Text;
    quint32 validFields = 0;  // which of the numbers below the project gives (HHWIN_PARAM_*)
    quint32 navigationStyle = 0, navigationWidth = 0, buttons = 0;
    qint32 left = 0, top = 0, right = 0, bottom = 0;
    quint32 styles = 0, extendedStyles = 0, showState = 0, navigationClosed = 0, defaultPane = 0,
            tabPosition = 0, notifyId = 0;
};

// #WINDOWS, its texts added to strings.
QByteArray writeWindows(const QList<WindowInfo> &windows, StringTable &strings);

// The "text/site properties" of the contents file, which #IDXHDR records; a property the
// contents file does not give stays unset.
struct SiteProperties {
    std::optional<bool> folderImages;  // ImageType=Folder
    std::optional<quint32> background, foreground, windowStyles, extendedWindowStyles;
    std::optional<QByteArray> font, imageList, frameName, windowName;
};

// #IDXHDR (4096 bytes), its texts added to strings. Without a contents file every field
// is 0; with one, a property it does not give is 0xFFFFFFFF, as the help compiler leaves it.
QByteArray writeIndexHeader(const SiteProperties *site, quint32 topicCount, const QList<QByteArray> &mergeFiles,
                            StringTable &strings);

}  // namespace zelbrin::chm
