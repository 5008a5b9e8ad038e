// Output file naming.
#include "vecfile/output_name.h"

#include <algorithm>
#include <cstring>

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

// How each format's vector file starts: its first declaration, or its
// version line.
constexpr const char* kVectorFileStarts[] = {"vector\t", "version 2\r\n"};

bool hasVectorFileEnding(const std::string& name) {
    const std::string ending = ".vec";
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return name.size() > ending.size() &&
           std::equal(ending.begin(), ending.end(), name.end() - static_cast<std::ptrdiff_t>(ending.size()),
                      [&lower](char one, char other) { return one == lower(other); });
}

// Whether the file starts as a vector file does.
bool startsAsVectorFile(const std::string& name) {
    long long size = -1;
    const files::Handle file = files::openForReading(name.c_str(), size);
    if (file == files::kNoHandle) {
        return false;
    }
    char start[16] = {};
    const long long got = files::read(file, start, sizeof start - 1);
    files::close(file);
    const auto startsAs = [&start](const char* known) { return std::strncmp(start, known, std::strlen(known)) == 0; };
    return got > 0 && std::any_of(std::begin(kVectorFileStarts), std::end(kVectorFileStarts), startsAs);
}

}  // namespace

bool isVectorFile(const std::string& name) {
    // Only a regular file is opened, a link's too: a FIFO would wait for
    // its writer.
    return hasVectorFileEnding(name) && files::leadsToRegularFile(name.c_str()) && startsAsVectorFile(name);
}

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
