// The dialect of a table, told from its line of names, and what reads as a
// number in it.
#include "table/dialect.h"

#include <cctype>

namespace morvale {

namespace {

// Whether `line` holds `c` outside double quotes.
bool holdsUnquoted(std::string_view line, char c) {
    bool quoted = false;
    for (const char at : line) {
        quoted = at == '"' ? !quoted : quoted;
        if (at == c && !quoted) {
            return true;
        }
    }
    return false;
}

// TABs that separate every name of the line by one TAB: no two with only
// blanks between them. One TAB may start the line: an empty first name.
bool tabSeparated(std::string_view line) {
    const std::size_t first = line.find_first_not_of(' ');
    const std::size_t last = line.find_last_not_of(" \t");
    if (first == std::string_view::npos) {
        return false;
    }
    const std::string_view names = line.substr(first, last + 1 - first);
    const std::size_t tab = names.find('\t');
    if (tab == std::string_view::npos) {
        return false;
    }
    bool sinceTab = true;  // a name, or the line's start, since the last TAB
    for (const char c : names) {
        if (c == '\t' && !sinceTab) {
            return false;
        }
        sinceTab = c == '\t' ? false : sinceTab || c != ' ';
    }
    return true;
}

bool skipDigits(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
    }
    return at > start;
}

bool isWord(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

Separator separatorOf(std::string_view line) {
    if (holdsUnquoted(line, ';')) {
        return Separator::Semicolon;
    }
    if (holdsUnquoted(line, ',')) {
        return Separator::Comma;
    }
    return tabSeparated(line) ? Separator::Tab : Separator::Spaced;
}

bool looksNumeric(std::string_view text, bool decimalComma) {
    const std::size_t sign = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    const std::string_view rest = text.substr(sign);
    return isWord(rest, "inf") || isWord(rest, "infinity") || isWord(rest, "nan") ||
           isDecimalNumber(text, decimalComma);
}

bool isDecimalNumber(std::string_view text, bool decimalComma) {
    std::size_t at = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    bool digits = skipDigits(text, at);
    if (at < text.size() && (text[at] == '.' || (decimalComma && text[at] == ','))) {
        ++at;
        digits = skipDigits(text, at) || digits;
    }
    if (!digits) {
        return false;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        at += at < text.size() && (text[at] == '+' || text[at] == '-') ? 1 : 0;
        if (!skipDigits(text, at)) {
            return false;
        }
    }
    return at == text.size();
}

}  // namespace morvale
