// VORDAXEN: the console agent's entry point.

#include "vordaxen.hpp"

int main(int argc, char** argv) { return vordaxen_main(argc, argv); }
