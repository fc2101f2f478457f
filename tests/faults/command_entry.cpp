// The command's own source, its entry point renamed, so that the fault
// tests can run whole conversions in-process, allocation by allocation.
#define main Mbrkd2flatMain
#include "command/mbrkd2flat.cpp"  // NOLINT(bugprone-suspicious-include)
