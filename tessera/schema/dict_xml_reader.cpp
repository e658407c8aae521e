#include "tessera/schema/dict_xml_reader.h"

#include <functional>
#include <new>
#include <string>

#include <libxml/xmlreader.h>

#include "agent/log/log.h"
#include "tessera/schema/build_table_defn.h"
#include "tessera/schema/xml_file_input.h"
#include "tessera/schema/xml_message_bound.h"

namespace tessera {
namespace {

const char* const kTableTagMissing = "\nTABLE tag missing\n";
const char* const kDescriptionAmbiguity = "\nDescription tag ambiguity \n";
const char* const kMissingPkColumnEnd = "\nMissing primary-key-column end tag\n";
const char* const kMissingFkLocalEnd = "\n Missing endof FK-LOCAL-COLUMN tag\n";
const char* const kMissingFkReferenceEnd = "\nMissing endof FK-REFERENCE-COLUMN\n";
const char* const kMissingFkColumnsEnd = "\nMissing end FK-COLUMNS\n";
const char* const kMissingFkConstraintsEnd = "\nMissing endof FK-CONSTRAINTS tag\n";
const char* const kNoValueEnd = "\n No ending Value tag\n";
const char* const kNoFromEnd = "\nNo Ending FROM tag \n";
const char* const kNoToEnd = "\nNo ending TO tag \n";
const char* const kReaderError = "\nxmlTextReaderRead returned error \n";

// The attributes the dictionary reads, in the order they are copied.
const char* const kReadAttributes[] = {"name", "system", "reference-table-name", "isbidirectional"};

std::string TakeXmlString(xmlChar* text) {
  std::string out = text ? reinterpret_cast<const char*>(text) : "";
  if (text) xmlFree(text);
  return out;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

// The current node of the text reader, with comments and blank text between elements skipped.
class NodeCursor {
 public:
  explicit NodeCursor(xmlTextReaderPtr reader) : reader_(reader) {}

  // 1 when a node was read, 0 at the end of the document, -1 on a reader error. With
  // `keepBlankText` white-space text is returned too (element content).
  int Next(bool keepBlankText = false) {
    while (true) {
      int rc = xmlTextReaderRead(reader_);
      if (rc != 1) {
        if (rc < 0) failed_ = true;
        return rc < 0 ? -1 : 0;
      }
      type_ = xmlTextReaderNodeType(reader_);
      if (type_ == XML_READER_TYPE_WHITESPACE || type_ == XML_READER_TYPE_SIGNIFICANT_WHITESPACE) {
        if (!keepBlankText) continue;
      } else if (type_ != XML_READER_TYPE_ELEMENT && type_ != XML_READER_TYPE_END_ELEMENT &&
                 type_ != XML_READER_TYPE_TEXT && type_ != XML_READER_TYPE_CDATA) {
        continue;  // comments, processing instructions, document type
      }
      name_ = TakeXmlString(xmlTextReaderName(reader_));
      depth_ = xmlTextReaderDepth(reader_);
      empty_ = type_ == XML_READER_TYPE_ELEMENT && xmlTextReaderIsEmptyElement(reader_) == 1;
      return 1;
    }
  }

  bool IsStart(const char* tag) const { return type_ == XML_READER_TYPE_ELEMENT && name_ == tag; }
  bool IsStart() const { return type_ == XML_READER_TYPE_ELEMENT; }
  bool IsEnd(const std::string& tag) const { return type_ == XML_READER_TYPE_END_ELEMENT && name_ == tag; }
  bool IsText() const { return type_ != XML_READER_TYPE_ELEMENT && type_ != XML_READER_TYPE_END_ELEMENT; }
  bool IsEmpty() const { return empty_; }
  int depth() const { return depth_; }
  const std::string& name() const { return name_; }
  std::string Value() const { return TakeXmlString(xmlTextReaderValue(reader_)); }
  bool failed() const { return failed_; }
  xmlTextReaderPtr reader() const { return reader_; }

 private:
  xmlTextReaderPtr reader_;
  int type_ = 0;
  int depth_ = 0;
  bool empty_ = false;
  bool failed_ = false;
  std::string name_;
};

// Reads one `table` element into a tree. Each Parse* method starts on the start tag of its
// element and ends on its end tag; false means the table is lost (the error is logged).
class TableParser {
 public:
  explicit TableParser(NodeCursor& cursor) : cursor_(cursor), tableDepth_(cursor.depth()) {}

  std::unique_ptr<XmlTagInfo> Parse() {
    std::unique_ptr<XmlTagInfo> table;
    bool ok = false;
    try {
      table = CreateandInitXmlTagInfo("table");
      CopyAttributes(*table);
      const std::string* name = table->Attribute("name");
      LogTrace("@@@@Parsing Table Info : %s @@@@\n", name ? name->c_str() : nullptr);
      ok = ParseTableContent(*table);
    } catch (const std::bad_alloc&) {
      LogError("MEMORY_ALLOCATION_FAILURE\n");
    }
    if (ok) return table;
    SkipRestOfTable();
    return nullptr;
  }

 private:
  XmlTagInfo NewNode() {
    LogTrace("\n Inside CreateandInitXmlTagInfo \n");
    XmlTagInfo node;
    node.tagName = cursor_.name();
    CopyAttributes(node);
    return node;
  }

  // AllocateAndStrcpyAttrib: the four known attributes, in fixed order, each when present.
  void CopyAttributes(XmlTagInfo& node) {
    xmlTextReaderPtr reader = cursor_.reader();
    int count = xmlTextReaderAttributeCount(reader);
    if (count <= 0) return;
    LogTrace("\nInside AllocateAndStrcpyAttrib\n\n");
    int read = 0;
    for (const char* attribute : kReadAttributes) {
      xmlChar* value = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(attribute));
      if (value == nullptr) continue;
      node.attributeNames.emplace_back(attribute);
      node.attributeValues.push_back(TakeXmlString(value));
      ++read;
    }
    if (read < count) LogError("\n Not all Attributes were read\n");
  }

  // Moves to the next node; a reader error or a premature end loses the table.
  bool Advance(bool keepBlankText = false) {
    int rc = cursor_.Next(keepBlankText);
    if (rc == 1) return true;
    LogError(rc < 0 ? kReaderError : kTableTagMissing);
    return false;
  }

  bool Fail(const char* errorLine) {
    LogError(errorLine);
    return false;
  }

  // An element holding only text: its text pieces joined become one text value (none for an
  // element without text). With `required` a blank text is an error too.
  bool ReadTextElement(XmlTagInfo& node, const char* errorLine, bool required = false) {
    std::string text;
    bool hasText = false;
    if (!cursor_.IsEmpty()) {
      while (true) {
        if (!Advance(true)) return false;
        if (cursor_.IsEnd(node.tagName)) break;
        if (!cursor_.IsText()) return Fail(errorLine);
        text += cursor_.Value();
        hasText = true;
      }
    }
    if (required && (!hasText || IsBlank(text))) return Fail(errorLine);
    if (hasText) node.textValues.push_back(std::move(text));
    return true;
  }

  // Any other element: kept with its texts and children, ignored by the builder.
  bool ReadGenericElement(XmlTagInfo& node) {
    if (cursor_.IsEmpty()) return true;
    while (true) {
      if (!Advance(true)) return false;
      if (cursor_.IsEnd(node.tagName)) return true;
      if (cursor_.IsText()) {
        if (!IsBlank(cursor_.Value())) node.textValues.push_back(cursor_.Value());
        continue;
      }
      XmlTagInfo child = NewNode();
      if (!ReadGenericElement(child)) return false;
      node.children.push_back(std::move(child));
    }
  }

  // Walks the children of the current element: `onChild` handles each start tag.
  bool ForEachChild(const std::string& tag, const char* strayTextError,
                    const std::function<bool()>& onChild) {
    if (cursor_.IsEmpty()) return true;
    while (true) {
      if (!Advance()) return false;
      if (cursor_.IsEnd(tag)) return true;
      if (cursor_.IsText()) {
        if (strayTextError != nullptr) return Fail(strayTextError);
        continue;
      }
      if (!cursor_.IsStart()) return Fail(strayTextError ? strayTextError : kTableTagMissing);
      if (!onChild()) return false;
    }
  }

  bool ParseTableContent(XmlTagInfo& table) {
    if (cursor_.IsEmpty()) return true;
    if (!Advance()) return false;
    if (cursor_.IsStart("description")) {
      XmlTagInfo description = NewNode();
      if (!ReadTextElement(description, kDescriptionAmbiguity)) return false;
      table.children.push_back(std::move(description));
      if (!Advance()) return false;
    }
    if (cursor_.IsStart("columns")) {
      XmlTagInfo columns = NewNode();
      if (!ParseColumnsTag(columns)) return false;
      table.children.push_back(std::move(columns));
      if (!Advance()) return false;
    }
    if (cursor_.IsStart("primary-key")) {
      XmlTagInfo primaryKey = NewNode();
      if (!ParsePrimaryKey(primaryKey)) return false;
      table.children.push_back(std::move(primaryKey));
      if (!Advance()) return false;
    }
    if (cursor_.IsStart("foreign-keys")) {
      XmlTagInfo foreignKeys = NewNode();
      if (!ParseForeignKeys(foreignKeys)) return false;
      table.children.push_back(std::move(foreignKeys));
      if (!Advance()) return false;
    }
    if (cursor_.IsEnd("table") && cursor_.depth() == tableDepth_) return true;
    return Fail(kTableTagMissing);
  }

  bool ParseColumnsTag(XmlTagInfo& columns) {
    return ForEachChild(columns.tagName, nullptr, [&] {
      XmlTagInfo child = NewNode();
      bool ok = cursor_.IsStart("column") ? ParseColumn(child) : ReadGenericElement(child);
      if (ok && child.tagName == "column") columns.children.push_back(std::move(child));
      return ok;
    });
  }

  bool ParseColumn(XmlTagInfo& column) {
    return ForEachChild(column.tagName, nullptr, [&] {
      XmlTagInfo child = NewNode();
      const std::string& tag = child.tagName;
      if (tag == "uniquevalue-generation") return ParseGeneration(column, child);
      if (tag == "allowed-values") return ParseAllowedValues(column, child);
      bool ok;
      if (tag == "description") ok = ReadTextElement(child, kDescriptionAmbiguity);
      else if (tag == "data-type" || tag == "nullable" || tag == "max-size" || tag == "default-value" ||
               tag == "unique")
        ok = ReadTextElement(child, kTableTagMissing);
      else ok = ReadGenericElement(child);
      if (ok) column.children.push_back(std::move(child));
      return ok;
    });
  }

  // The generator-name inside uniquevalue-generation becomes a child of the column.
  bool ParseGeneration(XmlTagInfo& column, XmlTagInfo& generation) {
    return ForEachChild(generation.tagName, nullptr, [&] {
      XmlTagInfo child = NewNode();
      bool isName = child.tagName == "generator-name";
      bool ok = isName ? ReadTextElement(child, kTableTagMissing) : ReadGenericElement(child);
      if (ok && isName) column.children.push_back(std::move(child));
      return ok;
    });
  }

  // All value texts become the texts of one `value` child; from and to become two children.
  bool ParseAllowedValues(XmlTagInfo& column, XmlTagInfo& allowed) {
    XmlTagInfo values;
    bool anyValue = false;
    bool ok = ForEachChild(allowed.tagName, nullptr, [&] {
      XmlTagInfo child = NewNode();
      const std::string& tag = child.tagName;
      if (tag == "value") {
        if (!anyValue) values = child;
        anyValue = true;
        XmlTagInfo one = child;
        if (!ReadTextElement(one, kNoValueEnd)) return false;
        values.textValues.push_back(one.textValues.empty() ? std::string() : one.textValues.front());
        return true;
      }
      if (tag == "from" || tag == "to") {
        if (!ReadTextElement(child, tag == "from" ? kNoFromEnd : kNoToEnd, true)) return false;
        column.children.push_back(std::move(child));
        return true;
      }
      return ReadGenericElement(child);
    });
    if (ok && anyValue) column.children.push_back(std::move(values));
    return ok;
  }

  bool ParsePrimaryKey(XmlTagInfo& primaryKey) {
    return ForEachChild(primaryKey.tagName, kMissingPkColumnEnd, [&] {
      if (!cursor_.IsStart("primary-key-column")) return Fail(kMissingPkColumnEnd);
      XmlTagInfo child = NewNode();
      if (!ReadTextElement(child, kMissingPkColumnEnd, true)) return false;
      primaryKey.children.push_back(std::move(child));
      return true;
    });
  }

  bool ParseForeignKeys(XmlTagInfo& foreignKeys) {
    return ForEachChild(foreignKeys.tagName, nullptr, [&] {
      if (!cursor_.IsStart("foreign-key")) return Fail(kTableTagMissing);
      XmlTagInfo foreignKey = NewNode();
      if (!ParseForeignKey(foreignKey)) return false;
      foreignKeys.children.push_back(std::move(foreignKey));
      return true;
    });
  }

  bool ParseForeignKey(XmlTagInfo& foreignKey) {
    return ForEachChild(foreignKey.tagName, nullptr, [&] {
      XmlTagInfo child = NewNode();
      bool ok;
      if (child.tagName == "fk-columns") ok = ParseFkColumns(child);
      else if (child.tagName == "fk-constraints") ok = ReadTextElement(child, kMissingFkConstraintsEnd);
      else return Fail(kTableTagMissing);
      if (ok) foreignKey.children.push_back(std::move(child));
      return ok;
    });
  }

  bool ParseFkColumns(XmlTagInfo& fkColumns) {
    return ForEachChild(fkColumns.tagName, kMissingFkColumnsEnd, [&] {
      if (!cursor_.IsStart("fk-column")) return Fail(kMissingFkColumnsEnd);
      XmlTagInfo pair = NewNode();
      if (!ParseFkColumn(pair)) return false;
      fkColumns.children.push_back(std::move(pair));
      return true;
    });
  }

  // fk-local-column, then fk-reference-column, then the end of fk-column.
  bool ParseFkColumn(XmlTagInfo& pair) {
    if (cursor_.IsEmpty()) return Fail(kMissingFkLocalEnd);
    if (!Advance()) return false;
    if (!cursor_.IsStart("fk-local-column")) return Fail(kMissingFkLocalEnd);
    XmlTagInfo local = NewNode();
    if (!ReadTextElement(local, kMissingFkLocalEnd, true)) return false;
    pair.children.push_back(std::move(local));
    if (!Advance()) return false;
    if (!cursor_.IsStart("fk-reference-column")) return Fail(kMissingFkReferenceEnd);
    XmlTagInfo reference = NewNode();
    if (!ReadTextElement(reference, kMissingFkReferenceEnd, true)) return false;
    pair.children.push_back(std::move(reference));
    if (!Advance()) return false;
    if (!cursor_.IsEnd(pair.tagName)) return Fail(kMissingFkColumnsEnd);
    return true;
  }

  // After an error: on to the end of this table, so that the next table can be read.
  void SkipRestOfTable() {
    if (cursor_.failed()) return;
    while (!(cursor_.IsEnd("table") && cursor_.depth() == tableDepth_)) {
      if (cursor_.Next() != 1) return;
    }
  }

  NodeCursor& cursor_;
  int tableDepth_;
};

void ReportReaderMessage(void* arg, const char* message, xmlParserSeverities /*severity*/,
                         xmlTextReaderLocatorPtr /*locator*/) {
  if (!static_cast<XmlMessageBound*>(arg)->Admit()) return;
  LogDebug("libxml2: %s", message ? message : "\n");
}

// Reads the document, passing each complete table tree to `onTable`.
void ReadDocument(const char* path, const std::function<void(std::unique_ptr<XmlTagInfo>)>& onTable) {
  ScopedXmlFileInput fileInput;
  xmlTextReaderPtr reader = path ? xmlNewTextReaderFilename(path) : nullptr;
  if (reader == nullptr) {
    LogError("Unable to open %s\n", path);
    return;
  }
  XmlMessageBound bound;
  xmlTextReaderSetErrorHandler(reader, ReportReaderMessage, &bound);
  NodeCursor cursor(reader);
  int rc = cursor.Next();
  while (rc == 1) {
    if (cursor.IsStart("table")) {
      std::unique_ptr<XmlTagInfo> tree = TableParser(cursor).Parse();
      if (tree) onTable(std::move(tree));
      if (cursor.failed()) break;
    } else if (cursor.IsStart("description") && cursor.depth() == 1 && !cursor.IsEmpty()) {
      // The dictionary's own description: its text is skipped.
      rc = cursor.Next(true);
      while (rc == 1 && cursor.IsText()) rc = cursor.Next(true);
      if (rc != 1) break;
      if (!cursor.IsEnd("description")) {
        LogError("\nNo Description end tag\n");
        break;
      }
    }
    rc = cursor.Next();
  }
  if (cursor.failed()) LogError("%s : failed to parse\n", path);
  xmlFreeTextReader(reader);
  if (bound.left() > 0) LogDebug(kXmlMessagesLeftOut, bound.left());
}

}  // namespace

void ParseDataDictFile(const char* path) {
  ReadDocument(path, [](std::unique_ptr<XmlTagInfo> tree) {
    BuildTableDefn(*tree);
    FreeXmlTagInfoList(tree);
  });
}

std::vector<std::unique_ptr<XmlTagInfo>> ReadDataDictTables(const char* path) {
  std::vector<std::unique_ptr<XmlTagInfo>> tables;
  ReadDocument(path, [&tables](std::unique_ptr<XmlTagInfo> tree) { tables.push_back(std::move(tree)); });
  return tables;
}

}  // namespace tessera
