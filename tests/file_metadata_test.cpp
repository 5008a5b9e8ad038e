// What a vector file keeps of the file it replaces, and the permissions a new
// one gets: owner and group, permission bits, ACL and extended attributes, as
// root and as an ordinary user, on the real executable and real files.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "end_to_end_support.h"
#include "platform/file_metadata.h"

namespace morvale {
namespace {

using namespace test;

constexpr int kNobody = 65534;  // an ordinary user, with a group of the same number

// What a case needs of the work folder's file system, one bit each.
constexpr unsigned kAcl = 1;
constexpr unsigned kUserAttributes = 2;
constexpr unsigned kTrustedAttributes = 4;

class FileMetadata : public EndToEnd {
protected:
    // Runs shell commands as the test runs, in the work folder; true when
    // they succeed. `out` receives their standard output.
    bool shell(const std::string& commands, std::string* out = nullptr) const {
        FILE* pipe = popen(("cd '" + work_.string() + "' && (" + commands + ") 2>/dev/null").c_str(), "r");
        if (pipe == nullptr) {
            return false;
        }
        std::string text;
        char block[256];
        for (std::size_t count; (count = std::fread(block, 1, sizeof block, pipe)) > 0;) {
            text.append(block, count);
        }
        if (out != nullptr) {
            *out = text;
        }
        return pclose(pipe) == 0;
    }

    // Owner, group and permission bits, then the ACL entries beyond the bits
    // and the user's and trusted attributes, on one line.
    std::string describe(const std::string& name) const {
        struct stat info;
        if (lstat(file(name).c_str(), &info) != 0) {
            return "missing";
        }
        char head[64];
        std::snprintf(head, sizeof head, "%u:%u %04o", static_cast<unsigned>(info.st_uid),
                      static_cast<unsigned>(info.st_gid), static_cast<unsigned>(info.st_mode & 07777));
        std::string more;
        shell("getfacl -cn --skip-base " + name + "; getfattr -d -m '^(user|trusted)[.]' " + name, &more);
        std::string text = head;
        std::istringstream lines(more);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line[0] != '#') {
                text += " " + line;
            }
        }
        return text;
    }

    // What the work folder's file system or the test's commands lack.
    unsigned lacking() const {
        put("probe", "");
        unsigned missing = 0;
        missing |= shell("setfacl -m u:daemon:r probe") ? 0 : kAcl;
        missing |= shell("setfattr -n user.probe -v 1 probe") ? 0 : kUserAttributes;
        missing |= shell("setfattr -n trusted.probe -v 1 probe") ? 0 : kTrustedAttributes;
        fs::remove(file("probe"));
        return missing;
    }

    // An empty work folder that anyone may write, with a table and an
    // earlier vector file of root's, 0644.
    void startOver() const {
        fs::remove_all(work_);
        fs::create_directory(work_);
        fs::permissions(work_, fs::perms::all);
        put("a.txt", kOneLineTable);
        put("a.vec", "an earlier conversion\r\n");
    }
};

