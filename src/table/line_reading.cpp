// The texts of the refusals, built from the limits they name.
#include "table/line_reading.h"

#include <string>

namespace morvale {

const char* describe(Refusal::Reason reason) {
    static const std::string kNameTooLong =
        "name longer than " + std::to_string(TokenTable::kMaxTokenLength) + " characters";
    static const std::string kValueTooLong =
        "value longer than " + std::to_string(TokenTable::kMaxTokenLength) + " characters";
    static const std::string kTooManyColumns = "more than " + std::to_string(kMaxVectors) + " data columns";
    switch (reason) {
    case Refusal::Reason::NameTooLong:
        return kNameTooLong.c_str();
    case Refusal::Reason::ValueTooLong:
        return kValueTooLong.c_str();
    case Refusal::Reason::TooManyColumns:
        return kTooManyColumns.c_str();
    case Refusal::Reason::None:
        break;
    }
    return "";
}

const char* describe(Warning::Reason reason) {
    switch (reason) {
    case Warning::Reason::EmptyTable:
        return "the table is empty; its vector file declares no vectors";
    case Warning::Reason::LoneCarriageReturns:
        return "no line ends, only lone CRs; the whole file was read as a single line "
               "(lone CR line ends? convert them to LF or CR LF)";
    case Warning::Reason::NoSeparatorLine:
        return "no separator line of '-' or '=' after header line 1; the next two lines were read as "
               "header lines 2 and 3, and the first character after them as the separator line";
    case Warning::Reason::NotASeparatorLine:
        return "line 4 is not a separator line of '-' or '='; its first character was dropped as one "
               "and the rest read as a row";
    }
    return "";
}

}  // namespace morvale
