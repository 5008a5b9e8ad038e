// The turns of a batch: each table's turn, reported in the order of the
// arguments, while the vector files written whole wait in the group for
// their names (group_commit.h); and the run's working state that holds them.
#ifndef MORVALE_DRIVER_BATCH_TURNS_H
#define MORVALE_DRIVER_BATCH_TURNS_H

#include <cstddef>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "driver/console_report.h"
#include "driver/file_conversion.h"
#include "driver/group_commit.h"
#include "driver/run_record.h"
#include "platform/file_system.h"
#include "vecfile/conversion.h"

namespace morvale {

// One table's turn in the run, reported in the order of the arguments. Its
// vector file, written whole, waits in the group for its name while later
// tables are converted; what the turn has to say waits with it, so that
// every line still comes in the order it would without.
struct Turn {
    explicit Turn(std::size_t argument) : argument(argument) {}

    const std::size_t argument;
    std::string outputName;
    files::Identity input;
    files::Identity output;
    bool converted = false;          // converted, so far as its file's name goes
    PendingFile file;                // the vector file written whole, until it has its name
    bool handedOver = false;         // `file` waits in the group
    std::vector<ConsoleLine> lines;  // what it says before its group is committed
};

// The working state of a run: allocated once, reused for every file and row.
struct Workspace final : CharSource::Watcher {
    explicit Workspace(std::vector<std::string> names) : record(std::move(names)) {}

    void beforeWait() override {}
    void afterWait() override {}
    void blockRead(long long read, long long size) override;

    Converter converter;
    RunRecord record;
    // The turns not reported yet, in order: those of the group, and last the
    // one whose table is being read, if any.
    std::deque<Turn> turns;
    bool converting = false;
    std::size_t waiting = 0;  // files of `turns` waiting for their names
    const std::size_t groupSize = morvale::groupSize();
    std::size_t converted = 0;
    // An input would not close: that spoils no vector file, yet must show in
    // the exit status.
    bool inputCloseFailed = false;
    // A new file that could not be removed is still on the disk.
    bool fileLeft = false;
};

// Commits the group, the files waiting for their names, and ends every turn
// before the one whose table is being read, in order.
void commitTurns(Workspace& workspace);

// Converts the table of `argument` in a turn of its own, which waits in the
// group when its file does; commits the group once it is full.
Outcome convertInTurn(std::size_t argument, Workspace& workspace);

}  // namespace morvale

#endif
