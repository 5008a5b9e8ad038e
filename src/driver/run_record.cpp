// The run's record of its files.
#include "driver/run_record.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "vecfile/output_name.h"

namespace morvale {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Whether an identity lookup that failed with `error` found no file at all
// there: then no file of the run can be the one the name leads to. Any
// other failure leaves the question open.
bool foundNothing(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG ||
           error == files::kNotRegularFile;
}

// What the vector file `outputName` is, that the table `table` is too.
std::string isTable(const std::string& table, const std::string& outputName) {
    return table == outputName ? " is given as a table in this run too" : " is " + table + ", a table of this run";
}

std::string cannotTell(const std::string& whose, int error, const std::string& from) {
    return "the identity of " + whose + " cannot be read (" + std::strerror(error) + "), so it cannot be told apart from " +
           from;
}

}  // namespace

RunRecord::RunRecord(std::vector<std::string> names) {
    inputs_.reserve(names.size());
    byName_.reserve(names.size());
    byIdentity_.reserve(names.size());
    for (std::string& name : names) {
        Input input;
        input.name = std::move(name);
        if (!files::identityOf(input.name.c_str(), input.identity)) {
            input.error = errno != 0 ? errno : EIO;
        }
        const std::size_t argument = inputs_.size();
        input.vectorFile = morvale::isVectorFile(input.name);
        if (input.vectorFile) {
            inputs_.push_back(std::move(input));
            continue;
        }
        byName_.emplace(input.name, argument);  // a name given twice keeps its first argument
        if (input.error == 0) {
            byIdentity_.emplace(input.identity, argument);
        } else if (!foundNothing(input.error)) {
            unknown_.push_back(argument);
        }
        inputs_.push_back(std::move(input));
    }
}

std::string RunRecord::conflict(std::size_t argument, const files::Identity& input,
                                const std::string& outputName) const {
    if (const Written* written = writtenAs(input)) {
        return "it is " + written->outputName + ", the vector file of " + name(written->argument) + " in this run";
    }
    return outputConflict(argument, input, outputName);
}

std::string RunRecord::outputConflict(std::size_t argument, const files::Identity& input,
                                      const std::string& outputName) const {
    const std::string itsVectorFile = "its vector file " + outputName;
    // A link there is replaced itself, whatever it leads to: only its name
    // may be one of the run's files.
    if (files::examine(outputName.c_str()).kind == files::Kind::SymbolicLink) {
        const auto found = byName_.find(outputName);
        return found == byName_.end() ? std::string() : itsVectorFile + isTable(name(found->second), outputName);
    }
    files::Identity output;
    const bool outputThere = files::identityOf(outputName.c_str(), output);
    if (!outputThere && !foundNothing(errno)) {
        return cannotTell(itsVectorFile, errno, "the files of this run");
    }
    if (const std::size_t other = tableAt(outputName, outputThere ? &output : nullptr); other != kNone) {
        if (outputThere && output == input) {
            return itsVectorFile + " is this table itself";
        }
        return itsVectorFile + isTable(name(other), outputName);
    }
    if (!outputThere) {
        return std::string();  // nothing there: a new file replaces nothing
    }
    if (std::string conflict = unknownTableConflict(output, itsVectorFile); !conflict.empty()) {
        return conflict;
    }
    if (const Written* written = writtenAs(output)) {
        if (!(written->input == input) && written->argument != argument) {
            return itsVectorFile + " was already written from " + name(written->argument) + " in this run";
        }
    }
    return std::string();
}

// The first table of the run named `outputName`, or with the identity
// `output` under another name, or kNone.
std::size_t RunRecord::tableAt(const std::string& outputName, const files::Identity* output) const {
    std::size_t other = kNone;
    if (const auto found = byName_.find(outputName); found != byName_.end()) {
        other = found->second;
    }
    if (output != nullptr) {
        if (const auto found = byIdentity_.find(*output); found != byIdentity_.end()) {
            other = std::min(other, found->second);
        }
    }
    return other;
}

// Whether a table whose identity could not be read when the run began is
// the file `output` now, or still cannot be told apart from it.
std::string RunRecord::unknownTableConflict(const files::Identity& output, const std::string& itsVectorFile) const {
    for (const std::size_t unknown : unknown_) {
        files::Identity now;
        if (files::identityOf(name(unknown).c_str(), now)) {
            if (now == output) {
                return itsVectorFile + " is " + name(unknown) + ", a table of this run";
            }
        } else if (!foundNothing(errno)) {
            return cannotTell(name(unknown) + ", a table of this run,", errno, itsVectorFile);
        }
    }
    return std::string();
}

// The vector file this run wrote that `identity` is, or nullptr. A file that
// has since been replaced no longer counts: its identity may belong to
// another file by now. One that cannot be looked at again still counts.
const RunRecord::Written* RunRecord::writtenAs(const files::Identity& identity) const {
    const auto found = written_.find(identity);
    if (found == written_.end()) {
        return nullptr;
    }
    files::Identity now;
    if (files::identityOf(found->second.outputName.c_str(), now)) {
        return now == identity ? &found->second : nullptr;
    }
    return foundNothing(errno) ? nullptr : &found->second;
}

void RunRecord::recordWritten(std::size_t argument, const std::string& outputName, const files::Identity& output,
                              const files::Identity& input) {
    written_.insert_or_assign(output, Written{outputName, input, argument});
}

}  // namespace morvale
