#include "prereq/prereq.h"

int main(int argc, char** argv) { return PrereqMain(argc, argv); }
