#include "tessera/db/conn_params.h"

#include <charconv>
#include <cstring>
#include <mutex>

#include "agent/log/log.h"
#include "tessera/db/text_file_reader.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

std::mutex g_paramsMutex;
std::vector<std::unique_ptr<ConnParams>> g_params;

WORD ParsePort(const std::string& text) {
  unsigned value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return static_cast<WORD>(value);
}

// One entry; false when the file ends before its ten tokens are read.
bool ReadEntry(FILE* file, ConnParams& params) {
  std::string tokens[10];
  for (std::string& token : tokens)
    if (!ReadToken(file, token)) return false;
  std::string rest;
  ReadRestOfLine(file, rest);
  params.server = tokens[0];
  params.port = ParsePort(tokens[1]);
  params.dsn = tokens[2];
  params.uid = tokens[3];
  if (tokens[4] != "NULL") params.pwd = tokens[4];
  params.connectionName = tokens[6];
  params.providerName = tokens[7];
  params.dbType = tokens[8];
  if (EqualsIgnoreCase(tokens[9], "YES")) {
    params.useConnectionString = 1;
    params.connectionString = rest.empty() ? std::string() : rest.substr(1);
  }
  return true;
}

}  // namespace

bool LoadConnParamsEntryFromFile(const char* path) {
  LogTrace("@@@ Inside LoadConnParamsEntryFromFile @@@\n");
  FilePtr file = OpenDataFile(path, "connparams.txt");
  if (!file) {
    LogError("Cannot open Connection Parameters File.\n");
    return false;
  }
  for (;;) {
    ConnParams params;
    if (!ReadEntry(file.get(), params)) break;
    AddConnParams(params);
  }
  return true;
}

const ConnParams* GetConnParams(const char* connectionName) {
  if (connectionName == nullptr) return nullptr;
  std::lock_guard guard(g_paramsMutex);
  for (const auto& params : g_params)
    if (params->connectionName == connectionName) return params.get();
  return nullptr;
}

bool AddConnParams(const ConnParams& params) {
  std::lock_guard guard(g_paramsMutex);
  g_params.push_back(std::make_unique<ConnParams>(params));
  return true;
}

bool DeleteConnParams(const char* connectionName) {
  if (connectionName == nullptr) return false;
  std::lock_guard guard(g_paramsMutex);
  for (auto it = g_params.begin(); it != g_params.end(); ++it) {
    if ((*it)->connectionName == connectionName) {
      g_params.erase(it);
      return true;
    }
  }
  return false;
}

void FreeAllConnParams() {
  std::lock_guard guard(g_paramsMutex);
  g_params.clear();
}

std::vector<const ConnParams*> AllConnParams() {
  std::lock_guard guard(g_paramsMutex);
  std::vector<const ConnParams*> all;
  for (const auto& params : g_params) all.push_back(params.get());
  return all;
}

const char* GetDefaultConnectionName() {
  std::lock_guard guard(g_paramsMutex);
  if (g_params.empty() || g_params.front()->connectionName.empty()) {
    LogError("Connection Name IS NULL\n");
    return nullptr;
  }
  return g_params.front()->connectionName.c_str();
}

}  // namespace tessera