// A replaced file's owner, group, bits, ACL and attributes pass to the new
// file as far as the user running the tool may give them. What they may not
// give costs the set-ID bits, and a group of their own gets no more than
// others: the file is never more open than it was.
TEST_F(FileMetadata, AReplacedFileKeepsWhatItHad) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to make files of other owners and to run as another user";
    }
    const struct {
        const char* what;
        unsigned needs;
        int user;               // who runs the tool: root (0) or kNobody
        const char* make;       // what root does to a.vec before the run
        std::string afterwards; // describe("a.vec") after the run; empty: as before
    } cases[] = {
        {"bits 0640", 0, 0, "chmod 0640 a.vec", ""},
        {"bits 0600", 0, 0, "chmod 0600 a.vec", ""},
        {"setuid and setgid, as root", 0, 0, "chmod 6755 a.vec", ""},
        {"another user's file, as root", 0, 0, "chown 65534:65534 a.vec && chmod 6750 a.vec", ""},
        {"an ACL, its mask not the group's bits", kAcl, 0, "chmod 0640 a.vec && setfacl -m u:daemon:rw a.vec", ""},
        {"attributes", kUserAttributes | kTrustedAttributes, 0,
         "setfattr -n user.note -v hello a.vec && setfattr -n trusted.note -v kept a.vec", ""},
        {"the user's own setuid file", 0, kNobody, "chown 65534:65534 a.vec && chmod 6755 a.vec", ""},
        {"the user's own file with an ACL and an attribute", kAcl | kUserAttributes, kNobody,
         "chown 65534:65534 a.vec && chmod 0600 a.vec && setfacl -m u:daemon:r a.vec && setfattr -n user.note -v hi a.vec",
         ""},
        {"the user's file in a setgid folder of another group", 0, kNobody,
         "chgrp daemon . && chmod 2777 . && chown 65534:65534 a.vec && chmod 0640 a.vec", ""},
        {"root's setgid file of the user's group, there", 0, kNobody,
         "chgrp daemon . && chmod 2777 . && chown 0:65534 a.vec && chmod 2664 a.vec", "65534:65534 2664"},
        {"root's setuid file that others may write", 0, kNobody, "chmod 6766 a.vec", "65534:65534 0766"},
        {"root's file that only others may write", 0, kNobody, "chmod 0662 a.vec", "65534:65534 0622"},
        {"root's file that an ACL lets the user write", kAcl, kNobody, "chmod 0640 a.vec && setfacl -m u:65534:rw a.vec",
         "65534:65534 0660 user::rw- user:65534:rw- group::--- mask::rw- other::---"},
    };
    const unsigned missing = lacking();
    std::string skipped;
    const mode_t oldMask = umask(022);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if ((c.needs & missing) != 0) {
            skipped += std::string(" ") + c.what + ";";
            continue;
        }
        startOver();
        ASSERT_TRUE(shell(c.make)) << c.make;
        const std::string before = describe("a.vec");
        Launch launch;
        launch.user = c.user == 0 ? -1 : c.user;
        expectRun(run({"a.txt"}, launch), 0, "File a.vec converted\n" + summary(1), "");
        EXPECT_EQ(get("a.vec"), kOneLineVec);
        EXPECT_EQ(describe("a.vec"), c.afterwards.empty() ? before : c.afterwards);
        EXPECT_TRUE(incompleteFiles().empty());
    }
    umask(oldMask);
    if (!skipped.empty()) {
        GTEST_SKIP() << "the temporary folder's file system has no ACLs or attributes for:" << skipped;
    }
}

// A replacement that the user may not make keeps the earlier vector file as
// it was, with nothing left beside it, and says which step failed: a user's
// attribute they cannot copy, or a file of root's in a sticky folder, which
// they may write but not rename another file onto.
TEST_F(FileMetadata, AReplacementThatCannotBeMadeKeepsTheEarlierFile) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to run as another user";
    }
    const struct {
        const char* what;
        unsigned needs;
        const char* make;  // what root does before the run
        std::string err;
    } cases[] = {
        // The user may write the file but not read it, nor so its attribute.
        {"an attribute that cannot be read", kUserAttributes, "chmod 0662 a.vec && setfattr -n user.note -v hello a.vec",
         "morvale: a.txt: cannot keep the owner, permissions, ACL or attributes of a.vec: Permission denied; "
         "file not converted\n"},
        {"root's file in a sticky folder", 0, "chmod 1777 . && chmod 0666 a.vec",
         "morvale: a.txt: cannot give the new file the name a.vec: Operation not permitted; file not converted\n"},
    };
    const unsigned missing = lacking();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if ((c.needs & missing) != 0) {
            continue;  // the temporary folder's file system has no such attributes
        }
        startOver();
        ASSERT_TRUE(shell(c.make)) << c.make;
        const auto before = snapshot();
        const std::string metadata = describe("a.vec");
        Launch launch;
        launch.user = kNobody;
        expectRun(run({"a.txt"}, launch), 1, "Problemas al cerrar el fichero\n" + summary(0), c.err);
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(describe("a.vec"), metadata);
    }
}

