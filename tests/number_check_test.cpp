// Number checks: which tokens the readers of vector files read, and read exactly.
#include "vecfile/number_check.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace morvale {
namespace {

using test::visible;
using Tokens = std::vector<std::string>;
using Check = bool (*)(std::string_view);

// Each token is checked as a view into a longer text whose next bytes would
// complete it (1e and 5, nan( and ), 0 and x1, na and n()), so that a check
// reading past its token's end fails here.
void expectVerdicts(Check check, const Tokens& accepted, const Tokens& refused) {
    for (bool verdict : {true, false}) {
        for (const std::string& token : verdict ? accepted : refused) {
            for (const std::string after : {"", "5)", "x1", "n()"}) {
                const std::string text = token + after;
                EXPECT_EQ(check(std::string_view(text.data(), token.size())), verdict) << '"' << visible(token) << '"';
            }
        }
    }
}

// isExactAbscissaAtOnce(), which reads 32 bytes from a token's start, on a
// token followed by bytes that would change its verdict if they were taken.
bool isExactAbscissaOfBlock(std::string_view token) {
    const std::string padded = std::string(token) + "5e.-" + std::string(kLongCommonLength, '7');
    return isExactAbscissaAtOnce(std::string_view(padded.data(), token.size()));
}

TEST(NumberCheck, ValueIsReadableExactlyWhenStrtodReadsItWhole) {
    expectVerdicts(isReadableValue,
                   {"0.000123456", "-1.2345e-05", "4.839335", "12", "1.5E+02", "-5", "+3", ".5", "5.", "007", "-0",
                    "+.5e+3", "1.e5", "5e-0", "1e99999999999999999999", "1e400", "1e-400", std::string(300, '9'),
                    "0x1A", "0X1a", "-0x1.8p-3", "0x.8", "0x1.", "0x1P+10", "0x1e5", "0XABCDEFp0", "0x0",
                    "inf", "INF", "-Infinity", "iNfInItY", "+inf", "nan", "-nan", "NaN(123)", "nan()",
                    "NAN(_aZ09)", "-9.983341664682815475e-02", "1.000000000000000056e-01",
                    "+0.0000000000000000000000000001E+00000000000000000000000000001"},
                   {"", "abc", "1,5", "1.0d0", "1e", "1e+", "1e-", "1.e", "--1", "+-1", "1_000",
                    "\xE2\x88\x92" "5", ".", "+", "-", "e5", ".e5", "1 2", "1\t2", " 5", "5 ", "\t5", "\n5",
                    "5\r", std::string("5\0", 2), "1.2.3", "1e5e5", "1e5.", "1e5 ", "5+", "0x", "-0x", "00x1",
                    "0x1p", "0x1p+", "0x1p1.5", "0x1pA", "0xg", "0x.p1", "0x1.8e+1", "x1", "in", "infin",
                    "infinit", "infinityy", "inf5", "inf(1)", "na", "nanx", "nan(", "nan(a", "nan)", "nan(a-b)",
                    "nan(()", "nan(a))", "nan()x"});
}

TEST(NumberCheck, AbscissaIsExactWhenItsDigitsAndScaleFitTheReaders) {
    for (Check check : {isExactAbscissa, isExactAbscissaOfBlock}) {
        expectVerdicts(check,
                   {"0", "-0", "+0", "0.000", "1.25", "-3.5e-3", "+2", ".5", "5.", "12", "4.839335", "1.5E+02",
                    // 18 places; the scale counts the exponent too
                    "0.000000000000000001", "-0.000000000000000001", "1e-18", "1.5e-17", "0.000000000000000000001e3",
                    // 2^63 - 1, in every way the exponent can move it
                    "9223372036854775807", "-9223372036854775807", "922337203685477580.7", "922337203685477580.7e1",
                    "9.223372036854775807e18", "922337203685477580e1", "1e18", "10e17", "0.1e19", "0.01e20",
                    // leading zeros add no digit; a long exponent may still be small
                    "000000000000000000001.5", "00000000000000000000009223372036854775807",
                    "0.000000000000000000", "000000000000000000000000", "1e+0000000000000000000000018", "0e18",
                    // printf's "%.18e": 19 digits, 18 places less the exponent
                    "1.234560000000000036e+04", "-0.000000000000000000e+00", "9.223372036854775807e+00",
                    "9.200000000000000000E+00", "8.999999999999999999e+18", "1.000000000000000000e-00",
                    "0000000000000000000000000000001.5", "00000000000000000000000000000001.5",
                    "0.000000000000000000e+19"},
                   {"", "+", "-", ".", "+.", "e5", ".e5", "1e", "1e+", "1e-", "--1", "1_000", "1,5", "1.0d0",
                    "abc", " 5", "5 ", "1 2", "1\t2", "1.2.3", "1e5e5", "\xE2\x88\x92" "5",
                    "0x1A", "nan", "inf", "infinity", "-Infinity", "NaN(123)",
                    // more digits than a mantissa holds
                    "9.999999999999999999", "123456789012345678901", "0.12345678901234567890", "9223372036854775808",
                    "-9223372036854775808", "92233720368547758.08", "9999999999999999999", "1.0000000000000000000",
                    "20000000000000000000", "2000000000000000000.0",  // ten times their first 19 digits wraps past 2^64
                    // beyond 18 places
                    "1e-30", "0.0000000000000000001", "1e-19", "1.5e-18", "100e-20", "0.0000000000000000000",
                    "0.000000000000000000000", "0.0000000000000000001e-0", "0.00000000000000000001e1",
                    // multiplied out past 2^63 - 1
                    "1e19", "922337203685477580.7e2", "9.223372036854775808e18", "922337203685477581e1", "0.1e20",
                    "0e19", "0e999",
                    // exponents that would wrap a 64-bit counter
                    "1e99999999999999999999", "1e-99999999999999999999", "0e99999999999999999999",
                    "1e18446744073709551634", "1e-18446744073709551634",
                    // printf's "%.18e" of a number below 1, or with a mantissa past 2^63 - 1
                    "1.000000000000000056e-01", "-9.983341664682815475e-02", "9.223372036854775808e+00",
                    "9.300000000000000000e+00", "1.0000000000000000000e+00", "9.999999999999999999e+19",
                    "1.000000000000000000e+19", "1.000000000000000000e+37", "0.00000000000000000000000000000000",
                    "1.000000000000000000000000000000e0"});
    }
}

// An abscissa with more digits than the readers store is written as the
// shortest decimal of its double, when they store that; otherwise there is
// none to write (empty).
TEST(NumberCheck, AnAbscissaOfTooManyDigitsBecomesTheShortestDecimalOfItsDouble) {
    const struct {
        std::string text;
        std::string written;
    } cases[] = {
        // printf's "%.18e", as numpy writes by default
        {"1.000000000000000056e-01", "0.1"}, {"-1.000000000000000056e-01", "-0.1"}, {"+2.0000000000000000000e+00", "2"},
        {"9.876543210987654321e+03", "9876.543210987655"}, {"3.141592653589793115997963e+00", "3.141592653589793"},
        {"9.2000000000000000000e+18", "9.2e+18"}, {"1.000000000000000021e-17", "1e-17"},
        // more digits or places than stored, the double rounded up, zeros
        {"1.0000000000000000000", "1"}, {"9.999999999999999999", "10"}, {"92233720368547758.08", "92233720368547760"},
        {"0.30000000000000000000000001", "0.3"}, {"0.0000000000000000000", "0"}, {"-0e999", "-0"},
        // no decimal the readers store reads as the same double
        {"1e-30", ""}, {"1.5e-18", ""}, {"5e-0000000000000000000000000019", ""}, {"1.234567890123456789e-05", ""},
        {"9223372036854775808", ""}, {"1e19", ""},
        {"1e400", ""}, {"1e-400", ""}, {"4.9e-324", ""},
        // no decimal number
        {"0x1A", ""}, {"inf", ""}, {"-nan", ""}, {"+-1", ""}, {"--1", ""}, {"-+1", ""}, {"abc", ""}, {"", ""},
        {"1,5", ""},
        {" 5", ""}, {"5 ", ""}, {"1e", ""}, {".", ""}, {"+.", ""}, {"1.0d0", ""},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(isExactAbscissa(c.text)) << c.text;
        char room[kAbscissaRoom];
        EXPECT_EQ(shortestExactAbscissa(c.text, room), c.written) << '"' << visible(c.text) << '"';
    }
}

// The shortest decimal that reads as a double, found as printf's "%.*g" with
// ever more digits and read back.
std::string shortestByPrintf(double value) {
    char text[40];
    for (int digits = 1;; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) {
            return text;
        }
    }
}

