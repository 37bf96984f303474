#include "readers/value_readers.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>

namespace zorv::readers {
namespace {

struct ValueCase {
    std::string text;
    double value;
};

class VolumeDensity : public ::testing::TestWithParam<ValueCase> {};

TEST_P(VolumeDensity, FirstNumericSecondToken) {
    const Result<double> value = parse_volume_density_text(GetParam().text, "v.dat");
    ASSERT_TRUE(value.ok()) << GetParam().text;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(value.value()), std::bit_cast<std::uint64_t>(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Files, VolumeDensity,
    ::testing::Values(ValueCase{"# a\n# b\n1000 2.5\n", 2.5}, ValueCase{"# a\n# b\n1000\n2000 7.5\n", 7.5},
                      ValueCase{"# a\n# b\nx 3.0\n", 3.0}, ValueCase{"# a\n# b\n# 5\n", 5.0},
                      ValueCase{"1 1\n2 2\n\n3 4 5\n", 4.0}, ValueCase{"# a\r\n# b\r\n1 -inf\r\n", -INFINITY},
                      ValueCase{"# a\n# b\n1 x#\n1 1e-400\n9 9\n", 0.0}));

TEST(VolumeDensity, NanIsANumber) {
    const Result<double> value = parse_volume_density_text("h\nh\n1 nan\n", "v.dat");
    ASSERT_TRUE(value.ok());
    EXPECT_TRUE(std::isnan(value.value()));
}

class NoNumericData : public ::testing::TestWithParam<std::string> {};

TEST_P(NoNumericData, FailsWithThePath) {
    const Result<double> value = parse_volume_density_text(GetParam(), "d/v.dat");
    ASSERT_FALSE(value.ok());
    EXPECT_EQ(value.error().kind, ErrorKind::ValueError);
    EXPECT_EQ(value.error().message, "No numeric data found in d/v.dat");
}

INSTANTIATE_TEST_SUITE_P(Files, NoNumericData,
                         ::testing::Values("", "1 1\n2 2\n", "1 1\n2 2\n3\n4 x\n\n5 1d0\n"));

struct GroupCase {
    std::string text;
    std::string group;
    std::uint64_t count;
};

class GroupCount : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupCount, CountAfterTheFirstUsableMatch) {
    const Result<std::uint64_t> count = read_group_count_text(GetParam().text, "log", GetParam().group);
    ASSERT_TRUE(count.ok()) << GetParam().text;
    EXPECT_EQ(count.value(), GetParam().count);
}

const std::string kLog = "units real\ngroup OH type 2\n12 atoms in group OH\ngroup W type 1\n30 atoms in group W\n";

INSTANTIATE_TEST_SUITE_P(
    Logs, GroupCount,
    ::testing::Values(
        GroupCase{kLog, "OH", 12}, GroupCase{kLog, "O", 12}, GroupCase{kLog, "W", 30}, GroupCase{kLog, "", 12},
        // A next line that is no count: the search goes on, also testing that line itself.
        GroupCase{"group OH\nWARNING x\ngroup OH\n+12 atoms\n", "OH", 12},
        GroupCase{"group OH\n\ngroup OH\n007\n", "OH", 7},
        GroupCase{"group A\n-3 atoms\ngroup A\n12atoms\ngroup A\n99999999999999999999\ngroup A\n5\n", "A", 5},
        GroupCase{"group A\ngroup A\n4 atoms\n", "A", 4},
        GroupCase{"group A\r\n 18446744073709551615 atoms\r\n", "A", 18446744073709551615u},
        // The pattern ends on a line's content: "\r" before "\n" is no part of it.
        GroupCase{"group A\r\n1\r\ngroup A\r2\n3\n", "A\r", 3},
        // LAMMPS's own report line gives its own count, not the next report's.
        GroupCase{"1000 atoms in group t1\n150 atoms in group t2\n", "t1", 1000},
        GroupCase{"x\n 38 atoms in group t1_in\n23 atoms in group t2\n", "t1", 38},
        GroupCase{"12 atoms in group OH", "OH", 12},
        // Anything else before the match is no report: the next line counts.
        GroupCase{"2 atoms in new group A\n7\n", "A", 7}, GroupCase{"2 atoms ingroup A\n7\n", "A", 7},
        GroupCase{"-2 atoms in group A\n7\n", "A", 7}));

class GroupNotFound : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupNotFound, FailsNamingGroupAndLog) {
    const Result<std::uint64_t> count = read_group_count_text(GetParam().text, "run/log.lammps", GetParam().group);
    ASSERT_FALSE(count.ok());
    EXPECT_EQ(count.error().kind, ErrorKind::ValueError);
    EXPECT_EQ(count.error().message, "Group '" + GetParam().group + "' count not found in 'run/log.lammps'");
}

INSTANTIATE_TEST_SUITE_P(
    Logs, GroupNotFound,
    ::testing::Values(GroupCase{"", "OH", 0}, GroupCase{"12\ngroup OH\n", "OH", 0},
                      GroupCase{"group OH", "OH", 0}, GroupCase{"group OH\n\n", "OH", 0},
                      GroupCase{"Group OH\n5\n", "OH", 0}, GroupCase{"group  OH\n5\n", "OH", 0},
                      GroupCase{"group O\nH\n5\n", "O\nH", 0}, GroupCase{"group A\r\n1\r\n", "A\r", 0}));

}  // namespace
}  // namespace zorv::readers
