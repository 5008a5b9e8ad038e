// Output file naming.
#include "vecfile/output_name.h"

#include "platform/file_system.h"

namespace morvale {

namespace {

// Every table ending has four characters, the dot included.
constexpr std::size_t kEndingSize = 4;

bool endsAsATable(const std::string& name, TableEndings endings) {
    if (name.size() < kEndingSize) {
        return false;
    }
    const std::string ending = name.substr(name.size() - kEndingSize);
    switch (endings) {
    case TableEndings::Text:
        return ending == ".txt";
    case TableEndings::TextAndData:
        return ending == ".txt" || ending == ".csv" || ending == ".tsv" || ending == ".dat";
    }
    return false;
}

}  // namespace

void deriveOutputName(std::string& name, TableEndings endings) {
    if (endsAsATable(name, endings)) {
        name.replace(name.size() - 3, 3, "vec");
    } else {
        name += ".vec";
    }
}

std::string tableStem(const std::string& name, TableEndings endings) {
    const std::size_t leaf = files::leafStart(name);
    const std::size_t end = endsAsATable(name, endings) && name.size() - leaf > kEndingSize
                                ? name.size() - kEndingSize
                                : name.size();
    return name.substr(leaf, end - leaf);
}

}  // namespace morvale
