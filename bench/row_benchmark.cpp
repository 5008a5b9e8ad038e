// The per-row path in memory: cutting rows, writing their sample lines, and
// both together over a whole table, so that a slower hot path shows here
// without the file system's noise; a whole table into a real file; and the
// number checks, token by token. Run by hand (see README, Performance);
// figures are compared between builds, never asserted.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "vecfile/conversion.h"
#include "vecfile/number_check.h"
#include "vecfile/vector_writer.h"

namespace morvale {
namespace {

constexpr int kRows = 4096;

// A table of the given layout with `columns` values per row, in values like
// the ones measurement tools print.
std::string makeTable(HeaderLayout layout, int columns, int rows = kRows) {
    static const char* const kValues[] = {"0.000123456", "-1.2345e-05", "4.839335", "-0.000460159",
                                          "9.9826e-07",  "0.268773",    "-6.5612e-05"};
    std::string text = "Time";
    const int names = layout == HeaderLayout::OneLine ? columns : columns / 2;
    for (int name = 0; name < names; ++name) {
        text += " c" + std::to_string(name);
    }
    text += "\n";
    if (layout == HeaderLayout::ThreeLine) {
        for (int name = 0; name < names; ++name) {
            text += "port" + std::to_string(name) + " ";
        }
        text += "\n";
        for (int name = 0; name < names; ++name) {
            text += "re im ";
        }
        text += "\n";
    }
    text += "==========\n";
    int next = 0;
    for (int row = 0; row < rows; ++row) {
        text += std::to_string(row) + ".000123456";
        for (int column = 0; column < columns; ++column) {
            text += " ";
            text += kValues[next++ % 7];
        }
        text += "\n";
    }
    return text;
}

struct Bench {
    std::string table;
    std::unique_ptr<Converter> converter{new Converter};
    // The sample lines are formatted and dropped: the benchmark times the
    // tool's own work, not a file system.
    Bench(HeaderLayout layout, int columns, int rows = kRows) : table(makeTable(layout, columns, rows)) {
        converter->output.attachMemory(nullptr);
    }
    ~Bench() { converter->output.close(); }

    // Opens the table and reads its header and separator line, so that the
    // rows come next.
    void start() {
        converter->source.openMemory(table.data(), table.size());
        char current = 0;
        readHeader(converter->source, current, converter->header);
        skipSeparator(converter->source, current);
    }
};

HeaderLayout layoutOf(const benchmark::State& state) {
    return state.range(1) != 0 ? HeaderLayout::ThreeLine : HeaderLayout::OneLine;
}

// Every row by the token step.
void readRows(benchmark::State& state) {
    Bench bench(layoutOf(state), static_cast<int>(state.range(0)));
    Converter& w = *bench.converter;
    for (auto _ : state) {
        bench.start();
        for (char current = w.source.next(); !w.source.atEnd(); current = w.source.next()) {
            benchmark::DoNotOptimize(readRow(w.source, current, w.header, w.row, w.rowNotes));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bench.table.size()));
}

// Takes every common row it is offered and drops its tokens.
struct TokenDropper {
    bool takePlainRows(PlainRows rows) {
        bool took = false;
        while (rows.startRow()) {
            std::string_view token;
            while (rows.nextToken(token)) {
                benchmark::DoNotOptimize(token);
            }
            if (!rows.takeRow()) {
                break;
            }
            took = true;
        }
        return took;
    }
    void takeRow(const RowTable& row) { benchmark::DoNotOptimize(row); }
    bool stopped() const { return false; }
};

// The rows as the conversion cuts them: the common ones straight from the
// input's buffer, what is left at the buffer's edges by the token step.
void cutPlainRows(benchmark::State& state) {
    Bench bench(layoutOf(state), static_cast<int>(state.range(0)));
    Converter& w = *bench.converter;
    TokenDropper dropper;
    for (auto _ : state) {
        bench.start();
        benchmark::DoNotOptimize(readRows(w.source, w.header, w.row, w.rowNotes, dropper));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bench.table.size()));
}

void writeRows(benchmark::State& state) {
    Bench bench(layoutOf(state), static_cast<int>(state.range(0)));
    Converter& w = *bench.converter;
    bench.start();
    char current = w.source.next();
    readRow(w.source, current, w.header, w.row, w.rowNotes);
    for (auto _ : state) {
        for (int row = 0; row < kRows; ++row) {
            writeSamples(w.output, w.header, w.row);
        }
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void convertRows(benchmark::State& state) {
    Bench bench(layoutOf(state), static_cast<int>(state.range(0)));
    Converter& w = *bench.converter;
    for (auto _ : state) {
        w.source.openMemory(bench.table.data(), bench.table.size());
        w.output.attachMemory(nullptr);
        benchmark::DoNotOptimize(convertTable(w, nullptr));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bench.table.size()));
}

// The whole conversion into a real vector file, so that the output's way to
// the file system (its writes, the write-back asked for as it goes, the
// final sync and renaming) is timed too, on a table of many output buffers.
// The file is made in the temporary folder (TMPDIR): on tmpfs this times the
// tool, on a disk the disk.
void convertToFile(benchmark::State& state) {
    Bench bench(layoutOf(state), static_cast<int>(state.range(0)), 64 * kRows);
    Converter& w = *bench.converter;
    const std::string target = (std::filesystem::temp_directory_path() / "morvale-row-benchmark.vec").string();
    for (auto _ : state) {
        w.source.openMemory(bench.table.data(), bench.table.size());
        if (convertTable(w, target.c_str()).outcome != ConversionOutcome::Converted) {
            state.SkipWithError("cannot write the vector file in the temporary folder");
            break;
        }
    }
    std::remove(target.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bench.table.size()));
}

// The checks a vector file's readers need, one call per token, over the forms
// measurement tools print; items are tokens.
template <bool (*check)(std::string_view)>
void checkTokens(benchmark::State& state) {
    static const std::string_view kTokens[] = {"0.000123456", "-1.2345e-05", "4.839335", "12", "1.5E+02",
                                               "-0.000460159", "9.9826e-07", "0.268773"};
    for (auto _ : state) {
        for (std::string_view token : kTokens) {
            benchmark::DoNotOptimize(token);
            benchmark::DoNotOptimize(check(token));
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * std::size(kTokens)));
}

// Arguments: data columns, and 1 for the three-line layout.
void layouts(benchmark::internal::Benchmark* b) { b->Args({1, 0})->Args({8, 0})->Args({8, 1}); }

BENCHMARK(readRows)->Apply(layouts);
BENCHMARK(cutPlainRows)->Apply(layouts);
BENCHMARK(writeRows)->Apply(layouts);
BENCHMARK(convertRows)->Apply(layouts);
BENCHMARK(convertToFile)->Apply(layouts)->UseRealTime();
BENCHMARK(checkTokens<isReadableValue>)->Name("isReadableValue");
BENCHMARK(checkTokens<isExactAbscissa>)->Name("isExactAbscissa");

}  // namespace
}  // namespace morvale

BENCHMARK_MAIN();
