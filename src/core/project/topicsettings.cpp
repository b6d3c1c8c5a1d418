#include "topicsettings.h"

#include <pugixml.hpp>

#include <cstring>
#include <string>

namespace zelbrin {
namespace {

constexpr char kSplitLevel[] = "SplitLevel";
constexpr char kContentsDepth[] = "ContentsDepth";
constexpr char kHeadingKeywords[] = "HeadingKeywords";
constexpr char kIndexKeywords[] = "IndexKeywords";

std::optional<int> readLevel(const pugi::xml_node &element, const char *name, int highest) {
    const pugi::xml_attribute attribute = element.attribute(name);
    if (!attribute)
        return std::nullopt;
    const char *text = attribute.value();
    // Digits only: "2x", " 2" or "-0" are hand edits this program did not write.
    if (*text == '\0' || std::strlen(text) > 2 ||
        std::strspn(text, "0123456789") != std::strlen(text))
        return std::nullopt;
    const int value = std::stoi(text);
    return value <= highest ? std::optional<int>(value) : std::nullopt;
}

std::optional<bool> readFlag(const pugi::xml_node &element, const char *name) {
    const pugi::xml_attribute attribute = element.attribute(name);
    if (!attribute)
        return std::nullopt;
    const std::string text = attribute.value();
    if (text == "1" || text == "true")
        return true;
    if (text == "0" || text == "false")
        return false;
    return std::nullopt;
}

}  // namespace

TopicSettings TopicOverride::appliedTo(const TopicSettings &project) const {
    TopicSettings result = project;
    result.splitLevel = splitLevel.value_or(project.splitLevel);
    result.contentsDepth = contentsDepth.value_or(project.contentsDepth);
    result.headingKeywords = headingKeywords.value_or(project.headingKeywords);
    result.indexKeywords = indexKeywords.value_or(project.indexKeywords);
    return result;
}

void writeTopicAttributes(pugi::xml_node element, const TopicOverride &values) {
    if (values.splitLevel)
        element.append_attribute(kSplitLevel).set_value(*values.splitLevel);
    if (values.contentsDepth)
        element.append_attribute(kContentsDepth).set_value(*values.contentsDepth);
    if (values.headingKeywords)
        element.append_attribute(kHeadingKeywords).set_value(*values.headingKeywords ? "1" : "0");
    if (values.indexKeywords)
        element.append_attribute(kIndexKeywords).set_value(*values.indexKeywords ? "1" : "0");
}

TopicOverride readTopicAttributes(const pugi::xml_node &element) {
    TopicOverride values;
    values.splitLevel = readLevel(element, kSplitLevel, TopicSettings::kMaxSplitLevel);
    values.contentsDepth = readLevel(element, kContentsDepth, TopicSettings::kMaxContentsDepth);
    values.headingKeywords = readFlag(element, kHeadingKeywords);
    values.indexKeywords = readFlag(element, kIndexKeywords);
    return values;
}

TopicOverride projectTopicAttributes(const TopicSettings &settings) {
    const TopicSettings off;
    TopicOverride values;
    if (settings.splitLevel != off.splitLevel)
        values.splitLevel = settings.splitLevel;
    if (settings.contentsDepth != off.contentsDepth)
        values.contentsDepth = settings.contentsDepth;
    if (settings.headingKeywords != off.headingKeywords)
        values.headingKeywords = settings.headingKeywords;
    if (settings.indexKeywords != off.indexKeywords)
        values.indexKeywords = settings.indexKeywords;
    return values;
}

}  // namespace zelbrin
