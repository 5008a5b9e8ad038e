// What a vector file keeps of the file it replaces, on Windows: nothing yet.
// A new file there gets the attributes and inherited access rules of any new
// file, and no permission bits are asked for.
#include "platform/file_metadata.h"

namespace morvale::files {

bool keepMetadata(const char*, Handle) { return true; }

unsigned newFilePermissions(Handle) { return 0666; }

}  // namespace morvale::files
