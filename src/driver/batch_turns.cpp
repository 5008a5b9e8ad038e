// The turns of a batch, and when the group is committed.
#include "driver/batch_turns.h"

#include "driver/console.h"
#include "driver/console_texts.h"
#include "driver/progress.h"
#include "vecfile/output_name.h"

namespace morvale {

namespace {

// How far a table is read before the files waiting for their names are
// committed, so that none waits behind a long table.
constexpr long long kLongTable = 4LL << 20;

// Says everything the turn at the front has to say, in order, and ends it.
// The lines of a table being read meanwhile wait still.
void endFirstTurn(int folderError, Workspace& workspace) {
    Turn& turn = workspace.turns.front();
    std::vector<ConsoleLine>* const later = holdLinesIn(&turn.lines);
    if (turn.handedOver) {
        reportCommit(turn, folderError, workspace);
    }
    if (turn.converted) {
        say(text::converted(shownOn(stdout, turn.outputName)));
        ++workspace.converted;
    }
    holdLinesIn(nullptr);
    sayLines(turn.lines);
    holdLinesIn(later);
    workspace.turns.pop_front();
}

// Whether the group must be committed before the table of `argument` is
// opened: when it is not a regular file (a FIFO may wait for its writer as
// long as it likes), or when it or its vector file may be one of the files
// waiting for their names under another name than the run could see until
// they have them: the same name in the same folder spelt another way
// (./a.vec, a folder's link, letter case), a link to such a name, or a name
// that found nothing when the run began. The run's record then needs those
// files named first, to see what it would see had each been named before the
// next table was read. A hard link keeps the file it had: it needs nothing.
bool mustCommitBefore(std::size_t argument, const Workspace& workspace) {
    if (workspace.waiting == 0) {
        return false;
    }
    const RunRecord& record = workspace.record;
    std::string outputName = record.name(argument);
    deriveOutputName(outputName, endingsOf(workspace.converter.format));
    if (!record.foundAtStart(argument) || files::examine(record.name(argument).c_str()).kind != files::Kind::Regular ||
        files::examine(outputName.c_str()).kind == files::Kind::SymbolicLink) {
        return true;
    }
    for (const Turn& turn : workspace.turns) {
        if (turn.handedOver && (files::mayBeSameName(turn.outputName, record.name(argument)) ||
                                files::mayBeSameName(turn.outputName, outputName))) {
            return true;
        }
    }
    return false;
}

}  // namespace

void commitTurns(Workspace& workspace) {
    std::vector<PendingFile*> group;
    for (Turn& turn : workspace.turns) {
        if (turn.handedOver) {
            group.push_back(&turn.file);
        }
    }
    const std::vector<int> folderErrors = commitGroup(group);
    workspace.waiting = 0;
    std::size_t left = workspace.converting ? 1 : 0;
    for (std::size_t file = 0; workspace.turns.size() > left;) {
        endFirstTurn(workspace.turns.front().handedOver ? folderErrors[file++] : 0, workspace);
    }
}

// Once a table is read so far that it is a long one, the files waiting
// behind it are committed.
void Workspace::blockRead(long long read, long long size) {
    progress::blockRead(read, size);
    if (waiting > 0 && read > kLongTable) {
        commitTurns(*this);
    }
}

Outcome convertInTurn(std::size_t argument, Workspace& workspace) {
    if (mustCommitBefore(argument, workspace)) {
        commitTurns(workspace);
    }
    workspace.turns.emplace_back(argument);
    Turn& turn = workspace.turns.back();
    // What the turn says waits behind the turns before it.
    holdLinesIn(&turn.lines);
    workspace.converting = true;
    const Outcome outcome = convertFile(turn, workspace);
    workspace.converting = false;
    holdLinesIn(nullptr);
    if (turn.file.holdsFile()) {
        turn.handedOver = true;
        ++workspace.waiting;
    }
    if (workspace.waiting == 0 || workspace.waiting >= workspace.groupSize) {
        commitTurns(workspace);
    }
    return outcome;
}

}  // namespace morvale
