#include "tessera/xml/parent_refs.h"

#include <algorithm>

#include "agent/log/log.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/values/string_utils.h"
#include "tessera/xml/element_attributes.h"

namespace tessera {
namespace {

bool IsForeignKeyLocalColumn(const TableDefn* table, std::string_view column) {
  if (!table->constraints || !table->constraints->foreignKeys) return false;
  for (const auto& foreignKey : *table->constraints->foreignKeys)
    if (foreignKey && EqualsIgnoreCase(foreignKey->localColumn, column)) return true;
  return false;
}

bool AllResolved(const std::vector<ParentRef>& refs) {
  return std::all_of(refs.begin(), refs.end(), [](const ParentRef& r) { return r.value.has_value(); });
}

}  // namespace

std::vector<ParentRef> BuildParentRefs(const TableDefn* table) {
  std::vector<ParentRef> refs;
  if (table == nullptr || !table->constraints || !table->constraints->foreignKeys) return refs;
  for (const auto& foreignKey : *table->constraints->foreignKeys) {
    if (!foreignKey) continue;
    LogTrace("Column Name : %s\n", foreignKey->localColumn);
    LogTrace("Ref Column  : %s\n", foreignKey->referenceColumn);
    LogTrace("Tablename : %s\n", foreignKey->referenceTable);
    refs.push_back(ParentRef{foreignKey->referenceTable, foreignKey->referenceColumn, foreignKey->localColumn, {}});
  }
  return refs;
}

std::vector<KeyRef> BuildKeyRefs(const TableDefn* table) {
  std::vector<KeyRef> refs;
  if (table == nullptr || !table->constraints) return refs;
  for (const std::string& key : table->constraints->primaryKeys)
    if (!IsForeignKeyLocalColumn(table, key)) refs.push_back(KeyRef{key, {}});
  return refs;
}

bool RelationSearch::Visiting(const xmlNode* element) const {
  return std::find(visiting_.begin(), visiting_.end(), element) != visiting_.end();
}

std::optional<std::string> RelationSearch::SuppliedBy(const xmlNode* element, const ParentRef& ref, bool tableMatches) {
  if (auto text = FindAttributeText(doc_, element, ref.referenceColumn)) return text;
  if (tableMatches) return ValueThrough(element, ref.referenceColumn);
  return std::nullopt;
}

std::optional<std::string> RelationSearch::ValueThrough(const xmlNode* element, std::string_view column) {
  if (Visiting(element)) return std::nullopt;
  if (++steps_ == kMaxRelationSteps + 1)
    LogError("The search for the keys of element %s stopped after %d related elements\n", visiting_.front()->name,
             kMaxRelationSteps);
  if (steps_ > kMaxRelationSteps) return std::nullopt;
  const std::string tag(NodeName(element));
  const TableDefn* table = GetTableDefn(tag.c_str());
  if (table == nullptr) return std::nullopt;
  std::vector<ParentRef> refs = BuildParentRefs(table);
  ResolveParentRefs(element, refs);
  for (const ParentRef& ref : refs)
    if (ref.value && EqualsIgnoreCase(ref.localColumn, column)) return ref.value;
  return std::nullopt;
}

void RelationSearch::ResolveParentRefs(const xmlNode* element, std::vector<ParentRef>& refs) {
  if (refs.empty()) return;
  if (visiting_.empty()) steps_ = 0;  // a new row's search
  visiting_.push_back(element);
  for (const xmlNode* ancestor = element->parent; IsElementNode(ancestor) && !AllResolved(refs);
       ancestor = ancestor->parent) {
    for (ParentRef& ref : refs) {
      if (ref.value) continue;
      ref.value = SuppliedBy(ancestor, ref, EqualsIgnoreCase(NodeName(ancestor), ref.referenceTable));
    }
  }
  for (ParentRef& ref : refs) {
    if (ref.value) continue;
    for (const xmlNode* below = FirstChildElement(element); below != nullptr; below = FirstChildElement(below)) {
      if (!EqualsIgnoreCase(NodeName(below), ref.referenceTable)) continue;
      ref.value = SuppliedBy(below, ref, true);
      break;
    }
  }
  visiting_.pop_back();
}

void RelationSearch::ResolveKeyRefs(const xmlNode* element, std::vector<KeyRef>& refs) {
  for (KeyRef& ref : refs) {
    for (const xmlNode* ancestor = element->parent; IsElementNode(ancestor); ancestor = ancestor->parent) {
      if ((ref.value = FindAttributeText(doc_, ancestor, ref.column))) break;
    }
  }
}

}  // namespace tessera
