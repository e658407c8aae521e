// SELECT text from a SelectQuery, shared by the four dialects.
//
// The statement is assembled from six sections (columns, joins, table list, criteria, group by,
// sort) in a fixed order; the dialect facts decide where limit and offset go, how aliases are
// introduced and how booleans are written. Every value a criterion compares with is written as
// its dialect's literal (texts and dates quoted and escaped).
#include "tessera/db/dialect/statement_builder.h"

#include "agent/log/log.h"
#include "tessera/db/dialect/sql_literal.h"

namespace tessera::dialect {
namespace {

void TraceEntry(const DialectFacts& facts, const char* builder) {
  LogTrace("@@@@@@@@@@@ - INSIDE %s%s - @@@@@@@@@@@@@", facts.tracePrefix, builder);
}

std::string Qualifier(const SelectColumn& column) {
  if (column.tableAlias != nullptr) return hl::Sprintf("%s.", column.tableAlias);
  if (column.tableName != nullptr) return hl::Sprintf("%s.", column.tableName);
  return {};
}

template <class F>
void ForEachColumn(const SelectColumnVector* columns, F f) {
  if (columns == nullptr) return;
  int32_t count = columns->count(), i = 0;
  for (SelectColumn* column : *columns) {
    f(*column, i, count);
    ++i;
  }
}

std::string ColumnsSection(const SelectQuery& query, const DialectFacts& facts) {
  TraceEntry(facts, "GenerateColumnsStr");
  std::string out;
  ForEachColumn(query.columns, [&](const SelectColumn& column, int32_t i, int32_t count) {
    const char* name = column.columnName;
    if (column.function == SELECT_FUNCTION_NONE) {
      out += Qualifier(column) + (name ? name : "");
      if (column.columnAlias != nullptr) out += hl::Sprintf(" as %s ", column.columnAlias);
    } else if (name != nullptr) {
      out += hl::Sprintf(" %s(", SelectFunctionWord(column.function)) + Qualifier(column) + name + ")";
    } else {
      out += hl::Sprintf(" %s(*)", SelectFunctionWord(column.function));
    }
    out += i + 1 < count ? "," : " \n";
  });
  return out;
}

std::string JoinColumn(const SelectColumn& column, const char* alias, const char* table) {
  const char* qualifier = column.tableAlias ? column.tableAlias
                          : column.tableName ? column.tableName
                          : alias            ? alias
                                             : table;
  std::string out = qualifier ? std::string(qualifier) + "." : std::string();
  return out + (column.columnName ? column.columnName : "");
}

std::optional<std::string> JoinsSection(const SelectQuery& query, const DialectFacts& facts) {
  TraceEntry(facts, "GenerateJoinsStr");
  std::string out;
  bool first = true;
  for (const Join* join : *query.joins) {
    if (first) {
      out += hl::Sprintf(" %s ", join->baseTable ? join->baseTable : "");
      if (join->baseAlias != nullptr) out += hl::Sprintf(facts.aliasInJoin, join->baseAlias);
      first = false;
    }
    if (join->joinType == JOIN_TYPE_INNER) {
      out += " inner join ";
    } else if (join->joinType == JOIN_TYPE_LEFT) {
      out += " left join ";
    } else {
      LogError("Invalid Join Type\n");
      return std::nullopt;
    }
    out += hl::Sprintf(" %s ", join->refTable ? join->refTable : "");
    if (join->refAlias != nullptr) out += hl::Sprintf(facts.aliasInJoin, join->refAlias);
    if (join->baseColumns != nullptr && join->refColumns != nullptr) {
      out += " on ";
      int32_t pairs = join->baseColumns->count();
      for (int32_t i = 0; i < pairs; ++i) {
        const SelectColumn* base = join->baseColumns->ElementAt(i)->data;
        auto* refNode = join->refColumns->ElementAt(i);
        out += JoinColumn(*base, join->baseAlias, join->baseTable) + " = ";
        if (refNode != nullptr) out += JoinColumn(*refNode->data, join->refAlias, join->refTable);
        out += i + 1 < pairs ? " and " : " ";
      }
    }
  }
  return out;
}

std::string TableListSection(const SelectQuery& query, const DialectFacts& facts) {
  TraceEntry(facts, "GenerateTableListStr");
  std::string out;
  int32_t count = query.tables->count(), i = 0;
  for (const TableEntry* entry : *query.tables) {
    out += entry->tableName ? entry->tableName : "";
    if (entry->alias != nullptr) out += hl::Sprintf(facts.aliasInTableList, entry->alias);
    out += ++i < count ? ", " : "\n";
  }
  return out;
}

// The value a leaf compares with, as this dialect writes it; BETWEEN takes the caller's text
// ("1 and 5") as it is.
std::string CriterionValue(const Criterion& leaf, const DialectFacts& facts) {
  static const Value kNull;
  const Value& value = leaf.value ? *leaf.value : kNull;
  if (leaf.op == QUERY_OP_BETWEEN) return hl::Sprintf(" %s ", std::string(value.bytes()));
  BYTE type = leaf.column->dataType;
  std::optional<std::string> text = RenderValue(value, type, QuotedInCriteria(type), facts);
  return hl::Sprintf(" %s ", text.value_or(""));
}

void CriteriaText(const Criterion* node, const DialectFacts& facts, std::string& out) {
  if (node == nullptr) return;
  TraceEntry(facts, "GenCriteriaString");
  CriteriaText(node->left, facts, out);
  if (node->op == QUERY_OP_AND || node->op == QUERY_OP_OR) {
    out += hl::Sprintf(" %s ", node->op == QUERY_OP_AND ? "AND" : "OR");
  } else if (node->column != nullptr) {
    const SelectColumn& column = *node->column;
    if (column.tableAlias != nullptr)
      out += hl::Sprintf(" %s.", column.tableAlias);
    else if (column.tableName != nullptr)
      out += hl::Sprintf(" %s.", column.tableName);
    out += column.columnName ? column.columnName : "";
    out += hl::Sprintf(" %s ", QueryOperatorWord(node->op) ? QueryOperatorWord(node->op) : "");
    if (column.columnName != nullptr || node->op == QUERY_OP_BETWEEN) out += CriterionValue(*node, facts);
  }
  CriteriaText(node->right, facts, out);
}

std::string GroupBySection(const GroupBy& groupBy, const DialectFacts& facts) {
  TraceEntry(facts, "GenerateGroupByStr");
  std::string out = "group by ";
  ForEachColumn(groupBy.columns, [&](const SelectColumn& column, int32_t i, int32_t count) {
    if (column.columnAlias != nullptr)
      out += column.columnAlias;
    else
      out += hl::Sprintf("%s.%s", column.tableName ? column.tableName : "", column.columnName ? column.columnName : "");
    out += i + 1 < count ? "," : "\n";
  });
  if (const Criterion* having = groupBy.having; having != nullptr && having->column != nullptr) {
    const SelectColumn& column = *having->column;
    out += "having ";
    out += hl::Sprintf(" %s(", SelectFunctionWord(column.function) ? SelectFunctionWord(column.function) : "");
    out += Qualifier(column) + (column.columnName ? column.columnName : "") + ") ";
    out += hl::Sprintf(" %s ", QueryOperatorWord(having->op) ? QueryOperatorWord(having->op) : "");
    out += CriterionValue(*having, facts);
  }
  return out;
}

std::string SortSection(const SortSpec& sort, const DialectFacts& facts) {
  TraceEntry(facts, "GenerateSortColumnStr");
  std::string out = "order by ";
  ForEachColumn(sort.columns, [&](const SelectColumn& column, int32_t i, int32_t count) {
    out += Qualifier(column) + (column.columnName ? column.columnName : "");
    out += i + 1 < count ? "," : " ";
  });
  out += sort.order != 0 ? " asc " : " desc ";
  return out;
}

}  // namespace

std::optional<std::string> BuildSelect(const SelectQuery* query, const DialectFacts& facts) {
  TraceEntry(facts, "GenSelectQuery");
  if (query == nullptr) return std::nullopt;
  std::string sql = "select ";
  if (facts.limitForm == LimitForm::FirstSkip) {
    if (query->limit != 0) sql += hl::Sprintf("first %d ", query->limit);
    if (query->offset != 0) sql += hl::Sprintf("skip %d ", query->offset);
  }
  bool hasColumns = query->columns != nullptr && !query->columns->empty();
  if (hasColumns)
    sql += ColumnsSection(*query, facts) + "from ";
  else
    sql += facts.limitForm == LimitForm::FirstSkip ? " * from " : "* from ";

  bool hasJoins = query->joins != nullptr && !query->joins->empty();
  bool hasTables = query->tables != nullptr && !query->tables->empty();
  if (!hasJoins && !hasTables) {
    LogError("\nNo Tables To Be Selected\n");
    return std::nullopt;
  }
  if (hasJoins) {
    std::optional<std::string> joins = JoinsSection(*query, facts);
    if (!joins) return std::nullopt;
    sql += *joins;
  }
  if (hasTables) sql += (hasJoins ? "," : "") + TableListSection(*query, facts);
  if (query->criteria != nullptr) {
    TraceEntry(facts, "GenerateCriteriaStr");
    sql += "where ";
    CriteriaText(query->criteria, facts, sql);
  }
  if (query->groupBy != nullptr) sql += GroupBySection(*query->groupBy, facts);
  if (query->sort != nullptr) sql += SortSection(*query->sort, facts);

  if (query->limit != 0) {
    if (facts.limitForm == LimitForm::LimitOffset) {
      sql += hl::Sprintf("limit %d", query->limit);
      if (query->offset != 0) sql += hl::Sprintf(" offset %d", query->offset);
    } else if (facts.limitForm == LimitForm::LimitComma) {
      sql += "limit";
      if (query->offset != 0) sql += hl::Sprintf(" %d ,", query->offset);
      sql += hl::Sprintf(" %d", query->limit);
    }
  }
  LogTrace("\nSelect Query constructed is\n%s\n", sql);
  return sql;
}

}  // namespace tessera::dialect
