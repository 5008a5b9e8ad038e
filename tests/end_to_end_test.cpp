// End-to-end runs of the real executable on real files in a private folder:
// standard output, standard error, exit status and the bytes left on disk.
#include <functional>

#include "end_to_end_support.h"

namespace morvale {
namespace {

using namespace test;
using test::convertTextToVersion2;
using namespace std::string_literals;

// The vector file a table of that name gives.
std::string vectorFileOf(const std::string& table) {
    const std::size_t stem = table.size() >= 4 && table.compare(table.size() - 4, 4, ".txt") == 0 ? table.size() - 4
                                                                                                    : table.size();
    return table.substr(0, stem) + ".vec";
}

TEST_F(EndToEnd, NoArgumentsPrintsUsageAndTouchesNothing) {
    put("keep.txt", kOneLineTable);
    const auto before = snapshot();
    expectRun(run({}), 0, kUsage + kClosingBlock, "");
    EXPECT_EQ(snapshot(), before);
}

TEST_F(EndToEnd, ConvertsEveryFileInOrderEachInItsOwnLayout) {
    for (bool crlf : {false, true}) {
        put("three.txt", crlf ? withCrLf(kThreeLineTable) : kThreeLineTable);
        put("one.txt", crlf ? withCrLf(kOneLineTable) : kOneLineTable);
        put("data.csv", kOneLineTable);
        put("one.vec", "an older vector file, longer than the new one ..................................\n");
        expectRun(run({"three.txt", "one.txt", "data.csv"}), 0,
                  "File three.vec converted\nFile one.vec converted\nFile data.csv.vec converted\n" + summary(3), "");
        EXPECT_EQ(visible(get("three.vec")), visible(kThreeLineVec));
        EXPECT_EQ(visible(get("one.vec")), visible(kOneLineVec));
        EXPECT_EQ(get("data.csv.vec"), kOneLineVec);
        EXPECT_EQ(get("data.csv"), kOneLineTable);
    }
}

// Wherever it is named, an input that cannot be opened ends the run: what
// came before it stays converted, what comes after is not touched, and how
// much that is is said.
TEST_F(EndToEnd, AnInputThatCannotBeOpenedEndsTheRun) {
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        std::map<std::string, std::string> written;
    } cases[] = {
        {"missing, first", {"gone.txt", "a.txt", "c.txt"}, "Error opening file.\n",
         "morvale: gone.txt: No such file or directory\n"
         "morvale: the run stops here: 2 more tables not converted, from a.txt on\n",
         {}},
        {"missing, between", {"a.txt", "gone.txt", "c.txt"}, "File a.vec converted\nError opening file.\n",
         "morvale: gone.txt: No such file or directory\nmorvale: the run stops here: 1 more table not converted: c.txt\n",
         {{"a.vec", kOneLineVec}}},
        {"missing, last", {"a.txt", "c.txt", "gone.txt"},
         "File a.vec converted\nFile c.vec converted\nError opening file.\n",
         "morvale: gone.txt: No such file or directory\n", {{"a.vec", kOneLineVec}, {"c.vec", kThreeLineVec}}},
        {"a folder", {"a.txt", "dir.txt", "c.txt"}, "File a.vec converted\nError opening file.\n",
         "morvale: dir.txt: Is a directory\nmorvale: the run stops here: 1 more table not converted: c.txt\n",
         {{"a.vec", kOneLineVec}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        fs::create_directories(work_ / "dir.txt");
        put("dir.txt/inside.txt", kOneLineTable);
        put("a.txt", kOneLineTable);
        put("c.txt", kThreeLineTable);
        put("c.vec", "an earlier conversion\r\n");
        expectRunLeaves(c.args, 1, c.out, c.err, c.written);
    }
}

TEST_F(EndToEnd, AnOutputThatCannotBeOpenedEndsTheRun) {
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string reason;
    };
    std::vector<Case> cases = {
        {"a folder", [&] { fs::create_directory(file("b.vec")); }, "Is a directory"},
        // Its owner wants it kept, even from the superuser.
        {"a write-protected file",
         [&] {
             put("b.vec", "kept\r\n");
             fs::permissions(file("b.vec"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         "Permission denied"},
    };
    if (!windowsBuild()) {
        // Opening a FIFO for writing would wait for a reader for ever.
        cases.push_back({"a FIFO", [&] { ASSERT_EQ(mkfifo(file("b.vec").c_str(), 0600), 0); }, "not a regular file"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("a.txt", kOneLineTable);
        put("b.txt", kOneLineTable);
        put("c.txt", kOneLineTable);
        c.make();
        expectRunLeaves({"a.txt", "b.txt", "c.txt"}, 1, "File a.vec converted\nNo se puede abrir el fichero.\n",
                        "morvale: b.vec: " + c.reason + "\nmorvale: the run stops here: 1 more table not converted: c.txt\n",
                        {{"a.vec", kOneLineVec}});
    }
}

// A vector file never takes the place of a table of the same run, nor of a
// vector file that another table of the run gave; the run goes on.
TEST_F(EndToEnd, AVectorFileNeverReplacesAnotherFileOfTheRun) {
    const std::string userTable = "X Y\n--\n7 8\n";
    const std::string userTableVec = crlfLines({"vector\t0\t\"X\"\t\"Y\"", "", "0\t7\t8"});
    const struct {
        const char* what;
        std::function<void()> make;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        std::map<std::string, std::string> written;
        // Made of a symbolic link, which a Windows build under wine sees as
        // the file it leads to, never as a link.
        bool symbolicLink = false;
    } cases[] = {
        {"the output is a link to its own table",
         [&] { fs::create_hard_link(file("b.txt"), file("b.vec")); },
         {"b.txt"},
         summary(0),
         "morvale: b.txt: its vector file b.vec is this table itself; file not converted\n",
         {}},
        {"the output is a link to a later table",
         [&] { fs::create_hard_link(file("b.txt"), file("a.vec")); },
         {"a.txt", "b.txt"},
         "File b.vec converted\n" + summary(1),
         "morvale: a.txt: its vector file a.vec is b.txt, a table of this run; file not converted\n",
         {{"b.vec", kOneLineVec}}},
        {"the output is named as a table of the run",
         [&] { put("a.vec", userTable); },
         {"a.txt", "a.vec"},
         "File a.vec.vec converted\n" + summary(1),
         "morvale: a.txt: its vector file a.vec is given as a table in this run too; file not converted\n",
         {{"a.vec.vec", userTableVec}}},
        // As `morvale *` gives them, in a folder of earlier conversions.
        {"a vector file given as a table, before its table",
         [&] { put("a.vec", kThreeLineVec); },
         {"a.vec", "a.txt"},
         "File a.vec converted\n" + summary(1),
         "morvale: a.vec: a vector file, not a table: left as it is\n",
         {{"a.vec", kOneLineVec}}},
        {"a version 2 file given as a table",
         [&] { put("c.VEC", "version 2\r\nrun \"c\"\r\n"); },
         {"a.txt", "c.VEC"},
         "File a.vec converted\n" + summary(1),
         "morvale: c.VEC: a vector file, not a table: left as it is\n",
         {{"a.vec", kOneLineVec}}},
        {"a link to a vector file given as a table",
         [&] {
             put("a.vec", kThreeLineVec);
             fs::create_symlink("a.vec", file("link.vec"));
         },
         {"link.vec", "a.txt"},
         "File a.vec converted\n" + summary(1),
         "morvale: link.vec: a vector file, not a table: left as it is\n",
         {{"a.vec", kOneLineVec}},
         true},
        {"two tables give one vector file",
         [&] { put("a", userTable); },
         {"a.txt", "a"},
         "File a.vec converted\n" + summary(1),
         "morvale: a: its vector file a.vec was already written from a.txt in this run; file not converted\n",
         {{"a.vec", kOneLineVec}}},
        // A link at a vector file's name is replaced itself, never its target.
        {"a link at the vector file leads to another table's",
         [&] {
             put("a.vec", "an earlier conversion\r\n");
             fs::create_symlink("a.vec", file("b.vec"));
         },
         {"a.txt", "b.txt"},
         "File a.vec converted\nFile b.vec converted\n" + summary(2),
         "",
         {{"a.vec", kOneLineVec}, {"b.vec", kOneLineVec}},
         true},
        {"a link at the vector file leads to another table's, named after it",
         [&] {
             put("a.vec", "an earlier conversion\r\n");
             fs::create_symlink("a.vec", file("b.vec"));
         },
         {"b.txt", "a.txt"},
         "File b.vec converted\nFile a.vec converted\n" + summary(2),
         "",
         {{"a.vec", kOneLineVec}, {"b.vec", kOneLineVec}},
         true},
        {"one table named twice is converted twice", [] {}, {"a.txt", "a.txt"},
         "File a.vec converted\nFile a.vec converted\n" + summary(2), "", {{"a.vec", kOneLineVec}}},
        // A replaced vector file's identity may be given to the next new file.
        {"tables named twice each", [] {}, {"a.txt", "a.txt", "b.txt", "b.txt"},
         "File a.vec converted\nFile a.vec converted\nFile b.vec converted\nFile b.vec converted\n" + summary(4),
         "", {{"a.vec", kOneLineVec}, {"b.vec", kOneLineVec}}},
        {"a vector file of the run named as a table in another way", [] {}, {"a.txt", "./a.vec"},
         "File a.vec converted\n" + summary(1),
         "morvale: ./a.vec: it is a.vec, the vector file of a.txt in this run; file not converted\n",
         {{"a.vec", kOneLineVec}}},
    };
    for (const auto& c : cases) {
        if (c.symbolicLink && windowsBuild()) {
            continue;
        }
        SCOPED_TRACE(c.what);
        resetWork();
        put("a.txt", kOneLineTable);
        put("b.txt", kOneLineTable);
        c.make();
        expectRunLeaves(c.args, c.err.empty() ? 0 : 1, c.out, c.err, c.written);
    }
}

TEST_F(EndToEnd, AFailedConversionKeepsTheEarlierVectorFileAndTheRunGoesOn) {
    std::string wideHeader = "T";
    for (int column = 0; column < 1024; ++column) {
        wideHeader += " c" + std::to_string(column);
    }
    const std::string earlier = "an earlier conversion\r\n";
    put("a.txt", kOneLineTable);
    // Refused before its vector file is started: even a folder in the way
    // is never reached.
    put("wide.txt", wideHeader + "\n---\n1 2\n");
    fs::create_directory(file("wide.vec"));
    put("wide.vec/inside.vec", earlier);
    // Refused after thousands of sample lines were written.
    std::string rows = "T A\n--\n";
    for (int row = 0; row < 20000; ++row) {
        rows += std::to_string(row) + " 1.25\n";
    }
    put("long.txt", rows + "0 " + std::string(256, '9') + "\n");
    put("long.vec", earlier);
    put("new.txt", "T A\n--\n0 " + std::string(256, '9') + "\n");
    put("z.txt", kThreeLineTable);
    auto expected = snapshot();

    expectRun(run({"a.txt", "wide.txt", "long.txt", "new.txt", "z.txt"}), 1,
              "File a.vec converted\nFile z.vec converted\n" + summary(2),
              "morvale: wide.txt: line 1: more than 1023 data columns; file not converted\n"
              "morvale: long.txt: line 20003: value longer than 255 characters; file not converted\n"
              "morvale: new.txt: line 3: value longer than 255 characters; file not converted\n");
    expected["a.vec"] = kOneLineVec;
    expected["z.vec"] = kThreeLineVec;
    EXPECT_EQ(snapshot(), expected);
}

// Tables that are almost surely not what their author meant are converted by
// the rules as before, with a warning on standard error for each way they
// were read otherwise than meant, in the order of their lines. Without a CR of
// its own, a table gives the same warnings with CR LF line ends.
TEST_F(EndToEnd, DoubtfulTablesAreConvertedWithAWarning) {
    const std::string utf16 = "\xFF\xFET\0i\0m\0e\0 \0A\0\r\0\n\0-\0-\0\r\0\n\0" "0\0 \0" "1\0\r\0\n\0"s;
    const std::string noSeparatorLine =
        "warning: no separator line of '-' or '=' after header line 1; the next two lines were read as header "
        "lines 2 and 3, and the first character after them as the separator line (add a separator line after "
        "the header)";
    const std::string readByFormat2 = "; --format 2 reads such tables";
    const std::string emptyRow =
        "warning: an empty line (or one of blanks only) was read as a row of empty values";
    const std::string emptyRowFix = "; delete empty lines among and after the rows";
    const struct {
        const char* name;
        std::string table;
        std::vector<std::string> warnings;
    } cases[] = {
        {"empty.txt", "", {"line 1: warning: the table is empty; its vector file declares no vectors"}},
        {"mac.txt", "Time A B\r-----\r0 1 2\r1 3 4\r",
         {"line 1: warning: no line ends, only lone CRs; the whole file was read as a single line "
          "(lone CR line ends? convert them to LF or CR LF)"}},
        {"three.txt", "T G1\nS1\nm1 x1\n0 1 2\n1 3 4\n",
         {"line 4: warning: line 4 is not a separator line of '-' or '='; its first character was dropped as one "
          "and the rest read as a row (add a separator line after header line 3)"}},
        {"none.txt", "Time A B\n0 1 2\n1 3 4\n2 5 6\n", {"line 2: " + noSeparatorLine + readByFormat2}},
        {"rows-lost.txt", "Time A B\n0 1 2\n1 3 4\n", {"line 2: " + noSeparatorLine + readByFormat2}},
        {"negative.txt", "Time A B\n0 -1 2\n1 3 4\n2 5 6\n", {"line 2: " + noSeparatorLine + readByFormat2}},
        {"empty-line-4.txt", "T G1\nS1\nm1 x1\n\n0 1 2\n", {}},
        {"fine.txt", kOneLineTable, {}},
        {"header-only.txt", "T G1\nS1\nm1 x1\n", {}},
        {"utf16.txt", utf16,
         {"line 1: warning: the table is UTF-16 text, read a byte at a time: the zero bytes between its characters "
          "cut every name and value short; save it as UTF-8 text"}},
        // Named NAME.vec, a vector file is refused instead.
        {"old.vec.bak", kOneLineVec,
         {"line 1: warning: this is a vector file, not a table: its lines were read as a table's; give only tables "
          "(morvale *.txt, not morvale *)"}},
        {"new.vec.bak", convertTextToVersion2(kOneLineTable).output,
         {"line 1: warning: this is a vector file, not a table: its lines were read as a table's; give only tables "
          "(morvale *.txt, not morvale *)"}},
        {"csv.txt", "Time,A,B\n-----\n0,1,2\n",
         {"line 1: warning: the names of line 1 are separated by commas or semicolons, which are part of a name "
          "here; separate names and values by blanks (from a spreadsheet, save the table as text separated by "
          "spaces)" + readByFormat2}},
        {"comment.txt", "# Time V1 V2\n-----\n0 1 2\n",
         {"line 1: warning: the comment mark before the names was read as the abscissa heading, and every name "
          "moved one column to the left; delete the mark, so that the line starts with the abscissa heading; "
          "--format 2 reads such tables, with '#' as the mark"}},
        {"numbers.txt", "0 1 2\n-----\n1 3 4\n",
         {"line 1: warning: header line 1 holds only numbers: a row was read as the names; start the table with a "
          "line of names and a separator line of '-'"}},
        {"dash.txt", "Time T-in T-out\n-----\n0 1 2\n1 3 4\n",
         {"line 1: warning: a '-' or '=' ended a header line, and the rest of the line was read as the next header "
          "line; names cannot hold '-' or '=' (write T_in, not T-in)"}},
        {"no-columns.txt", "Time\n-----\n0\n1\n",
         {"line 1: warning: header line 1 names no data column, so the vector file declares no vectors; put the "
          "abscissa heading and one name per data column on the first line"}},
        {"empty-line-2.txt", "Time A B\n\n-----\n0 1 2\n",
         {"line 2: warning: a line with no names was read as a line of a three-line header; put the separator line "
          "right after the header, with no empty line before it and no blank at its start"}},
        {"underscores.txt", "Time A B\n________\n0 1 2\n1 3 4\n",
         {"line 2: warning: line 2 looks like a separator line but is not made of '-' or '=', so it was read as "
          "header line 2 of a three-line header; make the separator line of '-' or '='"}},
        {"minus.txt", "Time A B\n-1 2 3\n0 4 5\n",
         {"line 2: warning: the separator line holds more than '-', '=' and blanks: the first other character was "
          "dropped and the rest of the line read as a row; a separator line holds nothing else (a row with a "
          "negative first value? add a separator line before it)"}},
        {"groups.txt", "T G1 G2\nS1\nm x m x\n====\n0 1 2 3 4\n",
         {"line 2: warning: header lines 2 and 3 do not hold one sub-name and two pair names per group: missing "
          "names were left empty, extra ones dropped; give each group of line 1 one sub-name on line 2 and two pair "
          "names on line 3"}},
        {"repeated.txt", "Time V V\n-----\n0 1 2\n",
         {"line 1: warning: two vectors were declared with the same name; give every data column a name of its "
          "own"}},
        {"tabs.txt", "Time\tA\tB\n-----\n0\t1\t2\n1\t3\t4\n",
         {"line 1: warning: a TAB is part of a name or value, not a separator: the values around it were read as "
          "one, and on 2 more lines; separate values by blanks, not TABs (from a spreadsheet, save the table as "
          "text separated by spaces)" + readByFormat2}},
        {"zero.txt", "Time A B\n-----\n0 1\0x 2\n"s,
         {"line 3: warning: a zero byte ends the name or value it stands in: what follows it, up to the next blank, "
          "was left out; is the file a text table? save it as text"}},
        {"cr-cr-lf.txt", "Time A B\r\r\n-----\r\r\n0 1 2\r\r\n",
         {"line 1: warning: a CR with no LF after it was copied into a value, and on 2 more lines; end every line "
          "with CR LF or LF, not with CR CR LF or a lone CR"}},
        {"right-aligned.txt", "Time   A   B\n------------\n  0.0 1.0 2.0\n  1.0 3.0 4.0\n",
         {"line 3: warning: a row that starts with a blank got a blank as its abscissa, and each value went to the "
          "next vector, and on 1 more line; start every row with its abscissa, not with blanks (right-aligned "
          "columns?)" + readByFormat2}},
        {"empty-rows.txt", "Time A B\n-----\n0 1 2\n\n1 3 4\n  \n\n",
         {"line 4: " + emptyRow + ", and on 2 more lines" + emptyRowFix}},
        {"extra.txt", "Time A\n-----\n0 1 2\n1 3 4\n",
         {"line 3: warning: a row holds more values than the header has data columns: the extra ones were dropped, "
          "and on 1 more line; name every data column on the header, or delete the extra values"}},
        {"several.txt", "Time A B\n-----\n  0 1 2\n1 3\n\n",
         {"line 3: warning: a row that starts with a blank got a blank as its abscissa, and each value went to the "
          "next vector; start every row with its abscissa, not with blanks (right-aligned columns?)" + readByFormat2,
          "line 4: warning: a row holds fewer values than the header has data columns: the missing ones were "
          "written as empty samples; give every row one value per data column",
          "line 5: " + emptyRow + emptyRowFix}},
    };
    std::vector<std::string> args;
    std::string out;
    std::string err;
    const auto add = [&](const std::string& name, const std::string& table, const std::vector<std::string>& warnings) {
        put(name, table);
        args.push_back(name);
        out += "File " + vectorFileOf(name) + " converted\n";
        for (const std::string& warning : warnings) {
            err += "morvale: " + name + ": " + warning + "\n";
        }
    };
    for (const auto& c : cases) {
        add(c.name, c.table, c.warnings);
        if (c.table.find('\r') == std::string::npos) {
            add(std::string("crlf-") + c.name, withCrLf(c.table), c.warnings);
        }
    }
    expectRun(run(args), 0, out + summary(static_cast<int>(args.size())), err);
    for (const auto& c : cases) {
        const std::string vec = convertText(c.table).output;
        EXPECT_EQ(visible(get(vectorFileOf(c.name))), visible(vec)) << c.name;
        if (c.table.find('\r') == std::string::npos) {
            EXPECT_EQ(visible(get(vectorFileOf(std::string("crlf-") + c.name))), visible(vec)) << c.name;
        }
    }
}

// The file written beside a vector file of the longest name a folder allows
// still gets a name the system takes; a second run replaces the first's file.
TEST_F(EndToEnd, TheLongestNameConvertsAndIsReplaced) {
    const std::string base(251, 'n');
    put(base + ".txt", kOneLineTable);
    for (int round = 0; round < 2; ++round) {
        expectRun(run({base + ".txt"}), 0, "File " + base + ".vec converted\n" + summary(1), "");
        EXPECT_EQ(get(base + ".vec"), kOneLineVec);
        EXPECT_TRUE(incompleteFiles().empty());
    }
}

// Options stand anywhere among the tables, as most tools take them; `--` ends
// them, and a table named like an option is reached after it or as ./--help.
TEST_F(EndToEnd, OptionsStandAnywhereUntilDoubleDash) {
    put("--help", kOneLineTable);
    const auto before = snapshot();
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    const std::string usage = console("Usage: morvale [OPTION]... TABLE...\n");
    EXPECT_EQ(visible(help.out.substr(0, usage.size())), visible(usage));
    EXPECT_NE(help.out.find("man morvale"), std::string::npos) << visible(help.out);
    EXPECT_EQ(help.out.find("Press anykey"), std::string::npos) << visible(help.out);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(snapshot(), before);

    std::string helpText;  // as the tool wrote it, before a Windows console's CR LF
    for (char c : help.out) {
        if (c != '\r') {
            helpText += c;
        }
    }
    const std::string version = std::string("morvale ") + MORVALE_VERSION + "\n";
    const std::string unknown = " (for help: morvale --help; a table of that name is ./";
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
        std::map<std::string, std::string> written;
    } cases[] = {
        {"version", {"--version"}, 0, version, "", {}},
        {"help among tables", {"a.txt", "--help", "b.txt"}, 0, helpText, "", {}},
        {"version after a table", {"a.txt", "--version"}, 0, version, "", {}},
        {"a table named --help after --", {"--", "--help"}, 0, "File --help.vec converted\n" + summary(1), "",
         {{"--help.vec", kOneLineVec}}},
        {"a table named --help", {"./--help"}, 0, "File ./--help.vec converted\n" + summary(1), "",
         {{"--help.vec", kOneLineVec}}},
        {"--no-wait after the tables", {"./--help", "--no-wait"}, 0,
         "File ./--help.vec converted\n\t1 File(s) converted succesfully\n\n", "", {{"--help.vec", kOneLineVec}}},
        {"--no-wait alone", {"--no-wait"}, 0, kUsage, "", {}},
        {"an unknown option after a table", {"./--help", "-h"}, 1, "",
         "morvale: -h: unknown option" + unknown + "-h)\n", {}},
        {"a slip on help", {"--hlep"}, 1, "", "morvale: --hlep: unknown option" + unknown + "--hlep)\n", {}},
        {"a format after --", {"./--help", "--", "--format=2"}, 1, "File ./--help.vec converted\nError opening file.\n",
         "morvale: --format=2: No such file or directory\n", {{"--help.vec", kOneLineVec}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("--help", kOneLineTable);
        expectRunLeaves(c.args, c.status, c.out, c.err, c.written);
    }
}

// Whether `text` holds only characters of `allowed`, and `length` of them.
bool isOf(const std::string& text, std::size_t length, const char* allowed) {
    return text.size() == length && text.find_first_not_of(allowed) == std::string::npos;
}

// A version 2 file with its run line and conversion time, which differ from
// run to run, put as testProvenance() has them; false when they are not of
// their form: the table's name, the time and eight hexadecimal digits.
bool normalizeHeading(std::string& file, const std::string& table) {
    const std::string stem = table.substr(0, table.size() - 4);
    const std::string run = "version 2\r\nrun \"" + stem + "-";
    const std::size_t runEnd = file.find("\"\r\n", run.size());
    const std::string attributes = "attr table \"" + table + "\"\r\nattr converted ";
    if (file.compare(0, run.size(), run) != 0 || runEnd == std::string::npos ||
        file.compare(runEnd + 3, attributes.size(), attributes) != 0) {
        return false;
    }
    const std::string unique = file.substr(run.size(), runEnd - run.size());  // 20261209-113000-3f9a2c71
    const std::size_t timeStart = runEnd + 3 + attributes.size();
    const std::size_t timeEnd = file.find("\r\n", timeStart);
    const std::string time = file.substr(timeStart, timeEnd - timeStart);  // 2026-12-09T11:30:00Z
    const std::string converter = "\r\nattr converter \"morvale " MORVALE_VERSION "\"\r\n";
    if (unique.size() != 24 || !isOf(unique.substr(0, 8), 8, "0123456789") || unique[8] != '-' ||
        !isOf(unique.substr(9, 6), 6, "0123456789") || unique[15] != '-' ||
        !isOf(unique.substr(16), 8, "0123456789abcdef") || time.size() != 20 || time[10] != 'T' ||
        time.back() != 'Z' || file.compare(timeEnd, converter.size(), converter) != 0) {
        return false;
    }
    file = test::kTestHeading + file.substr(timeEnd + converter.size());
    return true;
}

// --format 2 writes files for today's readers; --format 1 and no option the
// first format, byte for byte; a wrong option ends the run before any file.
TEST_F(EndToEnd, TheFormatOptionChoosesTheVectorFile) {
    const std::string shortRows = "Time A B\n--\n0 1\n1 2 3\n";
    const std::string badValue = "Time A\n--\n0 1\n1 abc\n";
    // As numpy writes by default: more digits than the readers store.
    const std::string fullDigits =
        "t sin\n--\n0.000000000000000000e+00 0.000000000000000000e+00\n"
        "1.000000000000000056e-01 9.983341664682815475e-02\n";
    const std::string earlier = "an earlier conversion\r\n";
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
        std::map<std::string, std::string> version2;  // files of version 2, before their heading is checked
        std::map<std::string, std::string> written;
    } cases[] = {
        {"version 2", {"--format", "2", "one.txt", "three.txt"}, 0,
         "File one.vec converted\nFile three.vec converted\n" + summary(2), "",
         {{"one.vec", convertTextToVersion2(kOneLineTable).output},
          {"three.vec", convertTextToVersion2(kThreeLineTable).output}},
         {}},
        {"version 2 by =", {"--format=2", "one.txt"}, 0, "File one.vec converted\n" + summary(1), "",
         {{"one.vec", convertTextToVersion2(kOneLineTable).output}}, {}},
        {"empty values left out", {"--format", "2", "short.txt"}, 0, "File short.vec converted\n" + summary(1),
         "morvale: short.txt: line 3: warning: 1 sample with an empty abscissa or value left out, as the readers of "
         "version 2 files take no empty number; rows shorter than the header, or empty cells?\n",
         {{"short.vec", convertTextToVersion2(shortRows).output}}, {}},
        {"a value no reader reads", {"--format", "2", "bad.txt", "one.txt"}, 1,
         "File one.vec converted\n" + summary(1),
         "morvale: bad.txt: line 4: 'abc' is not a number the readers of vector files read exactly; file not "
         "converted\n",
         {{"one.vec", convertTextToVersion2(kOneLineTable).output}}, {}},
        {"abscissas of more digits than stored", {"--format", "2", "numpy.txt"}, 0,
         "File numpy.vec converted\n" + summary(1), "",
         {{"numpy.vec", test::kTestHeading + "vector\t0\t\"t\"\t\"sin\"\r\n\r\n"
                        "0\t0.000000000000000000e+00\t0.000000000000000000e+00\r\n"
                        "0\t0.1\t9.983341664682815475e-02\r\n"}},
         {}},
        {"an abscissa no reader stores", {"--format", "2", "tiny.txt"}, 1, summary(0),
         "morvale: tiny.txt: line 4: '1e-30' is an abscissa that the readers of vector files cannot store: they store "
         "decimal numbers of at most 18 places, up to 9223372036854775807 (write the abscissas with %.9g, or with "
         "fewer decimals); file not converted\n",
         {}, {}},
        {"no separator line: a row right after the names", {"--format", "2", "none.txt"}, 0,
         "File none.vec converted\n" + summary(1), "",
         {{"none.vec", convertTextToVersion2("Time A B\n-\n0 1 2\n1 3 4\n2 5 6\n").output}}, {}},
        {"a refused table's doubts first", {"--format", "2", "twice.txt"}, 1, summary(0),
         "morvale: twice.txt: line 1: warning: two vectors were declared with the same name; give every data column "
         "a name of its own\n"
         "morvale: twice.txt: line 4: 'x' is not a number the readers of vector files read exactly; file not "
         "converted\n",
         {}, {}},
        {"version 1 by name", {"--format", "1", "one.txt", "bad.txt"}, 0,
         "File one.vec converted\nFile bad.vec converted\n" + summary(2), "", {},
         {{"one.vec", kOneLineVec}, {"bad.vec", convertText(badValue).output}}},
        {"a format that does not exist", {"--format", "3", "one.txt"}, 1, "",
         "morvale: --format: '3' is not a vector file format: 1 or 2 (for help: morvale --help)\n", {}, {}},
        {"version 2 after the table", {"one.txt", "--format", "2"}, 0, "File one.vec converted\n" + summary(1), "",
         {{"one.vec", convertTextToVersion2(kOneLineTable).output}}, {}},
        {"a format missing", {"--format"}, 1, "", "morvale: --format: needs a value: 1 or 2 (for help: morvale --help)\n",
         {}, {}},
        {"a format empty", {"--format=", "one.txt"}, 1, "",
         "morvale: --format: '' is not a vector file format: 1 or 2 (for help: morvale --help)\n", {}, {}},
        {"no table", {"--format", "2"}, 0, kUsage + kClosingBlock, "", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetWork();
        put("one.txt", kOneLineTable);
        put("three.txt", kThreeLineTable);
        put("short.txt", shortRows);
        put("bad.txt", badValue);
        put("bad.vec", earlier);
        put("numpy.txt", fullDigits);
        put("tiny.txt", "Time A\n--\n0 1\n1e-30 2\n");
        put("none.txt", "Time A B\n0 1 2\n1 3 4\n2 5 6\n");
        put("twice.txt", "Time A A\n--\n0 1 2\n1 x 3\n");
        auto expected = snapshot();
        for (const auto& [name, bytes] : c.written) {
            expected[name] = bytes;
        }
        expectRun(run(c.args), c.status, c.out, c.err);
        auto actual = snapshot();
        for (const auto& [name, bytes] : c.version2) {
            std::string table = name;
            table.replace(table.size() - 4, 4, ".txt");
            EXPECT_TRUE(normalizeHeading(actual[name], table)) << visible(actual[name]);
            expected[name] = bytes;
        }
        EXPECT_EQ(actual, expected);
    }
    // Every file's run is its own, even the same table's twice.
    resetWork();
    put("one.txt", kOneLineTable);
    run({"--format", "2", "one.txt"});
    const std::string first = get("one.vec");
    run({"--format", "2", "one.txt"});
    EXPECT_NE(first.substr(0, first.find("\r\nattr")), get("one.vec").substr(0, first.find("\r\nattr")));
}

// A name that names no file and looks like a slip gets a hint after the
// reason; standard output and the exit status are those of any missing file.
TEST_F(EndToEnd, AMissingFileNamedAsASlipGetsAHint) {
    put("lab.txt", kOneLineTable);
    put("lab.vec", "an earlier conversion\r\n");
    const std::string help = " (for help: morvale --help)";
    const struct {
        std::string arg;
        std::string hint;
    } cases[] = {
        {"/?", help},
        {"lab", " (did you mean lab.txt?)"},
        {"lab.csv", ""},
        {"h", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        expectRunLeaves({c.arg}, 1, "Error opening file.\n",
                        "morvale: " + c.arg + ": No such file or directory" + c.hint + "\n", {});
    }
}

TEST_F(EndToEnd, BundledExamplesConvertAlikeWithEitherLineEnd) {
    const fs::path examples = fs::path(MORVALE_SOURCE_DIR) / "examples";
    const fs::path golden = fs::path(MORVALE_SOURCE_DIR) / "tests" / "golden";
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(examples)) {
        if (entry.path().extension() != ".txt") {
            continue;
        }
        const std::string table = readFile(entry.path());
        const fs::path expected = golden / entry.path().filename().replace_extension(".vec");
        std::string lf;
        for (char c : table) {
            if (c != '\r') {
                lf += c;
            }
        }
        put("lf.txt", lf);
        put("crlf.txt", withCrLf(lf));
        expectRun(run({"lf.txt", "crlf.txt"}), 0, "File lf.vec converted\nFile crlf.vec converted\n" + summary(2),
                  "");
        EXPECT_EQ(get("lf.vec"), readFile(expected)) << entry.path();
        EXPECT_EQ(get("crlf.vec"), readFile(expected)) << entry.path();
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

}  // namespace
}  // namespace morvale
