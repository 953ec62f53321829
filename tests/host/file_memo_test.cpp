#include "base/file_memo.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include "convert/conversion_job.h"
#include "imaging/file_type_check.h"
#include "imaging/image_codec.h"
#include "imaging/sample_images.h"
#include "imaging/source_facts.h"
#include "os/read_only_file.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::system_clock;

const os::file_identity old_file{1, 2, 3, 4s, 5s};
// Long after `old_file` last changed.
const clock_type::time_point later{1h};

// Any time after every file a test writes, so that all count as settled.
clock_type::time_point far_ahead() { return clock_type::now() + 1h; }

TEST(FileMemo, FindsOnlyTheVersionRememberedAndOnlyOnceSettled) {
    file_memo<int> memo(4);
    memo.remember(old_file, 7, later);
    EXPECT_EQ(memo.find(old_file), 7);

    // Any part of the identity moved is another version.
    for (auto changed :
         {&os::file_identity::device, &os::file_identity::inode, &os::file_identity::size}) {
        os::file_identity other = old_file;
        ++(other.*changed);
        EXPECT_FALSE(memo.find(other));
    }
    for (auto changed : {&os::file_identity::modified, &os::file_identity::changed}) {
        os::file_identity other = old_file;
        other.*changed += 1ns;
        EXPECT_FALSE(memo.find(other));
    }

    // Changed within a clock tick of now, or ahead of the clock: a second
    // write could still stamp the same time.
    for (const auto now : {clock_type::time_point(old_file.changed + settle_time),
                           clock_type::time_point(old_file.changed - 1s)}) {
        file_memo<int> fresh(4);
        fresh.remember(old_file, 7, now);
        EXPECT_FALSE(fresh.find(old_file));
    }
}

TEST(FileMemo, ForgetsTheLeastRecentlyUsedBeyondItsCapacity) {
    file_memo<int> memo(2);
    const auto version = [](std::uint64_t inode) {
        os::file_identity file = old_file;
        file.inode = inode;
        return file;
    };
    memo.remember(version(1), 1, later);
    memo.remember(version(2), 2, later);
    EXPECT_EQ(memo.find(version(1)), 1);
    memo.remember(version(3), 3, later);
    EXPECT_EQ(memo.find(version(1)), 1);
    EXPECT_FALSE(memo.find(version(2)));
    EXPECT_EQ(memo.find(version(3)), 3);
}

// What the memo answers for a source, first and when asked again, is what
// reading it gives, and so is the cache name planned from it; a rewritten
// source is read again.
TEST(SourceFactsMemo, AnswersWhatReadingTheSourceGivesUntilItChanges) {
    test::temp_dir dir;
    auto sources = make_sample_images(dir.path());
    ASSERT_GE(sources.size(), 4u);
    test::write_file(dir.path() / "notes.jpg", "not an image");
    sources.push_back(dir.path() / "notes.jpg");

    source_facts_memo memo;
    const auto facts_of = [&memo](const std::filesystem::path& file) {
        const auto opened = os::read_only_file::open(file.string());
        const auto identity = opened->identity_if_regular();
        const auto facts = memo.of(*opened, *identity, far_ahead());
        EXPECT_EQ(facts, read_source_facts(*opened)) << file;
        return facts;
    };
    for (const auto& file : sources) {
        const auto first = facts_of(file);
        EXPECT_EQ(facts_of(file), first) << file;
        if (!first.format) continue;

        const auto opened = os::read_only_file::open(file.string());
        conversion_job read, remembered;
        for (conversion_job* job : {&read, &remembered}) {
            job->source = opened.get();
            job->relative_source = file.filename().string();
            job->source_format = *first.format;
            job->parameters.width = 200;
            job->parameters.height = 200;
            job->parameters.fit = fit_mode::cover;
        }
        name_cache_entry(read);
        name_cache_entry(remembered, first.header);
        EXPECT_EQ(remembered.cache_key, read.cache_key) << file;
        EXPECT_EQ(remembered.plan, read.plan) << file;
    }

    const auto& photo = sources.front();
    const auto before = facts_of(photo);
    ASSERT_TRUE(write_pattern_image(photo, 30, 20, output_format::png, pattern::rings));
    const auto after = facts_of(photo);
    EXPECT_NE(after, before);
    EXPECT_EQ(after.format, FIF_PNG);
}

// Position 52's remembered answers against the library's own, for every
// format the host writes, and for a file rewritten in another.
TEST(FileTypeMemo, AnswersWhatTheLibraryAnswersForEveryOutputFormat) {
    test::temp_dir dir;
    file_memo<int> memo(16);
    const auto file = dir.path() / "entry";
    for (const auto format : {output_format::png, output_format::jpeg, output_format::gif,
                              output_format::bmp, output_format::webp}) {
        if (!can_write(format)) continue;
        ASSERT_TRUE(write_pattern_image(file, 40 + static_cast<unsigned>(format), 30, format,
                                        pattern::checker));
        const int library = FreeImage_GetFileType(file.string().c_str(), 0);
        EXPECT_EQ(library, library_format(format));
        EXPECT_EQ(file_type_of(file, memo, far_ahead()), library) << format_name(format);
        EXPECT_EQ(memo.find(*os::identity_of_regular(file.string())), library);
        EXPECT_EQ(file_type_of(file, memo, far_ahead()), library) << format_name(format);
    }
    EXPECT_EQ(file_type_of(dir.path() / "missing", memo, far_ahead()), FIF_UNKNOWN);
    EXPECT_EQ(file_type_of(dir.path(), memo, far_ahead()), FIF_UNKNOWN);
}

} // namespace
} // namespace quorin::host