// For doubles of every magnitude around the readers' limits, printed with
// more digits than they store: a decimal is written exactly when the
// shortest one is stored, and it reads as the same double.
TEST(NumberCheck, AnAbscissaIsRefusedOnlyWhereNoStoredDecimalReadsAsItsDouble) {
    std::mt19937_64 random(20261209);
    int written = 0;
    int refused = 0;
    for (int i = 0; i < 20000; ++i) {
        const double digits = std::uniform_real_distribution<double>(1, 10)(random);
        const double value = (random() % 2 == 0 ? -1 : 1) * std::ldexp(digits, static_cast<int>(random() % 160) - 90);
        char text[40];
        std::snprintf(text, sizeof text, random() % 2 == 0 ? "%.18e" : "%.25g", value);
        if (isExactAbscissa(text)) {
            ASSERT_TRUE(isExactAbscissaOfBlock(text)) << text;
            continue;
        }
        char room[kAbscissaRoom];
        const std::string_view shortest = shortestExactAbscissa(text, room);
        ASSERT_EQ(!shortest.empty(), isExactAbscissa(shortestByPrintf(value))) << text;
        ASSERT_FALSE(isExactAbscissaOfBlock(text)) << text;
        if (!shortest.empty()) {
            ASSERT_TRUE(isExactAbscissa(shortest)) << text;
            ASSERT_TRUE(isExactAbscissaOfBlock(shortest)) << text;
            ASSERT_EQ(std::strtod(std::string(shortest).c_str(), nullptr), value) << text;
        }
        (shortest.empty() ? refused : written) += 1;
    }
    EXPECT_GT(written, 3000);
    EXPECT_GT(refused, 5000);
}

