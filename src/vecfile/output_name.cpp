// Output file naming.
#include "vecfile/output_name.h"

#include "platform/file_system.h"

namespace morvale {

namespace {

const std::string kInputEnding = ".txt";

bool endsAsATable(const std::string& name) {
    return name.size() >= kInputEnding.size() &&
           name.compare(name.size() - kInputEnding.size(), kInputEnding.size(), kInputEnding) == 0;
}

}  // namespace

void deriveOutputName(std::string& name) {
    if (endsAsATable(name)) {
        name.replace(name.size() - 3, 3, "vec");
    } else {
        name += ".vec";
    }
}

std::string tableStem(const std::string& name) {
    const std::size_t leaf = files::leafStart(name);
    const std::size_t end = endsAsATable(name) && name.size() - leaf > kInputEnding.size()
                                ? name.size() - kInputEnding.size()
                                : name.size();
    return name.substr(leaf, end - leaf);
}

}  // namespace morvale