// An ACL or a user's attribute that the new file cannot take fails the copy
// rather than leave the file more open or without what its user put there;
// a trusted attribute is left out. The new file is on a file system with
// neither ACLs nor attributes.
TEST_F(FileMetadata, WhatOnlyPrivilegeMaySetIsAloneLeftOut) {
    const fs::path bare = root_ / "bare";
    fs::create_directory(bare);
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("morvale-test", bare.c_str(), "ramfs", 0, nullptr) != 0) {
        GTEST_SKIP() << "needs root, to mount a file system without ACLs and attributes";
    }
    const struct {
        const char* what;
        unsigned needs;
        const char* make;
        int error;  // how keeping the metadata fails, or 0
    } cases[] = {
        {"bits alone", 0, "chmod 0640 a.vec", 0},
        {"an ACL", kAcl, "setfacl -m u:daemon:rw a.vec", ENOTSUP},
        {"a user's attribute", kUserAttributes, "setfattr -n user.note -v hello a.vec", ENOTSUP},
        {"a trusted attribute", kTrustedAttributes, "chmod 0640 a.vec && setfattr -n trusted.note -v 1 a.vec", 0},
    };
    const unsigned missing = lacking();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if ((c.needs & missing) != 0) {
            continue;  // nothing there to lose
        }
        startOver();
        ASSERT_TRUE(shell(c.make)) << c.make;
        const fs::path created = bare / "a.vec";
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const bool kept = files::keepMetadata(file("a.vec").c_str(), fd);
        const int error = kept ? 0 : errno;
        ::close(fd);
        EXPECT_EQ(error, c.error) << std::strerror(error);
        struct stat before;
        struct stat after;
        if (kept && stat(file("a.vec").c_str(), &before) == 0 && stat(created.c_str(), &after) == 0) {
            EXPECT_EQ(after.st_mode, before.st_mode);
        }
        fs::remove(created);
    }
    umount2(bare.c_str(), MNT_DETACH);
}

// A new vector file, where nothing or a link stood, gets its table's read
// and write bits and writing for its owner, less the umask; its group no
// more than others where that group is not the table's, or where the table
// has an ACL, whose mask its group bits are.
TEST_F(FileMetadata, ANewFileIsNoMoreOpenThanItsTable) {
    const gid_t other = 65534;
    const struct {
        const char* what;
        unsigned table;
        mode_t mask;
        bool link;  // a link stood at a.vec
        unsigned mode;
        gid_t tableGroup = static_cast<gid_t>(-1);   // the table's group, if not the run's
        gid_t folderGroup = static_cast<gid_t>(-1);  // a set-group-ID folder's group
        const char* acl = nullptr;                   // the table's ACL entry
    } cases[] = {
        {"a private table", 0600, 022, false, 0600},
        {"a table others may read", 0644, 022, false, 0644},
        {"a table anyone may write, umask 022", 0666, 022, false, 0644},
        {"a table anyone may write, umask 077", 0666, 077, false, 0600},
        {"a table its group may read, umask 077", 0640, 077, false, 0600},
        {"a read-only table", 0444, 022, false, 0644},
        {"a private table, a link at the vector file", 0600, 022, true, 0600},
        {"a table its group may read, of another group", 0640, 022, false, 0600, other},
        {"a table its group may write, of another group", 0664, 002, false, 0644, other},
        {"a table its group may read, in a set-group-ID folder of another group", 0640, 022, false, 0600, 0, other},
        {"a private table another user may read by its ACL", 0600, 022, false, 0600, static_cast<gid_t>(-1),
         static_cast<gid_t>(-1), "u:nobody:r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (geteuid() != 0 && (c.tableGroup != static_cast<gid_t>(-1) || c.folderGroup != static_cast<gid_t>(-1))) {
            continue;  // needs root, to give files other groups
        }
        fs::remove_all(work_);
        fs::create_directory(work_);
        if (c.folderGroup != static_cast<gid_t>(-1)) {
            ASSERT_EQ(chown(work_.c_str(), 0, c.folderGroup), 0);
            ASSERT_EQ(chmod(work_.c_str(), 02755), 0);
        }
        put("a.txt", kOneLineTable);
        if (c.tableGroup != static_cast<gid_t>(-1)) {
            ASSERT_EQ(chown(file("a.txt").c_str(), 0, c.tableGroup), 0);
        }
        fs::permissions(file("a.txt"), fs::perms(c.table));
        if (c.acl != nullptr && !shell(std::string("setfacl -m ") + c.acl + " " + file("a.txt").string())) {
            continue;  // no ACLs here
        }
        if (c.link) {
            fs::create_symlink("elsewhere.vec", file("a.vec"));
        }
        const mode_t oldMask = umask(c.mask);
        const Result result = run({"a.txt"});
        umask(oldMask);
        expectRun(result, 0, "File a.vec converted\n" + summary(1), "");
        struct stat info;
        ASSERT_EQ(lstat(file("a.vec").c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, c.mode);
    }
}

}  // namespace
}  // namespace morvale
