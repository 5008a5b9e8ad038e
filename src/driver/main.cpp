// The morvale executable: everything but the entry point lives in the library.
#include "driver/driver.h"

int main(int argc, char** argv) { return morvale::run(argc, argv); }
