#include "settings/load_settings.h"

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "settings/mxml.h"
#include "support/temp_dir.h"

namespace quorin {
namespace {

auto fields(const module_settings_record& record) {
    return std::tuple(record.cache_folder_path, record.interval, record.cache_delete_time,
                      record.base_time, record.log_file_path);
}

std::string with_delete_time(const std::string& attributes, const std::string& text) {
    return "<quorin><CacheDeleteTime " + attributes + ">" + text + "</CacheDeleteTime></quorin>";
}

class load_settings_test : public ::testing::Test {
protected:
    test::temp_dir dir;
    // The values start-up sets before reading, and a log path from earlier.
    module_settings_record record{"", 300, 104400, creation, {}, {}, "earlier.log", {}};

    void load(const std::string& document) {
        const auto path = dir.path() / "quorin.setting";
        test::write_file(path, document);
        load_settings(path.string(), record);
    }

    // Loads the document into a fresh copy of the starting values.
    module_settings_record loaded(const std::string& document) {
        const module_settings_record start = record;
        load(document);
        return std::exchange(record, start);
    }
};

TEST_F(load_settings_test, reads_the_example_file) {
    load("<?xml version='1.0' encoding='UTF-8'?>\n"
         "<quorin>\n"
         "  <CacheFolderPath>cache</CacheFolderPath>\n"
         "  <CacheDeleteTime BaseTime='LastAccess' Interval='600' "
         "LogFilePath='expiry.log'>900</CacheDeleteTime>\n"
         "</quorin>\n");
    EXPECT_EQ(fields(record), std::tuple("cache", 600, 900, last_access, "expiry.log"));
}

TEST_F(load_settings_test, an_empty_root_changes_nothing) {
    const auto before = fields(record);
    load("<quorin a='1'/>");
    EXPECT_EQ(fields(record), before);
}

TEST_F(load_settings_test, a_wrong_root_is_a_load_error_that_leaves_the_record) {
    const auto before = fields(record);
    for (const std::string document : {"<Quorin><CacheFolderPath>x</CacheFolderPath></Quorin>",
                                       "<other/>", "<q:quorin xmlns:q='u'/>"}) {
        try {
            load(document);
            ADD_FAILURE() << "accepted " << document;
        } catch (const load_exception& error) {
            EXPECT_STREQ(error.what(), "only \"quorin\" could exist at root");
        }
        EXPECT_EQ(fields(record), before) << document;
    }
}

TEST_F(load_settings_test, a_nested_quorin_ends_the_root_for_the_reader) {
    EXPECT_NO_THROW(load("<quorin><CacheFolderPath>a</CacheFolderPath><quorin/></quorin>"));
    EXPECT_THROW(load("<quorin><CacheFolderPath>b</CacheFolderPath><x><quorin/></x>"
                      "<CacheFolderPath>c</CacheFolderPath></quorin>"),
                 load_exception);
    EXPECT_EQ(record.cache_folder_path, "b");
}

TEST_F(load_settings_test, folder_text_is_kept_as_delivered_and_joined) {
    const std::pair<std::string, std::string> cases[] = {
        {"\n  my cache \n", "\n  my cache \n"},
        {"a<!-- note -->b&amp;c&#65;<![CDATA[<d>]]>", "ab&cA<d>"},
        {"x<sub>y</sub>z", "xyz"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        const std::string element = "<CacheFolderPath>" + text + "</CacheFolderPath>";
        EXPECT_EQ(loaded("<quorin>" + element + "</quorin>").cache_folder_path, expected) << text;
    }
    EXPECT_EQ(loaded("<quorin><g><CacheFolderPath>deep</CacheFolderPath></g>"
                     "<CacheFolderPath>later</CacheFolderPath></quorin>")
                  .cache_folder_path,
              "later");
}

TEST_F(load_settings_test, any_file_encoding_arrives_as_utf8) {
    load("<?xml version='1.0' encoding='ISO-8859-1'?><quorin>"
         "<CacheFolderPath>caf\xE9</CacheFolderPath></quorin>");
    EXPECT_EQ(record.cache_folder_path, "caf\xC3\xA9");
}

TEST_F(load_settings_test, delete_time_is_lenient_and_ignores_negative_values) {
    constexpr auto max = std::numeric_limits<std::int32_t>::max();
    const std::pair<std::string, std::int32_t> cases[] = {
        {" \n 42 ", 42}, {"12abc", 12},        {"", 0},  {"abc", 0},
        {"-1", 104400},  {"99999999999", max}, {"0", 0}, {"4<!-- -->2", 42},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(loaded(with_delete_time("", text)).cache_delete_time, expected) << text;
}

TEST_F(load_settings_test, interval_is_at_least_sixty_and_defaults_to_sixty) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"Interval='59'", 60},  {"Interval='61'", 61}, {"Interval='0'", 60},
        {"Interval='-5'", 60},  {"Interval='x'", 60},  {"", 60},
        {"interval='600'", 60},
    };
    for (const auto& [attributes, expected] : cases)
        EXPECT_EQ(loaded(with_delete_time(attributes, "1")).interval, expected) << attributes;
}

TEST_F(load_settings_test, base_time_takes_exact_keywords_only) {
    record.base_time = last_access;
    EXPECT_EQ(loaded(with_delete_time("BaseTime='Creation'", "1")).base_time, creation);
    EXPECT_EQ(loaded(with_delete_time("BaseTime='creation'", "1")).base_time, last_access);
    record.base_time = creation;
    EXPECT_EQ(loaded(with_delete_time("BaseTime='LastAccess'", "1")).base_time, last_access);
    for (const std::string attributes : {"BaseTime='lastaccess'", "BaseTime='LastAccess '", ""})
        EXPECT_EQ(loaded(with_delete_time(attributes, "1")).base_time, creation) << attributes;
}

TEST_F(load_settings_test, log_path_empty_clears_and_absent_keeps) {
    EXPECT_EQ(loaded(with_delete_time("LogFilePath=''", "1")).log_file_path, "");
    EXPECT_EQ(loaded(with_delete_time("", "1")).log_file_path, "earlier.log");
    EXPECT_EQ(loaded(with_delete_time("LogFilePath=' a b '", "1")).log_file_path, " a b ");
}

TEST_F(load_settings_test, a_second_delete_time_element_applies_the_same_rules) {
    load("<quorin>"
         "<CacheDeleteTime BaseTime='LastAccess' Interval='600' "
         "LogFilePath='a.log'>900</CacheDeleteTime>"
         "<CacheDeleteTime>30</CacheDeleteTime>"
         "</quorin>");
    EXPECT_EQ(fields(record), std::tuple("", 60, 30, last_access, "a.log"));
}

TEST_F(load_settings_test, a_syntax_error_keeps_what_closed_before_it) {
    try {
        load("<quorin>\n<CacheFolderPath>kept</CacheFolderPath>\n"
             "<CacheDeleteTime>5</quorin>");
        FAIL() << "accepted";
    } catch (const MXML::SyntaxException& error) {
        EXPECT_EQ(error.GetErrorCode(), XML_ERROR_TAG_MISMATCH);
        EXPECT_EQ(error.GetLineNumber(), 3);
    }
    // The open CacheDeleteTime already applied its attributes: Interval defaulted to 60.
    EXPECT_EQ(fields(record), std::tuple("kept", 60, 104400, creation, "earlier.log"));
}

TEST_F(load_settings_test, a_missing_file_is_a_syntax_error) {
    try {
        load_settings((dir.path() / "absent.setting").string(), record);
        FAIL() << "accepted";
    } catch (const MXML::SyntaxException& error) {
        EXPECT_EQ(error.GetErrorCode(), XML_ERROR_NO_ELEMENTS);
    }
}

TEST_F(load_settings_test, the_byte_past_a_whole_chunk_is_read_too) {
    // 4097 bytes: the root's closing '>' is alone in the second chunk.
    const std::string head = "<quorin><CacheFolderPath>";
    const std::string tail = "</CacheFolderPath></quorin>";
    const std::string path(4097 - head.size() - tail.size(), 'p');
    load(head + path + tail);
    EXPECT_EQ(record.cache_folder_path, path);
}

} // namespace
} // namespace quorin
