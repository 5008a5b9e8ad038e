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
    case Refusal::Reason::NoVector:
        return "a header with no data column, so no vector to write: put the abscissa's name, then a name for each "
               "data column, on the line above the rows";
    case Refusal::Reason::NamesAreNumbers:
        return "a row of numbers where the names belong: put a line of names, the abscissa's first, above the rows";
    case Refusal::Reason::NoSample:
        return "no row gives a sample: this first row holds no value under the names; separate the values as the "
               "names are separated (blanks, TABs, commas or semicolons)";
    case Refusal::Reason::CommaInNumber:
        return "more values than names in a table separated by commas: a decimal comma (1,5) cannot be told from a "
               "separator; write decimal points, quote such numbers (\"1,5\") or separate the fields by semicolons";
    case Refusal::Reason::OneLongLine:
        return "lines ended by CRs alone (an old Mac text?), so the whole table is one line: end its lines with LF "
               "or CR LF";
    case Refusal::Reason::None:
        break;
    }
    return "";
}

}  // namespace morvale
