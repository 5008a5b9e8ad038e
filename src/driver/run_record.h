// The run's record of its files: what it must remember so that one table's
// vector file never takes the place of another file of the same run.
#ifndef MORVALE_DRIVER_RUN_RECORD_H
#define MORVALE_DRIVER_RUN_RECORD_H

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"

namespace morvale {

struct IdentityHash {
    std::size_t operator()(const files::Identity& identity) const {
        return std::hash<unsigned long long>()(identity.index * 0x9E3779B97F4A7C15ULL ^ identity.volume);
    }
};

// The names and identities of every table the run was given and of every
// vector file it wrote, each found at once however many files the run has.
// Fails closed: where an identity that would tell two files apart cannot be
// read, the table is refused rather than converted on the chance that it is
// safe.
class RunRecord {
public:
    // Records the tables the run was given, in order, each with its identity
    // as it is when the run begins. A vector file given as a table is not
    // one of the run's tables: a table beside it may replace it.
    explicit RunRecord(std::vector<std::string> names);

    std::size_t size() const { return inputs_.size(); }
    const std::string& name(std::size_t argument) const { return inputs_[argument].name; }
    // Whether a file stood at the name of `argument` when the run began, and
    // its identity could be read.
    bool foundAtStart(std::size_t argument) const { return inputs_[argument].error == 0; }
    // Whether the name of `argument` was a vector file when the run began.
    bool isVectorFile(std::size_t argument) const { return inputs_[argument].vectorFile; }

    // Why the table of argument `argument`, open with the identity `input`,
    // must not be converted into `outputName`, or an empty text: the table is
    // a vector file this run wrote, or its vector file would take the place
    // of a table of this run or of a vector file that another table gave.
    std::string conflict(std::size_t argument, const files::Identity& input, const std::string& outputName) const;

    // Remembers the vector file `outputName` just written from the table of
    // `argument`, so that no later table of the run can take its place.
    void recordWritten(std::size_t argument, const std::string& outputName, const files::Identity& output,
                       const files::Identity& input);

private:
    struct Input {
        std::string name;
        files::Identity identity;
        int error = 0;  // why the identity could not be read when the run began, or 0
        bool vectorFile = false;
    };
    struct Written {
        std::string outputName;
        files::Identity input;
        std::size_t argument = 0;
    };

    std::string outputConflict(std::size_t argument, const files::Identity& input,
                               const std::string& outputName) const;
    std::size_t tableAt(const std::string& outputName, const files::Identity* output) const;
    std::string unknownTableConflict(const files::Identity& output, const std::string& itsVectorFile) const;
    const Written* writtenAs(const files::Identity& identity) const;

    std::vector<Input> inputs_;
    // The first argument of each name and identity.
    std::unordered_map<std::string, std::size_t> byName_;
    std::unordered_map<files::Identity, std::size_t, IdentityHash> byIdentity_;
    // The arguments whose identity could not be read, though something is
    // there: each is looked at again whenever it could matter.
    std::vector<std::size_t> unknown_;
    std::unordered_map<files::Identity, Written, IdentityHash> written_;
};

}  // namespace morvale

#endif
