// Output file naming.
#include "vecfile/output_name.h"

namespace morvale {

void deriveOutputName(std::string& name) {
    static const std::string inputEnding = ".txt";
    if (name.size() >= inputEnding.size() &&
        name.compare(name.size() - inputEnding.size(), inputEnding.size(), inputEnding) == 0) {
        name.replace(name.size() - 3, 3, "vec");
    } else {
        name += ".vec";
    }
}

}  // namespace morvale
