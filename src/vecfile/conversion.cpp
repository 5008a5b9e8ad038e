// The conversion of one table.
#include "vecfile/conversion.h"

#include <cerrno>

#include "platform/file_metadata.h"
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
    case VectorFormat::Version2: {
        SampleBlockWriter samples(converter.output, header, source, converter.blocks, converter.rowNotes);
        Refusal refusal = readRows(source, header, converter.row, converter.rowNotes, samples);
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
    }
    return Conversion{};
}

}  // namespace

Conversion convertTable(Converter& converter, const char* target, PendingFile* pending) {
    CharSource& source = converter.source;
    const HeaderInfo& header = converter.header;
    char current = 0;
    // Nothing is started before the header is accepted, so a refused header
    // leaves even an output that could not be written alone.
    VectorFile& output = converter.output;
    Conversion result = readingOutcome(readHeader(source, current, converter.header), source);
    if (result.outcome != ConversionOutcome::Converted) {
        output.abandon();  // lets go of memory it was attached to, untouched
        return result;
    }
    if (target != nullptr && !output.open(target, files::newFilePermissions(source.file()))) {
        return failure(ConversionOutcome::OutputNotOpened, errno);
    }
    switch (converter.format) {
    case VectorFormat::Version1:
        break;
    case VectorFormat::Version2:
        writeHeading(output, converter.provenance);
        break;
    }
    writeDeclarations(output, header, converter.format);
    const SeparatorLine separator = skipSeparator(source, current);
    converter.rowNotes = RowNotes();
    converter.rowNotes.separatorRemainder = separator.cutRow ? separator.line : 0;
    result = writeRows(converter);
    if (result.outcome != ConversionOutcome::Converted) {
        output.abandon();
        if (result.outcome == ConversionOutcome::Refused) {
            // What the table looks like so far may say why a number in it
            // was not one.
            result.warnings = warningsFor(source, header, separator, converter.rowNotes);
        }
    } else if (pending != nullptr ? !output.finishInto(*pending) : !output.close()) {
        result = failure(output.metadataNotKept() ? ConversionOutcome::MetadataNotKept : ConversionOutcome::WriteFailed,
                         output.error());
    } else {
        result.warnings = warningsFor(source, header, separator, converter.rowNotes);
        result.grownBy = source.grownBy();
        result.lastLineLeftOut = source.lastLineLeftOut();
    }
    return result;
}

}  // namespace morvale
