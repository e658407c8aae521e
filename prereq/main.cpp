#include "prereq/prereq.h"
#include "transport/resource_id_fetch.h"

int main(int argc, char** argv) {
  InstallResourceIdFetcher();  // a missing resource ID is asked of the management server
  return PrereqMain(argc, argv);
}
