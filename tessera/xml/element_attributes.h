// Reading elements of a libxml2 document for the import: an element's tag and attributes, and
// the attribute lookups of the relationship search (names matched without regard to case).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <libxml/tree.h>

namespace tessera {

// An element's tag and its (attribute name, attribute text) pairs in document order.
struct ElementAttributes {
  std::string tag;
  std::vector<std::pair<std::string, std::string>> attributes;

  // The text of the first attribute named `name` (any case), or null.
  const std::string* Find(std::string_view name) const;
};

inline bool IsElementNode(const xmlNode* node) { return node != nullptr && node->type == XML_ELEMENT_NODE; }
inline std::string_view NodeName(const xmlNode* node) {
  return node && node->name ? std::string_view(reinterpret_cast<const char*>(node->name)) : std::string_view();
}

// The decoded text of an attribute node (entities replaced); empty for an empty value.
std::string AttributeNodeText(xmlDoc* doc, const xmlAttr* attribute);
ElementAttributes ReadElementAttributes(xmlDoc* doc, const xmlNode* element);
// The text of the element's first attribute named `name` (any case), or nullopt.
std::optional<std::string> FindAttributeText(xmlDoc* doc, const xmlNode* element, std::string_view name);
// The first child node of `node` that is an element, or null.
xmlNode* FirstChildElement(const xmlNode* node);

}  // namespace tessera
