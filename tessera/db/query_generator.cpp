#include "tessera/db/query_generator.h"

#include <mutex>
#include <vector>

#include "tessera/values/string_utils.h"

namespace tessera {
namespace {
std::mutex g_generatorMutex;
std::vector<const QueryGenerator*> g_generators;
}  // namespace

void RegisterQueryGenerator(const QueryGenerator& generator) {
  std::lock_guard guard(g_generatorMutex);
  g_generators.push_back(&generator);
}

void RegisterAllQueryGenerators() {
  RegisterQueryGenerator(PgsqlQueryGenerator());
  RegisterQueryGenerator(MysqlQueryGenerator());
  RegisterQueryGenerator(SqliteQueryGenerator());
  RegisterQueryGenerator(FirebirdQueryGenerator());
}

const QueryGenerator* GetQueryGenerator(const char* dialectName) {
  if (dialectName == nullptr) return nullptr;
  std::lock_guard guard(g_generatorMutex);
  for (const QueryGenerator* generator : g_generators)
    if (EqualsIgnoreCase(generator->name, dialectName)) return generator;
  return nullptr;
}

void FreeQueryGeneratorList() {
  std::lock_guard guard(g_generatorMutex);
  g_generators.clear();
}

}  // namespace tessera
