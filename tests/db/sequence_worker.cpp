// A second agent for the sequence tests: brings the store up on a data directory, writes
// `count` identifiers of one generated column to a file, one per line, and shuts down.
//   tessera_sequence_worker <root> <table> <column> <count> <output file>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "tessera/db/init_tessera.h"
#include "tessera/schema/data_dictionary.h"
#include "tessera/seqgen/sequence_map.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s root table column count output\n", argv[0]);
    return 2;
  }
  if (!tessera::InitTessera(argv[1])) {
    std::fprintf(stderr, "InitTessera failed on %s\n", argv[1]);
    return 1;
  }
  const tessera::ColumnDefn* column = tessera::GetColumnDefnEntry(argv[2], argv[3]);
  std::ofstream out(argv[5]);
  const long count = std::atol(argv[4]);
  int status = column ? 0 : 1;
  for (long i = 0; i < count && status == 0; ++i) {
    int32_t id = tessera::GenerateID(argv[2], column);
    if (id < 0) status = 1;
    out << id << '\n';
  }
  tessera::DeInitTessera();
  return status;
}
