#include "tessera/values/hash_table.h"

namespace tessera {

int32_t HashBucketIndex(std::string_view key, int32_t bucketCount) {
  if (bucketCount < 1) return 0;
  long long h = 0;
  for (char c : key) {
    h = (h * 26 + static_cast<signed char>(c)) % bucketCount;  // truncating remainder
    if (h < 0) h += bucketCount;
  }
  return static_cast<int32_t>(h);
}

}  // namespace tessera
