// The conversion of one table.
#include "vecfile/conversion.h"

#include <cerrno>

#include "platform/file_metadata.h"
#include "table/dialect.h"
#include "vecfile/vector_writer.h"

namespace morvale {

namespace {

// A vector file that could not be started or written, and the system's reason.
Conversion failure(ConversionOutcome outcome, int error) {
    Conversion result;
    result.outcome = outcome;
    result.error = error;
    return result;
}

// The outcome once the table has been read as far as it will be.
Conversion readingOutcome(const Refusal& refusal, const CharSource& source) {
    Conversion result;
    if (refusal) {
        result.outcome = ConversionOutcome::Refused;
        result.refusal = refusal;
    } else if (source.readFailed()) {
        result.outcome = ConversionOutcome::ReadFailed;
        result.error = source.readErrno();
    } else if (source.shrank()) {
        result.outcome = ConversionOutcome::Shrank;
    }
    return result;
}

// The rows that the header's reader read where a separator line could have
// been, handed to the sink first.
Refusal takeHeaderRows(Converter& converter, SampleBlockWriter& samples) {
    const MeantHeader& meant = converter.meant;
    for (int index = 0; index < meant.rows && !samples.stopped(); ++index) {
        LineChars chars(meant.rowText[index]);
        char current = chars.next();
        bool given = false;
        const long line = meant.rowLine[index];
        if (Refusal refusal = readRowAsMeant(chars, current, meant.separator, converter.header, converter.row,
                                             converter.rowNotes, line, given)) {
            return refusal;
        }
        if (given) {
            samples.takeRowAt(converter.row, line);
        }
    }
    return Refusal{};
}

template <typename Cut>
Refusal readMeantRows(Converter& converter, SampleBlockWriter& samples) {
    if (Refusal refusal = takeHeaderRows(converter, samples)) {
        return refusal;
    }
    if (samples.stopped()) {
        return Refusal{};
    }
    return readRowsAsMeant<Cut>(converter.source, converter.meant.separator, converter.header, converter.row,
                                converter.rowNotes, samples);
}

// The rows of a table read as meant, each dialect's common rows cut by their
// own rule.
Refusal readVersion2Rows(Converter& converter, SampleBlockWriter& samples) {
    switch (converter.meant.separator) {
    case Separator::Spaced:
        return readMeantRows<SpacedCut>(converter, samples);
    case Separator::Tab:
        return readMeantRows<SeparatedCut<'\t'>>(converter, samples);
    case Separator::Comma:
        return readMeantRows<SeparatedCut<','>>(converter, samples);
    case Separator::Semicolon:
        return readMeantRows<SeparatedCut<';'>>(converter, samples);
    }
    return Refusal{};
}

// A version 2 file's samples, each vector's in blocks; a table with rows none
// of which gave a sample is refused at its first row.
Conversion writeVersion2Rows(Converter& converter) {
    CharSource& source = converter.source;
    SampleBlockWriter samples(converter.output, converter.header, source, converter.blocks, converter.rowNotes);
    Refusal refusal = readVersion2Rows(converter, samples);
    if (!refusal && !samples.refusal() && samples.noSample()) {
        refusal = Refusal{Refusal::Reason::NoSample, samples.firstLeftOutLine()};
    }
    Conversion result = readingOutcome(refusal ? refusal : samples.refusal(), source);
    // Short and empty rows give no empty samples here: the count of the
    // samples left out says what became of them.
    converter.rowNotes.fewerValues = LineTally();
    converter.rowNotes.empty = LineTally();
    if (result.outcome == ConversionOutcome::Converted) {
        samples.finish();
        result.leftOut = samples.leftOut();
        result.firstLeftOutLine = samples.firstLeftOutLine();
    } else if (!refusal && samples.refusal()) {
        result.refusedText = samples.refusedText();
    }
    return result;
}

// Writes the samples of every row, in the converter's format, noting the rows
// that are not one value per vector; the outcome of reading them.
Conversion writeRows(Converter& converter) {
    CharSource& source = converter.source;
    const HeaderInfo& header = converter.header;
    switch (converter.format) {
    case VectorFormat::Version1: {
        SampleLineWriter samples(converter.output, header, converter.rowNotes);
        return readingOutcome(readRows(source, header, converter.row, converter.rowNotes, samples), source);
    }
    case VectorFormat::Version2:
        return writeVersion2Rows(converter);
    }
    return Conversion{};
}

// Reads the header as the format reads tables; version 1 stops before its
// separator line, version 2 after it.
Conversion readTableHeader(Converter& converter, char& current) {
    CharSource& source = converter.source;
    switch (converter.format) {
    case VectorFormat::Version1:
        return readingOutcome(readHeader(source, current, converter.header), source);
    case VectorFormat::Version2:
        return readingOutcome(readMeantHeader(source, converter.header, converter.meant, converter.row), source);
    }
    return Conversion{};
}

// The lines before the samples: version 2's heading, then the declarations.
void writeDeclarationPart(Converter& converter) {
    switch (converter.format) {
    case VectorFormat::Version1:
        break;
    case VectorFormat::Version2:
        writeHeading(converter.output, converter.provenance);
        break;
    }
    writeDeclarations(converter.output, converter.header, converter.format);
}

// Skips the separator line that version 1 leaves to the rows' reader, and
// starts the notes on the rows.
SeparatorLine startRows(Converter& converter, char& current) {
    SeparatorLine separator;
    switch (converter.format) {
    case VectorFormat::Version1:
        separator = skipSeparator(converter.source, current);
        break;
    case VectorFormat::Version2:
        break;
    }
    converter.rowNotes = RowNotes();
    converter.rowNotes.separatorRemainder = separator.cutRow ? separator.line : 0;
    return separator;
}

Warnings warningsOf(const Converter& converter, const SeparatorLine& separator) {
    switch (converter.format) {
    case VectorFormat::Version1:
        break;
    case VectorFormat::Version2:
        return warningsForMeant(converter.source, converter.header, converter.rowNotes);
    }
    return warningsFor(converter.source, converter.header, separator, converter.rowNotes);
}

// Hands the vector file over, whole, or abandons it; the warnings on it.
Conversion finishFile(Converter& converter, Conversion result, const SeparatorLine& separator,
                      PendingFile* pending) {
    VectorFile& output = converter.output;
    if (result.outcome != ConversionOutcome::Converted) {
        output.abandon();
        if (result.outcome == ConversionOutcome::Refused) {
            // What the table looks like so far may say why a number in it
            // was not one.
            result.warnings = warningsOf(converter, separator);
        }
    } else if (pending != nullptr ? !output.finishInto(*pending) : !output.close()) {
        result = failure(output.metadataNotKept() ? ConversionOutcome::MetadataNotKept : ConversionOutcome::WriteFailed,
                         output.error());
    } else {
        result.warnings = warningsOf(converter, separator);
        result.grownBy = converter.source.grownBy();
        result.lastLineLeftOut = converter.source.lastLineLeftOut();
    }
    return result;
}

}  // namespace

Conversion convertTable(Converter& converter, const char* target, PendingFile* pending) {
    char current = 0;
    // Nothing is started before the header is accepted, so a refused header
    // leaves even an output that could not be written alone.
    VectorFile& output = converter.output;
    Conversion result = readTableHeader(converter, current);
    if (result.outcome != ConversionOutcome::Converted) {
        output.abandon();  // lets go of memory it was attached to, untouched
        return result;
    }
    if (target != nullptr && !output.open(target, files::newFilePermissions(converter.source.file()))) {
        return failure(ConversionOutcome::OutputNotOpened, errno);
    }
    writeDeclarationPart(converter);
    const SeparatorLine separator = startRows(converter, current);
    return finishFile(converter, writeRows(converter), separator, pending);
}

}  // namespace morvale
