// The row walk of the XML import over one parsed document.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <libxml/tree.h>

#include "tessera/table/table_data.h"
#include "tessera/xml/parent_refs.h"
#include "tessera/xml/reference_token.h"

namespace tessera {

class RowImport {
 public:
  RowImport(xmlDoc* document, AutoIdMap& map) : document_(document), map_(map), search_(document) {}

  // Imports every element below `node` in document order, each before its children. A row that
  // fails logs "Cannot create and add a new row while constructing tabledata from XML file.\n"
  // and ends the walk with false; the rows imported before it stay.
  bool ImportChildren(xmlNode* node);

 private:
  // One element as a row: true when the row was added or the element is a skipped wrapper.
  // A failed row leaves nothing behind, not even a table created for it.
  bool ImportRow(const xmlNode* element);
  // The TableData of a tag (created from its definition when absent), remembered for the rest of
  // the walk so that a document of many rows does not search the table list for each of them.
  TableData* TableOfTag(const std::string& tag, bool& created);

  // Removes a table that was created for a row that then failed.
  void ForgetCreatedTable(bool created, const std::string& tableName);

  std::vector<std::pair<std::string, TableData*>> tablesByTag_;

  xmlDoc* document_;
  AutoIdMap& map_;
  RelationSearch search_;
};

}  // namespace tessera
