// One table's conversion as the run does it, and what is said of it.
#include "driver/file_conversion.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "driver/batch_turns.h"
#include "driver/console_report.h"
#include "driver/console_texts.h"
#include "driver/progress.h"
#include "driver/run_record.h"
#include "platform/file_system.h"
#include "vecfile/conversion.h"

namespace morvale {

namespace {

std::string notConverted(const std::string& what) { return what + "; file not converted"; }

// What may have been meant by a name that names no file, or an empty text:
// help, asked for as Windows tools take it (/?), or the table of that name
// with .txt, when there is one. A name that starts with '-' is a table only
// when the user said so, after `--`: it gets no hint of options.
std::string hintForMissing(const std::string& name, int error) {
    if (error != ENOENT) {
        return std::string();
    }
    if (name == "/?") {
        return text::kHelpHint;
    }
    const std::string table = name + ".txt";
    files::Identity identity;
    return files::identityOf(table.c_str(), identity) ? text::didYouMean(table) : std::string();
}

// Closes the input; a failure is said but spoils nothing already read.
void closeInput(CharSource& source, const std::string& name, Workspace& workspace) {
    if (!source.close()) {
        const int error = errno;
        say(text::kCloseFailed);
        diagnose(name, std::string("cannot close: ") + std::strerror(error));
        workspace.inputCloseFailed = true;
    }
}

// The system's reason, or what the tool makes of it where the system's own
// words would mislead.
std::string reasonFor(int error) {
    return error == files::kNotRegularFile ? "not a regular file" : std::strerror(error);
}

// Names the new file that could not be removed, which is not a vector file.
void reportLeftover(const std::string& leftover, int error, Workspace& workspace) {
    if (!leftover.empty()) {
        diagnose(leftover, std::string("cannot remove this unfinished file: ") + std::strerror(error));
        workspace.fileLeft = true;
    }
}

// The warnings on a converted table, in the order of their lines; in the
// first format, with the hint that version 2 reads such tables.
void reportWarnings(const Conversion& conversion, const std::string& name, VectorFormat format) {
    std::vector<std::pair<long, std::string>> lines;
    for (const Warning& warning : conversion.warnings) {
        lines.emplace_back(warning.line, "warning: " + describe(warning, format == VectorFormat::Version1));
    }
    if (conversion.leftOut > 0) {
        lines.emplace_back(conversion.firstLeftOutLine, text::leftOut(conversion.leftOut));
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& one, const auto& other) { return one.first < other.first; });
    for (const auto& [line, what] : lines) {
        diagnose(name, "line " + std::to_string(line) + ": " + what);
    }
    if (conversion.grownBy > 0) {
        diagnose(name, "warning: " + describeGrowth(conversion.grownBy, conversion.lastLineLeftOut));
    }
}

// Says what became of a table whose conversion failed, and whether the run
// goes on.
Outcome report(const Conversion& conversion, const std::string& name, const std::string& outputName) {
    switch (conversion.outcome) {
    case ConversionOutcome::Converted:
        return Outcome::Converted;  // said once its file has its name
    case ConversionOutcome::Refused: {
        const std::string token = conversion.refusedText.empty() ? "" : "'" + conversion.refusedText + "' is ";
        diagnose(name, notConverted("line " + std::to_string(conversion.refusal.line) + ": " + token +
                                    describe(conversion.refusal.reason)));
        return Outcome::NotConverted;
    }
    case ConversionOutcome::ReadFailed:
        diagnose(name, notConverted(std::string("read error: ") + std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::Shrank:
        diagnose(name, notConverted("read error: the file got shorter while it was read"));
        return Outcome::NotConverted;
    case ConversionOutcome::WriteFailed:
        say(text::kCloseFailed);
        diagnose(name, notConverted("cannot write " + outputName + ": " + std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::MetadataNotKept:
        say(text::kCloseFailed);
        diagnose(name, notConverted("cannot keep the owner, permissions, ACL or attributes of " + outputName + ": " +
                                    std::strerror(conversion.error)));
        return Outcome::NotConverted;
    case ConversionOutcome::OutputNotOpened:
        break;
    }
    say(text::kOutputNotOpened);
    diagnose(outputName, reasonFor(conversion.error));
    return Outcome::OutputNotOpened;
}

// What a version 2 file says of where its data came from. Its run is named
// after the table, the time and 32 random bits: two files' runs never share a
// name, which would merge them into one run for their readers.
Provenance provenanceOf(const std::string& name) {
    static std::random_device random;
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "00000000-000000";
    char converted[32] = "1970-01-01T00:00:00Z";
    if (const std::tm* utc = std::gmtime(&now)) {
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", utc);
        std::strftime(converted, sizeof converted, "%Y-%m-%dT%H:%M:%SZ", utc);
    }
    char unique[16];
    std::snprintf(unique, sizeof unique, "%08x", static_cast<unsigned>(random()));
    Provenance provenance;
    provenance.runId = tableStem(name, TableEndings::TextAndData) + "-" + stamp + "-" + unique;
    provenance.table = name;
    provenance.converted = converted;
    provenance.converter = "morvale " MORVALE_VERSION;
    return provenance;
}

// Whether a file could not be opened for want of descriptors that the files
// waiting in the group hold: once they have their names, it may be.
bool lacksHeldDescriptors(int error, const Workspace& workspace) {
    return (error == EMFILE || error == ENFILE) && workspace.waiting > 0;
}

// Why the open table of `turn` must not be converted, or an empty text.
std::string conflictOf(Turn& turn, Workspace& workspace) {
    turn.outputName = workspace.record.name(turn.argument);
    deriveOutputName(turn.outputName, endingsOf(workspace.converter.format));
    if (!workspace.converter.source.identity(turn.input)) {
        return std::string("its identity cannot be read (") + std::strerror(errno) +
               "), so it cannot be told apart from the files of this run";
    }
    return workspace.record.conflict(turn.argument, turn.input, turn.outputName);
}

// Says what became of a conversion that did not end in a file written whole.
Outcome reportFailure(const Conversion& conversion, const std::string& name, Turn& turn, Workspace& workspace) {
    reportWarnings(conversion, name, workspace.converter.format);
    const Outcome outcome = report(conversion, name, turn.outputName);
    reportLeftover(workspace.converter.output.leftover(), workspace.converter.output.leftoverError(), workspace);
    return outcome;
}

// Says what became of a conversion once the table was read, and closes it.
Outcome finishConversion(const Conversion& conversion, Turn& turn, Workspace& workspace) {
    const std::string& name = workspace.record.name(turn.argument);
    if (conversion.outcome == ConversionOutcome::OutputNotOpened) {
        return report(conversion, name, turn.outputName);  // the run ends with the input still open
    }
    closeInput(workspace.converter.source, name, workspace);
    if (conversion.outcome != ConversionOutcome::Converted) {
        return reportFailure(conversion, name, turn, workspace);
    }
    reportWarnings(conversion, name, workspace.converter.format);
    turn.output = workspace.converter.output.identity();
    turn.converted = true;
    return Outcome::Converted;
}

// Converts the table of `turn`'s argument, or gives nothing, having said
// nothing, when a file could not be opened for want of the descriptors that
// the files waiting in the group hold.
std::optional<Outcome> tryConvertFile(Turn& turn, Workspace& workspace) {
    const std::string& name = workspace.record.name(turn.argument);
    CharSource& source = workspace.converter.source;
    if (!source.open(name.c_str())) {
        const int error = errno;
        if (lacksHeldDescriptors(error, workspace)) {
            return std::nullopt;
        }
        say(text::kInputNotOpened);
        diagnose(name, reasonFor(error) + hintForMissing(name, error));
        return Outcome::InputNotOpened;
    }
    if (const std::string conflict = conflictOf(turn, workspace); !conflict.empty()) {
        closeInput(source, name, workspace);
        diagnose(name, notConverted(conflict));
        return Outcome::NotConverted;
    }
    if (workspace.converter.format == VectorFormat::Version2) {
        workspace.converter.provenance = provenanceOf(name);
    }
    progress::start(name);
    const Conversion conversion = convertTable(workspace.converter, turn.outputName.c_str(), &turn.file);
    progress::erase();
    if (conversion.outcome != ConversionOutcome::Converted && lacksHeldDescriptors(conversion.error, workspace)) {
        closeInput(source, name, workspace);
        reportLeftover(workspace.converter.output.leftover(), workspace.converter.output.leftoverError(), workspace);
        return std::nullopt;
    }
    return finishConversion(conversion, turn, workspace);
}

}  // namespace

TableEndings endingsOf(VectorFormat format) {
    return format == VectorFormat::Version2 ? TableEndings::TextAndData : TableEndings::Text;
}

Outcome convertFile(Turn& turn, Workspace& workspace) {
    if (workspace.record.isVectorFile(turn.argument)) {
        diagnose(workspace.record.name(turn.argument), text::kVectorFileGiven);
        return Outcome::NotConverted;
    }
    if (const std::optional<Outcome> outcome = tryConvertFile(turn, workspace)) {
        return *outcome;
    }
    // The group gives back its descriptors, and the table has them: the
    // second try never waits for the group.
    commitTurns(workspace);
    return *tryConvertFile(turn, workspace);
}

void reportCommit(Turn& turn, int folderError, Workspace& workspace) {
    const std::string& name = workspace.record.name(turn.argument);
    const int error = turn.file.error() != 0 ? turn.file.error() : folderError;
    if (turn.file.error() == 0) {
        // It has the name, whatever its folder's sync did.
        workspace.record.recordWritten(turn.argument, turn.outputName, turn.output, turn.input);
    }
    if (error != 0) {
        turn.converted = false;
        say(text::kCloseFailed);
        const std::string what = turn.file.nameNotTaken() ? "cannot give the new file the name "
                                 : turn.file.error() != 0  ? "cannot write "
                                                           : "cannot sync the folder of ";
        diagnose(name, notConverted(what + turn.outputName + ": " + std::strerror(error)));
    }
    reportLeftover(turn.file.leftover(), turn.file.leftoverError(), workspace);
}

}  // namespace morvale
