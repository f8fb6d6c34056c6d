#include "cli/Commands.hpp"

int main(int argc, char** argv) { return lumivert::Commands::run(argc, argv); }
