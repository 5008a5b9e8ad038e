// The vector file's format: declarations and sample lines.
#include "vecfile/vector_writer.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "vecfile/sample_lines.h"

namespace morvale {

namespace {

// A name between double quotes: as it is in version 1, with its quotes and
// backslashes escaped in version 2, where a raw one ends the name or starts
// an escape. Everything else, TABs and UTF-8 included, is read byte for byte.
void appendQuoted(VectorFile& output, std::string_view name, VectorFormat format) {
    output.append("\"");
    switch (format) {
    case VectorFormat::Version1:
        output.append(name);
        break;
    case VectorFormat::Version2:
        for (std::size_t start = 0; start < name.size();) {
            const std::size_t special = std::min(name.find_first_of("\"\\", start), name.size());
            output.append(name.substr(start, special - start));
            if (special < name.size()) {
                const char escaped[] = {'\\', name[special]};
                output.append(std::string_view(escaped, 2));
            }
            start = special + 1;
        }
        break;
    }
    output.append("\"");
}

// The parts of a vector's name, joined by dots in the three-line layout.
struct VectorName {
    std::string_view parts[3];
    int count;
};

void writeDeclaration(VectorFile& output, int id, std::string_view module, const VectorName& name,
                      VectorFormat format) {
    output.append("vector\t");
    output.append(idText(id));
    output.append("\t");
    appendQuoted(output, module, format);
    output.append("\t");
    if (name.count == 1) {
        appendQuoted(output, name.parts[0], format);
    } else {
        std::string joined;
        for (int part = 0; part < name.count; ++part) {
            joined += (part == 0 ? "" : ".") + std::string(name.parts[part]);
        }
        appendQuoted(output, joined, format);
    }
    output.append(kLineEnd);
}

// The vector of group g with the given pair name: group.sub-name.pair-name.
void writeGroupDeclaration(VectorFile& output, const HeaderInfo& header, int group, int pair, VectorFormat format) {
    const VectorName name = {{header.nameTable.token(group + 1), header.subNameTable.token(group),
                              header.pairNameTable.token(2 * group + pair)},
                             3};
    writeDeclaration(output, 2 * group + pair, header.nameTable.token(0), name, format);
}

// A run's attribute: its name, then its value, quoted when it is not one
// plain word.
void writeAttribute(VectorFile& output, std::string_view name, std::string_view value, bool quoted) {
    output.append("attr ");
    output.append(name);
    output.append(" ");
    if (quoted) {
        appendQuoted(output, value, VectorFormat::Version2);
    } else {
        output.append(value);
    }
    output.append(kLineEnd);
}

// The unit of vector `id`, from the table's line of units, as an attribute
// of the vector right after its declaration; version 2 only, and only where
// the unit is given.
void writeUnit(VectorFile& output, const HeaderInfo& header, int id, VectorFormat format) {
    // The unit table is filled only for a table with units.
    if (format != VectorFormat::Version2 || !header.hasUnits) {
        return;
    }
    const std::string_view unit = header.unitTable.token(id + 1);
    if (!unit.empty()) {
        writeAttribute(output, "unit", unit, true);
    }
}

// A text of the heading, which comes from outside the table (a file's name
// may hold any byte but the zero byte and "/"), as one line: each control
// character but the TAB, which would end the line or might, becomes "?".
std::string oneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
            c = '?';
        }
    }
    return line;
}

}  // namespace

void writeHeading(VectorFile& output, const Provenance& provenance) {
    output.append("version 2");
    output.append(kLineEnd);
    output.append("run ");
    appendQuoted(output, oneLine(provenance.runId), VectorFormat::Version2);
    output.append(kLineEnd);
    writeAttribute(output, "table", oneLine(provenance.table), true);
    writeAttribute(output, "converted", provenance.converted, false);
    writeAttribute(output, "converter", oneLine(provenance.converter), true);
}

void writeDeclarations(VectorFile& output, const HeaderInfo& header, VectorFormat format) {
    const int columns = header.columnCount;
    switch (header.layout) {
    case HeaderLayout::OneLine:
        for (int id = 0; id < columns; ++id) {
            writeDeclaration(output, id, header.nameTable.token(0), VectorName{{header.nameTable.token(id + 1)}, 1},
                             format);
            writeUnit(output, header, id, format);
        }
        output.append(kLineEnd);
        return;
    case HeaderLayout::ThreeLine:
        for (int group = 0; group < columns; ++group) {
            writeGroupDeclaration(output, header, group, 0, format);
        }
        output.append(kLineEnd);
        output.append(kLineEnd);
        for (int group = 0; group < columns; ++group) {
            writeGroupDeclaration(output, header, group, 1, format);
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
