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
    case Refusal::Reason::NotAnExactNumber:
        return "not a number the readers of vector files read exactly";
    case Refusal::Reason::NotAnExactAbscissa:
        // The limits of isExactAbscissa(): a mantissa of 2^63 - 1 at most.
        return "an abscissa that the readers of vector files cannot store: they store decimal numbers of at most "
               "18 places, up to 9223372036854775807 (write the abscissas with %.9g, or with fewer decimals)";
    case Refusal::Reason::None:
        break;
    }
    return "";
}

}  // namespace morvale
