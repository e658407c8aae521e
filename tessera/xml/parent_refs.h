// The relationship search of the XML import: values of a row's foreign-key columns (ParentRef)
// and primary-key columns (KeyRef) that its element does not carry, taken from the elements
// around it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <libxml/tree.h>

#include "tessera/schema/table_defn.h"

namespace tessera {

// One foreign-key column pair of the row's table and the value found for it.
struct ParentRef {
  std::string referenceTable;
  std::string referenceColumn;
  std::string localColumn;
  std::optional<std::string> value;  // attribute text, nullopt until found
};

// A primary-key column that is no foreign key's local column, and the value found for it.
struct KeyRef {
  std::string column;
  std::optional<std::string> value;
};

// One ParentRef per ForeignKeyDefn of the table, each traced at TRACE.
std::vector<ParentRef> BuildParentRefs(const TableDefn* table);
std::vector<KeyRef> BuildKeyRefs(const TableDefn* table);

// Searches one document. Upward, each ancestor element (nearest first) supplies an attribute
// named like a reference column, or, when its tag is the reference table, the value its own
// foreign key resolves to. Downward, the chain of first child elements is searched for the first
// element of the reference table, which supplies its attribute or its own foreign key's value.
// An element whose references are being resolved further up the stack is not entered again, so
// cyclic foreign keys end the search; and one row's search asks at most kMaxRelationSteps other
// elements for their own keys, since nested rows of a table that refers to itself would otherwise
// make the search grow exponentially with the depth.
inline constexpr int kMaxRelationSteps = 64;

class RelationSearch {
 public:
  explicit RelationSearch(xmlDoc* doc) : doc_(doc) {}

  void ResolveParentRefs(const xmlNode* element, std::vector<ParentRef>& refs);
  // From the ancestors' attributes named like the key column.
  void ResolveKeyRefs(const xmlNode* element, std::vector<KeyRef>& refs);

 private:
  // The value that `element`'s own foreign key with local column `column` resolves to.
  std::optional<std::string> ValueThrough(const xmlNode* element, std::string_view column);
  // The value `element` supplies for a reference column: its attribute, else its own key.
  std::optional<std::string> SuppliedBy(const xmlNode* element, const ParentRef& ref, bool tableMatches);
  bool Visiting(const xmlNode* element) const;

  xmlDoc* doc_;
  std::vector<const xmlNode*> visiting_;
  int steps_ = 0;  // elements asked for their keys during the current row's search
};

}  // namespace tessera
