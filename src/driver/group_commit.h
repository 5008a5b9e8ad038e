// The group commit of a batch: the vector files of several tables, written
// whole, are synced together, then take their names, then their folders are
// synced, and only then does the run say they are converted. A disk commits
// the files whose syncs are under way together, so a group costs about what
// one file costs; one sync after the other would wait for each.
#ifndef MORVALE_DRIVER_GROUP_COMMIT_H
#define MORVALE_DRIVER_GROUP_COMMIT_H

#include <cstddef>
#include <vector>

#include "vecfile/vector_file.h"

namespace morvale {

// The most files a group holds. Each holds an open file; an interruption
// removes every one, and the file being written besides.
constexpr std::size_t kLargestGroup = 64;

// How many files a group holds in this process: kLargestGroup, or fewer
// where the descriptors left free when it started would not leave room for
// them and the files the run opens besides; at least one.
std::size_t groupSize();

// Commits `group`, in its order: syncs its files on up to 16 threads, which
// end before it goes on; then, on this thread, closes each and gives it its
// name, or removes it when its sync failed; then syncs each folder a file
// took its name in, once. A file's own failure is its error(); what it
// returns is, for each file, the errno of its folder's failed sync (the file
// has its name but might not keep it through a power cut), or 0.
std::vector<int> commitGroup(const std::vector<PendingFile*>& group);

}  // namespace morvale

#endif
