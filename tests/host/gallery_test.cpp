#include "serving/gallery.h"

#include <gtest/gtest.h>

#include "base/url_coding.h"
#include "imaging/sample_images.h"
#include "security/source_lookup.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

TEST(Gallery, ListsTheImagesBelowTheRootSortedAndConfined) {
    test::temp_dir dir;
    const auto root = std::filesystem::canonical(dir.path()) / "images";
    std::filesystem::create_directories(root / "b");
    for (const char* name : {"z.png", "a.JPG", "b/c.gif", "b/d.bmp", "no-extension"}) {
        ASSERT_TRUE(write_pattern_image(root / name, 8, 8, output_format::png, pattern::checker));
    }
    // Judged by content, not by name.
    test::write_file(root / "notes.jpg", "not a picture");
    ASSERT_TRUE(
        write_pattern_image(dir.path() / "secret.png", 8, 8, output_format::png, pattern::rings));
    std::filesystem::create_symlink(dir.path() / "secret.png", root / "leak.png");

    const source_root images(root);
    const auto entries = gallery_entries(images, 100);
    EXPECT_EQ(entries, (std::vector<std::filesystem::path>{"a.JPG", "b/c.gif", "b/d.bmp",
                                                           "no-extension", "z.png"}));
    EXPECT_EQ(gallery_entries(images, 2).size(), 2u);
}

TEST(Gallery, PageLinksEscapedThumbnailsThroughTheCache) {
    const std::string page = gallery_page({"a b.jpg", "x/<y>&.png"});
    EXPECT_NE(page.find("<img src=\"/a%20b.jpg?w=160&amp;h=160\""), std::string::npos) << page;
    EXPECT_NE(page.find("<a href=\"/x/%3Cy%3E%26.png\">"), std::string::npos) << page;
    EXPECT_NE(page.find("x/&lt;y&gt;&amp;.png</a>"), std::string::npos) << page;
    EXPECT_NE(gallery_page({}).find("No images"), std::string::npos);
}

TEST(Gallery, UrlPathsEncodeEverythingButUnreservedCharacters) {
    EXPECT_EQ(url_path("dir/caf\xc3\xa9 #1.jpg"), "/dir/caf%C3%A9%20%231.jpg");
    EXPECT_EQ(url_path("a-b_c.~d"), "/a-b_c.~d");
    EXPECT_EQ(html_escape("\"'<&>"), "&quot;&#39;&lt;&amp;&gt;");
}

} // namespace
} // namespace quorin::host
