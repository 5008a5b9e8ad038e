// The driver: the argument loop, the per-file sequence and the console texts.
#include "driver/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "driver/platform.h"
#include "vecfile/output_name.h"

namespace morvale {

namespace {

// The two people to contact, as the closing block names them.
struct Author {
    const char* name;
    const char* email;
};
constexpr Author kAuthors[] = {
    {"MORVALE maintainers", "maintainers@morvale.example"},
    {"MORVALE support", "support@morvale.example"},
};

constexpr const char* kProgram = "morvale";

void say(const char* text) { std::fputs(text, stdout); }

// One line on standard error: morvale: SUBJECT: what happened. Standard output
// is flushed first so that a console shows both in the order they happened.
void diagnose(const std::string& subject, const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, subject.c_str(), what.c_str());
    std::fflush(stderr);
}

void printUsage() {
    say("Use: MORVALE file_name1 [file_name2 file_name3 ..]\n");
    say("     or drag and drop all the desired files to the program icon in Windows\n\n");
}

void printClosingBlock() {
    say("Tool made by:\n\n");
    for (const Author& author : kAuthors) {
        std::printf("%-31semail: %s\n", author.name, author.email);
    }
    say("\n");
    say("27/03/2003      MORVALE v1.0 \n\n");
    say("Press anykey to continue \n\n");
}

// True when `outputName` already names the open input itself (a link to it):
// opening it for writing would destroy the table being read.
bool isTheInput(const CharSource& source, const std::string& outputName) {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    unsigned long long outputDevice = 0;
    unsigned long long outputInode = 0;
    return source.identity(device, inode) && CharSource::identityOf(outputName.c_str(), outputDevice, outputInode) &&
           outputDevice == device && outputInode == inode;
}

std::string notConverted(const std::string& what) { return what + "; file not converted"; }

// Why reading a table failed, or an empty text: a refusal, else a read error.
std::string readingFailure(const Refusal& refusal, int readError) {
    if (refusal) {
        return notConverted("line " + std::to_string(refusal.line) + ": " + refusal.reason);
    }
    if (readError != 0) {
        return notConverted(std::string("read error: ") + std::strerror(readError));
    }
    return std::string();
}

// Why a conversion whose output was opened failed, or an empty text.
std::string conversionFailure(const Refusal& refusal, int readError, const VectorFile& output,
                              const std::string& outputName) {
    std::string failure = readingFailure(refusal, readError);
    if (failure.empty() && output.failed()) {
        failure = notConverted("cannot write " + outputName + ": " + std::strerror(output.error()));
    }
    return failure;
}

}  // namespace

Refusal writeVectorFile(CharSource& source, char& current, const HeaderInfo& header, RowTable& row,
                        VectorFile& output) {
    writeDeclarations(output, header);
    skipSeparator(source, current);
    current = source.next();
    while (!source.atEnd()) {
        if (Refusal refusal = readRow(source, current, header, row)) {
            return refusal;
        }
        writeSamples(output, header, row);
        if (output.failed()) {
            break;  // nothing more can be written; reading on would be wasted
        }
        current = source.next();
    }
    return Refusal{};
}

Outcome convertFile(const char* name, Workspace& workspace) {
    CharSource& source = workspace.source;
    if (!source.open(name)) {
        const int error = errno;
        say("Error opening file.\n");
        diagnose(name, std::strerror(error));
        return Outcome::InputNotOpened;
    }
    char current = 0;
    // A header that cannot be converted is refused before any output exists,
    // so an earlier vector file of the same name stays as it was.
    const Refusal headerRefusal = readHeader(source, current, workspace.header);
    const std::string headerFailure = readingFailure(headerRefusal, source.readErrno());
    if (!headerFailure.empty()) {
        source.close();
        diagnose(name, headerFailure);
        return Outcome::NotConverted;
    }

    std::string outputName = name;
    deriveOutputName(outputName);
    if (isTheInput(source, outputName)) {
        say("No se puede abrir el fichero.\n");
        diagnose(outputName, "is the input file itself");
        return Outcome::OutputNotOpened;
    }
    VectorFile& output = workspace.output;
    if (!output.open(outputName.c_str())) {
        const int error = errno;
        say("No se puede abrir el fichero.\n");
        diagnose(outputName, std::strerror(error));
        return Outcome::OutputNotOpened;
    }
    setRemoveOnInterrupt(outputName.c_str());

    const Refusal refusal = writeVectorFile(source, current, workspace.header, workspace.row, output);
    const int readError = source.readErrno();
    if (!source.close()) {
        say("Problemas al cerrar el fichero\n");
    }
    if (!output.close()) {
        say("Problemas al cerrar el fichero\n");
    }
    const std::string failure = conversionFailure(refusal, readError, output, outputName);
    if (!failure.empty()) {
        // An incomplete vector file would pass for a complete one.
        std::remove(outputName.c_str());
        setRemoveOnInterrupt(nullptr);
        diagnose(name, failure);
        return Outcome::NotConverted;
    }
    setRemoveOnInterrupt(nullptr);
    std::printf("File %s converted\n", outputName.c_str());
    // Said at once, so that an interruption later in the run cannot lose the
    // record of a file that was completely converted.
    std::fflush(stdout);
    return Outcome::Converted;
}

int run(int argc, char** argv) {
    if (argc <= 1) {
        printUsage();
        printClosingBlock();
        waitForKey();
        return 0;
    }
    installInterruptCleanup();
    // Default-initialised on purpose: zeroing the token tables would make
    // every page of them resident for nothing.
    const std::unique_ptr<Workspace> workspace(new Workspace);
    int converted = 0;
    for (int index = 1; index < argc; ++index) {
        switch (convertFile(argv[index], *workspace)) {
        case Outcome::Converted:
            ++converted;
            break;
        case Outcome::NotConverted:
            break;
        case Outcome::InputNotOpened:
        case Outcome::OutputNotOpened:
            std::fflush(stdout);
            return 1;  // no summary, no closing block, no key wait
        }
    }
    std::printf("\t%d File(s) converted succesfully\n\n", converted);
    printClosingBlock();
    waitForKey();
    return converted == argc - 1 ? 0 : 1;
}

}  // namespace morvale
