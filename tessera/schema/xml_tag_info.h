// XmlTagInfo: the transient tree of one `table` element while the dictionary is read.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

struct XmlTagInfo {
  std::string tagName;
  // Only the attributes name, system, reference-table-name and isbidirectional, in that order.
  std::vector<std::string> attributeNames;
  std::vector<std::string> attributeValues;  // parallel to attributeNames
  std::vector<std::string> textValues;       // one per text-bearing element (see the reader)
  std::vector<XmlTagInfo> children;          // in document order

  const std::string* Attribute(std::string_view name) const;
  const std::string* FirstText() const { return textValues.empty() ? nullptr : &textValues.front(); }
  // The first child with this tag, or null.
  const XmlTagInfo* Child(std::string_view tag) const;
};

// A new node for `tagName` (traces "\n Inside CreateandInitXmlTagInfo \n").
std::unique_ptr<XmlTagInfo> CreateandInitXmlTagInfo(std::string tagName);
// Frees a tree.
void FreeXmlTagInfoList(std::unique_ptr<XmlTagInfo>& root);

}  // namespace tessera
