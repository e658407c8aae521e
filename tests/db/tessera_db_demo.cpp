// Demo: brings the store up from a copy of an example data directory on its SQLite database
// and prints the tables it holds there.
//   tessera_db_demo <folder holding data/>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "tessera/db/connection_pool.h"
#include "tessera/db/db_dispatch.h"
#include "tessera/db/init_tessera.h"
#include "tessera/schema/data_dictionary.h"

namespace fs = std::filesystem;
using namespace tessera;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tessera_db_demo <folder holding data/>\n");
    return 2;
  }
  std::random_device rd;
  fs::path root = fs::temp_directory_path() / ("tessera_demo_" + std::to_string(rd()));
  std::error_code ec;
  fs::create_directories(root, ec);
  fs::copy(fs::path(argv[1]) / "data", root / "data", fs::copy_options::recursive, ec);
  if (ec) {
    std::fprintf(stderr, "tessera_db_demo: cannot copy %s/data: %s\n", argv[1], ec.message().c_str());
    return 1;
  }
  fs::remove(root / "data/tessera.db", ec);
  int rc = 0;
  if (!InitTessera(root.string().c_str())) {
    std::fprintf(stderr, "tessera_db_demo: InitTessera failed; see %s/logs/tessera.log\n", root.string().c_str());
    rc = 1;
  } else {
    std::printf("Tessera on SQLite (%s): %s\n", (root / "data/tessera.db").string().c_str(),
                TesseraCreatedTables() ? "tables created" : "existing database");
    ConnectionHandle* handle = GetConnectionHandle(nullptr);
    for (const auto& table : GetDataDictionary()) {
      ResultSetPtr rs = ExecuteQuery(handle, ("select * from " + table->name).c_str());
      if (!rs) {
        std::printf("  %-18s (not readable)\n", table->name.c_str());
        rc = 1;
        continue;
      }
      std::string columns;
      for (const ResultColumn& column : rs->columns) columns += (columns.empty() ? "" : ", ") + column.name;
      std::printf("  %-18s %d rows: %s\n", table->name.c_str(), rs->rowCount, columns.c_str());
    }
    ReleaseConnectionHandle(nullptr);
  }
  DeInitTessera();
  fs::remove_all(root, ec);
  return rc;
}