// strtod as the readers call it, the token alone: a blank anywhere, even one
// strtod would skip, cuts the token before the readers see it. When nothing
// is read, strtod's end is the token's start, also for the empty token.
bool strtodReadsWhole(const std::string& token) {
    if (token.find_first_of(" \t\n\v\f\r") != std::string::npos) {
        return false;
    }
    char* stop = nullptr;
    std::strtod(token.c_str(), &stop);
    return !token.empty() && stop == token.c_str() + token.size();
}

// A token of one of the readable forms with its parts drawn at random, each
// possibly empty, letters in random case; then, one time in two, one
// character of the alphabet put in or one taken out. These reach the rarer
// forms and the edges of every form far more often than random characters.
std::string nearlyReadable(std::mt19937& random, const std::string& alphabet) {
    const auto pick = [&random](std::initializer_list<const char*> options) {
        return std::string(options.begin()[random() % options.size()]);
    };
    const auto digits = [&random](const std::string& set) {
        std::string run;
        for (auto count = random() % 4; count > 0; --count) {
            run += set[random() % set.size()];
        }
        return run;
    };
    // The pieces in braces are drawn in order, so a starting value always gives the same tokens.
    const auto join = [](std::initializer_list<std::string> parts) {
        std::string joined;
        for (const std::string& part : parts) {
            joined += part;
        }
        return joined;
    };
    const std::string decimal = "0123456789";
    const std::string hex = decimal + "abcdef";
    std::string token = pick({"", "+", "-"});
    switch (random() % 4) {
    case 0:
        token += join({digits(decimal), pick({"", "."}), digits(decimal), pick({"", "e"}), pick({"", "+", "-"}),
                       digits(decimal)});
        break;
    case 1:
        token += join({"0x", digits(hex), pick({"", "."}), digits(hex), pick({"", "p"}), pick({"", "+", "-"}),
                       digits(decimal)});
        break;
    case 2: token += pick({"inf", "infinity"}); break;
    case 3: token += join({"nan", pick({"", "(", "()", "(_"}), digits("aZ09_"), pick({"", ")"})}); break;
    }
    for (char& c : token) {
        if (random() % 2 == 0 && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    const std::size_t at = random() % (token.size() + 1);
    switch (random() % 4) {
    case 0: token.insert(at, 1, alphabet[random() % alphabet.size()]); break;
    case 1: token.erase(at, 1); break;
    }
    return token;
}

// A number of 17 to 32 bytes or so, its digits around the 19 of 2^63 - 1,
// often from a 9, with a point and an exponent at random.
std::string longNumber(std::mt19937& random) {
    std::string digits = random() % 2 == 0 ? "922337203685477580" : std::string(random() % 4, '0');
    digits += std::string(1, "0189"[random() % 4]);
    for (auto count = 14 + random() % 8; count > 0; --count) {
        digits += static_cast<char>('0' + random() % 10);
    }
    digits.resize(random() % 2 == 0 ? 19 + random() % 3 : digits.size());
    if (random() % 4 != 0) {
        digits.insert(random() % (digits.size() + 1), 1, '.');
    }
    std::string token = std::string(random() % 3 == 0 ? "-" : "") + digits;
    if (random() % 3 != 0) {
        token += std::string(random() % 2 == 0 ? "e" : "E") + "+-"[random() % 2] + std::to_string(random() % 40);
    }
    return token;
}

// The form told at once from masks, for a token followed by bytes that would
// change it if they were read as part of it: a token of the common forms is
// a readable value, a Plain one an exact abscissa, and a readable token of
// digits, points, letters e, signs alone is of a common form; the masks made
// a byte at a time say the same. True for a token of a common form.
bool expectCommonFormAgrees(const std::string& token, bool readable) {
    const std::string padded = token + "5e.-" + std::string(kLongCommonLength, '7');
    const std::string_view view(padded.data(), token.size());
    static CommonFormCache cache;  // remembers shapes across tokens, as in a table
    const CommonForm form = cache.formOf(view);
    if (!token.empty() && token.size() <= kLongCommonLength) {
        EXPECT_EQ(common_form::ofBytes(view.data(), view.size()), form) << '"' << visible(token) << '"';
        const common_form::ByteKinds kinds = common_form::kindsOf(view.data(), view.size());
        const common_form::ByteKinds byBytes = common_form::kindsByBytes(view.data(), view.size());
        EXPECT_TRUE(kinds.digits == byBytes.digits && kinds.points == byBytes.points &&
                    kinds.letters == byBytes.letters && kinds.signs == byBytes.signs && kinds.zeros == byBytes.zeros)
            << '"' << visible(token) << '"';
        EXPECT_EQ(isPlainNumber(view), form == CommonForm::Plain && token.size() <= kCommonLength)
            << '"' << visible(token) << '"';
    }
    if (form != CommonForm::None) {
        EXPECT_TRUE(readable) << '"' << visible(token) << '"';
        EXPECT_TRUE(form != CommonForm::Plain || token.size() > kCommonLength || isExactAbscissa(token))
            << '"' << visible(token) << '"';
        return true;
    }
    const bool ofCommonBytes = token.find_first_not_of("0123456789.eE+-") == std::string::npos;
    EXPECT_FALSE(readable && ofCommonBytes && token.size() <= kLongCommonLength) << '"' << visible(token) << '"';
    return false;
}

// Every token of up to three characters of the alphabet, random longer ones,
// and random ones near the readable forms. Each accepted abscissa must be a
// readable value too.
TEST(NumberCheck, ValueCheckAgreesWithStrtodOnManyTokens) {
    ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
    const std::string alphabet = "0123456789+-.eEpPxXaAfFnNiItTyY()_ ,";
    Tokens tokens = {""};
    for (std::size_t begin = 0, end = 1; tokens.back().size() < 3; begin = end, end = tokens.size()) {
        for (std::size_t i = begin; i < end; ++i) {
            for (char c : alphabet) {
                tokens.push_back(tokens[i] + c);
            }
        }
    }
    std::mt19937 random(20240611);
    for (int i = 0; i < 100000; ++i) {
        std::string token;
        for (auto length = 4 + random() % 9; length > 0; --length) {
            token += alphabet[random() % alphabet.size()];
        }
        tokens.push_back(token);
        tokens.push_back(nearlyReadable(random, alphabet));
        tokens.push_back(longNumber(random));
    }
    int readable = 0;
    int common = 0;
    for (const std::string& token : tokens) {
        const bool expected = strtodReadsWhole(token);
        readable += expected ? 1 : 0;
        ASSERT_EQ(isReadableValue(token), expected) << '"' << visible(token) << '"';
        const bool exact = isExactAbscissa(token);
        ASSERT_TRUE(!exact || expected) << '"' << visible(token) << '"';
        ASSERT_EQ(isExactAbscissaOfBlock(token), exact) << '"' << visible(token) << '"';
        common += expectCommonFormAgrees(token, expected) ? 1 : 0;
    }
    EXPECT_GT(readable, 30000) << "the tokens barely reach the readable forms";
    EXPECT_GT(common, 10000) << "the tokens barely reach the common forms";
}

}  // namespace
}  // namespace morvale
