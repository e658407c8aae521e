// Data sources created through the ODBC installer (SQLConfigDataSource).
//
// The attribute text is "DSN=x;DESCRIPTION=y;..." as the store has always logged it; the
// installer itself wants each "key=value" ended by a zero byte and the list by a second one,
// so the pairs are handed over in that form. Debian's drivers ship no setup routine
// (ConfigDSN), which SQLConfigDataSource needs; for an installed driver without one the data
// source is written through the installer's own profile functions instead.
#include <cstring>
#include <utility>
#include <vector>

#include "agent/log/log.h"
#include "tessera/db/odbc/odbc_connection.h"
#include "tessera/db/odbc/odbc_provider.h"
#include "tessera/db/text_file_reader.h"
#include "tessera/values/string_utils.h"

namespace tessera {
namespace {

bool DriverInstalled(const char* driverName) {
  std::vector<char> list(16384);
  WORD length = 0;
  if (!SQLGetInstalledDrivers(list.data(), static_cast<WORD>(list.size()), &length)) return false;
  for (const char* name = list.data(); *name != '\0'; name += std::strlen(name) + 1)
    if (EqualsIgnoreCase(name, driverName)) return true;
  return false;
}

bool WriteDataSource(const char* dsnName, const char* driverName,
                     const std::vector<std::pair<std::string, std::string>>& attributes) {
  if (!DriverInstalled(driverName) || !SQLWriteDSNToIni(dsnName, driverName)) return false;
  for (const auto& [key, value] : attributes)
    if (key != "DSN" && !SQLWritePrivateProfileString(dsnName, key.c_str(), value.c_str(), "ODBC.INI")) return false;
  return true;
}

}  // namespace

bool CreateDSN(const char* dsnName, const char* description, const char* server, const char* uid, const char* pwd,
               const char* database, const char* driverName) {
  if (driverName == nullptr || dsnName == nullptr) {
    LogError("DriverName or DSN name is NULL \n");
    return false;
  }
  const std::pair<const char*, const char*> pairs[] = {{"DSN", dsnName}, {"DESCRIPTION", description},
                                                       {"SERVER", server}, {"UID", uid},
                                                       {"PWD", pwd},       {"DATABASE", database}};
  std::string text, list;
  std::vector<std::pair<std::string, std::string>> attributes;
  for (const auto& [key, value] : pairs) {
    if (value == nullptr || EqualsIgnoreCase(value, "NULL")) continue;
    attributes.emplace_back(key, value);
    text += hl::Sprintf("%s=%s;", key, value);
    list += hl::Sprintf("%s=%s", key, value);
    list += '\0';
  }
  list += '\0';
  LogDebug("Creating DSN with driver %s: %s\n", driverName, text);
  if (!SQLConfigDataSource(nullptr, ODBC_ADD_DSN, driverName, list.c_str()) &&
      !WriteDataSource(dsnName, driverName, attributes)) {
    LogError("SQLConfigDataSource returned FALSE \n");
    return false;
  }
  return true;
}

bool CreateDSNFromFile(const char* path) {
  FilePtr file(path ? hl_fopen(path, "r") : nullptr);
  if (!file) {
    LogError("Error opening File %s \n", path ? path : "(null)");
    return false;
  }
  for (;;) {
    std::string fields[6], driver;
    bool complete = true;
    for (std::string& field : fields) complete = complete && ReadToken(file.get(), field);
    if (!complete || !ReadRestOfLine(file.get(), driver)) break;
    size_t start = driver.find_first_not_of(" \t");
    driver = start == std::string::npos ? std::string() : driver.substr(start);
    if (!CreateDSN(fields[0].c_str(), fields[1].c_str(), fields[2].c_str(), fields[3].c_str(), fields[4].c_str(),
                   fields[5].c_str(), driver.empty() ? nullptr : driver.c_str()))
      LogError("Creating DSN %s Failed\n", fields[0]);
  }
  return true;
}

}  // namespace tessera
