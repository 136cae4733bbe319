#include "kvn_shel.hpp"

int main(int argc, char** argv) { return korvane_main(argc, argv); }
