#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelbrin::hhc {

// One line of [WINDOWS]: name="caption","contents","index","default topic","home",
// "jump 1 url","jump 1 text","jump 2 url","jump 2 text",styles...
struct WindowDefinition {
    enum Field { Caption = 0, Contents = 1, Index = 2, DefaultTopic = 3, Home = 4, Jump1Url = 5,
                 Jump2Url = 7 };

    QString name;
    QStringList fields;  // as written (quotes, brackets and all)

    static WindowDefinition parse(const QString &line);
    QString field(int i) const;                  // without its quotes; empty when absent
    void setField(int i, const QString &text);  // written quoted; missing fields are added empty
    QString toLine() const;
};

struct HelpProject {
    QString path;    // the .hhp file, absolute and clean
    QString folder;  // its folder, ending in "/"; relative names in the project start here
    QList<QPair<QString, QString>> options;  // [OPTIONS] key and value, in order
    QList<WindowDefinition> windows;
    QStringList files;       // [FILES]
    QStringList mergeFiles;  // [MERGE FILES]
    QStringList aliases;     // [ALIAS], #include files expanded
    QStringList map;         // [MAP], #include files expanded
    QStringList warnings;
    QStringList errors;      // an #include that cannot be taken: the project is not compiled

    // Value of an option, keys compared without regard to case; empty when absent.
    QString option(const QString &key) const;
    bool hasOption(const QString &key) const;
    // The window that "Default Window=" names, else the first one; none without windows.
    const WindowDefinition *defaultWindow() const;
};

// Reads a help project. Its text is GBK (the ANSI code page of a Chinese system) unless
// it starts with a UTF-8 byte-order mark. Fails when the file cannot be read or one of its
// #include files is refused (see errors).
std::optional<HelpProject> readHelpProject(const QString &path, QString *error);
HelpProject parseHelpProject(const QString &text, const QString &path);

// Project text files (.hhp, .hhc, .hhk, included .h) decoded as readHelpProject does.
QString decodeProjectText(const QByteArray &bytes);

// A "Language=" value ("0x804", "0x0804 Chinese (PRC)", "2052") as the locale number.
std::optional<int> parseLanguage(const QString &value);

}  // namespace zelbrin::hhc
