#include "tessera/xml/element_attributes.h"

#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

std::string_view AttributeName(const xmlAttr* attribute) {
  return attribute->name ? std::string_view(reinterpret_cast<const char*>(attribute->name)) : std::string_view();
}

}  // namespace

const std::string* ElementAttributes::Find(std::string_view name) const {
  for (const auto& [attributeName, text] : attributes)
    if (EqualsIgnoreCase(attributeName, name)) return &text;
  return nullptr;
}

std::string AttributeNodeText(xmlDoc* doc, const xmlAttr* attribute) {
  xmlChar* text = xmlNodeListGetString(doc, attribute->children, 1);
  if (text == nullptr) return std::string();  // an empty value has no text node
  std::string copy(reinterpret_cast<const char*>(text));
  xmlFree(text);
  return copy;
}

ElementAttributes ReadElementAttributes(xmlDoc* doc, const xmlNode* element) {
  ElementAttributes result;
  result.tag = std::string(NodeName(element));
  for (const xmlAttr* a = element->properties; a != nullptr; a = a->next)
    result.attributes.emplace_back(std::string(AttributeName(a)), AttributeNodeText(doc, a));
  return result;
}

std::optional<std::string> FindAttributeText(xmlDoc* doc, const xmlNode* element, std::string_view name) {
  if (!IsElementNode(element)) return std::nullopt;
  for (const xmlAttr* a = element->properties; a != nullptr; a = a->next)
    if (EqualsIgnoreCase(AttributeName(a), name)) return AttributeNodeText(doc, a);
  return std::nullopt;
}

xmlNode* FirstChildElement(const xmlNode* node) {
  for (xmlNode* child = node ? node->children : nullptr; child != nullptr; child = child->next)
    if (IsElementNode(child)) return child;
  return nullptr;
}

}  // namespace tessera
