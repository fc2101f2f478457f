#include "command/mbrk/Common.h"
namespace mbrk::cli {
int RunStats(const std::vector<std::string>&, const Console&) { return 1; }
}  // namespace mbrk::cli
