// What a vector file takes over from the file it replaces, and the
// permissions a new one starts with: a user's choices of who may read a
// file survive a new conversion, and no conversion opens a file wider than
// what it was made from.
#ifndef MORVALE_PLATFORM_FILE_METADATA_H
#define MORVALE_PLATFORM_FILE_METADATA_H

#include "platform/file_system.h"

namespace morvale::files {

// Gives `created`, the open new file that is to take the name `replaced`,
// what the regular file at `replaced` has: its owner and group, its access
// ACL and its extended attributes, then its permission bits. Called once the
// last byte is written, since writing clears the set-user-ID and set-group-ID
// bits and file capabilities.
//
// An owner or group this process may not give is left as it is; the new file
// then loses the set-user-ID bit (owner) or the set-group-ID bit (group), and
// the group it got instead has no more rights than others. An ACL or a user.*
// or system.* attribute that cannot be copied makes it fail: a file with an
// ACL's entries dropped or a user's attribute missing is not what they had.
// A trusted.* or security.* attribute this process may not set is left out.
// On failure returns false with errno set; `created` may then hold part of it.
//
// On Windows: the attributes hidden, system and not indexed; the access
// rules (DACL) pass with the replacement itself (replace() in
// file_system.h), and the owner stays the user running the tool.
bool keepMetadata(const char* replaced, Handle created);

// The permission bits, before the umask, that a new file made from the open
// file `source` is created with, and the group they are meant for: the read
// and write bits of `source`, and writing for the owner, so that the next
// conversion may replace it, and the group of `source`. Where `source` has
// an ACL, whose entries the new file does not get, its group bits (the ACL's
// mask) are no more than others'. 0666 for kNoHandle (an input in memory),
// and on Windows, where a new file gets the access rules of its folder.
NewFileAccess newFilePermissions(Handle source);

}  // namespace morvale::files

#endif
