// The vector file's format: declarations and sample lines.
#include "vecfile/vector_writer.h"

#include <string_view>

#include "vecfile/sample_lines.h"

namespace morvale {

namespace {

// The declaration up to the opening quote of the vector name.
void beginDeclaration(VectorFile& output, int id, std::string_view module) {
    output.append("vector\t");
    output.append(idText(id));
    output.append("\t\"");
    output.append(module);
    output.append("\"\t\"");
}

void endDeclaration(VectorFile& output) {
    output.append("\"");
    output.append(kLineEnd);
}

// The vector of group g with the given pair name: group.sub-name.pair-name.
void writeGroupDeclaration(VectorFile& output, const HeaderInfo& header, int group, int pair) {
    beginDeclaration(output, 2 * group + pair, header.nameTable.token(0));
    output.append(header.nameTable.token(group + 1));
    output.append(".");
    output.append(header.subNameTable.token(group));
    output.append(".");
    output.append(header.pairNameTable.token(2 * group + pair));
    endDeclaration(output);
}

}  // namespace

void writeDeclarations(VectorFile& output, const HeaderInfo& header) {
    const int columns = header.columnCount;
    switch (header.layout) {
    case HeaderLayout::OneLine:
        for (int id = 0; id < columns; ++id) {
            beginDeclaration(output, id, header.nameTable.token(0));
            output.append(header.nameTable.token(id + 1));
            endDeclaration(output);
        }
        output.append(kLineEnd);
        return;
    case HeaderLayout::ThreeLine:
        for (int group = 0; group < columns; ++group) {
            writeGroupDeclaration(output, header, group, 0);
        }
        output.append(kLineEnd);
        output.append(kLineEnd);
        for (int group = 0; group < columns; ++group) {
            writeGroupDeclaration(output, header, group, 1);
        }
        return;
    }
}

void writeSamples(VectorFile& output, const HeaderInfo& header, const RowTable& row) {
    const std::string_view abscissa = row.token(0);
    const int vectors = header.vectorCount();
    for (int id = 0; id < vectors; ++id) {
        output.commit(putSampleLine(output.reserve(kMaxSampleLine), id, abscissa, row.token(id + 1)));
    }
}

}  // namespace morvale
