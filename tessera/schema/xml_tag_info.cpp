#include "tessera/schema/xml_tag_info.h"

#include "agent/log/log.h"

namespace tessera {

const std::string* XmlTagInfo::Attribute(std::string_view name) const {
  for (size_t i = 0; i < attributeNames.size() && i < attributeValues.size(); ++i)
    if (attributeNames[i] == name) return &attributeValues[i];
  return nullptr;
}

const XmlTagInfo* XmlTagInfo::Child(std::string_view tag) const {
  for (const XmlTagInfo& child : children)
    if (child.tagName == tag) return &child;
  return nullptr;
}

std::unique_ptr<XmlTagInfo> CreateandInitXmlTagInfo(std::string tagName) {
  LogTrace("\n Inside CreateandInitXmlTagInfo \n");
  auto node = std::make_unique<XmlTagInfo>();
  node->tagName = std::move(tagName);
  return node;
}

void FreeXmlTagInfoList(std::unique_ptr<XmlTagInfo>& root) { root.reset(); }

}  // namespace tessera
