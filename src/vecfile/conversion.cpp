// The conversion of one table.
#include "vecfile/conversion.h"

#include <cerrno>

#include "platform/file_metadata.h"
#include "vecfile/vector_writer.h"

namespace morvale {

namespace {

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

}  // namespace

Conversion convertTable(Converter& converter, const char* target) {
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
        return Conversion{ConversionOutcome::OutputNotOpened, Refusal{}, errno, std::nullopt, 0};
    }
    writeDeclarations(output, header);
    const SeparatorLine separator = skipSeparator(source, current);
    SampleLineWriter samples(output, header);
    result = readingOutcome(readRows(source, header, converter.row, samples), source);
    if (result.outcome != ConversionOutcome::Converted) {
        output.abandon();
    } else if (!output.close()) {
        result.outcome = output.metadataNotKept() ? ConversionOutcome::MetadataNotKept : ConversionOutcome::WriteFailed;
        result.error = output.error();
    } else {
        result.warning = warningFor(source, header, separator);
        result.grownBy = source.grownBy();
    }
    return result;
}

}  // namespace morvale
