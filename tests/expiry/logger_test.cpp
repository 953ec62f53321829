#include "expiry/logger.h"

#include <gtest/gtest.h>

#include "expiry/steered_env.h"
#include "support/native_path.h"
#include "support/temp_dir.h"

namespace quorin::test {
namespace {

class logger_test : public ::testing::Test {
protected:
    steered_env env;
    platform::scoped_env installed{env};
    temp_dir dir;
    std::string log = (dir.path() / "expiry.log").string();
};

TEST_F(logger_test, appends_lines_with_zero_padded_local_time) {
    write_file(log, "earlier line\n");
    {
        logger out(log, true);
        out.write("DELETE_PROC IN");
        env.local = {987, 12, 31, 23, 59, 58};
        out.write("DELETE_FAIL /c/3/7f/photo.png");
        env.local = {12345, 10, 1, 0, 0, 0};
        out.write("");
    }
    const std::string end(text_line_end);
    EXPECT_EQ(read_file(log), "earlier line\n"
                              "2026/01/05 03:04:09 DELETE_PROC IN" +
                                  end + "0987/12/31 23:59:58 DELETE_FAIL /c/3/7f/photo.png" + end +
                                  "12345/10/01 00:00:00 " + end);
}

TEST_F(logger_test, control_bytes_are_escaped_so_a_text_stays_one_line) {
    {
        logger out(log, true);
        out.write("DELETE_FAIL /c/0/00/a\nb\r\t\x1f\x7f\x01.png");
        out.write("DELETE_FAIL /c/0/00/caf\xc3\xa9 \\x41 ~.png");
    }
    const std::string end(text_line_end);
    EXPECT_EQ(read_file(log),
              "2026/01/05 03:04:09 DELETE_FAIL /c/0/00/a\\x0Ab\\x0D\\x09\\x1F\\x7F\\x01.png" + end +
                  "2026/01/05 03:04:09 DELETE_FAIL /c/0/00/caf\xc3\xa9 \\x41 ~.png" + end);
}

} // namespace
} // namespace quorin::test
