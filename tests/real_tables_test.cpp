// Tables as users hold them, from spreadsheets, instruments, numerical
// libraries and C programs, converted by the real executable with
// --format 2: each must give the vectors and samples its author meant, read
// back from the vector file, or be refused with the earlier vector file kept.
#include "end_to_end_support.h"
#include "vecfile/output_name.h"

namespace morvale {
namespace {

using namespace test;

// What a version 2 file holds after its heading: each vector as
// "module/name" with " [unit]" when it has one, and each vector's samples as
// "abscissa value", in the file's order.
struct ReadBack {
    std::vector<std::string> vectors;
    std::vector<std::vector<std::string>> samples;
};

std::string unquoted(const std::string& quoted) {
    std::string text;
    for (std::size_t at = 1; at + 1 < quoted.size(); ++at) {
        at += quoted[at] == '\\' ? 1 : 0;
        text += quoted[at];
    }
    return text;
}

std::vector<std::string> fieldsOf(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) {
        fields.push_back(field);
    }
    return fields;
}

ReadBack readBack(const std::string& file) {
    ReadBack back;
    std::istringstream in(file);
    int number = 0;
    for (std::string line; std::getline(in, line); ++number) {
        line = line.substr(0, line.size() - 1);  // the CR of CR LF
        if (number < 5 || line.empty()) {
            continue;  // the heading
        }
        const std::vector<std::string> tab = fieldsOf(line, '\t');
        if (tab[0] == "vector") {
            back.vectors.push_back(unquoted(tab[2]) + "/" + unquoted(tab[3]));
            back.samples.emplace_back();
        } else if (line.rfind("attr unit ", 0) == 0) {
            back.vectors.back() += " [" + unquoted(line.substr(10)) + "]";
        } else {
            back.samples.at(static_cast<std::size_t>(std::stoi(tab[0]))).push_back(tab[1] + " " + tab[2]);
        }
    }
    return back;
}

TEST_F(EndToEnd, RealWorldTablesAreReadAsMeantOrRefused) {
    const std::string earlier = "an earlier conversion\r\n";
    const struct {
        const char* what;
        std::string name;  // the table's file
        std::string bytes;
        std::vector<std::string> vectors;  // empty when the table is refused
        std::vector<std::vector<std::string>> samples;
        std::string err;
    } cases[] = {
        {"spreadsheet saved as TAB-separated text, CR LF, an empty cell", "sheet.txt",
         "Time (s)\tVoltage (V)\tCurrent (mA)\r\n0\t1.5\t0.1\r\n0.5\t1.75\t\r\n1\t2\t0.3\r\n",
         {"Time (s)/Voltage (V)", "Time (s)/Current (mA)"},
         {{"0 1.5", "0.5 1.75", "1 2"}, {"0 0.1", "1 0.3"}},
         "morvale: sheet.txt: line 3: warning: 1 sample with an empty abscissa or value left out, as the readers of "
         "version 2 files take no empty number; rows shorter than the header, or empty cells?\n"},
        {"spreadsheet TAB export whose first heading is empty", "blank.tsv", "\tA\tB\r\n0\t1\t2\r\n", {"/A", "/B"},
         {{"0 1"}, {"0 2"}}, ""},
        {"instrument CSV", "vna.csv", "Frequency(Hz),Return Loss(dB),Phase(deg)\n1000000,-12.5,45.2\n2000000,-13.1,44\n",
         {"Frequency(Hz)/Return Loss(dB)", "Frequency(Hz)/Phase(deg)"},
         {{"1000000 -12.5", "2000000 -13.1"}, {"1000000 45.2", "2000000 44"}}, ""},
        {"spreadsheet CSV with a byte-order mark, CR LF and a trailing comma", "export.csv",
         "\xEF\xBB\xBFTime,Value,\r\n0,1,\r\n1,2,\r\n", {"Time/Value"}, {{"0 1", "1 2"}}, ""},
        {"semicolon CSV with decimal commas", "messung.csv", "Zeit;U;I\r\n0;1,5;0,25\r\n0,5;2;-0,125\r\n",
         {"Zeit/U", "Zeit/I"}, {{"0 1.5", "0.5 2"}, {"0 0.25", "0.5 -0.125"}}, ""},
        {"spreadsheet CSV whose first line names the separator", "sep.csv", "sep=;\r\nTime;Level\r\n0;1,5\r\n",
         {"Time/Level"}, {{"0 1.5"}}, ""},
        {"numerical library's saved text with a header", "decay.txt",
         "# t sin decay\n0.000000 0.000000 1.000000\n0.100000 0.099833 0.904837\n",
         {"t/sin", "t/decay"}, {{"0.000000 0.000000", "0.100000 0.099833"}, {"0.000000 1.000000", "0.100000 0.904837"}},
         ""},
        {"the same separated by commas", "decay.csv", "# t,sin,decay\n0.000000,0.000000,1.000000\n",
         {"t/sin", "t/decay"}, {{"0.000000 0.000000"}, {"0.000000 1.000000"}}, ""},
        {"right-aligned printf columns", "printf.dat", "       t          v\n   0.000     1.0000\n  10.000    12.5000\n",
         {"t/v"}, {{"0.000 1.0000", "10.000 12.5000"}}, ""},
        {"printf with a TAB between values", "tabs.txt", "t\tv\n0.000000\t1.000000\n1.000000\t-2.000000\n",
         {"t/v"}, {{"0.000000 1.000000", "1.000000 -2.000000"}}, ""},
        {"comments above the header and after the rows", "run3.txt",
         "# run 3, trial 42\nTime V\n----\n0 1\n# paused\n1 2\n# end of run\n", {"Time/V"}, {{"0 1", "1 2"}}, ""},
        {"a line of units", "units.txt", "Time Voltage Current\ns V mA\n-----\n0 1 2\n1 3 4\n",
         {"Time/Voltage [V]", "Time/Current [mA]"}, {{"0 1", "1 3"}, {"0 2", "1 4"}}, ""},
        {"units, no separator line, CSV", "units.csv", "t,U,I\ns,V,A\n0,1,2\n", {"t/U [V]", "t/I [A]"},
         {{"0 1"}, {"0 2"}}, ""},
        {"units with cells left empty", "units2.csv", "t,U,I\n,V,\n0,1,2\n", {"t/U [V]", "t/I"}, {{"0 1"}, {"0 2"}},
         ""},
        {"quoted CSV fields", "quoted.csv", "\"Time, s\",\"Signal \"\"A\"\"\",B\n\"0\",\"1.5\", 2\n",
         {"Time, s/Signal \"A\"", "Time, s/B"}, {{"0 1.5"}, {"0 2"}}, ""},
        {"empty CSV cells", "gaps.csv", "t,a,b\n0,,2\n1,3,\n", {"t/a", "t/b"}, {{"1 3"}, {"0 2"}},
         "morvale: gaps.csv: line 2: warning: 2 samples with an empty abscissa or value left out, as the readers of "
         "version 2 files take no empty number; rows shorter than the header, or empty cells?\n"},
        {"blanks around commas", "spaced.csv", "t, v\n0, 1.5\n1 , 2\n", {"t/v"}, {{"0 1.5", "1 2"}}, ""},
        {"the first format's table", "first.txt", "Time A B\n-----\n0 1 2\n1 3 4\n", {"Time/A", "Time/B"},
         {{"0 1", "1 3"}, {"0 2", "1 4"}}, ""},
        {"the first format's three-line header", "three.txt", "T G1\nS1\nm1 x1\n=====\n0 1 2\n",
         {"T/G1.S1.m1", "T/G1.S1.x1"}, {{"0 1"}, {"0 2"}}, ""},
        {"a decimal comma where commas separate", "ambiguous.csv", "t,v\n0,1\n1,1,5\n", {}, {},
         "morvale: ambiguous.csv: line 3: more values than names in a table separated by commas: a decimal comma "
         "(1,5) cannot be told from a separator; write decimal points, quote such numbers (\"1,5\") or separate the "
         "fields by semicolons; file not converted\n"},
        {"no data column", "single.txt", "Time\n0\n1\n", {}, {},
         "morvale: single.txt: line 1: a header with no data column, so no vector to write: put the abscissa's name, "
         "then a name for each data column, on the line above the rows; file not converted\n"},
        {"numbers where the names belong", "bare.txt", "0 1 2\n1 3 4\n", {}, {},
         "morvale: bare.txt: line 1: a row of numbers where the names belong: put a line of names, the abscissa's "
         "first, above the rows; file not converted\n"},
        {"rows separated otherwise than the names", "mixed.csv", "t,a,b\n0 1 2\n1 3 4\n", {}, {},
         "morvale: mixed.csv: line 2: no row gives a sample: this first row holds no value under the names; separate "
         "the values as the names are separated (blanks, TABs, commas or semicolons); file not converted\n"},
        {"an old Mac text, its lines ended by CRs alone", "mac.txt", "Time A B\r0 1 2\r1 3 4\r", {}, {},
         "morvale: mac.txt: line 1: lines ended by CRs alone (an old Mac text?), so the whole table is one line: end "
         "its lines with LF or CR LF; file not converted\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put(c.name, c.bytes);
        std::string vectorFile = c.name;
        deriveOutputName(vectorFile, TableEndings::TextAndData);
        put(vectorFile, earlier);
        const Result result = run({"--format", "2", c.name});
        EXPECT_EQ(visible(result.err), visible(console(c.err)));
        if (c.vectors.empty()) {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(get(vectorFile), earlier);
            continue;
        }
        EXPECT_EQ(result.status, 0);
        const ReadBack back = readBack(get(vectorFile));
        EXPECT_EQ(back.vectors, c.vectors);
        EXPECT_EQ(back.samples, c.samples);
    }
}

}  // namespace
}  // namespace morvale
