#pragma once

#include <optional>

namespace pugi {
class xml_node;
}

namespace zelbrin {

// How a document's own structure enters the help file: split into one page per heading,
// contents entries for its headings, keywords from its index entries and headings.
// Everything off is the one page and one contents entry per document of old.
struct TopicSettings {
    static constexpr int kMaxSplitLevel = 3;
    static constexpr int kMaxContentsDepth = 9;

    int splitLevel = 0;            // 0 off; 1 to 3: a page per heading of that level or above
    int contentsDepth = 0;         // contents entries for headings down to this level; 0 none
    bool headingKeywords = false;  // headings become keywords of the index
    bool indexKeywords = false;    // the document's index entries (Word's XE fields) do

    bool isOff() const { return *this == TopicSettings{}; }
    bool operator==(const TopicSettings &) const = default;
};

// A document's own choices, each taking the project's place where it is set.
struct TopicOverride {
    std::optional<int> splitLevel;
    std::optional<int> contentsDepth;
    std::optional<bool> headingKeywords;
    std::optional<bool> indexKeywords;

    bool isEmpty() const { return *this == TopicOverride{}; }
    TopicSettings appliedTo(const TopicSettings &project) const;
    bool operator==(const TopicOverride &) const = default;
};

// The project file keeps them as attributes SplitLevel, ContentsDepth, HeadingKeywords and
// IndexKeywords: a document's on its <Item> (after Caption and FullDir), the project's on
// a <TopicSettings> element after <Items>. Readers of the original format look at neither
// (they take Caption and FullDir by name, and WorkCatalog and Items by name), and nothing
// is written while everything is off, so such files stay byte for byte as before.
inline constexpr char kTopicSettingsElement[] = "TopicSettings";
void writeTopicAttributes(pugi::xml_node element, const TopicOverride &values);
// A value out of range or not a number is read as not set.
TopicOverride readTopicAttributes(const pugi::xml_node &element);
// The project's settings as attribute values: only those that differ from off.
TopicOverride projectTopicAttributes(const TopicSettings &settings);

}  // namespace zelbrin
