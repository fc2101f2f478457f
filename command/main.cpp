#include <iostream>

#include "command/mbrkd2flat.h"

int main(int argc, char** argv) { return mbrk::RunConverter(argc, argv, std::cerr); }
