#include "readers/text_file.hpp"

#include <gtest/gtest.h>

#include <string>

#include "readers/fix_table_readers.hpp"
#include "readers/transport_reader.hpp"
#include "readers/value_readers.hpp"
#include "temp_file.hpp"

namespace zorv::readers {
namespace {

using testing::TempFile;

TEST(ReadTextFile, GivesEveryByteUnchanged) {
    const std::string bytes = std::string("\xEF\xBB\xBFline\r\n\0x\r", 13);
    const TempFile file(bytes);
    const Result<FileText> text = read_text_file(file.path());
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text.value().view(), bytes);
}

TEST(ReadTextFile, ReadsFilesThatReportNoSize) {
    const Result<FileText> text = read_text_file("/proc/self/status");
    ASSERT_TRUE(text.ok());
    EXPECT_NE(text.value().view().find("Name:"), std::string_view::npos);
}

TEST(ReadTextFile, MissingFileGivesPathDescriptionAndCode) {
    const TempFile file("");
    const std::string missing = file.dir() + "/none.dat";
    const Result<FileText> text = read_text_file(missing);
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().kind, ErrorKind::OSError);
    EXPECT_EQ(text.error().message, missing + ": No such file or directory (os error 2)");
}

TEST(ReadTextFile, DirectoryFailsAsAnOsError) {
    const TempFile file("");
    const Result<FileText> text = read_text_file(file.dir());
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().message, file.dir() + ": Is a directory (os error 21)");
}

TEST(ReadTextFile, PathWithNulIsRefusedWithoutOpeningItsPrefix) {
    const TempFile file("a\n");
    const std::string path = file.path() + std::string("\0x", 2);
    const Result<FileText> text = read_text_file(path);
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().kind, ErrorKind::OSError);
    EXPECT_EQ(text.error().message, path + ": path contains a NUL character");
}

// Every reader fails on ill-formed UTF-8, also where the bad byte lies in a
// line it would never look at (here line 0, a title or ignored comment).
TEST(ReadTextFile, IllFormedUtf8FailsEveryReader) {
    const std::string body = "#Time a b\n1 2\n3 4\n5 6\n7 8\ngroup g\n5 atoms\n";
    for (const std::string bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80"}) {
        const TempFile file("# title " + bad + "\n" + body);
        const std::string expected = file.path() + ": stream did not contain valid UTF-8";
        EXPECT_EQ(parse_zorv_file(file.path()).error().message, expected);
        EXPECT_EQ(parse_thermoprop(file.path()).error().message, expected);
        EXPECT_EQ(parse_bond_angle(file.path()).error().message, expected);
        EXPECT_EQ(parse_volume_density(file.path()).error().message, expected);
        const auto count = read_group_count(file.path(), "g");
        ASSERT_FALSE(count.ok());
        EXPECT_EQ(count.error().kind, ErrorKind::OSError);
        EXPECT_EQ(count.error().message, expected);
    }
}

}  // namespace
}  // namespace zorv::readers
