// The morvale executable: everything but the entry point lives in the library.
#include "driver/driver.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "driver/console.h"

// Windows gives the command line in UTF-16, whatever the code page; the tool
// works in UTF-8 from here on.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments = morvale::argumentsOf(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(&argument[0]);
    }
    pointers.push_back(nullptr);
    return morvale::run(static_cast<int>(arguments.size()), pointers.data());
}
#else
int main(int argc, char** argv) { return morvale::run(argc, argv); }
#endif
