// PathStats: the three states, the check every accessor makes first, the attribute rules.
#include <TarnIO/Error.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <sstream>
#include <string>

using TarnIO::PathStats;

TEST(PathStatsTest, ThreeStatesAndTheAccessorsThatRefuseTwo) {
    // The eleven Is... tests share one definition: IsFile stands for them all.
#define ACCESSOR(name) {#name, [](const PathStats& s) { s.name(); }}
    const std::pair<std::string, void (*)(const PathStats&)> accessors[] = {
        ACCESSOR(GetFileSize),
        ACCESSOR(IsFile),
        ACCESSOR(GetAttributes),
        ACCESSOR(GetReparseTag),
        ACCESSOR(GetCreateTime),
        ACCESSOR(GetAccessTime),
        ACCESSOR(GetModifyTime),
    };
#undef ACCESSOR
    PathStats stats;
    for (const auto& accessor : accessors) {
        EXPECT_EQ(".\\PathStats TarnIO::PathStats::" + accessor.first +
                      ": path attributes not queried",
                  TarnTest::Thrown<TarnError::LogicError>([&] { accessor.second(stats); }));
    }
    ASSERT_FALSE(TarnIO::Path(L"C:\\tarn-no-such-file").Query(stats));
    EXPECT_EQ(".\\PathStats TarnIO::PathStats::IsFile: unable to query path attributes; "
              "Win32Error=2",
              TarnTest::Thrown<TarnIO::PathError>([&] { stats.IsFile(); }));
    stats.Reset();  // a failure reset is not queried
    EXPECT_THROW(stats.IsFile(), TarnError::LogicError);
}

// Snapshots made here: Wine cannot make links or junctions.
TEST(PathStatsTest, AttributeRules) {
    const unsigned long symlink = 0xA000000C, junction = 0xA0000003;
    const struct Row {
        unsigned long attrs, tag;
        DWORD high, low;
        const char* is;  // the tests that hold (by the letters below), the size, the tag
    } rows[] = {
        {0x10, 0, 0, 0, "D 0 0x0"},
        {0x4827, 0, 0, 0xFFFFFFFF, "FRHSACE 4294967295 0x0"},
        {0x40, 0, 1, 705032704, "V 5000000000 0x0"},
        {0x400, symlink, 0, 0, "PL 0 0xa000000c"},  // a link to a file
        {0x410, junction, 0, 0, "DP 0 0xa0000003"},
        {0x400, 0, 0, 0, "P 0 0x0"},       // tag unknown
        {0x20, symlink, 0, 0, "FA 0 0x0"},  // no reparse attribute: the tag counts for nothing
    };
    for (const Row& row : rows) {
        const WIN32_FILE_ATTRIBUTE_DATA data = {row.attrs, {}, {}, {}, row.high, row.low};
        const PathStats s = PathStats::FromAttributeData(data, row.tag);
        std::ostringstream is;
        is << (s.IsDirectory() ? "D" : "") << (s.IsFile() ? "F" : "") << (s.IsReadOnly() ? "R" : "")
           << (s.IsHidden() ? "H" : "") << (s.IsSystem() ? "S" : "") << (s.IsArchive() ? "A" : "")
           << (s.IsDevice() ? "V" : "") << (s.IsReparsePoint() ? "P" : "")
           << (s.IsCompressed() ? "C" : "") << (s.IsEncrypted() ? "E" : "")
           << (s.IsSymlink() ? "L" : "") << ' ' << s.GetFileSize() << std::hex << " 0x"
           << s.GetReparseTag();
        EXPECT_EQ(row.is, is.str()) << std::hex << row.attrs;
    }
}
