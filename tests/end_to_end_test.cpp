// End-to-end runs of the real executable on real files in a private folder:
// standard output, standard error, exit status and the bytes left on disk.
#include "end_to_end_support.h"

namespace morvale {
namespace {

using namespace test;

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

TEST_F(EndToEnd, AnInputThatCannotBeOpenedEndsTheRun) {
    put("a.txt", kOneLineTable);
    put("c.txt", kOneLineTable);
    fs::create_directory(file("folder.txt"));
    const struct {
        const char* what;
        const char* missing;
        const char* reason;
    } cases[] = {
        {"missing", "b.txt", "No such file or directory"},
        {"a folder", "folder.txt", "Is a directory"},
    };
    for (const auto& c : cases) {
        fs::remove(file("a.vec"));
        expectRun(run({"a.txt", c.missing, "c.txt"}), 1, "File a.vec converted\nError opening file.\n",
                  std::string("morvale: ") + c.missing + ": " + c.reason + "\n");
        EXPECT_EQ(get("a.vec"), kOneLineVec) << c.what;
        EXPECT_FALSE(fs::exists(file("c.vec"))) << c.what;
    }
}

TEST_F(EndToEnd, AnOutputThatCannotBeOpenedEndsTheRunAndSparesTheInput) {
    put("a.txt", kOneLineTable);
    put("b.txt", kOneLineTable);
    put("c.txt", kOneLineTable);
    fs::create_directory(file("b.vec"));
    // The system's own reason: Windows calls it a denied access.
    const std::string reason = windowsBuild() ? "Permission denied" : "Is a directory";
    expectRun(run({"a.txt", "b.txt", "c.txt"}), 1, "File a.vec converted\nNo se puede abrir el fichero.\n",
              "morvale: b.vec: " + reason + "\n");
    EXPECT_FALSE(fs::exists(file("c.vec")));

    // An output name that is a link to the input itself.
    fs::remove(file("b.vec"));
    fs::create_hard_link(file("b.txt"), file("b.vec"));
    expectRun(run({"b.txt"}), 1, "No se puede abrir el fichero.\n", "morvale: b.vec: is the input file itself\n");
    EXPECT_EQ(get("b.txt"), kOneLineTable);
}

TEST_F(EndToEnd, AFailedConversionLeavesNoVectorFileAndTheRunGoesOn) {
    std::string wideHeader = "T";
    for (int column = 0; column < 1024; ++column) {
        wideHeader += " c" + std::to_string(column);
    }
    put("a.txt", kOneLineTable);
    put("wide.txt", wideHeader + "\n---\n1 2\n");
    put("wide.vec", "an earlier conversion\r\n");
    put("long.txt", "T A\n--\n0 1\n0 " + std::string(256, '9') + "\n");
    // A full disk is a link to /dev/full, which only a POSIX build can
    // remove afterwards: wine cannot delete a link to a device.
    const bool fullDisk = !windowsBuild();
    if (fullDisk) {
        put("full.txt", kOneLineTable);
        fs::create_symlink("/dev/full", file("full.vec"));
    }
    put("z.txt", kThreeLineTable);
    const auto inputs = snapshot();

    std::vector<std::string> args = {"a.txt", "wide.txt", "long.txt", "z.txt"};
    if (fullDisk) {
        args.insert(args.begin() + 3, "full.txt");
    }
    expectRun(run(args), 1,
              std::string("File a.vec converted\n") + (fullDisk ? "Problemas al cerrar el fichero\n" : "") +
                  "File z.vec converted\n" + summary(2),
              std::string("morvale: wide.txt: line 1: more than 1023 data columns; file not converted\n"
                          "morvale: long.txt: line 4: value longer than 255 characters; file not converted\n") +
                  (fullDisk ? "morvale: full.txt: cannot write full.vec: No space left on device; file not converted\n"
                            : ""));
    EXPECT_EQ(get("wide.vec"), "an earlier conversion\r\n");
    EXPECT_FALSE(fs::exists(file("long.vec")));
    EXPECT_FALSE(fs::is_symlink(file("full.vec")));
    EXPECT_EQ(get("z.vec"), kThreeLineVec);
    for (const auto& [name, bytes] : inputs) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) {
            EXPECT_EQ(get(name), bytes) << name;
        }
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
