// The pieces that decide, from the request alone, whether and how an image
// is answered: dates, entity tags, signatures, allowed sizes, log lines.
#include <gtest/gtest.h>

#include "base/file_time.h"
#include "chain/http_exchange.h"
#include "security/allowed_sizes.h"
#include "security/url_signature.h"
#include "serving/conditional_request.h"
#include "telemetry/access_log.h"
#include "variant/cache_key.h"

namespace quorin::host {
namespace {

TEST(HttpDate, ParsesFixedDatesAndRefusesTheRest) {
    EXPECT_EQ(parse_http_date("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(parse_http_date(" Thu, 01 Jan 1970 00:00:00 GMT "), 0);
    for (const char* text : {"", "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 31 Feb 1994 08:49:37 GMT",
                             "Sun, 06 Foo 1994 08:49:37 GMT", "Sun, 06 Nov 1994 24:49:37 GMT",
                             "Sunday, 06-Nov-94 08:49:37 GMT", "Sun, 06 Nov 1994 08:4x:37 GMT"}) {
        EXPECT_FALSE(parse_http_date(text)) << text;
    }
}

TEST(EntityTag, ChangesWithKeyAndTimeOnly) {
    const auto tag = entity_tag(u"a/photo_w100.jpg", 1000);
    EXPECT_EQ(tag, entity_tag(u"a/photo_w100.jpg", 1000));
    EXPECT_NE(tag, entity_tag(u"a/photo_w101.jpg", 1000));
    EXPECT_NE(tag, entity_tag(u"a/photo_w100.jpg", 1001));
}

TEST(Preconditions, DatesCompareBySecondAndApplyInHttpOrder) {
    // 1994-11-06 08:49:37.5 as a file time.
    const std::uint64_t source = (784111777ull + 11'644'473'600ull) * 10'000'000ull + 5'000'000;
    const std::string etag = "\"abc\"";
    const std::string at = "Sun, 06 Nov 1994 08:49:37 GMT";
    const std::string before = "Sun, 06 Nov 1994 08:49:36 GMT";
    using enum precondition;
    struct row {
        std::string if_match, if_unmodified_since, if_none_match, if_modified_since;
        precondition verdict;
    };
    const row rows[] = {
        {"", "", "", at, not_modified},
        {"", "", "", before, proceed},
        {"", "", "\"abc\"", "", not_modified},
        {"", "", "W/\"abc\"", "", not_modified},
        {"", "", "\"x\" , \"abc\"", "", not_modified},
        {"", "", "*", "", not_modified},
        {"", "", "\"abcd\"", at, proceed},
        {"", "", "", "", proceed},
        {"\"nope\"", "", "", "", failed},
        {"W/\"abc\"", "", "", "", failed},
        {"\"x\", \"abc\"", before, "\"abc\"", "", not_modified},
        {"*", "", "", "", proceed},
        {"", before, "", "", failed},
        {"", at, "\"abcd\"", "", proceed},
        {"", "not a date", "", "", proceed},
        // If-Match and If-Unmodified-Since come before the 304 conditions.
        {"\"nope\"", "", "\"abc\"", "", failed},
        {"", before, "", at, failed},
    };
    for (const auto& [if_match, if_unmodified_since, if_none_match, if_modified_since, verdict] :
         rows) {
        http_request request;
        request.if_match = if_match;
        request.if_unmodified_since = if_unmodified_since;
        request.if_none_match = if_none_match;
        request.if_modified_since = if_modified_since;
        EXPECT_EQ(evaluate_preconditions(request, etag, source), verdict)
            << if_match << " | " << if_unmodified_since << " | " << if_none_match << " | "
            << if_modified_since;
    }
}

TEST(UrlSigner, SignsPathAndCanonicalQuery) {
    // HMAC-SHA256 test case 2 of RFC 4231 when the query is empty.
    const url_signer signer("Jefe");
    EXPECT_EQ(signer.signature("what do ya want for nothing", ""),
              "W9zBRr9gdU5qBCQmCJV1x1oAPwidJzmDnexYuWTsOEM");

    EXPECT_EQ(canonical_query("w=1&sig=x&&format=png&h=2"), "format=png&h=2&w=1");
    const std::string query = signer.signed_query("/a b.jpg", "w=1&h=2");
    EXPECT_TRUE(signer.verify("/a b.jpg", query));
    EXPECT_TRUE(signer.verify("/a b.jpg", "w=1&" + query.substr(query.find("sig=")) + "&h=2"));
    EXPECT_FALSE(signer.verify("/a c.jpg", query));
    EXPECT_FALSE(url_signer("other").verify("/a b.jpg", query));
    EXPECT_FALSE(signer.verify("/a b.jpg", "w=1&h=2"));
    EXPECT_FALSE(signer.verify("/a b.jpg", query + "&sig=junk"));
    EXPECT_FALSE(signer.verify("/a b.jpg", "sig=junk&" + query));
    EXPECT_EQ(signed_url(signer, "http://host:1/a%20b.jpg?w=1&h=2"),
              "http://host:1/a%20b.jpg?" + query);
    // Decoded strictly, as the server decodes: what it would refuse is
    // never signed, so signer and server cannot disagree on a path.
    for (const char* malformed : {"/a%2.jpg", "/a%zz.jpg", "/a.jpg%"}) {
        EXPECT_FALSE(signed_url(signer, malformed)) << malformed;
    }
    EXPECT_EQ(signed_url(signer, "/a+b.jpg"), "/a+b.jpg?" + signer.signed_query("/a+b.jpg", ""));
}

TEST(AllowedSizes, ParsesListsAndAllowsOnlyListedBoxes) {
    for (const char* bad : {"", "160", "160x", "x160", "0x10", "10x8193", "10x-1", "10x10,",
                            "10x10,,20x20", "1e2x10"}) {
        EXPECT_FALSE(allowed_sizes::parse(bad)) << bad;
    }
    const auto sizes = allowed_sizes::parse("160x160,320x240");
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->listing(), "160x160, 320x240");
    EXPECT_TRUE(sizes->allows(320, 240));
    EXPECT_TRUE(sizes->allows(std::nullopt, std::nullopt));
    EXPECT_FALSE(sizes->allows(240, 320));
    EXPECT_FALSE(sizes->allows(160, std::nullopt));
}

TEST(AccessLine, KeepsClientTextInsideItsField) {
    http_request request;
    request.method = "GET";
    request.path = "/a\"b\\c\nd";
    request.query = "w=1";
    request.version = "HTTP/1.1";
    request.client_address = "::1";
    // U+2028, U+0085 and U+202E: line breaks and a reversal to some readers.
    request.user_agent = "x\" 200 1 \"y\xE2\x80\xA8\xC2\x85\xE2\x80\xAE";
    const auto when =
        std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + std::chrono::hours{5};
    EXPECT_EQ(
        access_line(request, when, 304, 0, "304", std::chrono::microseconds(1500)),
        "::1 - - [09/Dec/2026:05:00:00 +0000] \"GET /a\\x22b\\x5Cc\\x0Ad?w=1 HTTP/1.1\" 304 - "
        "\"-\" \"x\\x22 200 1 \\x22y\\xE2\\x80\\xA8\\xC2\\x85\\xE2\\x80\\xAE\" 304 1.500ms");
}

} // namespace
} // namespace quorin::host
