// quorin-host serving a bucket of s3rver on 127.0.0.1, its requests signed
// with the keys of a credentials file.
#include <gtest/gtest.h>

#include "support/decoded_image.h"
#include "support/end_to_end.h"
#include "support/host_process.h"
#include "support/http_client.h"
#include "support/served_origin.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

using namespace std::chrono_literals;

class BucketOrigin : public ::testing::Test {
protected:
    void SetUp() override {
        if (!program_on_path("node")) GTEST_SKIP() << "node is not installed";
        bucket = std::make_unique<bucket_server>(dir.path() / "bucket", "pictures");
        write_image(dir.path() / "photo.jpg", 640, 480);
        bucket->put("library/photo.jpg", read_file(dir.path() / "photo.jpg"));
    }

    // A host of the bucket's library/ folder, signing with `keys` (an INI
    // profile's lines).
    std::unique_ptr<host_process> start_host(const std::string& name, const std::string& keys) {
        const auto module = install_module(dir.path() / name, "cache");
        std::filesystem::create_directories(module.parent_path() / "cache");
        write_file(dir.path() / name / "credentials", "[default]\n" + keys);
        return std::make_unique<host_process>(std::vector<std::string>{
            "--origin", "s3://pictures/library", "--s3-endpoint", bucket->endpoint(),
            "--s3-path-style", "--s3-credentials", (dir.path() / name / "credentials").string(),
            "--source-cache", (dir.path() / name / "sources").string(), "--module", module.string(),
            "--origin-revalidate", "1"});
    }

    temp_dir dir;
    std::unique_ptr<bucket_server> bucket;
};

TEST_F(BucketOrigin, SignedRequestsFetchRevalidateAndMissObjects) {
    auto host = start_host("signed", "aws_access_key_id = S3RVER\n"
                                     "aws_secret_access_key = S3RVER\n"
                                     "aws_session_token = a-session\n");
    http_client client;
    const auto first = client.request(host->url("/photo.jpg?w=64"));
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_EQ(decode(first.body).height, 48u);
    EXPECT_EQ(client.request(host->url("/missing.jpg?w=64")).status, 404);

    write_image(dir.path() / "photo.jpg", 480, 640);
    bucket->put("library/photo.jpg", read_file(dir.path() / "photo.jpg"));
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(decode(client.request(host->url("/photo.jpg?w=64")).body).height, 85u);
    EXPECT_TRUE(host->wait_for_lines(access_line_for("GET", "/photo.jpg?w=64", "stored"), 2));
}

TEST_F(BucketOrigin, KeysTheBucketDoesNotKnowGetNothing) {
    auto host = start_host("unknown", "aws_access_key_id = NOBODY\n"
                                      "aws_secret_access_key = S3RVER\n");
    const auto refused = http_client().request(host->url("/photo.jpg?w=64"));
    EXPECT_EQ(refused.status, 502);
    EXPECT_EQ(refused.body.find("NOBODY"), std::string::npos);
}

} // namespace
} // namespace quorin::test
