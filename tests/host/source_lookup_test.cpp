#include "security/source_lookup.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quorin::host {
namespace {

using result = source_lookup::result;

class SourceLookup : public ::testing::Test {
protected:
    SourceLookup() {
        namespace fs = std::filesystem;
        root = fs::canonical(dir.path()) / "images";
        const auto outside = fs::canonical(dir.path()) / "outside";
        fs::create_directories(root / "sub");
        fs::create_directories(outside);
        test::write_file(root / "a.jpg", "a");
        test::write_file(root / "sub" / "b.jpg", "b");
        test::write_file(outside / "secret.jpg", "s");
        test::write_file(dir.path() / "images2.jpg", "n");
        fs::create_symlink(outside / "secret.jpg", root / "link.jpg");
        fs::create_symlink("sub/b.jpg", root / "inner.jpg");
        fs::create_directory_symlink(outside, root / "outdir");
        fs::create_symlink(root / "a.jpg", root / "absolute.jpg");
        images = std::make_unique<source_root>(root);
    }

    test::temp_dir dir;
    std::filesystem::path root;
    std::unique_ptr<source_root> images;
};

// The first byte of the file a lookup opened.
char first_byte(const source_lookup& lookup) {
    char byte = 0;
    return lookup.opened && lookup.opened->read_at(0, &byte, 1) == 1 ? byte : '\0';
}

TEST_F(SourceLookup, OpensFilesBelowTheRootNamedByTheirTarget) {
    struct row {
        const char* path;
        const char* relative;
        char content;
    };
    // Links that stay inside are followed, relative or absolute, and the
    // file is named by its target.
    for (const auto& [path, relative, content] :
         {row{"/a.jpg", "a.jpg", 'a'}, row{"//sub/./b.jpg", "sub/b.jpg", 'b'},
          row{"/inner.jpg", "sub/b.jpg", 'b'}, row{"/absolute.jpg", "a.jpg", 'a'}}) {
        const auto lookup = find_source(*images, path);
        EXPECT_EQ(lookup.outcome, result::found) << path;
        EXPECT_EQ(lookup.relative, relative) << path;
        EXPECT_EQ(first_byte(lookup), content) << path;
    }
    EXPECT_FALSE(find_source(*images, "/sub").opened);

    // Without the directory held open, nothing can be opened confined.
    const source_root unopened(root / "no-such-directory");
    EXPECT_EQ(unopened.directory(), nullptr);
    EXPECT_EQ(find_source(unopened, "/a.jpg").outcome, result::missing);
}

TEST_F(SourceLookup, GivesTheModificationTimeOfTheFileFound) {
    namespace fs = std::filesystem;
    const auto stamped = fs::file_time_type(std::chrono::nanoseconds(1'700'000'000'123'456'789));
    fs::last_write_time(root / "sub" / "b.jpg", stamped);
    EXPECT_EQ(find_source(*images, "/sub/b.jpg").modified, stamped);
    // Through a link, the time of the file it leads to.
    EXPECT_EQ(find_source(*images, "/inner.jpg").modified, stamped);
    EXPECT_EQ(find_source(*images, "/a.jpg").modified, fs::last_write_time(root / "a.jpg"));
}

TEST_F(SourceLookup, RefusesEveryWayOut) {
    for (const char* path : {"/../outside/secret.jpg", "/sub/../a.jpg", "/..", "/link.jpg",
                             "/outdir/secret.jpg", "/../images2.jpg"}) {
        EXPECT_EQ(find_source(*images, path).outcome, result::escapes) << path;
    }
}

TEST_F(SourceLookup, ReportsWhatIsNotAFileAsMissing) {
    for (const char* path : {"/nope.jpg", "/sub", "/sub/", "/", "", "/a.jpg/x"}) {
        EXPECT_EQ(find_source(*images, path).outcome, result::missing) << path;
    }
    EXPECT_EQ(find_source(*images, std::string_view("/a.jpg\0x", 8)).outcome, result::missing);
}

TEST_F(SourceLookup, AnUnchangedFileIsFoundAgainWithoutAnOpenAndAChangedOneIsNot) {
    namespace fs = std::filesystem;
    const auto first = find_source(*images, "/a.jpg");
    ASSERT_TRUE(first.opened);
    auto again = find_source(*images, "/a.jpg");
    EXPECT_EQ(again.outcome, result::found);
    EXPECT_FALSE(again.opened);
    EXPECT_EQ(again.identity, first.identity);
    ASSERT_TRUE(open_found(*images, again));
    EXPECT_EQ(first_byte(again), 'a');

    // A new file renamed over the path is a new version, opened again.
    test::write_file(root / "new.jpg", "A");
    fs::rename(root / "new.jpg", root / "a.jpg");
    const auto replaced = find_source(*images, "/a.jpg");
    EXPECT_NE(replaced.identity, first.identity);
    EXPECT_EQ(first_byte(replaced), 'A');

    // A directory on the way swapped for a link out: the file there is not
    // the one remembered, and the open refuses the way.
    ASSERT_EQ(find_source(*images, "/sub/b.jpg").outcome, result::found);
    fs::rename(root / "sub", root / "sub_old");
    fs::create_directory_symlink(fs::canonical(dir.path()) / "outside", root / "sub");
    test::write_file(fs::canonical(dir.path()) / "outside" / "b.jpg", "s");
    EXPECT_EQ(find_source(*images, "/sub/b.jpg").outcome, result::escapes);
}

TEST(LiesWithin, ComparesWholeElements) {
    EXPECT_TRUE(lies_within("/srv/images", "/srv/images/a/b.jpg"));
    EXPECT_TRUE(lies_within("/srv/images", "/srv/images"));
    EXPECT_FALSE(lies_within("/srv/images", "/srv/images2/b.jpg"));
    EXPECT_FALSE(lies_within("/srv/images", "/srv"));
}

} // namespace
} // namespace quorin::host
