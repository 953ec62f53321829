#include "host/source_lookup.h"

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
    }

    test::temp_dir dir;
    std::filesystem::path root;
};

TEST_F(SourceLookup, FindsFilesBelowTheRoot) {
    const auto direct = find_source(root, "/a.jpg");
    EXPECT_EQ(direct.outcome, result::found);
    EXPECT_EQ(direct.file, root / "a.jpg");
    EXPECT_EQ(direct.relative, "a.jpg");

    const auto nested = find_source(root, "//sub/./b.jpg");
    EXPECT_EQ(nested.outcome, result::found);
    EXPECT_EQ(nested.relative, "sub/b.jpg");

    // A link that stays inside is followed, and named by its target.
    const auto linked = find_source(root, "/inner.jpg");
    EXPECT_EQ(linked.outcome, result::found);
    EXPECT_EQ(linked.relative, "sub/b.jpg");
}

TEST_F(SourceLookup, GivesTheModificationTimeOfTheFileFound) {
    namespace fs = std::filesystem;
    const auto stamped = fs::file_time_type(std::chrono::nanoseconds(1'700'000'000'123'456'789));
    fs::last_write_time(root / "sub" / "b.jpg", stamped);
    EXPECT_EQ(find_source(root, "/sub/b.jpg").modified, stamped);
    // Through a link, the time of the file it leads to.
    EXPECT_EQ(find_source(root, "/inner.jpg").modified, stamped);
    EXPECT_EQ(find_source(root, "/a.jpg").modified, fs::last_write_time(root / "a.jpg"));
}

TEST_F(SourceLookup, RefusesEveryWayOut) {
    for (const char* path : {"/../outside/secret.jpg", "/sub/../a.jpg", "/..", "/link.jpg", "/outdir/secret.jpg",
                             "/../images2.jpg"}) {
        EXPECT_EQ(find_source(root, path).outcome, result::escapes) << path;
    }
}

TEST_F(SourceLookup, ReportsWhatIsNotAFileAsMissing) {
    for (const char* path : {"/nope.jpg", "/sub", "/sub/", "/", "", "/a.jpg/x"}) {
        EXPECT_EQ(find_source(root, path).outcome, result::missing) << path;
    }
    EXPECT_EQ(find_source(root, std::string_view("/a.jpg\0x", 8)).outcome, result::missing);
}

TEST(LiesWithin, ComparesWholeElements) {
    EXPECT_TRUE(lies_within("/srv/images", "/srv/images/a/b.jpg"));
    EXPECT_TRUE(lies_within("/srv/images", "/srv/images"));
    EXPECT_FALSE(lies_within("/srv/images", "/srv/images2/b.jpg"));
    EXPECT_FALSE(lies_within("/srv/images", "/srv"));
}

} // namespace
} // namespace quorin::host
