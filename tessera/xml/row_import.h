// The row walk of the XML import over one parsed document.
#pragma once

#include <libxml/tree.h>

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

  xmlDoc* document_;
  AutoIdMap& map_;
  RelationSearch search_;
};

}  // namespace tessera
